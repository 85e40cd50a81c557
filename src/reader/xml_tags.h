// The XML tags table: one flat table of every element node of every schema
// document of a run, linked into a tree by xmlId, and the xmlns definitions
// table of every namespace declaration seen.
//
// Record 0 of the tags table is the root record; its child chain holds the
// top-level schema tags.  Tags are only appended; links are xmlIds, 0 for none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "grow_table.h"
#include "name_table.h"

/// Tag kind codes (XmlTag::elemType).  0: a tag name that is not an XSD tag.
enum TagKind : uint8_t {
  kTagUnknown = 0,
  kTagElement = 1,
  kTagAttribute = 2,
  kTagAttributeGroup = 3,
  kTagGroup = 4,
  kTagSimpleType = 5,
  kTagComplexType = 6,
  kTagSimpleContent = 7,
  kTagComplexContent = 8,
  kTagSequence = 9,
  kTagChoice = 10,
  kTagAll = 11,
  kTagAny = 12,
  kTagAnnotation = 13,
  kTagAppinfo = 14,
  kTagDocumentation = 15,
  kTagAnyAttribute = 16,
  kTagExtension = 17,
  kTagField = 18,
  kTagImport = 19,
  kTagInclude = 20,
  kTagKey = 21,
  kTagKeyref = 22,
  kTagList = 23,
  kTagNotation = 24,
  kTagPattern = 25,
  kTagRedefine = 26,
  kTagRestriction = 27,
  kTagSchema = 28,
  kTagSelector = 29,
  kTagUnion = 31,
  kTagUnique = 32,
  kTagEnumeration = 102,
  kTagFractionDigits = 103,
  kTagLength = 104,
  kTagMaxExclusive = 105,
  kTagMaxInclusive = 106,
  kTagMaxLength = 107,
  kTagMinExclusive = 108,
  kTagMinInclusive = 109,
  kTagMinLength = 110,
  kTagTotalDigits = 115,
  kTagWhiteSpace = 116,
};

/// Built-in data type codes (XmlTag::dataType, baseDataType; model dataType).
enum BuiltInType : uint8_t {
  kDtNone = 0,
  kDtString = 1, kDtBase64Binary = 2, kDtBinary = 3, kDtBoolean = 4, kDtByte = 5,
  kDtCDATA = 6, kDtCentury = 7, kDtDate = 8, kDtDateTime = 9, kDtDecimal = 10,
  kDtDouble = 11, kDtDuration = 12, kDtENTITIES = 13, kDtENTITY = 14, kDtFloat = 15,
  kDtGDay = 16, kDtGMonth = 17, kDtGMonthDay = 18, kDtGYear = 19, kDtGYearMonth = 20,
  kDtHexBinary = 21, kDtID = 22, kDtIDREF = 23, kDtIDREFS = 24, kDtInt = 25,
  kDtInteger = 26, kDtLanguage = 27, kDtLong = 28, kDtMonth = 29, kDtName = 30,
  kDtNCName = 31, kDtNegativeInteger = 32, kDtNMTOKEN = 33, kDtNMTOKENS = 34,
  kDtNonNegativeInteger = 35, kDtNonPositiveInteger = 36, kDtNormalizedString = 37,
  kDtNOTATION = 38, kDtPositiveInteger = 39, kDtQName = 40, kDtRecurringDate = 41,
  kDtRecurringDay = 42, kDtRecurringDuration = 43, kDtShort = 44, kDtTime = 45,
  kDtTimeDuration = 46, kDtTimeInstant = 47, kDtTimePeriod = 48, kDtToken = 49,
  kDtUnsignedByte = 50, kDtUnsignedInt = 51, kDtUnsignedLong = 52, kDtUnsignedShort = 53,
  kDtAnyURI = 54, kDtYear = 55, kDtAnyType = 56, kDtAnySimpleType = 57,
};

// XmlTag::flags
constexpr uint8_t kTagFlagMixed = 0x01;
constexpr uint8_t kTagFlagFixed = 0x02;
constexpr uint8_t kTagFlagAbstract = 0x04;
constexpr uint8_t kTagFlagNillable = 0x08;
// XmlTag::formFlags
constexpr uint8_t kFormElemQualified = 0x01;
constexpr uint8_t kFormElemUnqualified = 0x02;
constexpr uint8_t kFormAttrQualified = 0x04;
constexpr uint8_t kFormAttrUnqualified = 0x08;
constexpr uint8_t kFormQualified = 0x10;
constexpr uint8_t kFormUnqualified = 0x20;
// XmlTag::useFlags
constexpr uint8_t kUseRequired = 0x01;
constexpr uint8_t kUseOptional = 0x02;
constexpr uint8_t kUseProhibited = 0x04;
constexpr uint8_t kUseDefault = 0x08;
constexpr uint8_t kUseFixed = 0x10;

/// Occurrence encoding of minOccurs / maxOccurs.
constexpr int32_t kOccursNotGiven = -1;
constexpr int32_t kOccursUnbounded = -2;

/// One element node of a schema document.
struct XmlTag {
  NameRef tagName;          ///< local tag name ("element", ...)
  NameRef tagPrefix;        ///< prefix written on the tag, 0 for none
  int32_t parent;
  int32_t firstChild;
  int32_t lastChild;
  int32_t nextSibling;
  int32_t prevSibling;
  int32_t minOccurs;        ///< -1 not given, -2 unbounded
  int32_t maxOccurs;        ///< -1 not given, -2 unbounded
  NameRef name;
  NameRef xmlName;          ///< the component's XML name, qualified or not
  NameRef ref;
  NameRef value;
  NameRef xpath;
  NameRef schemaLocation;   ///< with FILEPATH in front
  NameRef noNamespaceSchemaLocation;
  NameRef nameSpace;        ///< the namespace attribute
  NameRef defaultNamespace; ///< an xmlns attribute on the tag
  NameRef substitutionGroup;
  NameRef type;             ///< type attribute when not a built-in type
  NameRef memberTypes;
  NameRef base;             ///< base attribute when not a built-in type
  NameRef targetNamespace;
  int32_t typeId;           ///< TypeEntry made for the tag (model phase)
  int32_t elemId;           ///< ElementEntry made for the tag (model phase)
  NameRef defaultValue;     ///< default or fixed attribute
  int32_t schemaId;         ///< xmlId of the document's schema tag
  uint8_t elemType;         ///< TagKind
  uint8_t dataType;         ///< BuiltInType of the type attribute
  uint8_t baseDataType;     ///< BuiltInType of the base attribute
  uint8_t flags;
  uint8_t processContents;  ///< 0x01 strict, 0x02 lax, 0x04 skip
  uint8_t formFlags;
  uint8_t useFlags;
  uint8_t blockFinal;
};

/// One namespace declaration.
struct XmlnsEntry {
  NameRef prefix;     ///< 0 for a default-namespace declaration
  NameRef nameSpace;
  int32_t xmlId;      ///< the tag on which it was written
};

/// Index of the tag counters (printTagTotals).
enum TagCounter {
  kCountSchema, kCountElement, kCountAttribute, kCountAttributeGroup, kCountGroup,
  kCountComplexType, kCountSimpleType, kCountComplexContent, kCountSimpleContent,
  kCountRestriction, kCountExtension, kTagCounterCount
};

/// Global state of schema reading for a single run.
struct TagsTable {
  GrowTable<XmlTag> tags;        ///< record 0 is the root record
  GrowTable<XmlnsEntry> xmlns;   ///< from 1; capacity 256 at start
  int32_t counters[kTagCounterCount] = {};
  NameRef xsdNamespace = 0;      ///< NameRef of the XML Schema namespace name
  int32_t parseStatus = 0;       ///< never cleared once set
  bool parserInitialised = false;

  /// (xmlId << 32 | prefix) -> lowest xmlns entry with that xmlId and prefix.
  std::unordered_map<uint64_t, int32_t> xmlnsIndex;
  /// xmlId of a document's first tag -> the file it was read from, as opened.
  std::unordered_map<int32_t, std::string> documentFile;
  /// targetNamespace of every child of the root record (0 for none), kept by
  /// processIncludes so that "already imported" is one look-up.
  std::unordered_set<NameRef> rootNamespaces;
  /// substitutionGroup values met so far: each is reported once.
  std::unordered_set<NameRef> substitutionGroups;

  /// Namespaces whose components need a qualified XML name and that the
  /// parameter file gives no prefix for, in the order first met; the tags
  /// whose XML names wait for the prefix that assignNamespacePrefixes
  /// settles; and how many of each it has settled.
  std::vector<NameRef> prefixWanted;
  std::unordered_set<NameRef> prefixWantedSet;
  std::vector<std::pair<int32_t, NameRef>> provisionalNames;  ///< xmlId, namespace
  size_t prefixesSettled = 0;
  size_t namesSettled = 0;

  /// Allocates both tables (tags with `maxXml` rows) and clears the counters.
  void allocate(int32_t maxXml);
  /// Releases both tables and clears everything.
  void reset();
};

/// The process-wide tags table.
extern TagsTable tagsTable;

/// Parses one schema text (up to its first NUL) into the tags table under
/// `parent`; returns 0 or the parse status (sticky once an error was seen).
int32_t parseXMLfile(const char* text, int32_t parent, const char* fileName);

/// A location or system identifier with a URI scheme other than "file:"
/// (http:, https:, ftp:, ...): a network address, never fetched.
bool isNetworkAddress(std::string_view id);

/// Splits "p:local" into prefix and local part (no colon: empty prefix).
void splitQName(const char* qname, char* prefix, size_t prefixSize, char* local, size_t localSize);

/// Built-in data type code of a type name written on tag `xmlId` (its
/// prefix is read with the declarations in scope there).
int32_t getBuiltInType(const char* typeName, int32_t xmlId);

/// Lowest xmlns entry whose xmlId and prefix match, 0 when none.
int32_t findXmlnsEntry(int32_t xmlId, NameRef prefix);

/// The namespace that `prefix` stands for on tag `xmlId`: the declaration on
/// the tag itself or on the nearest enclosing tag of its document; the XML
/// namespace for "xml", which needs no declaration.  `declared` says whether
/// there is one (0 and false when not).
NameRef namespaceInScope(int32_t xmlId, NameRef prefix, bool* declared);

/// The namespace name that the xml prefix is bound to.
constexpr const char* kXmlNamespaceName = "http://www.w3.org/XML/1998/namespace";
/// Its NameRef when the name table holds it, else 0 (nothing is stored).
NameRef storedXmlNamespace();

/// Kind code of a tag's local name (0 when not an XSD tag), counting it.
int32_t getElemType(const char* tagName);

/// Sets xmlName of tag `xmlId` by the form rules (elements, attributes, types).
void createXMLname(int32_t xmlId, int32_t schemaId);
/// Sets xmlName of tag `xmlId` to the prefix-qualified form of `localName`.
void createQualName(int32_t xmlId, int32_t schemaId, const char* prefix, const char* localName);

/// Decodes one XML attribute (name and value, both writable) into the tag
/// being built, the last tag of the table.
void getAttrValue(char* name, char* value, int32_t schemaId);

/// Adds one xmlns entry for the tag being built; seeds the PrefixBlock list.
void addXmlnsEntry(const char* prefix, const char* nameSpace);

/// After every schema document is read: settles the prefix of every
/// namespace that needs one and has no [NAMESPACEPREFIX] line (a prefix the
/// documents declare for it, else one made from its name), prints the line
/// that would pin it, and gives the waiting tags their XML names.  0, or the
/// status of 9416 when a namespace can have no prefix.
int32_t assignNamespacePrefixes();

/// After every schema document is read: when a tag refers to the xml prefix
/// and no document of the XML namespace was read, reads the file that a
/// [FILELOCATION] line gives for the XML namespace, or else built-in
/// declarations of xml:lang, xml:space, xml:base and xml:id (strings) and of
/// the attribute group xml:specialAttrs, as a further top-level schema.  0 or
/// the status of the first error.
int32_t provideXmlNamespace();

/// The prefix made from a namespace name when no document declares one:
/// from its last segment that names something, without a version suffix (of
/// a host name, the label before the top-level domain), the initials of a
/// long name of capitalised words, else the word in lower case; letters,
/// digits and "_" only, "ns" in front when it would not start with a letter
/// or would start with "xml".
std::string derivedPrefixBase(const char* nameSpace);
