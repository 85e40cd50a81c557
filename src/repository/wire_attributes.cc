// The plug-in attributes of definitions: the XML wire-format layer of the
// message set with its nil settings, XML names, date formats, binary render,
// member renders, and the C and COBOL language names.  Each plug-in keeps its
// own attributes, addressed by its member handle and a key.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "messages.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"

namespace {

[[noreturn]] void refuseValue(const std::string& value) {
  throw QELDBException(reportError(9413, {textInsert(value)}));
}

bool isEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

void missing(const char* what) {
  progressPrintf("*****Error - %s is missing or null\n", what);
  run.errSw = 1;
}

// Writes one language-name attribute; the refused value is the name itself.
void setLanguageName(uint32_t componentHandle, uint32_t pluginHandle, int32_t key,
                     const std::string& languageName, const char* caller) {
  AttrRef ref(pluginHandle, key);
  int32_t status = QELSetAttrValue(componentHandle, ref.bytes, languageName.c_str());
  if (status == QEL_STATUS_BAD_VALUE) refuseValue(languageName);
  chkQELBeapiCode(status, "QELSetAttrValue", caller);
  ++run.totals.attributes;
}

}  // namespace

// ---- name rules ----------------------------------------------------------------

namespace {

// clang-format off
// The reserved words of COBOL (the 2014 standard with the words of earlier
// standards and common extensions): none may name a data item.  In byte
// order, for the binary search (checked below).
constexpr std::string_view kCobolReservedWords[] = {
    "ACCEPT", "ACCESS", "ACTIVE-CLASS", "ADD", "ADDRESS", "ADVANCING", "AFTER", "ALIGNED", "ALL",
    "ALLOCATE", "ALPHABET", "ALPHABETIC", "ALPHABETIC-LOWER", "ALPHABETIC-UPPER", "ALPHANUMERIC",
    "ALPHANUMERIC-EDITED", "ALSO", "ALTER", "ALTERNATE", "AND", "ANY", "ANYCASE", "APPLY", "ARE",
    "AREA", "AREAS", "AS", "ASCENDING", "ASSIGN", "AT", "AUTHOR", "B-AND", "B-NOT", "B-OR", "B-XOR",
    "BASED", "BEFORE", "BINARY", "BINARY-CHAR", "BINARY-DOUBLE", "BINARY-LONG", "BINARY-SHORT",
    "BIT", "BLANK", "BLOCK", "BOOLEAN", "BOTTOM", "BY", "BYTE-LENGTH", "CALL", "CANCEL", "CD", "CF",
    "CH", "CHARACTER", "CHARACTERS", "CLASS", "CLASS-ID", "CLOCK-UNITS", "CLOSE", "COBOL", "CODE",
    "CODE-SET", "COL", "COLLATING", "COLS", "COLUMN", "COLUMNS", "COMMA", "COMMIT", "COMMON",
    "COMMUNICATION", "COMP", "COMP-1", "COMP-2", "COMP-3", "COMP-4", "COMP-5", "COMPUTATIONAL",
    "COMPUTATIONAL-1", "COMPUTATIONAL-2", "COMPUTATIONAL-3", "COMPUTATIONAL-4", "COMPUTATIONAL-5",
    "COMPUTE", "CONDITION", "CONFIGURATION", "CONSTANT", "CONTAINS", "CONTENT", "CONTINUE",
    "CONTROL", "CONTROLS", "CONVERTING", "COPY", "CORR", "CORRESPONDING", "COUNT", "CRT",
    "CURRENCY", "CURSOR", "DATA", "DATA-POINTER", "DATE", "DATE-COMPILED", "DATE-WRITTEN", "DAY",
    "DAY-OF-WEEK", "DBCS", "DE", "DEBUG-CONTENTS", "DEBUG-ITEM", "DEBUG-LINE", "DEBUG-NAME",
    "DEBUG-SUB-1", "DEBUG-SUB-2", "DEBUG-SUB-3", "DEBUGGING", "DECIMAL-POINT", "DECLARATIVES",
    "DEFAULT", "DELETE", "DELIMITED", "DELIMITER", "DEPENDING", "DESCENDING", "DESTINATION",
    "DETAIL", "DISABLE", "DISPLAY", "DISPLAY-1", "DIVIDE", "DIVISION", "DOWN", "DUPLICATES",
    "DYNAMIC", "EC", "EGCS", "EGI", "ELSE", "EMI", "ENABLE", "END", "END-ACCEPT", "END-ADD",
    "END-CALL", "END-COMPUTE", "END-DELETE", "END-DISPLAY", "END-DIVIDE", "END-EVALUATE",
    "END-IF", "END-INVOKE", "END-MULTIPLY", "END-OF-PAGE", "END-PERFORM", "END-READ",
    "END-RECEIVE", "END-RETURN", "END-REWRITE", "END-SEARCH", "END-START", "END-STRING",
    "END-SUBTRACT", "END-UNSTRING", "END-WRITE", "ENTRY", "ENVIRONMENT", "EO", "EOP", "EQUAL",
    "ERROR", "ESI", "EVALUATE", "EVERY", "EXCEPTION", "EXCEPTION-OBJECT", "EXCLUSIVE-OR", "EXIT",
    "EXTEND", "EXTERNAL", "FACTORY", "FALSE", "FARTHEST-FROM-ZERO", "FD", "FILE", "FILE-CONTROL",
    "FILLER", "FINAL", "FIRST", "FLOAT-BINARY-128", "FLOAT-BINARY-32", "FLOAT-BINARY-64",
    "FLOAT-DECIMAL-16", "FLOAT-DECIMAL-34", "FLOAT-EXTENDED", "FLOAT-INFINITY", "FLOAT-LONG",
    "FLOAT-NOT-A-NUMBER", "FLOAT-SHORT", "FOOTING", "FOR", "FORMAT", "FREE", "FROM", "FUNCTION",
    "FUNCTION-ID", "FUNCTION-POINTER", "GENERATE", "GET", "GIVING", "GLOBAL", "GO", "GOBACK",
    "GREATER", "GROUP", "GROUP-USAGE", "HEADING", "HIGH-VALUE", "HIGH-VALUES", "I-O",
    "I-O-CONTROL", "ID", "IDENTIFICATION", "IF", "IN", "INDEX", "INDEXED", "INDICATE", "INHERITS",
    "INITIAL", "INITIALIZE", "INITIATE", "INPUT", "INPUT-OUTPUT", "INSPECT", "INSTALLATION",
    "INTERFACE", "INTERFACE-ID", "INTO", "INVALID", "INVOKE", "IS", "JUST", "JUSTIFIED", "KANJI",
    "KEY", "LABEL", "LAST", "LEADING", "LEFT", "LENGTH", "LESS", "LIMIT", "LIMITS", "LINAGE",
    "LINAGE-COUNTER", "LINE", "LINE-COUNTER", "LINES", "LINKAGE", "LOCAL-STORAGE", "LOCALE",
    "LOCK", "LOW-VALUE", "LOW-VALUES", "MEMORY", "MERGE", "MESSAGE", "METHOD", "METHOD-ID",
    "MINUS", "MODE", "MODULES", "MOVE", "MULTIPLE", "MULTIPLY", "NATIONAL", "NATIONAL-EDITED",
    "NATIVE", "NEAREST-TO-ZERO", "NEGATIVE", "NESTED", "NEXT", "NO", "NOT", "NULL", "NULLS",
    "NUMBER", "NUMERIC", "NUMERIC-EDITED", "OBJECT", "OBJECT-COMPUTER", "OBJECT-REFERENCE",
    "OCCURS", "OF", "OFF", "OMITTED", "ON", "OPEN", "OPTIONAL", "OPTIONS", "OR", "ORDER",
    "ORGANIZATION", "OTHER", "OUTPUT", "OVERFLOW", "OVERRIDE", "PACKED-DECIMAL", "PADDING",
    "PAGE", "PAGE-COUNTER", "PASSWORD", "PERFORM", "PF", "PH", "PIC", "PICTURE", "PLUS",
    "POINTER", "POSITION", "POSITIVE", "PRESENT", "PRINTING", "PROCEDURE", "PROCEDURE-POINTER",
    "PROCEDURES", "PROCEED", "PROGRAM", "PROGRAM-ID", "PROGRAM-POINTER", "PROPERTY", "PROTOTYPE",
    "PURGE", "QUEUE", "QUOTE", "QUOTES", "RAISE", "RAISING", "RANDOM", "RD", "READ", "READY",
    "RECEIVE", "RECORD", "RECORDING", "RECORDS", "REDEFINES", "REEL", "REFERENCE", "REFERENCES",
    "RELATIVE", "RELEASE", "REMAINDER", "REMARKS", "REMOVAL", "RENAMES", "REPLACE", "REPLACING",
    "REPORT", "REPORTING", "REPORTS", "REPOSITORY", "RERUN", "RESERVE", "RESET", "RESUME",
    "RETRY", "RETURN", "RETURN-CODE", "RETURNING", "REVERSED", "REWIND", "REWRITE", "RF", "RH",
    "RIGHT", "ROLLBACK", "ROUNDED", "RUN", "SAME", "SCREEN", "SD", "SEARCH", "SECTION", "SECURE",
    "SECURITY", "SEGMENT", "SEGMENT-LIMIT", "SELECT", "SELF", "SEND", "SENTENCE", "SEPARATE",
    "SEQUENCE", "SEQUENTIAL", "SET", "SHARING", "SHIFT-IN", "SHIFT-OUT", "SIGN", "SIZE", "SORT",
    "SORT-CONTROL", "SORT-CORE-SIZE", "SORT-FILE-SIZE", "SORT-MERGE", "SORT-MESSAGE",
    "SORT-MODE-SIZE", "SORT-RETURN", "SOURCE", "SOURCE-COMPUTER", "SOURCES", "SPACE", "SPACES",
    "SPECIAL-NAMES", "STANDARD", "STANDARD-1", "STANDARD-2", "START", "STATUS", "STOP", "STRING",
    "SUB-QUEUE-1", "SUB-QUEUE-2", "SUB-QUEUE-3", "SUBTRACT", "SUM", "SUPER", "SUPPRESS",
    "SYMBOLIC", "SYNC", "SYNCHRONIZED", "SYSTEM-DEFAULT", "TABLE", "TALLY", "TALLYING", "TAPE",
    "TERMINAL", "TERMINATE", "TEST", "TEXT", "THAN", "THEN", "THROUGH", "THRU", "TIME", "TIMES",
    "TITLE", "TO", "TOP", "TRACE", "TRAILING", "TRUE", "TYPE", "TYPEDEF", "UNIT", "UNIVERSAL",
    "UNLOCK", "UNSTRING", "UNTIL", "UP", "UPON", "USAGE", "USE", "USER-DEFAULT", "USING",
    "VAL-STATUS", "VALID", "VALIDATE", "VALIDATE-STATUS", "VALUE", "VALUES", "VARYING", "WHEN",
    "WHEN-COMPILED", "WITH", "WORDS", "WORKING-STORAGE", "WRITE", "WRITE-ONLY", "ZERO", "ZEROES",
    "ZEROS"};

// The keywords of C (C23 with the spellings of earlier standards), in byte
// order like the COBOL words.
constexpr std::string_view kCKeywords[] = {
    "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128",
    "_Decimal32", "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
    "_Thread_local", "alignas", "alignof", "auto", "bool", "break", "case", "char", "const",
    "constexpr", "continue", "default", "do", "double", "else", "enum", "extern", "false",
    "float", "for", "goto", "if", "inline", "int", "long", "nullptr", "register", "restrict",
    "return", "short", "signed", "sizeof", "static", "static_assert", "struct", "switch",
    "thread_local", "true", "typedef", "typeof", "typeof_unqual", "union", "unsigned", "void",
    "volatile", "while"};
// clang-format on
static_assert(std::is_sorted(std::begin(kCobolReservedWords), std::end(kCobolReservedWords)));
static_assert(std::is_sorted(std::begin(kCKeywords), std::end(kCKeywords)));

constexpr size_t kCobolNameCut = 24;    // the part of the name a COBOL name keeps
constexpr size_t kCobolWordLimit = 30;  // the longest COBOL user-defined word

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

/// Whether `word` is one of `words` (sorted); every name written asks, so a
/// binary search rather than a walk through some 500 words.
template <size_t N>
bool listed(const std::string_view (&words)[N], std::string_view word) {
  return std::binary_search(std::begin(words), std::end(words), word);
}

/// The COBOL name as the plain rule makes it: the first 24 bytes upper-cased,
/// "_" as "-", ":" as "C", "." as "P", a first character that is not a
/// letter replaced by "C", and no hyphen at the end.
std::string plainCobolName(const char* name) {
  std::string out(name, strnlen(name, kCobolNameCut));
  for (char& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '_')
      c = '-';
    else if (c == ':')
      c = 'C';
    else if (c == '.')
      c = 'P';
  }
  if (!out.empty() && !(out[0] >= 'A' && out[0] <= 'Z')) out[0] = 'C';
  // A COBOL name may not end in a hyphen, which the cut can leave behind.
  while (out.size() > 1 && out.back() == '-') out.pop_back();
  return out;
}

/// The C name as the plain rule makes it: "-" as "_", ":" as "C", "." as "P".
std::string plainCName(const char* name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '-')
      c = '_';
    else if (c == ':')
      c = 'C';
    else if (c == '.')
      c = 'P';
  }
  return out;
}

/// Calls `take(c)` for each character of UTF-8 text `name` that a language
/// name can keep (ASCII letters, digits and "_"), after the plain rules'
/// mappings of "-", ":" and "."; `separator` stands for every other
/// character (a multi-byte character counts once).
template <typename Take>
void eachNameCharacter(const char* name, char dash, char separator, Take take) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    char c = static_cast<char>(*p);
    if (isAsciiLetter(c) || isAsciiDigit(c) || c == '_')
      take(c);
    else if (c == '-')
      take(dash);
    else if (c == ':')
      take('C');
    else if (c == '.')
      take('P');
    else if ((*p & 0xC0) != 0x80)  // not the continuation of a multi-byte character
      take(separator);
  }
}

}  // namespace

bool isCobolWord(const std::string& word) {
  if (word.empty() || word.size() > kCobolWordLimit || word.front() == '-' || word.back() == '-')
    return false;
  bool letter = false;
  for (char c : word) {
    if (isAsciiLetter(c))
      letter = true;
    else if (!isAsciiDigit(c) && c != '-')
      return false;
  }
  if (!letter) return false;
  std::string upper = word;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return !listed(kCobolReservedWords, upper);
}

bool isCIdentifier(const std::string& word) {
  if (word.empty() || isAsciiDigit(word.front())) return false;
  for (char c : word)
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_') return false;
  return !listed(kCKeywords, word);
}

std::string cobolName(const char* name) {
  std::string plain = plainCobolName(name);
  if (isCobolWord(plain)) return plain;
  // Every character COBOL cannot hold separates words like a hyphen; runs of
  // hyphens become one, and none may stand first or last.
  std::string out;
  eachNameCharacter(name, '-', '-', [&out](char c) {
    c = c == '_' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '-' && (out.empty() || out.back() == '-')) return;
    out += c;
  });
  if (out.empty() || !isAsciiLetter(out.front())) out.insert(0, 1, 'C');
  if (out.size() > kCobolNameCut) out.resize(kCobolNameCut);
  while (out.back() == '-') out.pop_back();
  return out;
}

std::string cName(const char* name) {
  std::string plain = plainCName(name);
  if (isCIdentifier(plain)) return plain;
  std::string out;
  eachNameCharacter(name, '_', '_', [&out](char c) { out += c; });
  if (out.empty() || isAsciiDigit(out.front())) out.insert(0, 1, '_');
  return out;
}

namespace {

/// The language name of `name` written in this run: the name the rule makes
/// when no other name of this run took it and the language accepts it, else
/// that name with "-1", "-2", ... ("_1", ... for C) in the first free form.
/// A name the plain rule makes and the language accepts is always kept.
std::string uniqueLanguageName(RepositoryConnection::LanguageNames& names, const char* name,
                               bool cobol) {
  auto known = names.bySource.find(name);
  if (known != names.bySource.end()) return known->second;
  std::string result = cobol ? plainCobolName(name) : plainCName(name);
  bool plainValid = cobol ? isCobolWord(result) : isCIdentifier(result);
  if (!plainValid) {
    std::string base = cobol ? cobolName(name) : cName(name);
    result = base;
    auto valid = [cobol](const std::string& w) {
      return cobol ? isCobolWord(w) : isCIdentifier(w);
    };
    for (int32_t n = 1; !valid(result) || names.taken.count(result) != 0; ++n) {
      std::string tail = (cobol ? "-" : "_") + std::to_string(n);
      std::string head = base;
      if (cobol && head.size() + tail.size() > kCobolWordLimit)
        head.resize(kCobolWordLimit - tail.size());
      while (cobol && !head.empty() && head.back() == '-') head.pop_back();
      result = head + tail;
    }
  }
  names.taken.insert(result);
  names.bySource.emplace(name, result);
  return result;
}

}  // namespace

std::string copyBookName(const char* name) {
  std::string out;
  for (const char* p = name; *p != '\0' && out.size() < 8; ++p) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) out += c;
  }
  // A name without ASCII letters or digits still names a copy book.
  if (out.empty()) out = "C";
  return out + ".CPY";
}

std::string nilAttributeName() {
  return parms.xsiPrefix[0] == '\0' ? std::string("xsi:nil")
                                    : std::string(parms.xsiPrefix) + ":nil";
}

// ---- the XML wire-format layer -----------------------------------------------------

int32_t createXMLtab(const char* layerName) {
  TraceScope trace("createXMLtab");
  uint32_t plugin = 0;
  chkQELBeapiCode(QELFindDefinition(0, QEL_CLASS_PLUGIN, &plugin, QEL_PLUGIN_XML),
                  "QELFindDefinition", "createXMLtab");
  uint32_t layer = 0;
  for (const PluginLayer& l : repo.xmlLayers) {
    if (std::strcmp(nameAt(l.name), layerName) == 0) {
      layer = l.handle;
      break;
    }
  }
  if (layer == 0) {
    unsigned char member[QEL_PLUGIN_MEMBER_SIZE] = {};
    chkQELBeapiCode(QELGetDefaultMemberDetails2(repo.msgSetHandle, plugin, QEL_POSITION_APPEND,
                                                member, sizeof member),
                    "QELGetDefaultMemberDetails2", "createXMLtab");
    putText(member, QEL_OFF_MEMBER_NAME, QEL_PLUGIN_MEMBER_SIZE - QEL_OFF_MEMBER_NAME, layerName);
    chkQELBeapiCode(
        QELInsertMember2(repo.msgSetHandle, plugin, QEL_POSITION_APPEND, member, &layer),
        "QELInsertMember2", "createXMLtab");
    progressPrintf("XML Wire format layer %s successfully added\n", layerName);
    repo.xmlLayers.push_back(PluginLayer{layer, insertName(layerName)});
  }
  createAttribute(layerName, repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_NAME);
  createAttribute("1", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_OPTION_4);
  createAttribute("0", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_OPTION_11);
  createAttribute("", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_TEXT_8);
  setNillableValues(layer);
  return 0;
}

void setNillableValues(uint32_t layerHandle) {
  TraceScope trace("setNillableValues");
  std::string nilName = nilAttributeName();
  createAttribute("true", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_TRUE_TEXT);
  createAttribute("false", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_FALSE_TEXT);
  createAttribute("0", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_OPTION_14);
  createAttribute(nilName.c_str(), repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_ATTRIBUTE_15);
  createAttribute("0", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_OPTION_16);
  createAttribute(nilName.c_str(), repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_ATTRIBUTE_17);
}

// ---- attributes of definitions ---------------------------------------------------

int32_t createAttribute(const char* value, uint32_t componentHandle, uint32_t pluginHandle,
                        int32_t key) {
  TraceScope trace("createAttribute");
  AttrRef ref(pluginHandle, key);
  int32_t status = QELSetAttrValue(componentHandle, ref.bytes, value);
  if (status == QEL_STATUS_BAD_VALUE) refuseValue(value);
  chkQELBeapiCode(status, "QELSetAttrValue", "createAttribute");
  ++run.totals.attributes;
  return 0;
}

void insertXMLName(uint32_t componentHandle, const char* name, uint32_t layerHandle) {
  TraceScope trace("insertXMLName");
  createAttribute(name, componentHandle, layerHandle, QEL_XML_KEY_XML_NAME);
  if (parms.verbose)
    progressPrintf("Created m_attribute entry for XML Name - id %d  attrId %d name %s\n",
                   static_cast<int32_t>(componentHandle), 0, name);
}

void insertDateFormat(uint32_t componentHandle, const char* dateTemplate, uint32_t layerHandle) {
  TraceScope trace("insertDateFormat");
  if (isEmpty(dateTemplate)) return missing("XML Date format");
  createAttribute(dateTemplate, componentHandle, layerHandle, QEL_XML_KEY_DATE_FORMAT);
}

void insertBinaryRender(uint32_t componentHandle, const char* render, uint32_t layerHandle) {
  TraceScope trace("insertBinaryRender");
  if (isEmpty(render)) return missing("XML boolean render type");
  createAttribute(render, componentHandle, layerHandle, QEL_XML_KEY_BINARY_RENDER);
}

void insertCopyBookName(uint32_t componentHandle, const char* name, uint32_t cobolHandle) {
  TraceScope trace("insertCopyBookName");
  std::string copyBook = copyBookName(name);
  createAttribute(copyBook.c_str(), componentHandle, cobolHandle, QEL_COBOL_KEY_COPY_BOOK);
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for message copy book name %s attrId %d message id %d name "
        "%s\n",
        copyBook.c_str(), 0, static_cast<int32_t>(componentHandle), name);
}

void insertCOBOLName(uint32_t componentHandle, const char* name, uint32_t cobolHandle) {
  TraceScope trace("insertCOBOLName");
  std::string cobol = uniqueLanguageName(repo.cobolNames, name, true);
  progressPrintf("CobolName : %s\n", cobol.c_str());
  setLanguageName(componentHandle, cobolHandle, QEL_COBOL_KEY_NAME, cobol, "insertCOBOLName");
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for Cobol Language Name %s elementHandle %8.8x element # %d\n",
        cobol.c_str(), componentHandle, run.totals.elements);
}

void insertCName(uint32_t componentHandle, const char* name, uint32_t cHandle) {
  TraceScope trace("insertCName");
  std::string c = uniqueLanguageName(repo.cNames, name, false);
  setLanguageName(componentHandle, cHandle, QEL_C_KEY_NAME, c, "insertCName");
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for C Language Name %s elementHandle %8.8x element # %d\n",
        c.c_str(), componentHandle, run.totals.elements);
}

void insertLanguageNames(uint32_t componentHandle, const char* name) {
  TraceScope trace("insertLanguageNames");
  if (repo.cobolPlugin.handle > 0) insertCOBOLName(componentHandle, name, repo.cobolPlugin.handle);
  if (repo.cPlugin.handle > 0) insertCName(componentHandle, name, repo.cPlugin.handle);
}

void insertMessageCobolNames(uint32_t messageHandle, const char* name) {
  TraceScope trace("insertMessageCobolNames");
  if (repo.cobolPlugin.handle == 0) return;
  insertCopyBookName(messageHandle, name, repo.cobolPlugin.handle);
  insertCOBOLName(messageHandle, name, repo.cobolPlugin.handle);
}

// ---- attributes of members -----------------------------------------------------------

void createMemberAttr(uint32_t parentHandle, uint32_t memberHandle, uint32_t pluginHandle,
                      const char* value, int32_t key) {
  TraceScope trace("createMemberAttr");
  AttrRef ref(pluginHandle, key);
  chkQELBeapiCode(QELSetMemberAttrValue(parentHandle, memberHandle, ref.bytes, value),
                  "QELSetMemberAttrValue", "createMemberAttr");
  ++run.totals.memberAttributes;
  if (parms.verbose)
    progressPrintf(
        "Created m_member_attribute entry for attrId %d parentHandle %8.8x childHandle %8.8x "
        "element # %d\n",
        0, parentHandle, memberHandle, run.totals.elements);
}

void setXmlRender(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                  const char* render) {
  TraceScope trace("setXmlRender");
  if (isEmpty(render)) return missing("XML render type");
  createMemberAttr(parentHandle, memberHandle, layerHandle, render, QEL_XML_KEY_MEMBER_RENDER);
}

void setXmlMemberName(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                      const char* name) {
  TraceScope trace("setXmlMemberName");
  if (isEmpty(name)) return missing("XML name");
  createMemberAttr(parentHandle, memberHandle, layerHandle, name, QEL_XML_KEY_MEMBER_XML_NAME);
}
