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

enum class Attr {
  kTargetNamespace,
  kElementFormDefault,
  kAttributeFormDefault,
  kForm,
  kName,
  kRef,
  kType,
  kBase,
  kMinOccurs,
  kMaxOccurs,
  kUse,
  kValue,
  kXpath,
  kSchemaLocation,
  kNoNamespaceSchemaLocation,
  kMixed,
  kDefault,
  kFixed,
  kAbstract,
  kNillable,
  kProcessContents,
  kSubstitutionGroup,
  kNamespace,
  kBlock,
  kFinal,
  kMemberTypes,
  kIgnored,
};

const std::unordered_map<std::string_view, Attr>& attributeNames() {
  static const std::unordered_map<std::string_view, Attr> names = {
      {"targetNamespace", Attr::kTargetNamespace},
      {"elementFormDefault", Attr::kElementFormDefault},
      {"attributeFormDefault", Attr::kAttributeFormDefault},
      {"form", Attr::kForm},
      {"name", Attr::kName},
      {"ref", Attr::kRef},
      {"type", Attr::kType},
      {"base", Attr::kBase},
      {"minOccurs", Attr::kMinOccurs},
      {"maxOccurs", Attr::kMaxOccurs},
      {"use", Attr::kUse},
      {"value", Attr::kValue},
      {"xpath", Attr::kXpath},
      {"schemaLocation", Attr::kSchemaLocation},
      {"noNamespaceSchemaLocation", Attr::kNoNamespaceSchemaLocation},
      {"mixed", Attr::kMixed},
      {"default", Attr::kDefault},
      {"version", Attr::kIgnored},
      {"fixed", Attr::kFixed},
      {"abstract", Attr::kAbstract},
      {"nillable", Attr::kNillable},
      {"processContents", Attr::kProcessContents},
      {"itemType", Attr::kIgnored},
      {"substitutionGroup", Attr::kSubstitutionGroup},
      {"namespace", Attr::kNamespace},
      {"public", Attr::kIgnored},
      {"system", Attr::kIgnored},
      {"refer", Attr::kIgnored},
      {"ID", Attr::kIgnored},
      // The XML Schema id attribute is legal on every component and means
      // nothing to the model: ignored like ID rather than failing the run.
      {"id", Attr::kIgnored},
      {"lang", Attr::kIgnored},
      {"block", Attr::kBlock},
      {"blockDefault", Attr::kBlock},
      {"final", Attr::kFinal},
      {"finalDefault", Attr::kFinal},
      {"memberTypes", Attr::kMemberTypes},
  };
  return names;
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

  if (!declaration && colon != nullptr) {
    // A qualified attribute belongs to another vocabulary (xml:lang, a tool's
    // own notes), which XML Schema allows on every tag: it means nothing here.
    trace.result("attribute %s:%s of another namespace ignored", prefix, local);
    return;
  }
  auto found = attributeNames().find(local);
  if (found == attributeNames().end()) {
    if (!declaration) tagsTable.parseStatus = reportError(9415, {textInsert(local)});
    return;
  }
  switch (found->second) {
    case Attr::kTargetNamespace: {
      NameRef v = insertName(value);
      tags[id].targetNamespace = v;
      break;
    }
    case Attr::kElementFormDefault:
      decodeForm(tags[id], local, value, kFormElemQualified, kFormElemUnqualified);
      break;
    case Attr::kAttributeFormDefault:
      decodeForm(tags[id], local, value, kFormAttrQualified, kFormAttrUnqualified);
      break;
    case Attr::kForm:
      decodeForm(tags[id], local, value, kFormQualified, kFormUnqualified);
      break;
    case Attr::kName: {
      NameRef v = insertName(value);
      tags[id].name = v;
      break;
    }
    case Attr::kRef: {
      NameRef v = insertName(value);
      tags[id].ref = v;
      break;
    }
    case Attr::kType: {
      int32_t code = getBuiltInType(value, id);
      tags[id].dataType = static_cast<uint8_t>(code);
      if (code == 0) {
        NameRef v = insertName(value);
        tags[id].type = v;
      }
      break;
    }
    case Attr::kBase: {
      int32_t code = getBuiltInType(value, id);
      tags[id].baseDataType = static_cast<uint8_t>(code);
      if (code == 0) {
        NameRef v = insertName(value);
        tags[id].base = v;
      }
      break;
    }
    case Attr::kMinOccurs:
      tags[id].minOccurs = decodeOccurs(value);
      break;
    case Attr::kMaxOccurs:
      tags[id].maxOccurs = decodeOccurs(value);
      break;
    case Attr::kUse: {
      uint8_t bit = 0;
      if (std::strcmp(value, "required") == 0)
        bit = kUseRequired;
      else if (std::strcmp(value, "optional") == 0)
        bit = kUseOptional;
      else if (std::strcmp(value, "prohibited") == 0)
        bit = kUseProhibited;
      else if (std::strcmp(value, "default") == 0)
        bit = kUseDefault;
      else if (std::strcmp(value, "fixed") == 0)
        bit = kUseFixed;
      if (bit != 0) {
        tags[id].useFlags |= bit;
      } else {
        progressPrintf("*****Error - value (%s) for use attribute not recognized\n", value);
      }
      break;
    }
    case Attr::kValue: {
      NameRef v = insertName(value);
      tags[id].value = v;
      break;
    }
    case Attr::kXpath: {
      NameRef v = insertName(value);
      tags[id].xpath = v;
      break;
    }
    case Attr::kSchemaLocation: {
      std::string location = std::string(parms.filePath) + value;
      NameRef v = insertName(location);
      tags[id].schemaLocation = v;
      break;
    }
    case Attr::kNoNamespaceSchemaLocation: {
      NameRef v = insertName(value);
      tags[id].noNamespaceSchemaLocation = v;
      break;
    }
    case Attr::kMixed:
      if (isTrue(value)) tags[id].flags |= kTagFlagMixed;
      break;
    case Attr::kDefault: {
      NameRef v = insertName(value);
      tags[id].defaultValue = v;
      break;
    }
    case Attr::kFixed: {
      NameRef v = insertName(value);
      tags[id].flags |= kTagFlagFixed;
      tags[id].defaultValue = v;
      break;
    }
    case Attr::kAbstract:
      if (isTrue(value)) tags[id].flags |= kTagFlagAbstract;
      break;
    case Attr::kNillable:
      if (isTrue(value)) tags[id].flags |= kTagFlagNillable;
      break;
    case Attr::kProcessContents:
      if (std::strcmp(value, "strict") == 0)
        tags[id].processContents |= 0x01;
      else if (std::strcmp(value, "lax") == 0)
        tags[id].processContents |= 0x02;
      else if (std::strcmp(value, "skip") == 0)
        tags[id].processContents |= 0x04;
      else
        progressPrintf("*****Invalid value found for processContents item - %s\n", value);
      break;
    case Attr::kSubstitutionGroup: {
      NameRef v = insertName(value);
      tags[id].substitutionGroup = v;
      // One line per distinct group, however many members it has.
      if (tagsTable.substitutionGroups.insert(v).second) {
        tracePrintf("substitution group %s\n", value);
        progressPrintf("*****Warning - Substitution Group found - not currently supported\n");
      }
      break;
    }
    case Attr::kNamespace: {
      NameRef v = insertName(value);
      tags[id].nameSpace = v;
      break;
    }
    case Attr::kBlock:
      if (std::strcmp(value, "extension") == 0)
        tags[id].blockFinal |= 0x01;
      else if (std::strcmp(value, "restriction") == 0)
        tags[id].blockFinal |= 0x02;
      else if (std::strcmp(value, "substitution") == 0)
        tags[id].blockFinal |= 0x04;
      else if (std::strcmp(value, "#all") == 0)
        tags[id].blockFinal |= 0x07;
      else
        progressPrintf("*****Invalid value found for block attibute - %s\n", value);
      break;
    case Attr::kFinal:
      if (std::strcmp(value, "extension") == 0)
        tags[id].blockFinal |= 0x08;
      else if (std::strcmp(value, "restriction") == 0)
        tags[id].blockFinal |= 0x10;
      else if (std::strcmp(value, "#all") == 0)
        tags[id].blockFinal |= 0x18;
      else
        progressPrintf("*****Invalid value found for final attibute - %s\n", value);
      break;
    case Attr::kMemberTypes: {
      NameRef v = insertName(value);
      tags[id].memberTypes = v;
      break;
    }
    case Attr::kIgnored:
      break;
  }
}
