// A small DOM walk that turns schema text into XmlTag rows for the tests.
#include "schema_text.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "reports.h"
#include "test_support.h"
#include "xml_tags.h"

using namespace xercesc;

namespace {

const char* const kBuiltIns[] = {"",
                                 "string",
                                 "base64Binary",
                                 "binary",
                                 "boolean",
                                 "byte",
                                 "CDATA",
                                 "century",
                                 "date",
                                 "dateTime",
                                 "decimal",
                                 "double",
                                 "duration",
                                 "ENTITIES",
                                 "ENTITY",
                                 "float",
                                 "gDay",
                                 "gMonth",
                                 "gMonthDay",
                                 "gYear",
                                 "gYearMonth",
                                 "hexBinary",
                                 "ID",
                                 "IDREF",
                                 "IDREFS",
                                 "int",
                                 "integer",
                                 "language",
                                 "long",
                                 "month",
                                 "Name",
                                 "NCName",
                                 "negativeInteger",
                                 "NMTOKEN",
                                 "NMTOKENS",
                                 "nonNegativeInteger",
                                 "nonPositiveInteger",
                                 "normalizedString",
                                 "NOTATION",
                                 "positiveInteger",
                                 "QName",
                                 "recurringDate",
                                 "recurringDay",
                                 "recurringDuration",
                                 "short",
                                 "time",
                                 "timeDuration",
                                 "timeInstant",
                                 "timePeriod",
                                 "token",
                                 "unsignedByte",
                                 "unsignedInt",
                                 "unsignedLong",
                                 "unsignedShort",
                                 "anyURI",
                                 "year",
                                 "anyType",
                                 "anySimpleType"};

struct KindName {
  const char* name;
  uint8_t kind;
};
const KindName kKinds[] = {{"element", kTagElement},
                           {"attribute", kTagAttribute},
                           {"attributeGroup", kTagAttributeGroup},
                           {"group", kTagGroup},
                           {"simpleType", kTagSimpleType},
                           {"complexType", kTagComplexType},
                           {"simpleContent", kTagSimpleContent},
                           {"complexContent", kTagComplexContent},
                           {"sequence", kTagSequence},
                           {"choice", kTagChoice},
                           {"all", kTagAll},
                           {"any", kTagAny},
                           {"annotation", kTagAnnotation},
                           {"appinfo", kTagAppinfo},
                           {"documentation", kTagDocumentation},
                           {"anyAttribute", kTagAnyAttribute},
                           {"extension", kTagExtension},
                           {"field", kTagField},
                           {"import", kTagImport},
                           {"include", kTagInclude},
                           {"key", kTagKey},
                           {"keyref", kTagKeyref},
                           {"list", kTagList},
                           {"notation", kTagNotation},
                           {"pattern", kTagPattern},
                           {"redefine", kTagRedefine},
                           {"restriction", kTagRestriction},
                           {"schema", kTagSchema},
                           {"selector", kTagSelector},
                           {"union", kTagUnion},
                           {"unique", kTagUnique},
                           {"enumeration", kTagEnumeration},
                           {"fractionDigits", kTagFractionDigits},
                           {"length", kTagLength},
                           {"maxExclusive", kTagMaxExclusive},
                           {"maxInclusive", kTagMaxInclusive},
                           {"maxLength", kTagMaxLength},
                           {"minExclusive", kTagMinExclusive},
                           {"minInclusive", kTagMinInclusive},
                           {"minLength", kTagMinLength},
                           {"totalDigits", kTagTotalDigits},
                           {"whiteSpace", kTagWhiteSpace}};

const char* kXsd = "http://www.w3.org/2001/XMLSchema";

std::string transcode(const XMLCh* s) {
  char* c = XMLString::transcode(s);
  std::string out = c;
  XMLString::release(&c);
  return out;
}

void split(const std::string& q, std::string& prefix, std::string& local) {
  size_t colon = q.find(':');
  prefix = colon == std::string::npos ? "" : q.substr(0, colon);
  local = colon == std::string::npos ? q : q.substr(colon + 1);
}

int32_t builtIn(const std::string& value, int32_t schemaId) {
  std::string prefix, local;
  split(value, prefix, local);
  if (!prefix.empty()) {
    NameRef p = insertName(prefix);
    for (int32_t i = 1; i <= tagsTable.xmlns.count(); ++i) {
      const XmlnsEntry& e = tagsTable.xmlns[i];
      if (e.xmlId == schemaId && e.prefix == p) {
        if (std::strcmp(nameAt(e.nameSpace), kXsd) != 0) return 0;
        break;
      }
    }
  }
  for (int32_t i = 1; i <= 57; ++i) {
    if (local == kBuiltIns[i]) return i;
  }
  return 0;
}

int32_t occurs(const std::string& v) {
  if (v == "unbounded" || v == "*") return kOccursUnbounded;
  return std::atoi(v.c_str());
}

void setXmlName(int32_t id, int32_t schemaId) {
  XmlTag& t = tagsTable.tags[id];
  std::string prefix, local;
  split(t.name == 0 ? "" : nameAt(t.name), prefix, local);
  const XmlTag& schema = tagsTable.tags[schemaId];
  bool qualified;
  if (tagsTable.tags[t.parent].elemType == kTagSchema) {
    qualified = true;
  } else if (t.formFlags & kFormQualified) {
    qualified = true;
  } else if (t.formFlags & kFormUnqualified) {
    qualified = false;
  } else if (t.elemType == kTagElement) {
    qualified = (schema.formFlags & kFormElemQualified) != 0;
  } else if (t.elemType == kTagAttribute) {
    qualified = (schema.formFlags & kFormAttrQualified) != 0;
  } else {
    qualified = true;
  }
  std::string result = local;
  if (qualified && schema.targetNamespace != 0 && schema.targetNamespace != parms.defNameSpace) {
    NameRef p = findPrefixBlock(schema.targetNamespace);
    if (p != 0) result = std::string(nameAt(p)) + ":" + local;
  }
  tagsTable.tags[id].xmlName = insertName(result);
}

void decode(int32_t id, int32_t schemaId, const std::string& name, const std::string& value) {
  std::string prefix, local;
  split(name, prefix, local);
  XmlTag& t = tagsTable.tags[id];
  auto isTrue = [&] { return value == "true" || value == "True" || value == "TRUE"; };
  if (prefix == "xmlns" || (prefix.empty() && local == "xmlns")) {
    int32_t e = tagsTable.xmlns.add();
    tagsTable.xmlns[e].prefix = prefix.empty() ? 0 : insertName(local);
    tagsTable.xmlns[e].nameSpace = insertName(value);
    tagsTable.xmlns[e].xmlId = id;
    if (!prefix.empty() && findPrefixBlock(insertName(value)) == 0) {
      createPrefixBlock(value.c_str(), local.c_str());
    }
    if (prefix.empty()) tagsTable.tags[id].defaultNamespace = insertName(value);
    return;
  }
  if (local == "targetNamespace") t.targetNamespace = insertName(value);
  if (local == "elementFormDefault")
    t.formFlags = (t.formFlags & ~0x03) | (value == "qualified" ? 0x01 : 0x02);
  if (local == "attributeFormDefault")
    t.formFlags = (t.formFlags & ~0x0C) | (value == "qualified" ? 0x04 : 0x08);
  if (local == "form") t.formFlags = (t.formFlags & ~0x30) | (value == "qualified" ? 0x10 : 0x20);
  if (local == "name") tagsTable.tags[id].name = insertName(value);
  if (local == "ref") tagsTable.tags[id].ref = insertName(value);
  if (local == "type") {
    int32_t dt = builtIn(value, schemaId);
    tagsTable.tags[id].dataType = static_cast<uint8_t>(dt);
    if (dt == 0) tagsTable.tags[id].type = insertName(value);
  }
  if (local == "base") {
    int32_t dt = builtIn(value, schemaId);
    tagsTable.tags[id].baseDataType = static_cast<uint8_t>(dt);
    if (dt == 0) tagsTable.tags[id].base = insertName(value);
  }
  XmlTag& u = tagsTable.tags[id];
  if (local == "minOccurs") u.minOccurs = occurs(value);
  if (local == "maxOccurs") u.maxOccurs = occurs(value);
  if (local == "use") {
    if (value == "required") u.useFlags |= kUseRequired;
    if (value == "optional") u.useFlags |= kUseOptional;
    if (value == "prohibited") u.useFlags |= kUseProhibited;
  }
  if (local == "value") tagsTable.tags[id].value = insertName(value);
  if (local == "schemaLocation") tagsTable.tags[id].schemaLocation = insertName(value);
  if (local == "namespace") tagsTable.tags[id].nameSpace = insertName(value);
  if (local == "mixed" && isTrue()) u.flags |= kTagFlagMixed;
  if (local == "default") tagsTable.tags[id].defaultValue = insertName(value);
  if (local == "fixed") {
    tagsTable.tags[id].flags |= kTagFlagFixed;
    tagsTable.tags[id].defaultValue = insertName(value);
  }
  XmlTag& w = tagsTable.tags[id];
  if (local == "abstract" && isTrue()) w.flags |= kTagFlagAbstract;
  if (local == "nillable" && isTrue()) w.flags |= kTagFlagNillable;
}

void walk(DOMNode* node, int32_t parent, int32_t& schemaId) {
  for (; node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    std::string prefix, local;
    split(transcode(node->getNodeName()), prefix, local);
    uint8_t kind = 0;
    for (const KindName& k : kKinds) {
      if (local == k.name) kind = k.kind;
    }
    if (kind == kTagAnnotation || kind == kTagAppinfo || kind == kTagDocumentation) continue;
    int32_t id = tagsTable.tags.add();
    if (schemaId == 0) schemaId = id;
    XmlTag& t = tagsTable.tags[id];
    t.tagName = insertName(local);
    t.elemType = kind;
    t.schemaId = schemaId;
    t.minOccurs = kOccursNotGiven;
    t.maxOccurs = kOccursNotGiven;
    t.parent = parent;
    XmlTag& p = tagsTable.tags[parent];
    if (p.firstChild == 0) {
      p.firstChild = id;
    } else {
      tagsTable.tags[p.lastChild].nextSibling = id;
      tagsTable.tags[id].prevSibling = p.lastChild;
    }
    tagsTable.tags[parent].lastChild = id;
    DOMNamedNodeMap* attrs = node->getAttributes();
    // Namespace declarations first, so that a type attribute written before
    // them still sees its prefix.
    for (int pass = 0; pass < 2; ++pass) {
      for (XMLSize_t i = 0; i < attrs->getLength(); ++i) {
        std::string name = transcode(attrs->item(i)->getNodeName());
        bool isDecl = name.rfind("xmlns", 0) == 0;
        if ((pass == 0) != isDecl) continue;
        decode(id, schemaId, name, transcode(attrs->item(i)->getNodeValue()));
      }
    }
    if (kind == kTagElement || kind == kTagAttribute ||
        ((kind == kTagSimpleType || kind == kTagComplexType) && tagsTable.tags[id].name != 0)) {
      setXmlName(id, schemaId);
    }
    walk(node->getFirstChild(), id, schemaId);
  }
}

}  // namespace

namespace {
/// Parses `xsd` under tag `parent`; returns the new document's first tag.
int32_t parseUnder(const std::string& xsd, int32_t parent);
}  // namespace

int32_t loadSchemaText(const std::string& xsd) { return parseUnder(xsd, 0); }

namespace {
int32_t parseUnder(const std::string& xsd, int32_t parent) {
  static bool initialised = false;
  if (!initialised) {
    XMLPlatformUtils::Initialize();
    initialised = true;
  }
  if (!tagsTable.tags.allocated()) tagsTable.allocate(512);
  if (!modelTables.elements.allocated()) modelTables.allocate(4096, 512, 1024, 1024);
  if (tagsTable.xsdNamespace == 0) tagsTable.xsdNamespace = insertName(kXsd);
  XercesDOMParser parser;
  parser.setDoNamespaces(true);
  parser.setValidationScheme(XercesDOMParser::Val_Never);
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(xsd.data()), xsd.size(), "schema");
  try {
    parser.parse(source);
  } catch (...) {
    return 0;
  }
  if (parser.getErrorCount() != 0 || parser.getDocument() == nullptr) return 0;
  int32_t schemaId = 0;
  walk(parser.getDocument()->getFirstChild(), parent, schemaId);
  return schemaId;
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool namespaceLoaded(NameRef ns) {
  for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagsTable.tags[s].nextSibling) {
    if (tagsTable.tags[s].targetNamespace == ns) return true;
  }
  return false;
}

/// Follows the imports and includes among the children of schema tag `schema`.
void followReferences(int32_t schema, const std::string& dir) {
  for (int32_t c = tagsTable.tags[schema].firstChild; c != 0;) {
    int32_t next = tagsTable.tags[c].nextSibling;
    XmlTag t = tagsTable.tags[c];
    if ((t.elemType == kTagImport || t.elemType == kTagInclude) && t.schemaLocation != 0) {
      std::string path = dir + nameAt(t.schemaLocation);
      if (t.elemType == kTagImport && !namespaceLoaded(t.nameSpace)) {
        int32_t imported = parseUnder(readFile(path), 0);
        if (imported != 0) followReferences(imported, directoryOf(path));
      } else if (t.elemType == kTagInclude) {
        int32_t included = parseUnder(readFile(path), c);
        if (included != 0) {
          followReferences(included, directoryOf(path));
          // the included components stand where the include tag stood
          int32_t first = tagsTable.tags[included].firstChild;
          int32_t last = tagsTable.tags[included].lastChild;
          for (int32_t k = first; k != 0; k = tagsTable.tags[k].nextSibling) {
            tagsTable.tags[k].parent = schema;
          }
          int32_t prev = tagsTable.tags[c].prevSibling;
          if (first == 0) {
            first = next;
            last = prev;
          } else {
            tagsTable.tags[first].prevSibling = prev;
            tagsTable.tags[last].nextSibling = next;
          }
          if (prev != 0) {
            tagsTable.tags[prev].nextSibling = first != 0 ? first : next;
          } else {
            tagsTable.tags[schema].firstChild = first;
          }
          if (next != 0) {
            tagsTable.tags[next].prevSibling = last != 0 ? last : prev;
          } else {
            tagsTable.tags[schema].lastChild = last;
          }
        }
      }
    }
    c = next;
  }
}
}  // namespace

int32_t loadSchemaFile(const std::string& path) {
  int32_t schema = parseUnder(readFile(path), 0);
  if (schema != 0) followReferences(schema, directoryOf(path));
  return schema;
}

int32_t topElement(const char* name) {
  NameRef ref = insertName(name);
  for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagsTable.tags[s].nextSibling) {
    for (int32_t c = tagsTable.tags[s].firstChild; c != 0; c = tagsTable.tags[c].nextSibling) {
      if (tagsTable.tags[c].elemType == kTagElement && tagsTable.tags[c].name == ref) return c;
    }
  }
  return 0;
}

std::string modelReportText() {
  std::fflush(stdout);
  char path[] = "/tmp/kova-model-report-XXXXXX";
  int fd = mkstemp(path);
  int saved = dup(1);
  dup2(fd, 1);
  bool wasTracing = tracing();
  traceOn();
  dumpModelTables();
  std::fflush(stdout);
  if (!wasTracing) traceOff();
  dup2(saved, 1);
  close(saved);
  close(fd);
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  unlink(path);
  return ss.str();
}
