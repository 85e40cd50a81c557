// Schema attribute decoding: each XML attribute of a schema tag is recognised
// by its local name and stored, decoded, in the tag being built (the last tag
// of the tags table).  Also the built-in data type codes, QName splitting and
// the xmlns definitions table with its index.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "trace.h"
#include "xml_tags.h"

namespace {

// How the value of a schema attribute goes into the tag being built.
enum class Decode : uint8_t {
  kIgnored,            // means nothing to the model
  kName,               // the value as a name; `flag` set in flags too
  kLocation,           // the value with FILEPATH in front
  kTypeName,           // a built-in type code in `code`, otherwise the name
  kOccurs,             // minOccurs / maxOccurs
  kForm,               // qualified / unqualified: bit `flag` or `other`
  kTrue,               // "true" sets bit `flag` in flags
  kKeyword,            // the bits of one of `keywords` or'ed into `code`
  kSubstitutionGroup,  // a name, and a warning once per group
};

struct Keyword {
  const char* text;
  uint8_t bits;
};

struct AttrRule {
  Decode decode = Decode::kIgnored;
  NameRef XmlTag::*name = nullptr;
  int32_t XmlTag::*number = nullptr;
  uint8_t XmlTag::*code = nullptr;
  uint8_t flag = 0;
  uint8_t other = 0;
  const Keyword* keywords = nullptr;  // ends with a null text
  const char* unknown = nullptr;      // the line printed for another keyword
};

constexpr Keyword kUseKeywords[] = {{"required", kUseRequired},     {"optional", kUseOptional},
                                    {"prohibited", kUseProhibited}, {"default", kUseDefault},
                                    {"fixed", kUseFixed},           {nullptr, 0}};
constexpr Keyword kProcessContentsKeywords[] = {
    {"strict", 0x01}, {"lax", 0x02}, {"skip", 0x04}, {nullptr, 0}};
constexpr Keyword kBlockKeywords[] = {{"extension", 0x01},
                                      {"restriction", 0x02},
                                      {"substitution", 0x04},
                                      {"#all", 0x07},
                                      {nullptr, 0}};
constexpr Keyword kFinalKeywords[] = {
    {"extension", 0x08}, {"restriction", 0x10}, {"#all", 0x18}, {nullptr, 0}};

constexpr AttrRule nameRule(NameRef XmlTag::*field, uint8_t flag = 0) {
  return {.decode = Decode::kName, .name = field, .flag = flag};
}
constexpr AttrRule typeRule(NameRef XmlTag::*field, uint8_t XmlTag::*code) {
  return {.decode = Decode::kTypeName, .name = field, .code = code};
}
constexpr AttrRule occursRule(int32_t XmlTag::*field) {
  return {.decode = Decode::kOccurs, .number = field};
}
constexpr AttrRule formRule(uint8_t qualified, uint8_t unqualified) {
  return {.decode = Decode::kForm, .flag = qualified, .other = unqualified};
}
constexpr AttrRule trueRule(uint8_t flag) { return {.decode = Decode::kTrue, .flag = flag}; }
constexpr AttrRule keywordRule(uint8_t XmlTag::*field, const Keyword* keywords,
                               const char* unknown) {
  return {.decode = Decode::kKeyword, .code = field, .keywords = keywords, .unknown = unknown};
}

const std::unordered_map<std::string_view, AttrRule>& attributeRules() {
  static const std::unordered_map<std::string_view, AttrRule> rules = {
      {"targetNamespace", nameRule(&XmlTag::targetNamespace)},
      {"elementFormDefault", formRule(kFormElemQualified, kFormElemUnqualified)},
      {"attributeFormDefault", formRule(kFormAttrQualified, kFormAttrUnqualified)},
      {"form", formRule(kFormQualified, kFormUnqualified)},
      {"name", nameRule(&XmlTag::name)},
      {"ref", nameRule(&XmlTag::ref)},
      {"type", typeRule(&XmlTag::type, &XmlTag::dataType)},
      {"base", typeRule(&XmlTag::base, &XmlTag::baseDataType)},
      {"minOccurs", occursRule(&XmlTag::minOccurs)},
      {"maxOccurs", occursRule(&XmlTag::maxOccurs)},
      {"use", keywordRule(&XmlTag::useFlags, kUseKeywords,
                          "*****Error - value (%s) for use attribute not recognized\n")},
      {"value", nameRule(&XmlTag::value)},
      {"xpath", nameRule(&XmlTag::xpath)},
      {"schemaLocation", {.decode = Decode::kLocation, .name = &XmlTag::schemaLocation}},
      {"noNamespaceSchemaLocation", nameRule(&XmlTag::noNamespaceSchemaLocation)},
      {"mixed", trueRule(kTagFlagMixed)},
      {"default", nameRule(&XmlTag::defaultValue)},
      {"fixed", nameRule(&XmlTag::defaultValue, kTagFlagFixed)},
      {"abstract", trueRule(kTagFlagAbstract)},
      {"nillable", trueRule(kTagFlagNillable)},
      {"processContents", keywordRule(&XmlTag::processContents, kProcessContentsKeywords,
                                      "*****Invalid value found for processContents item - %s\n")},
      {"substitutionGroup",
       {.decode = Decode::kSubstitutionGroup, .name = &XmlTag::substitutionGroup}},
      {"namespace", nameRule(&XmlTag::nameSpace)},
      {"block", keywordRule(&XmlTag::blockFinal, kBlockKeywords,
                            "*****Invalid value found for block attibute - %s\n")},
      {"blockDefault", keywordRule(&XmlTag::blockFinal, kBlockKeywords,
                                   "*****Invalid value found for block attibute - %s\n")},
      {"final", keywordRule(&XmlTag::blockFinal, kFinalKeywords,
                            "*****Invalid value found for final attibute - %s\n")},
      {"finalDefault", keywordRule(&XmlTag::blockFinal, kFinalKeywords,
                                   "*****Invalid value found for final attibute - %s\n")},
      {"memberTypes", nameRule(&XmlTag::memberTypes)},
      {"version", {}},
      {"itemType", {}},
      {"public", {}},
      {"system", {}},
      {"refer", {}},
      {"ID", {}},
      // The XML Schema id attribute is legal on every component and means
      // nothing to the model: ignored like ID rather than failing the run.
      {"id", {}},
      {"lang", {}},
  };
  return rules;
}

bool isTrue(const char* v) {
  return std::strcmp(v, "true") == 0 || std::strcmp(v, "True") == 0 || std::strcmp(v, "TRUE") == 0;
}

// minOccurs / maxOccurs: "unbounded" and "*" are -2; otherwise the leading
// decimal digits (0 when there are none), held to the int32 range.
int32_t decodeOccurs(const char* v) {
  if (std::strcmp(v, "unbounded") == 0 || std::strcmp(v, "*") == 0) return kOccursUnbounded;
  int64_t n = 0;
  for (const char* p = v; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(n);
}

// Sets the bit pair (qualifiedBit, unqualifiedBit) of formFlags to one of them.
void decodeForm(XmlTag& tag, const char* name, const char* value, uint8_t qualifiedBit,
                uint8_t unqualifiedBit) {
  uint8_t bit;
  if (std::strcmp(value, "qualified") == 0) {
    bit = qualifiedBit;
  } else if (std::strcmp(value, "unqualified") == 0) {
    bit = unqualifiedBit;
  } else {
    tagsTable.parseStatus = reportError(9414, {textInsert(name), textInsert(value)});
    return;
  }
  tag.formFlags = static_cast<uint8_t>((tag.formFlags & ~(qualifiedBit | unqualifiedBit)) | bit);
}

// Stores attribute `local` = `value` of tag `id` as `rule` says.  Names are
// made before the tag is looked up: the tag is indexed afresh for each store.
void decodeAttribute(const AttrRule& rule, int32_t id, const char* local, const char* value) {
  GrowTable<XmlTag>& tags = tagsTable.tags;
  switch (rule.decode) {
    case Decode::kIgnored:
      break;
    case Decode::kName: {
      NameRef v = insertName(value);
      tags[id].*rule.name = v;
      tags[id].flags |= rule.flag;
      break;
    }
    case Decode::kLocation: {
      NameRef v = insertName(std::string(parms.filePath) + value);
      tags[id].*rule.name = v;
      break;
    }
    case Decode::kTypeName: {
      int32_t code = getBuiltInType(value, id);
      tags[id].*rule.code = static_cast<uint8_t>(code);
      if (code == 0) {
        NameRef v = insertName(value);
        tags[id].*rule.name = v;
      }
      break;
    }
    case Decode::kOccurs:
      tags[id].*rule.number = decodeOccurs(value);
      break;
    case Decode::kForm:
      decodeForm(tags[id], local, value, rule.flag, rule.other);
      break;
    case Decode::kTrue:
      if (isTrue(value)) tags[id].flags |= rule.flag;
      break;
    case Decode::kKeyword: {
      const Keyword* k = rule.keywords;
      while (k->text != nullptr && std::strcmp(k->text, value) != 0) ++k;
      if (k->text != nullptr) {
        tags[id].*rule.code |= k->bits;
      } else {
        progressPrintf(rule.unknown, value);
      }
      break;
    }
    case Decode::kSubstitutionGroup: {
      NameRef v = insertName(value);
      tags[id].*rule.name = v;
      // One line per distinct group, however many members it has.
      if (tagsTable.substitutionGroups.insert(v).second) {
        tracePrintf("substitution group %s\n", value);
        progressPrintf("*****Warning - Substitution Group found - not currently supported\n");
      }
      break;
    }
  }
}

uint64_t xmlnsKey(int32_t xmlId, NameRef prefix) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(xmlId)) << 32) |
         static_cast<uint32_t>(prefix);
}

}  // namespace

void splitQName(const char* qname, char* prefix, size_t prefixSize, char* local, size_t localSize) {
  std::string_view q(qname ? qname : "");
  size_t colon = q.find(':');
  std::string_view p = colon == std::string_view::npos ? std::string_view() : q.substr(0, colon);
  std::string_view l = colon == std::string_view::npos ? q : q.substr(colon + 1);
  auto copy = [](std::string_view from, char* to, size_t size) {
    if (size == 0) return;
    size_t n = from.size() < size - 1 ? from.size() : size - 1;
    if (n > 0) std::memcpy(to, from.data(), n);
    to[n] = '\0';
  };
  copy(p, prefix, prefixSize);
  copy(l, local, localSize);
}

int32_t getBuiltInType(const char* typeName, int32_t xmlId) {
  static const std::unordered_map<std::string_view, int32_t> builtIns = {
      {"string", kDtString},
      {"base64Binary", kDtBase64Binary},
      {"binary", kDtBinary},
      {"boolean", kDtBoolean},
      {"byte", kDtByte},
      {"CDATA", kDtCDATA},
      {"century", kDtCentury},
      {"date", kDtDate},
      {"dateTime", kDtDateTime},
      {"decimal", kDtDecimal},
      {"double", kDtDouble},
      {"duration", kDtDuration},
      {"ENTITIES", kDtENTITIES},
      {"ENTITY", kDtENTITY},
      {"float", kDtFloat},
      {"gDay", kDtGDay},
      {"gMonth", kDtGMonth},
      {"gMonthDay", kDtGMonthDay},
      {"gYear", kDtGYear},
      {"gYearMonth", kDtGYearMonth},
      {"hexBinary", kDtHexBinary},
      {"ID", kDtID},
      {"IDREF", kDtIDREF},
      {"IDREFS", kDtIDREFS},
      {"int", kDtInt},
      {"integer", kDtInteger},
      {"language", kDtLanguage},
      {"long", kDtLong},
      {"month", kDtMonth},
      {"Name", kDtName},
      {"NCName", kDtNCName},
      {"negativeInteger", kDtNegativeInteger},
      {"NMTOKEN", kDtNMTOKEN},
      {"NMTOKENS", kDtNMTOKENS},
      {"nonNegativeInteger", kDtNonNegativeInteger},
      {"nonPositiveInteger", kDtNonPositiveInteger},
      {"normalizedString", kDtNormalizedString},
      {"NOTATION", kDtNOTATION},
      {"positiveInteger", kDtPositiveInteger},
      {"QName", kDtQName},
      {"recurringDate", kDtRecurringDate},
      {"recurringDay", kDtRecurringDay},
      {"recurringDuration", kDtRecurringDuration},
      {"short", kDtShort},
      {"time", kDtTime},
      {"timeDuration", kDtTimeDuration},
      {"timeInstant", kDtTimeInstant},
      {"timePeriod", kDtTimePeriod},
      {"token", kDtToken},
      {"unsignedByte", kDtUnsignedByte},
      {"unsignedInt", kDtUnsignedInt},
      {"unsignedLong", kDtUnsignedLong},
      {"unsignedShort", kDtUnsignedShort},
      {"anyURI", kDtAnyURI},
      {"year", kDtYear},
      {"anyType", kDtAnyType},
      {"anySimpleType", kDtAnySimpleType},
  };
  TraceScope trace("getBuiltInType", "%s xmlId=%d", typeName ? typeName : "", xmlId);
  std::string_view name(typeName ? typeName : "");
  if (name.size() > 1023) name = name.substr(0, 1023);
  size_t colon = name.find(':');
  std::string_view local = name;
  if (colon != std::string_view::npos) {
    std::string prefix(name.substr(0, colon));
    local = name.substr(colon + 1);
    if (!prefix.empty()) {
      bool declared = false;
      NameRef ns = namespaceInScope(xmlId, insertName(prefix), &declared);
      // A prefix bound where the name stands to another namespace: not built
      // in.  An undeclared prefix counts as no prefix.
      if (declared && ns != tagsTable.xsdNamespace) {
        trace.result("0: prefix %s is another namespace", prefix.c_str());
        return 0;
      }
    }
  }
  auto it = builtIns.find(local);
  int32_t code = it == builtIns.end() ? 0 : it->second;
  trace.result("%d", code);
  return code;
}

void addXmlnsEntry(const char* prefix, const char* nameSpace) {
  TraceScope trace("addXmlnsEntry", "prefix=%s namespace=%s", prefix, nameSpace);
  NameRef nameRef = insertName(nameSpace);
  NameRef prefixRef = insertName(prefix);
  int32_t entry = tagsTable.xmlns.add();
  XmlnsEntry& e = tagsTable.xmlns[entry];
  e.xmlId = tagsTable.tags.count();
  e.nameSpace = nameRef;
  e.prefix = prefixRef;
  tagsTable.xmlnsIndex.emplace(xmlnsKey(e.xmlId, prefixRef), entry);  // the lowest entry stays
  // The first prefix declared for a namespace names it in qualified XML
  // names, unless the parameter file gave one; assignNamespacePrefixes has
  // the last word once every document is read.  The xml prefix and its
  // namespace are bound by definition, and a prefix that names another
  // namespace already is not given out twice.
  if (prefixRef != 0 && findPrefixBlock(nameRef) == 0 && namespaceOfPrefix(prefixRef) == 0 &&
      std::strcmp(prefix, "xml") != 0 && std::strcmp(nameSpace, kXmlNamespaceName) != 0) {
    addChosenPrefixBlock(nameRef, prefixRef, kPrefixDeclared);
  }
  trace.result("%d", entry);
}

int32_t findXmlnsEntry(int32_t xmlId, NameRef prefix) {
  auto it = tagsTable.xmlnsIndex.find(xmlnsKey(xmlId, prefix));
  return it == tagsTable.xmlnsIndex.end() ? 0 : it->second;
}

NameRef storedXmlNamespace() {
  NameRef ref = findName(kXmlNamespaceName);
  return isStoredName(ref) ? ref : 0;
}

NameRef namespaceInScope(int32_t xmlId, NameRef prefix, bool* declared) {
  *declared = false;
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  if (prefix != 0 && std::strcmp(nameAt(prefix), "xml") == 0) {
    *declared = true;  // bound by definition, never declared
    return insertName(kXmlNamespaceName);
  }
  if (xmlId <= 0 || xmlId > tags.count()) return 0;
  // Up through the tag's own document.  The top-level components of an
  // included document hang under the including schema tag now, so the walk
  // goes from a tag whose parent is of another document to its own schema tag.
  const int32_t doc = tags[xmlId].schemaId;
  for (int32_t at = xmlId; at > 0;) {
    int32_t entry = findXmlnsEntry(at, prefix);
    if (entry != 0) {
      *declared = true;
      return tagsTable.xmlns[entry].nameSpace;
    }
    if (at == doc) break;
    int32_t up = tags[at].parent;
    at = up > 0 && tags[up].schemaId == doc ? up : doc;
  }
  return 0;
}

void getAttrValue(char* name, char* value, [[maybe_unused]] int32_t schemaId) {
  TraceScope trace("getAttrValue", "%s=%s", name, value);
  trimTrailingBlanks(value);
  char* colon = std::strchr(name, ':');
  const char* prefix = "";
  const char* local = name;
  if (colon != nullptr) {
    *colon = '\0';
    prefix = name;
    local = colon + 1;
  }
  GrowTable<XmlTag>& tags = tagsTable.tags;
  const int32_t id = tags.count();

  bool declaration = false;
  if (colon == nullptr && std::strcmp(local, "xmlns") == 0) {
    addXmlnsEntry("", value);
    NameRef ns = insertName(value);
    tags[id].defaultNamespace = ns;
    declaration = true;
  } else if (std::strcmp(prefix, "xmlns") == 0) {
    addXmlnsEntry(local, value);
    declaration = true;
  }

  // A declared prefix that happens to be spelt like a schema attribute
  // (xmlns:type, xmlns:name) declares a prefix and nothing else.
  if (declaration) return;
  if (colon != nullptr) {
    // A qualified attribute belongs to another vocabulary (xml:lang, a tool's
    // own notes), which XML Schema allows on every tag: it means nothing here.
    trace.result("attribute %s:%s of another namespace ignored", prefix, local);
    return;
  }
  auto found = attributeRules().find(local);
  if (found == attributeRules().end()) {
    tagsTable.parseStatus = reportError(9415, {textInsert(local)});
    return;
  }
  decodeAttribute(found->second, id, local, value);
}
