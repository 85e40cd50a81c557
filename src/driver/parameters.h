// Run parameters, the schema file list, namespace prefixes and file locations.
//
// The parameter file (processParmFile) sets RunParameters and builds three
// lists: the schema file list (DataFileBlock), the namespace prefixes
// (PrefixBlock) and the schema file locations (FileLocBlock).  Command-line
// options are applied over the file by the run driver.  String fields are
// fixed-size, NUL-terminated; a value may hold at most size - 1 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "name_table.h"

struct RunParameters {
  char dbName[128];          ///< QEL_DB
  char dbUser[64];           ///< DB_USER
  char dbPassword[64];       ///< DB_PW
  char dbSchema[65];         ///< SCHEMA, with a "." appended (room for it)
  char msgSetName[64];       ///< MESSAGESET
  char msgSetFileName[256];  ///< MSGSETFILENAME
  char messageName[256];     ///< MESSAGENAME (stored, not otherwise used)
  char xsiPrefix[32];        ///< XSIPREFIX
  char schemaLoc[256];       ///< SCHEMALOC
  char noNamespaceLoc[256];  ///< NONAMESPACELOC
  char xmlTabName[128];      ///< XMLTABNAME ("XML" when empty)
  char rootElement[256];     ///< ROOTELEMENT
  NameRef defNameSpace;      ///< DEFNAMESPACE, interned
  char filePath[513];        ///< FILEPATH, with a "/" appended (room for it)
  int32_t verbose;
  int32_t resetMsgSet;
  int32_t showSchema;
  int32_t reportOnly;
  int32_t StringOnly;
  int32_t DateStringOnly;
  int32_t InclTimeFrac;
  int32_t parser;            ///< 1 for X..., 0 for M...
  char msgPrefix[16];
  char msgSuffix[16];
  char elemPrefix[16];
  char elemSuffix[16];
  char typePrefix[16];
  char typeSuffix[16];
  char valuePrefix[16];
  char valueSuffix[16];
  int32_t maxElement;
  int32_t maxAttribute;
  int32_t maxValue;
  int32_t maxType;
  int32_t maxXml;

  // Command-line values that the parameter file reader needs while it reads.
  char cmdFilePath[513];     ///< -l value with "/" appended; used when non-empty
  int32_t cmdFilePathGiven;  ///< -l was given

  /// Every field empty or 0, the MAX capacities at their defaults.
  void reset();
};

/// The process-wide run parameters.
extern RunParameters parms;

/// One entry of the schema file list.
struct DataFileBlock {
  int32_t length = 0;                   ///< file size in bytes; 0 while no file
  std::vector<char> data;               ///< the file's text, length + 32 bytes, NUL padded
  std::unique_ptr<DataFileBlock> next;  ///< the following entry
  char fileName[512] = {};              ///< the qualified file name
};

/// Where a PrefixBlock's prefix comes from.
enum PrefixOrigin : uint8_t {
  kPrefixFromParameters = 0,  ///< a [NAMESPACEPREFIX] line (or a caller that stands for one)
  kPrefixDeclared = 1,        ///< a namespace declaration of a schema document
  kPrefixDerived = 2,         ///< made by the program from the namespace name
};

/// A namespace prefix: the prefix used in qualified XML names of a namespace.
struct PrefixBlock {
  NameRef nameSpace = 0;
  NameRef prefix = 0;
  uint8_t origin = kPrefixFromParameters;
};

/// A schema file location: the file to read for a namespace or schemaLocation.
struct FileLocBlock {
  NameRef nameSpace = 0;
  NameRef fileName = 0;  ///< qualified file name
  int32_t flags = 0;     ///< bit 0: used by an include or import
};

/// The three lists of the parameter file, in order of creation.
struct FileLists {
  std::unique_ptr<DataFileBlock> files;  ///< first entry of the schema file list
  std::vector<PrefixBlock> prefixes;
  std::vector<FileLocBlock> fileLocs;
  std::unordered_map<NameRef, int32_t> firstPrefixFor;   ///< namespace -> first block
  std::unordered_map<NameRef, int32_t> firstPrefixNamed;  ///< prefix -> first block
  std::unordered_map<NameRef, int32_t> firstFileLocFor;  ///< namespace -> first block

  /// Empties every list and allocates a fresh first DataFileBlock.
  void reset();
};

/// The process-wide lists.
extern FileLists fileLists;

/// Puts the parameters and the file lists back to their start-up state.
void resetOptions();

/// Reads the parameter file; returns 0 or the status of the first failing line.
int32_t processParmFile(const char* parmFileName, DataFileBlock* first);

/// Handles one header line or section heading (modified in place).  Returns
/// the section that follows it (0 header, 1 [FILELIST], 2 [NAMESPACEPREFIX],
/// 3 [FILELOCATION]); the keyword's status goes to `*status`.
int32_t processParmLine(char* line, int32_t* status);

/// Applies one keyword (`key` upper case); 0 or a status.
int32_t evaluateParm(const char* key, const char* value);
/// `value` of parameter `key` as it may be printed: no password shows.
std::string shownParmValue(const char* key, const char* value);

/// Qualifies `name`, measures the file and records it in `current`, or in a
/// new successor when `current` already holds a file.  An empty file is
/// skipped with a warning.  0 or a status.
int32_t getFileLength(DataFileBlock* current, const char* name);

/// A [NAMESPACEPREFIX] line: namespace, then prefix (either may be quoted).
void processNameSpacePrefix(const char* line);
/// A [FILELOCATION] line: namespace, then file name (qualified with FILEPATH).
void processFileLocation(const char* line);

/// Stores both strings with insertName and appends a block.
void createPrefixBlock(const char* nameSpace, const char* prefix);
void createFileLocBlock(const char* nameSpace, const char* fileName);

/// The prefix of the first PrefixBlock for `nameSpace`, or 0.
NameRef findPrefixBlock(NameRef nameSpace);
/// Index in fileLists.prefixes of the first PrefixBlock for `nameSpace`, or -1.
int32_t findPrefixBlockIndex(NameRef nameSpace);
/// The namespace of the first PrefixBlock whose prefix is `prefix`, or 0.
NameRef namespaceOfPrefix(NameRef prefix);
/// Appends a block for a prefix the program found or made (not given by the
/// parameter file).
void addChosenPrefixBlock(NameRef nameSpace, NameRef prefix, PrefixOrigin origin);
/// Gives the block at `index` another prefix (and origin), in its place.
void renamePrefixBlock(size_t index, NameRef prefix, PrefixOrigin origin);

/// Index in fileLists.fileLocs of the first FileLocBlock for `nameSpace`, or -1.
int32_t findFileLocBlock(NameRef nameSpace);

/// `out` = FILEPATH followed by `name` (or `name` alone when FILEPATH is
/// empty), cut to outSize - 1 characters.  The name is never inspected.
void qualifyFileName(char* out, size_t outSize, const char* name);

// String utilities, in place on NUL-terminated strings.  A blank is a
// character whose code is 32 or less.
void trimTrailingBlanks(char* s);
/// Strips a leading quote and cuts at its partner; false (after printing the
/// "missing trailing quote" line) when there is no closing quote.
bool stripQuotes(char* s);
void upperCase(char* s);
char* skipBlanks(char* s);
