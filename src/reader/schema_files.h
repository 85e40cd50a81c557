// Schema files: reading the file list, includes and imports, the root element.
#pragma once

#include <cstdint>

struct DataFileBlock;

/// Reads every entry of the schema file list into its NUL-padded buffer;
/// returns the text of the first entry (the main schema), or null when any
/// entry could not be read.
const char* readSchemaFiles(DataFileBlock* first);

/// Reads one entry's whole file into `buffer`; 0 or a status.
int32_t readFileData(DataFileBlock* entry, char* buffer);

/// Follows every include and import of the tags table; 0 or a status.
int32_t processIncludes();

/// Puts the top-level components of an included document in the place of
/// include tag `includeId`.
void insertIncludeEntries(int32_t includeId);

/// Puts the components of a redefined document in the place of redefine tag
/// `redefineId`, each redefinition written inside the tag replacing the
/// component of the same name, whose original stays under a name of its own
/// for the redefinition's references to itself.  False (nothing changed) when
/// the document gave no schema components.
bool insertRedefineEntries(int32_t redefineId);

/// Moves the schema tag under import tag `importId` to the top level.
void insertImportEntries(int32_t importId, const char* fileName);

/// xmlId of the first element tag named `rootName`, or -1 (after 9357).
int32_t findRoot(const char* rootName);
