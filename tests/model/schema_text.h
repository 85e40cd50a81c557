// Test helpers that put schema text or hand-made tags into the tags table.
#pragma once

#include <cstdint>
#include <string>

/// Parses `xsd` into the tags table under the root record, decoding the
/// attributes the model reads (a small stand-in for the schema reader, kept
/// to what these tests need).  Allocates the tags and model tables first when
/// they are not.  Returns the xmlId of the schema tag, 0 on a parse failure.
int32_t loadSchemaText(const std::string& xsd);

/// Loads the schema file at `path` like loadSchemaText, then follows its
/// imports (each namespace loaded once, as a further top-level schema) and
/// includes (the included components take the include tag's place), with
/// locations relative to the including file.  Returns the schema tag.
int32_t loadSchemaFile(const std::string& path);

/// xmlId of the first top-level element tag named `name` (0 when none).
int32_t topElement(const char* name);

/// The five model reports as one text, captured with tracing on.
std::string modelReportText();
