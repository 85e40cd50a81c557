// The document walk: one schema text, parsed from memory with the DOM parser,
// becomes one run of consecutive rows of the XML tags table.
//
// Every element node gives one XmlTag, linked as the last child of its parent
// tag; annotation subtrees give nothing.  Names and values are converted to
// UTF-8 bytes whatever the process locale.  The parser never reaches the
// network: the external DTD a DOCTYPE names is never read nor validated
// against, other external entities are read only from local files, and
// entity expansion is bounded.
#include "document_walk.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLRecognizer.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLString.hpp>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "xml_tags.h"

using namespace xercesc;

namespace {

constexpr const char* kXsdNamespaceName = "http://www.w3.org/2001/XMLSchema";

// Entity references expanded per document before the parse is stopped.  Real
// schemas use a handful; a "billion laughs" document needs millions.
constexpr XMLSize_t kEntityExpansionLimit = 10000;

// The platform is initialised once per process, whatever the runs.
bool platformReady = false;
XMLTranscoder* utf8Transcoder = nullptr;

// Converts parser text to UTF-8 bytes in `out` (reused between calls).
void toUtf8(const XMLCh* text, std::string& out) {
  out.clear();
  if (text == nullptr) return;
  XMLSize_t length = XMLString::stringLen(text);
  XMLSize_t done = 0;
  while (done < length) {
    size_t old = out.size();
    // One UTF-16 unit never needs more than three bytes.
    XMLSize_t room = (length - done) * 3 + 4;
    out.resize(old + room);
    XMLSize_t eaten = 0;
    XMLSize_t bytes = utf8Transcoder->transcodeTo(text + done, length - done,
                                                  reinterpret_cast<XMLByte*>(out.data() + old),
                                                  room, eaten, XMLTranscoder::UnRep_RepChar);
    out.resize(old + bytes);
    if (eaten == 0) break;
    done += eaten;
  }
}

std::string utf8(const XMLCh* text) {
  std::string s;
  toUtf8(text, s);
  return s;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The DOM parser of one schema document; it knows while it is inside the
// internal subset of the DOCTYPE, where every entity that is referenced is a
// parameter entity, part of the DTD.
class SchemaDocumentParser : public XercesDOMParser {
 public:
  bool inDoctype() const { return inDoctype_; }
  void startIntSubset() override {
    inDoctype_ = true;
    XercesDOMParser::startIntSubset();
  }
  void endIntSubset() override {
    XercesDOMParser::endIntSubset();
    inDoctype_ = false;
  }

 private:
  bool inDoctype_ = false;
};

// Resolves every external general entity to a local file; one at a network
// address, and every external parameter entity (a piece of DTD, which is
// never read), is replaced by empty text.
class LocalEntityResolver : public XMLEntityResolver {
 public:
  LocalEntityResolver(std::string documentFolder, const SchemaDocumentParser& parser)
      : folder_(std::move(documentFolder)), parser_(parser) {}

  InputSource* resolveEntity(XMLResourceIdentifier* id) override {
    static const XMLByte kNothing[1] = {0};
    std::string system = utf8(id->getSystemId());
    if (parser_.inDoctype()) {
      tracePrintf("external DTD part %s is not read\n", system.c_str());
      return new MemBufInputSource(kNothing, 0, id->getSystemId(), false);
    }
    if (isNetworkAddress(system)) {
      tracePrintf("external entity %s is not fetched\n", system.c_str());
      return new MemBufInputSource(kNothing, 0, id->getSystemId(), false);
    }
    std::string path = system;
    if (path.rfind("file://", 0) == 0) {
      path.erase(0, 7);
    } else if (path.rfind("file:", 0) == 0) {
      path.erase(0, 5);
    }
    if (path.empty() || path[0] != '/') {
      std::string base = utf8(id->getBaseURI());
      if (base.rfind("file://", 0) == 0) base.erase(0, 7);
      std::string folder = (!base.empty() && !isNetworkAddress(base)) ? folderOf(base) : folder_;
      path = folder + path;
    }
    XMLCh* wide = XMLString::transcode(path.c_str());
    InputSource* source = new LocalFileInputSource(wide);
    XMLString::release(&wide);
    return source;
  }

 private:
  std::string folder_;
  const SchemaDocumentParser& parser_;
};

// Interns the part of `buf` given by `part` (not NUL-terminated in place).
NameRef internPart(std::string_view part, std::string& scratch) {
  scratch.assign(part);
  return insertName(scratch.c_str());
}

// Builds one tag for an element node and returns its xmlId, or 0 when the
// element (an annotation) gives no tag and is not to be looked into.
int32_t addElementTag(const DOMNode* node, int32_t parent, int32_t schemaId) {
  static std::string name, scratch, attrName, attrValue;
  toUtf8(node->getNodeName(), name);
  std::string_view qname(name);
  size_t colon = qname.find(':');
  std::string_view prefix =
      colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
  std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  scratch.assign(local);
  int32_t kind = getElemType(scratch.c_str());
  if (kind == kTagAnnotation || kind == kTagAppinfo || kind == kTagDocumentation) return 0;

  GrowTable<XmlTag>& tags = tagsTable.tags;
  int32_t id = tags.add();
  {
    NameRef tagName = internPart(local, scratch);
    NameRef tagPrefix = prefix.empty() ? 0 : internPart(prefix, scratch);
    XmlTag& tag = tags[id];
    tag.tagName = tagName;
    tag.elemType = static_cast<uint8_t>(kind);
    tag.schemaId = schemaId;
    tag.tagPrefix = tagPrefix;
    tag.minOccurs = kOccursNotGiven;
    tag.maxOccurs = kOccursNotGiven;
  }
  if (kind == kTagUnknown) tagsTable.parseStatus = reportError(9411);

  XmlTag& tag = tags[id];
  tag.parent = parent;
  XmlTag& up = tags[parent];
  if (up.firstChild == 0) {
    up.firstChild = id;
    up.lastChild = id;
  } else {
    tags[up.lastChild].nextSibling = id;
    tag.prevSibling = up.lastChild;
    up.lastChild = id;
  }

  const DOMNamedNodeMap* attrs = node->getAttributes();
  XMLSize_t n = attrs ? attrs->getLength() : 0;
  // Namespace declarations first, so that a QName value on the same tag is
  // read with them in scope wherever they stand among the attributes.
  for (int pass = 0; pass < 2; ++pass) {
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode* attr = attrs->item(i);
      toUtf8(attr->getNodeName(), attrName);
      bool declaration = attrName.compare(0, 5, "xmlns") == 0 &&
                         (attrName.size() == 5 || attrName[5] == ':');
      if (declaration != (pass == 0)) continue;
      toUtf8(attr->getNodeValue(), attrValue);
      bool isName = attrName == "name";
      getAttrValue(attrName.data(), attrValue.data(), schemaId);
      if (isName && (kind == kTagSimpleType || kind == kTagComplexType))
        createXMLname(id, schemaId);
    }
  }
  // After every attribute, so that a form attribute counts wherever it stands.
  if (kind == kTagElement || kind == kTagAttribute) createXMLname(id, schemaId);
  return id;
}

// The XML Schema error handler: the first error or fatal error of a document
// is reported, naming the file, and ends its parse.
class DOMTreeErrorReporter : public ErrorHandler {
 public:
  explicit DOMTreeErrorReporter(std::string fileName) : fileName_(std::move(fileName)) {}
  ~DOMTreeErrorReporter() override = default;
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException& e) override { report(e); }
  void fatalError(const SAXParseException& e) override { report(e); }
  void resetErrors() override {}

 private:
  void report(const SAXParseException& e) {
    tracePrintf("An error occurred during parsing - see the following message...\n");
    tagsTable.parseStatus = reportError(9422, {intInsert(static_cast<int64_t>(e.getLineNumber())),
                                               intInsert(static_cast<int64_t>(e.getColumnNumber())),
                                               textInsert(utf8(e.getMessage())),
                                               textInsert(fileName_)});
    throw SAXParseException(e);
  }

  std::string fileName_;
};

}  // namespace

// A system identifier with a URI scheme other than "file:" (http:, https:,
// ftp:, ...) is a network address.
bool isNetworkAddress(std::string_view id) {
  size_t colon = id.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    char c = id[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  std::string scheme(id.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(c | 0x20);
  return scheme != "file";
}

int32_t getElemType(const char* tagName) {
  struct KindInfo {
    int32_t kind;
    int32_t counter;  // -1: not counted
  };
  static const std::unordered_map<std::string_view, KindInfo> kinds = {
      {"element", {kTagElement, kCountElement}},
      {"attribute", {kTagAttribute, kCountAttribute}},
      {"attributeGroup", {kTagAttributeGroup, kCountAttributeGroup}},
      {"group", {kTagGroup, kCountGroup}},
      {"simpleType", {kTagSimpleType, kCountSimpleType}},
      {"complexType", {kTagComplexType, kCountComplexType}},
      {"simpleContent", {kTagSimpleContent, kCountSimpleContent}},
      {"complexContent", {kTagComplexContent, kCountComplexContent}},
      {"sequence", {kTagSequence, -1}},
      {"choice", {kTagChoice, -1}},
      {"all", {kTagAll, -1}},
      {"any", {kTagAny, -1}},
      {"annotation", {kTagAnnotation, -1}},
      {"appinfo", {kTagAppinfo, -1}},
      {"documentation", {kTagDocumentation, -1}},
      {"anyAttribute", {kTagAnyAttribute, -1}},
      {"extension", {kTagExtension, kCountExtension}},
      {"field", {kTagField, -1}},
      {"import", {kTagImport, -1}},
      {"include", {kTagInclude, -1}},
      {"key", {kTagKey, -1}},
      {"keyref", {kTagKeyref, -1}},
      {"list", {kTagList, -1}},
      {"notation", {kTagNotation, -1}},
      {"pattern", {kTagPattern, -1}},
      {"redefine", {kTagRedefine, -1}},
      {"restriction", {kTagRestriction, kCountRestriction}},
      {"schema", {kTagSchema, kCountSchema}},
      {"selector", {kTagSelector, -1}},
      {"union", {kTagUnion, -1}},
      {"unique", {kTagUnique, -1}},
      {"enumeration", {kTagEnumeration, -1}},
      {"fractionDigits", {kTagFractionDigits, -1}},
      {"length", {kTagLength, -1}},
      {"maxExclusive", {kTagMaxExclusive, -1}},
      {"maxInclusive", {kTagMaxInclusive, -1}},
      {"maxLength", {kTagMaxLength, -1}},
      {"minExclusive", {kTagMinExclusive, -1}},
      {"minInclusive", {kTagMinInclusive, -1}},
      {"minLength", {kTagMinLength, -1}},
      {"totalDigits", {kTagTotalDigits, -1}},
      {"whiteSpace", {kTagWhiteSpace, -1}},
  };
  auto it = kinds.find(tagName ? std::string_view(tagName) : std::string_view());
  if (it == kinds.end()) return kTagUnknown;
  if (it->second.counter >= 0) ++tagsTable.counters[it->second.counter];
  return it->second.kind;
}

void recurseLevel(const DOMNode* node, int32_t parent, int32_t schemaId, int32_t topLevel) {
  tracePrintf("==> recurseLevel parent=%d schemaId=%d topLevel=%d\n", parent, schemaId, topLevel);
  // Depth first in document order.  Siblings are taken in a loop and nesting
  // keeps its resume points on this stack, so neither a long sibling chain nor
  // deep nesting grows the call stack.
  struct Resume {
    const DOMNode* node;
    int32_t parent;
  };
  std::vector<Resume> stack;
  while (node != nullptr) {
    int32_t childParent = -1;  // -1: the node's content is not walked
    const DOMNode::NodeType type = node->getNodeType();
    if (type == DOMNode::TEXT_NODE || type == DOMNode::COMMENT_NODE ||
        type == DOMNode::PROCESSING_INSTRUCTION_NODE || type == DOMNode::CDATA_SECTION_NODE) {
      // Leaves by their nature: no need to ask the DOM for children.
    } else if (type != DOMNode::ELEMENT_NODE) {
      childParent = tagsTable.tags.count();
    } else {
      int32_t id = addElementTag(node, parent, schemaId);
      if (id > 0) childParent = id;
    }
    const DOMNode* child = childParent >= 0 ? node->getFirstChild() : nullptr;
    if (child != nullptr) {
      stack.push_back({node, parent});
      node = child;
      parent = childParent;
      continue;
    }
    for (;;) {
      const DOMNode* next = node->getNextSibling();
      if (next != nullptr) {
        node = next;
        break;
      }
      if (stack.empty()) {
        node = nullptr;
        break;
      }
      node = stack.back().node;
      parent = stack.back().parent;
      stack.pop_back();
    }
  }
  tracePrintf("<== recurseLevel\n");
}

int32_t parseXMLfile(const char* text, int32_t parent, const char* fileName) {
  tracePrintf("==> parseXMLfile parent=%d file=%s\n", parent, fileName ? fileName : "");
  if (tagsTable.xsdNamespace == 0) tagsTable.xsdNamespace = insertName(kXsdNamespaceName);
  if (!tagsTable.parserInitialised) {
    try {
      if (!platformReady) {
        XMLPlatformUtils::Initialize();
        XMLTransService::Codes code;
        utf8Transcoder = XMLPlatformUtils::fgTransService->makeNewTranscoderFor(
            XMLRecognizer::UTF_8, code, 16 * 1024);
        platformReady = true;
      }
      reportInfo(9406);
      tagsTable.parserInitialised = true;
    } catch (const XMLException& e) {
      tagsTable.parseStatus = reportError(9407, {textInsert(utf8(e.getMessage()))});
    }
  }
  if (!tagsTable.parserInitialised) {
    // Without a parser nothing can be read; the status already says so.
    tracePrintf("<== ending parseXMLfile, errSw=%d\n", run.errSw);
    return tagsTable.parseStatus;
  }

  std::string_view body(text ? text : "");
  std::string file = fileName ? fileName : "";

  // A schema document is never validated against a DTD, and the external
  // subset its DOCTYPE names is not read: XML Schema's own documents name
  // DTDs that are seldom shipped beside them.  The internal subset is still
  // read, so its entities expand (within the expansion limit).
  SchemaDocumentParser parser;
  parser.setValidationScheme(XercesDOMParser::Val_Never);
  parser.setLoadExternalDTD(false);
  parser.setDoNamespaces(true);
  DOMTreeErrorReporter reporter(file);
  parser.setErrorHandler(&reporter);
  parser.setCreateEntityReferenceNodes(false);
  LocalEntityResolver resolver(folderOf(file), parser);
  parser.setXMLEntityResolver(&resolver);
  parser.setDisableDefaultEntityResolution(true);
  SecurityManager security;
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  parser.setSecurityManager(&security);

  static const XMLCh kNoSystemId[] = {0};
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(body.data()), body.size(), kNoSystemId,
                           false);
  bool failed = false;
  try {
    parser.parse(source);
  } catch (const DOMException& e) {
    tagsTable.parseStatus = reportError(9409, {textInsert(utf8(e.getMessage()))});
    failed = true;
  } catch (const XMLException& e) {
    tracePrintf("An XMLException error occurred during parsing\n");
    tagsTable.parseStatus = reportError(9423, {textInsert(utf8(e.getMessage()))});
    failed = true;
  } catch (const SAXParseException&) {
    run.errSw = 1;  // the error reporter has printed 9422 and set the status
    failed = true;
  } catch (...) {
    tagsTable.parseStatus = reportError(9410);
    failed = true;
  }

  if (failed &&
      (body == "<" || body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF")) {
    // The text ends at its first NUL byte, which a 16-bit encoding puts
    // straight after the first character.
    progressPrintf(
        "*****Error - the schema text %s ends at a NUL byte after %zu bytes; a document "
        "in a 16-bit encoding (UTF-16) cannot be read\n",
        file.c_str(), body.size());
  }
  if (!failed) {
    reportInfo(9408, {textInsert(file)});
    const DOMDocument* document = parser.getDocument();
    int32_t first = tagsTable.tags.count() + 1;
    if (document != nullptr) recurseLevel(document->getFirstChild(), parent, first, 1);
    if (tagsTable.tags.count() >= first) tagsTable.documentFile[first] = file;
  }
  tracePrintf("<== ending parseXMLfile, errSw=%d\n", run.errSw);
  return tagsTable.parseStatus;
}

void createXMLname(int32_t xmlId, int32_t schemaId) {
  tracePrintf("==> createXMLname xmlId=%d schemaId=%d\n", xmlId, schemaId);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  std::string name = nameAt(tags[xmlId].name);
  size_t colon = name.find(':');
  std::string prefix = colon == std::string::npos ? std::string() : name.substr(0, colon);
  std::string local = colon == std::string::npos ? name : name.substr(colon + 1);

  const XmlTag& tag = tags[xmlId];
  const XmlTag* schema = schemaId > 0 ? &tags[schemaId] : nullptr;
  bool qualified;
  if (tags[tag.parent].elemType == kTagSchema) {
    qualified = true;  // a global component
  } else if (tag.formFlags & kFormQualified) {
    qualified = true;
  } else if (tag.formFlags & kFormUnqualified) {
    qualified = false;
  } else if (tag.elemType == kTagElement) {
    qualified = schema != nullptr && (schema->formFlags & kFormElemQualified);
  } else if (tag.elemType == kTagAttribute) {
    qualified = schema != nullptr && (schema->formFlags & kFormAttrQualified);
  } else {
    qualified = true;  // simple and complex types
  }
  if (qualified) {
    createQualName(xmlId, schemaId, prefix.c_str(), local.c_str());
  } else {
    NameRef xmlName = insertName(local);
    tags[xmlId].xmlName = xmlName;
  }
  tracePrintf("<== createXMLname %s\n", nameAt(tags[xmlId].xmlName));
}

void createQualName(int32_t xmlId, int32_t schemaId, const char* prefix, const char* localName) {
  tracePrintf("==> createQualName xmlId=%d prefix=%s local=%s\n", xmlId, prefix, localName);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  std::string result = localName;
  NameRef nameSpace = schemaId > 0 ? tags[schemaId].targetNamespace : 0;
  bool bare = nameSpace == 0;
  if (!bare && prefix[0] != '\0') {
    int32_t entry = findXmlnsEntry(schemaId, insertName(prefix));
    if (entry == 0) {
      bare = true;
    } else {
      nameSpace = tagsTable.xmlns[entry].nameSpace;
    }
  }
  if (!bare && nameSpace != parms.defNameSpace) {
    int32_t block = findPrefixBlockIndex(nameSpace);
    if (nameSpace == storedXmlNamespace()) {
      result = std::string("xml:") + localName;  // bound by definition
    } else if (block >= 0 && fileLists.prefixes[static_cast<size_t>(block)].origin ==
                                 kPrefixFromParameters) {
      result = std::string(nameAt(fileLists.prefixes[static_cast<size_t>(block)].prefix)) + ":" +
               localName;
    } else {
      // No [NAMESPACEPREFIX] line: the name waits for the prefix settled when
      // every document is read; until then it carries the prefix declared
      // first, if any.
      if (tagsTable.prefixWantedSet.insert(nameSpace).second)
        tagsTable.prefixWanted.push_back(nameSpace);
      tagsTable.provisionalNames.emplace_back(xmlId, nameSpace);
      if (block >= 0) {
        result = std::string(nameAt(fileLists.prefixes[static_cast<size_t>(block)].prefix)) +
                 ":" + localName;
      }
    }
  }
  NameRef xmlName = insertName(result);
  tags[xmlId].xmlName = xmlName;
  tracePrintf("<== createQualName %s\n", result.c_str());
}
