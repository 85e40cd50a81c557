// Test helpers of the reader and model tests: schema text made, read into the
// tags table through the schema reader.
#pragma once

#include <cstdint>
#include <string>

/// A schema document around `body`, xs bound to the XML Schema namespace and
/// `attrs` (namespace declarations, targetNamespace...) added to its tag.
std::string schema(const std::string& body, const std::string& attrs = "");

/// A global element declaration `name`, with more attributes `attrs`.
std::string xsElement(const std::string& name, const std::string& attrs = "");
/// An include of `location`.
std::string xsInclude(const std::string& location);
/// An import of namespace `ns` ("": none) from `location` ("": none).
std::string xsImport(const std::string& ns, const std::string& location = "");

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
