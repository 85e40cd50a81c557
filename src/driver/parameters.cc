// The parameter file reader: keyword lines, sections, the schema file list,
// namespace prefixes and file locations, and the string utilities they use.
//
// A parameter file is read once, before any schema or repository work.  Lines
// are taken as text of at most kMaxLineLength characters; the header section
// holds KEY=value lines, and the sections [FILELIST], [NAMESPACEPREFIX] and
// [FILELOCATION] hold one schema file, one namespace/prefix pair or one
// namespace/file pair per line.  Every keyword lives in one table (kKeywords)
// with its field, size, labels and kind, so that adding a key is one row.
#include "parameters.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "messages.h"
#include "run_state.h"
#include "shown_database.h"
#include "trace.h"

namespace {

/// Longest line the reader takes as one line (the buffer holds one more byte).
constexpr size_t kMaxLineLength = 510;
/// Longest DEFNAMESPACE value.
constexpr size_t kMaxDefNameSpace = 511;

enum class KeyKind {
  kString,        ///< stored in a fixed-size field
  kPrefix,        ///< a string that must begin with a letter or "_"
  kSchema,        ///< a string with "." appended
  kPath,          ///< a string with "/" appended
  kDefNameSpace,  ///< interned in the name table
  kSwitch,        ///< Y/N/1/0 into an int32 field
  kTrace,         ///< Y/N/1/0 switching the trace at once
  kParser,        ///< X or M
  kMax,           ///< a table capacity with a minimum
};

struct Keyword {
  const char* key;  ///< upper-case key as written in the file
  KeyKind kind;
  size_t offset;           ///< of the field in RunParameters
  size_t size;             ///< field size in bytes (strings); the value may hold size - 1
  const char* label;       ///< first insert of messages 9385, 9388, 9389
  const char* displayKey;  ///< insert of messages 9387, 9388
  int32_t minimum;         ///< MAX keys: lowest capacity
};

#define KOVA_FIELD(f) offsetof(RunParameters, f), sizeof(RunParameters::f)

// The keywords in the order in which they are matched.  SCHEMA and FILEPATH
// fields have one spare byte for the appended "." or "/": their values may
// hold 63 and 511 characters.
const Keyword kKeywords[] = {
    {"QEL_DB", KeyKind::kString, KOVA_FIELD(dbName), "Database name", "QEL_DB", 0},
    {"DB_USER", KeyKind::kString, KOVA_FIELD(dbUser), "Database user", "DB_User", 0},
    {"DB_PW", KeyKind::kString, KOVA_FIELD(dbPassword), "Database password", "DB_PW", 0},
    {"SCHEMA", KeyKind::kSchema, offsetof(RunParameters, dbSchema),
     sizeof(RunParameters::dbSchema) - 1, "Database schema name", "Schema", 0},
    {"MESSAGESET", KeyKind::kString, KOVA_FIELD(msgSetName), "Message set name", "MessageSet", 0},
    {"MSGSETFILENAME", KeyKind::kString, KOVA_FIELD(msgSetFileName), "Message set file name",
     "MsgSetFileName", 0},
    {"MESSAGENAME", KeyKind::kString, KOVA_FIELD(messageName), "Message name", "MessageName", 0},
    {"XSIPREFIX", KeyKind::kString, KOVA_FIELD(xsiPrefix), "xsi namespace prefix", "xsiPrefix", 0},
    {"SCHEMALOC", KeyKind::kString, KOVA_FIELD(schemaLoc), "schema location", "schemaLoc", 0},
    {"NONAMESPACELOC", KeyKind::kString, KOVA_FIELD(noNamespaceLoc), "no namespace schema location",
     "noNamespaceLoc", 0},
    {"XMLTABNAME", KeyKind::kString, KOVA_FIELD(xmlTabName), "XML tab name", "XmlTabName", 0},
    {"ROOTELEMENT", KeyKind::kString, KOVA_FIELD(rootElement), "Root element name", "RootElement",
     0},
    {"DEFNAMESPACE", KeyKind::kDefNameSpace, offsetof(RunParameters, defNameSpace),
     kMaxDefNameSpace + 1, "Default namespace", "DefNameSpace", 0},
    {"FILEPATH", KeyKind::kPath, offsetof(RunParameters, filePath),
     sizeof(RunParameters::filePath) - 1, "File Path", "FilePath", 0},
    {"VERBOSE", KeyKind::kSwitch, KOVA_FIELD(verbose), "verbose", "", 0},
    {"RESETMSGSET", KeyKind::kSwitch, KOVA_FIELD(resetMsgSet), "resetMsgSet", "", 0},
    {"SHOWSCHEMA", KeyKind::kSwitch, KOVA_FIELD(showSchema), "showSchema", "", 0},
    {"TRACE", KeyKind::kTrace, 0, 0, "trace", "", 0},
    {"REPORTONLY", KeyKind::kSwitch, KOVA_FIELD(reportOnly), "reportOnly", "", 0},
    {"STRINGONLY", KeyKind::kSwitch, KOVA_FIELD(StringOnly), "StringOnly", "", 0},
    {"DATESTRINGONLY", KeyKind::kSwitch, KOVA_FIELD(DateStringOnly), "DateStringOnly", "", 0},
    {"INCLTIMEFRAC", KeyKind::kSwitch, KOVA_FIELD(InclTimeFrac), "InclTimeFrac", "", 0},
    {"PARSER", KeyKind::kParser, KOVA_FIELD(parser), "", "", 0},
    {"MSGPREFIX", KeyKind::kPrefix, KOVA_FIELD(msgPrefix), "Message prefix", "MsgPrefix", 0},
    {"MSGSUFFIX", KeyKind::kPrefix, KOVA_FIELD(msgSuffix), "Message suffix", "MsgSuffix", 0},
    {"ELEMPREFIX", KeyKind::kPrefix, KOVA_FIELD(elemPrefix), "Element prefix", "ElemPrefix", 0},
    {"ELEMSUFFIX", KeyKind::kPrefix, KOVA_FIELD(elemSuffix), "Element suffix", "ElemSuffix", 0},
    {"TYPEPREFIX", KeyKind::kPrefix, KOVA_FIELD(typePrefix), "Type prefix", "TypePrefix", 0},
    {"TYPESUFFIX", KeyKind::kPrefix, KOVA_FIELD(typeSuffix), "Type suffix", "TypeSuffix", 0},
    {"VALUEPREFIX", KeyKind::kPrefix, KOVA_FIELD(valuePrefix), "Value prefix", "ValuePrefix", 0},
    {"VALUESUFFIX", KeyKind::kPrefix, KOVA_FIELD(valueSuffix), "Value suffix", "ValueSuffix", 0},
    {"MAXELEMENT", KeyKind::kMax, KOVA_FIELD(maxElement), "", "", 4096},
    {"MAXATTRIBUTE", KeyKind::kMax, KOVA_FIELD(maxAttribute), "", "", 512},
    {"MAXVALUE", KeyKind::kMax, KOVA_FIELD(maxValue), "", "", 1024},
    {"MAXTYPE", KeyKind::kMax, KOVA_FIELD(maxType), "", "", 1024},
    {"MAXXML", KeyKind::kMax, KOVA_FIELD(maxXml), "", "", 512},
};

#undef KOVA_FIELD

char* fieldAt(size_t offset) { return reinterpret_cast<char*>(&parms) + offset; }

int32_t* intFieldAt(size_t offset) {
  return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(&parms) + offset);
}

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

/// The directory that qualifies schema file names: the -l value when it was
/// given on the command line, otherwise FILEPATH.
void applyCommandLinePath() {
  if (parms.cmdFilePathGiven) {
    std::memcpy(parms.filePath, parms.cmdFilePath, sizeof(parms.filePath));
  }
}

/// Appends `c` to the zero-terminated string in `field` (of `fieldSize`
/// bytes) when it is not empty and does not already end with `c` or with one
/// of `alsoAccepted`.  The caller leaves room for the extra byte.
void appendUnlessEndsWith(char* field, size_t fieldSize, char c, const char* alsoAccepted) {
  size_t n = std::strlen(field);
  if (n == 0 || field[n - 1] == c || std::strchr(alsoAccepted, field[n - 1]) != nullptr) return;
  if (n + 1 >= fieldSize) return;
  field[n] = c;
  field[n + 1] = '\0';
}

/// Stores `value` in a fixed-size field: warns (9388) when the field already
/// held a value, cuts an over-long value to the field (9385).  0 or a status.
int32_t storeString(const Keyword& k, const char* value, char* field, size_t valueRoom) {
  if (field[0] != '\0' && !isBlank(field[0])) {
    reportInfo(9388, {textInsert(k.label), textInsert(k.displayKey),
                      textInsert(shownParmValue(k.key, value))});
  }
  size_t n = std::strlen(value);
  size_t keep = n < valueRoom ? n : valueRoom;
  std::memcpy(field, value, keep);
  field[keep] = '\0';
  if (n > valueRoom) return reportError(9385, {textInsert(k.label)});
  return 0;
}

int32_t evaluateSwitch(const char* label, const char* value, int32_t* setting) {
  switch (value[0]) {
    case 'Y':
    case 'y':
    case '1':
      *setting = 1;
      return 0;
    case 'N':
    case 'n':
    case '0':
      *setting = 0;
      return 0;
    default:
      return reportError(9389, {textInsert(label), textInsert(value)});
  }
}

/// The decimal number at the start of `value` (blanks and a sign allowed
/// first, digits up to the first other character); no digits gives 0.  The
/// number saturates at INT32_MAX / INT32_MIN instead of overflowing.
int32_t leadingNumber(const char* value) {
  const char* p = value;
  while (*p != '\0' && isBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > INT32_MAX) {
      n = static_cast<int64_t>(INT32_MAX) + 1;
    }
  }
  if (negative) return n > INT32_MAX ? INT32_MIN : static_cast<int32_t>(-n);
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

/// Copies the next token of `p` into `out` (of `outSize` bytes): a quoted
/// token loses its marks and, without a closing mark, runs to the end of the
/// line; an unquoted one runs to the next blank.  Returns the position after it.
const char* nextToken(const char* p, std::string& out) {
  out.clear();
  while (*p != '\0' && isBlank(*p)) ++p;
  if (*p == '"' || *p == '\'') {
    char mark = *p++;
    const char* close = std::strchr(p, mark);
    const char* end = close ? close : p + std::strlen(p);
    out.assign(p, static_cast<size_t>(end - p));
    return close ? close + 1 : end;
  }
  const char* end = p;
  while (*end != '\0' && !isBlank(*end)) ++end;
  out.assign(p, static_cast<size_t>(end - p));
  return end;
}

/// Reads one line of at most kMaxLineLength characters into `line` (of
/// kMaxLineLength + 1 bytes).  Returns false at the end of the file.  Sets
/// `tooLong` when the physical line goes on past the buffer (the rest of it
/// is consumed) and `hasNul` when it holds a NUL byte.
bool readLine(FILE* f, char* line, bool& tooLong, bool& hasNul) {
  size_t n = 0;
  tooLong = false;
  hasNul = false;
  int c = std::getc(f);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getc(f)) {
    if (c == '\0') hasNul = true;
    if (n < kMaxLineLength) {
      line[n++] = static_cast<char>(c);
    } else {
      tooLong = true;
    }
  }
  line[n] = '\0';
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// String utilities

void trimTrailingBlanks(char* s) {
  size_t n = std::strlen(s);
  while (n > 0 && isBlank(s[n - 1])) s[--n] = '\0';
}

bool stripQuotes(char* s) {
  if (s[0] != '"' && s[0] != '\'') return true;
  char mark = s[0];
  char* close = std::strchr(s + 1, mark);
  if (close == nullptr) {
    std::printf("***** missing trailing quote for value %s\n", s);
    std::fflush(stdout);
    std::memmove(s, s + 1, std::strlen(s));  // drops the opening mark, keeps the NUL
    return false;
  }
  size_t inner = static_cast<size_t>(close - (s + 1));
  std::memmove(s, s + 1, inner);
  s[inner] = '\0';
  return true;
}

void upperCase(char* s) {
  for (; *s != '\0'; ++s) {
    unsigned char c = static_cast<unsigned char>(*s);
    if (c >= 'a' && c <= 'z') *s = static_cast<char>(c - 'a' + 'A');
  }
}

char* skipBlanks(char* s) {
  while (*s != '\0' && isBlank(*s)) ++s;
  return s;
}

// ---------------------------------------------------------------------------
// Keywords

std::string shownParmValue(const char* key, const char* value) {
  // DB_PW, and a mistyped key that looks like a password's (DB_PWD, PASSWORD).
  if (std::strstr(key, "PW") || std::strstr(key, "PASS")) return value[0] ? "****" : "";
  if (std::strcmp(key, "QEL_DB") == 0) return shownDatabaseName(value);
  return value;
}

int32_t evaluateParm(const char* key, const char* value) {
  TraceScope trace("evaluateParm", "key=%s value=%s", key,
                   tracing() ? shownParmValue(key, value).c_str() : "");
  const Keyword* k = nullptr;
  for (const Keyword& candidate : kKeywords) {
    if (std::strcmp(candidate.key, key) == 0) {
      k = &candidate;
      break;
    }
  }
  int32_t status = 0;
  if (k == nullptr) {
    status = reportError(9391, {textInsert(key), textInsert(shownParmValue(key, value))});
  } else {
    switch (k->kind) {
      case KeyKind::kString:
        status = storeString(*k, value, fieldAt(k->offset), k->size - 1);
        break;
      case KeyKind::kPrefix:
        status = storeString(*k, value, fieldAt(k->offset), k->size - 1);
        if (status == 0) {
          unsigned char c = static_cast<unsigned char>(value[0]);
          if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')) {
            status = reportError(9387, {textInsert(value), textInsert(k->displayKey)});
          }
        }
        break;
      case KeyKind::kSchema:
        status = storeString(*k, value, fieldAt(k->offset), k->size - 1);
        appendUnlessEndsWith(fieldAt(k->offset), sizeof(parms.dbSchema), '.', "");
        break;
      case KeyKind::kPath:
        status = storeString(*k, value, fieldAt(k->offset), k->size - 1);
        appendUnlessEndsWith(fieldAt(k->offset), sizeof(parms.filePath), '/', "\\");
        break;
      case KeyKind::kDefNameSpace:
        if (parms.defNameSpace != 0 && !isBlank(nameAt(parms.defNameSpace)[0])) {
          reportInfo(9388, {textInsert(k->label), textInsert(k->displayKey), textInsert(value)});
        }
        if (std::strlen(value) > kMaxDefNameSpace) {
          std::string cut(value, kMaxDefNameSpace);
          parms.defNameSpace = insertName(cut);
          status = reportError(9385, {textInsert(k->label)});
        } else {
          parms.defNameSpace = insertName(value);
        }
        break;
      case KeyKind::kSwitch:
        status = evaluateSwitch(k->label, value, intFieldAt(k->offset));
        break;
      case KeyKind::kTrace: {
        int32_t on = tracing() ? 1 : 0;
        status = evaluateSwitch(k->label, value, &on);
        if (status == 0) on ? traceOn() : traceOff();
        break;
      }
      case KeyKind::kParser:
        if (value[0] == 'X' || value[0] == 'x') {
          parms.parser = 1;
        } else if (value[0] == 'M' || value[0] == 'm') {
          parms.parser = 0;
        } else {
          status = reportError(9390, {textInsert(value)});
        }
        break;
      case KeyKind::kMax: {
        int32_t n = leadingNumber(value);
        *intFieldAt(k->offset) = n < k->minimum ? k->minimum : n;
        break;
      }
    }
  }
  trace.result("returned %d", status);
  return status;
}

namespace {
// The parameter line as the trace shows it: a password (DB_PW, or one inside
// a QEL_DB URL) is never printed.
std::string shownParmLine(const char* line) {
  std::string text = line;
  size_t eq = text.find('=');
  if (eq == std::string::npos) return text;
  std::string key;
  for (char c : text.substr(0, eq))
    if (!isBlank(c)) key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text.substr(0, eq + 1) + shownParmValue(key.c_str(), text.c_str() + eq + 1);
}
}  // namespace

int32_t processParmLine(char* line, int32_t* status) {
  TraceScope trace("processParmLine", "line=%s", tracing() ? shownParmLine(line).c_str() : "");
  *status = 0;
  int32_t section = 0;
  char* eq = std::strchr(line, '=');
  if (eq == nullptr) {
    upperCase(line);
    if (std::strcmp(line, "[FILELIST]") == 0) {
      section = 1;
    } else if (std::strcmp(line, "[NAMESPACEPREFIX]") == 0) {
      section = 2;
    } else if (std::strcmp(line, "[FILELOCATION]") == 0) {
      section = 3;
    }
  } else {
    *eq = '\0';
    char* key = line;
    trimTrailingBlanks(key);
    char* value = skipBlanks(eq + 1);
    trimTrailingBlanks(value);
    if (!stripQuotes(value)) run.errSw = 1;
    upperCase(key);
    if (value[0] == '\0') {
      reportInfo(9392, {textInsert(key)});
    } else {
      *status = evaluateParm(key, value);
    }
  }
  trace.result("returned %d, status=%d", section, *status);
  return section;
}

// ---------------------------------------------------------------------------
// Sections

int32_t getFileLength(DataFileBlock* current, const char* name) {
  TraceScope trace("getFileLength", "name=%s", name);
  applyCommandLinePath();
  int32_t status = 0;
  std::string qualified = std::string(parms.filePath) + name;
  struct stat st;
  if (qualified.size() >= sizeof(current->fileName)) {
    // The list keeps names in a fixed field; a cut name would open another file.
    status = reportError(9385, {textInsert(qualified)});
  } else if (stat(qualified.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    status = reportError(9393, {textInsert(qualified), textInsert("open failed")});
  } else if (!S_ISREG(st.st_mode)) {
    // A named pipe or a device would block the open or never end.
    status = reportError(9393, {textInsert(qualified), textInsert("not a regular file")});
  } else if (FILE* f = std::fopen(qualified.c_str(), "rb"); f == nullptr) {
    status = reportError(9393, {textInsert(qualified), textInsert("open failed")});
  } else {
    off_t size = -1;
    if (fseeko(f, 0, SEEK_END) == 0) size = ftello(f);
    std::fclose(f);
    if (size < 0) {
      status = reportError(9393, {textInsert(qualified), textInsert("read failed")});
    } else if (size > INT32_MAX - 64) {
      status = reportError(9394, {textInsert(qualified)});
    } else if (size == 0) {
      reportInfo(9384, {textInsert(qualified)});
    } else {
      DataFileBlock* entry = current;
      if (current->length != 0) {
        current->next = std::make_unique<DataFileBlock>();
        entry = current->next.get();
      }
      entry->length = static_cast<int32_t>(size);
      std::memcpy(entry->fileName, qualified.c_str(), qualified.size() + 1);
    }
  }
  trace.result("returned %d", status);
  return status;
}

void processNameSpacePrefix(const char* line) {
  TraceScope trace("processNameSpacePrefix", "line=%s", line);
  std::string nameSpace, prefix;
  nextToken(nextToken(line, nameSpace), prefix);
  createPrefixBlock(nameSpace.c_str(), prefix.c_str());
}

void processFileLocation(const char* line) {
  TraceScope trace("processFileLocation", "line=%s", line);
  std::string nameSpace, fileName;
  nextToken(nextToken(line, nameSpace), fileName);
  applyCommandLinePath();
  std::string qualified = std::string(parms.filePath) + fileName;
  createFileLocBlock(nameSpace.c_str(), qualified.c_str());
}

// ---------------------------------------------------------------------------
// The file

int32_t processParmFile(const char* parmFileName, DataFileBlock* first) {
  TraceScope trace("processParmFile", "parmFileName=%s", parmFileName);
  char* cleared[] = {parms.dbSchema,   parms.rootElement,    parms.msgSetName, parms.xsiPrefix,
                     parms.schemaLoc,  parms.noNamespaceLoc, parms.xmlTabName, parms.messageName,
                     parms.dbName,     parms.dbUser,         parms.dbPassword, parms.msgSetFileName,
                     parms.filePath,   parms.msgPrefix,      parms.msgSuffix,  parms.elemPrefix,
                     parms.elemSuffix, parms.typePrefix,     parms.typeSuffix, parms.valuePrefix,
                     parms.valueSuffix};
  for (char* field : cleared) field[0] = '\0';

  int32_t status = 0;
  struct stat st;
  FILE* f = nullptr;
  if (stat(parmFileName, &st) != 0 || S_ISDIR(st.st_mode) ||
      (f = std::fopen(parmFileName, "r")) == nullptr) {
    status = reportError(9393, {textInsert(parmFileName), textInsert("open failed")});
  } else {
    char buffer[kMaxLineLength + 1];
    int32_t section = 0;
    int32_t lineNumber = 0;
    DataFileBlock* current = first;
    bool tooLong = false;
    bool hasNul = false;
    while (status == 0 && readLine(f, buffer, tooLong, hasNul)) {
      ++lineNumber;
      if (lineNumber == 1 && std::strncmp(buffer, "\xEF\xBB\xBF", 3) == 0) {
        // The byte-order mark that some editors put before UTF-8 text.
        std::memmove(buffer, buffer + 3, std::strlen(buffer + 3) + 1);
      }
      size_t n = std::strlen(buffer);
      while (n > 0 && static_cast<unsigned char>(buffer[n - 1]) < 32) buffer[--n] = '\0';
      char* line = skipBlanks(buffer);
      if (line[0] == ';' || line[0] == '#' || line[0] == '*') continue;
      if (hasNul) {
        // A NUL byte means the file is not text; what follows it is unknown.
        status = reportError(9393, {textInsert(parmFileName), textInsert("read failed")});
        break;
      }
      if (tooLong) {
        // Taking the rest as lines of their own would read values cut short.
        std::string where = "line " + std::to_string(lineNumber) + " of " + parmFileName;
        status = reportError(9385, {textInsert(where)});
        break;
      }
      if (line[0] == '\0') continue;
      if (section == 0 || line[0] == '[') {
        section = processParmLine(line, &status);
      } else if (section == 1) {
        status = getFileLength(current, line);
        if (current->next) current = current->next.get();
      } else if (section == 2) {
        processNameSpacePrefix(line);
      } else {
        processFileLocation(line);
      }
    }
    if (status == 0 && std::ferror(f)) {
      status = reportError(9393, {textInsert(parmFileName), textInsert("read failed")});
    }
    std::fclose(f);
  }

  if (parms.xsiPrefix[0] == '\0' &&
      (parms.schemaLoc[0] != '\0' || parms.noNamespaceLoc[0] != '\0')) {
    std::strcpy(parms.xsiPrefix, "xsi");
  }
  trace.result("returned %d, errSw=%d", status, run.errSw);
  return status;
}
