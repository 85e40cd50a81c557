// Test helpers that read schema text or files into the tags table through the
// schema reader, and print the model reports.
#pragma once

#include <cstdint>
#include <string>

/// Parses `xsd` into the tags table under the root record with the schema
/// reader.  Allocates the tags and model tables first when they are not.
/// Returns the xmlId of the new schema tag, 0 on a parse failure.
int32_t loadSchemaText(const std::string& xsd);

/// Reads the schema file at `path` as the run driver does (FILEPATH its
/// folder), then follows its includes and imports.  Returns the main
/// document's schema tag, 0 on failure.
int32_t loadSchemaFile(const std::string& path);

/// xmlId of the first top-level element tag named `name` (0 when none).
int32_t topElement(const char* name);

/// The five model reports as one text, captured with tracing on.
std::string modelReportText();
