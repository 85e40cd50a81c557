// The document walk: one schema text, scanned from memory with the SAX
// parser, becomes one run of consecutive rows of the XML tags table.
//
// Every element gives one XmlTag, linked as the last child of its parent
// tag; annotation subtrees give nothing.  Names and values are converted to
// UTF-8 bytes whatever the process locale.  The parser never reaches the
// network: the external DTD a DOCTYPE names is never read nor validated
// against, other external entities are read only from local files, and
// entity expansion is bounded in count and in the text it yields, and so is
// the nesting of elements.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLRecognizer.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "trace.h"
#include "xml_tags.h"

using namespace xercesc;

namespace {

constexpr const char* kXsdNamespaceName = "http://www.w3.org/2001/XMLSchema";

// Entity references expanded per document before the parse is stopped.  Real
// schemas use a handful; a "billion laughs" document needs millions.
constexpr XMLSize_t kEntityExpansionLimit = 10000;
// The text one entity may hold, and the text all expansions of a document's
// content may yield together (in UTF-16 units).  Real schemas declare a few
// short names; a document that multiplies a large entity is refused before
// it fills memory.
constexpr XMLSize_t kEntityValueLimit = 64 * 1024;
constexpr XMLSize_t kEntityTextLimit = 1024 * 1024;
// Elements open at once.  Real schemas nest a few dozen deep.
constexpr int kElementNestingLimit = 10000;

// Thrown out of the parser's callbacks when a limit is passed; the parse
// ends there.
struct ParseLimitExceeded {
  std::string reason;
};

// The platform is initialised once per process, whatever the runs.
bool platformReady = false;
XMLTranscoder* utf8Transcoder = nullptr;

// Appends parser text to `out` as UTF-8 bytes.
void appendUtf8(const XMLCh* text, std::string& out) {
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

// Converts parser text to UTF-8 bytes in `out` (reused between calls).
void toUtf8(const XMLCh* text, std::string& out) {
  out.clear();
  appendUtf8(text, out);
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

// The SAX scanner of one schema document; it knows while it is inside the
// internal subset of the DOCTYPE, where every entity that is referenced is a
// parameter entity, part of the DTD.
class SchemaDocumentScanner : public SAX2XMLReaderImpl {
 public:
  bool inDoctype = false;
  void startIntSubset() override {
    inDoctype = true;
    SAX2XMLReaderImpl::startIntSubset();
  }
  void endIntSubset() override {
    SAX2XMLReaderImpl::endIntSubset();
    inDoctype = false;
  }
};

// Resolves every external general entity to a local file; one at a network
// address, and every external parameter entity (a piece of DTD, which is
// never read), is replaced by empty text.  `inDoctype` is the parser's flag.
class LocalEntityResolver : public XMLEntityResolver {
 public:
  LocalEntityResolver(std::string documentFolder, const bool& inDoctype)
      : folder_(std::move(documentFolder)), inDoctype_(inDoctype) {}

  InputSource* resolveEntity(XMLResourceIdentifier* id) override {
    static const XMLByte kNothing[1] = {0};
    std::string system = utf8(id->getSystemId());
    if (inDoctype_) {
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
  const bool& inDoctype_;
};

// Interns the part of `buf` given by `part` (not NUL-terminated in place).
NameRef internPart(std::string_view part, std::string& scratch) {
  scratch.assign(part);
  return insertName(scratch.c_str());
}

// One schema tag as the parser gives it: its qualified name and its
// attributes, all UTF-8 and NUL-terminated, in document order.  The
// attribute texts are writable: decoding an attribute may cut it in place.
struct TagText {
  const char* qname;
  size_t attrCount;
  char* const* names;
  char* const* values;
};

// The three tags whose content the model never reads: an annotation and what
// stands in it (also when one stands elsewhere) give no tag, nor does
// anything inside them.
bool isAnnotationName(std::string_view local) {
  return local == "annotation" || local == "appinfo" || local == "documentation";
}

// Builds one tag and returns its xmlId, or 0 when the element (an
// annotation) gives no tag and is not to be looked into.  Called once per
// element in document order.
int32_t addElementTag(const TagText& element, int32_t parent, int32_t schemaId) {
  static std::string scratch;
  std::string_view qname(element.qname);
  size_t colon = qname.find(':');
  std::string_view prefix =
      colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
  std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  if (isAnnotationName(local)) return 0;
  scratch.assign(local);
  int32_t kind = getElemType(scratch.c_str());

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

  // Namespace declarations first, so that a QName value on the same tag is
  // read with them in scope wherever they stand among the attributes.  The
  // kind of each attribute is taken before any is decoded (decoding cuts a
  // name at its colon).
  static std::vector<uint8_t> declaration;
  declaration.assign(element.attrCount, 0);
  for (size_t i = 0; i < element.attrCount; ++i) {
    const char* attrName = element.names[i];
    declaration[i] =
        std::strncmp(attrName, "xmlns", 5) == 0 && (attrName[5] == '\0' || attrName[5] == ':');
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < element.attrCount; ++i) {
      if ((declaration[i] != 0) != (pass == 0)) continue;
      bool isName = std::strcmp(element.names[i], "name") == 0;
      getAttrValue(element.names[i], element.values[i], schemaId);
      if (isName && (kind == kTagSimpleType || kind == kTagComplexType))
        createXMLname(id, schemaId);
    }
  }
  // After every attribute, so that a form attribute counts wherever it stands.
  if (kind == kTagElement || kind == kTagAttribute) createXMLname(id, schemaId);
  return id;
}

// A document's elements as the SAX scan reports them, kept compactly until
// the scan has ended without an error: only then do they become tags, so a
// document that does not parse adds none, and what decoding them reports
// comes after the message that the document was parsed.  Annotation
// subtrees are skipped during the scan and never stored.
class TagRecorder : public DefaultHandler {
 public:
  void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname,
                    const Attributes& attrs) override {
    if (skipDepth_ > 0) {
      ++skipDepth_;
      return;
    }
    const XMLCh* local = qname;
    for (const XMLCh* c = qname; *c != 0; ++c) {
      if (*c == chColon) {
        local = c + 1;
        break;
      }
    }
    if (isAnnotation(local)) {
      skipDepth_ = 1;
      return;
    }
    // The attributes are taken in the order of their qualified names, not
    // as written: the order in which namespace declarations are recorded,
    // and attribute messages printed, never depends on how a document
    // happens to list them.
    XMLSize_t n = attrs.getLength();
    order_.resize(n);
    for (XMLSize_t i = 0; i < n; ++i) order_[i] = i;
    std::sort(order_.begin(), order_.end(), [&attrs](XMLSize_t a, XMLSize_t b) {
      return XMLString::compareString(attrs.getQName(a), attrs.getQName(b)) < 0;
    });
    ops_.push_back(text(qname));
    ops_.push_back(static_cast<uint32_t>(n));
    for (XMLSize_t i : order_) {
      ops_.push_back(text(attrs.getQName(i)));
      ops_.push_back(text(attrs.getValue(i)));
    }
  }

  void endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const) override {
    if (skipDepth_ > 0) {
      --skipDepth_;
      return;
    }
    ops_.push_back(kEnd);
  }

  // Makes the tags of the recorded elements under `parent`.
  void replay(int32_t parent, int32_t schemaId) {
    std::vector<int32_t> parents;
    std::vector<char*> pointers;
    size_t i = 0;
    while (i < ops_.size()) {
      if (ops_[i] == kEnd) {
        parent = parents.back();
        parents.pop_back();
        ++i;
        continue;
      }
      char* qname = texts_.data() + ops_[i];
      size_t n = ops_[i + 1];
      i += 2;
      pointers.resize(2 * n);
      for (size_t a = 0; a < n; ++a) {
        pointers[a] = texts_.data() + ops_[i + 2 * a];
        pointers[n + a] = texts_.data() + ops_[i + 2 * a + 1];
      }
      i += 2 * n;
      TagText element{qname, n, pointers.data(), pointers.data() + n};
      int32_t id = addElementTag(element, parent, schemaId);
      parents.push_back(parent);
      parent = id;
    }
  }

 private:
  static constexpr uint32_t kEnd = UINT32_MAX;

  static bool isAnnotation(const XMLCh* local) {
    static const XMLCh kAnnotation[] = {chLatin_a, chLatin_n, chLatin_n, chLatin_o,
                                        chLatin_t, chLatin_a, chLatin_t, chLatin_i,
                                        chLatin_o, chLatin_n, chNull};
    static const XMLCh kAppinfo[] = {chLatin_a, chLatin_p, chLatin_p, chLatin_i,
                                     chLatin_n, chLatin_f, chLatin_o, chNull};
    static const XMLCh kDocumentation[] = {chLatin_d, chLatin_o, chLatin_c, chLatin_u, chLatin_m,
                                           chLatin_e, chLatin_n, chLatin_t, chLatin_a, chLatin_t,
                                           chLatin_i, chLatin_o, chLatin_n, chNull};
    return XMLString::equals(local, kAnnotation) || XMLString::equals(local, kAppinfo) ||
           XMLString::equals(local, kDocumentation);
  }

  // Stores `value` as UTF-8 with a NUL after it; returns its offset.
  uint32_t text(const XMLCh* value) {
    size_t at = texts_.size();
    appendUtf8(value, texts_);
    texts_.push_back('\0');
    return static_cast<uint32_t>(at);
  }

  std::string texts_;
  std::vector<XMLSize_t> order_;
  std::vector<uint32_t> ops_;  // start: qname, n, n x (name, value); end: kEnd
  int skipDepth_ = 0;
};

// The XML Schema error handler: the first error or fatal error of a document
// is reported, naming the file, and ends its parse.
class SchemaErrorReporter : public ErrorHandler {
 public:
  explicit SchemaErrorReporter(std::string fileName) : fileName_(std::move(fileName)) {}
  ~SchemaErrorReporter() override = default;
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException& e) override { report(e); }
  void fatalError(const SAXParseException& e) override { report(e); }
  void resetErrors() override {}

 private:
  void report(const SAXParseException& e) {
    tracePrintf("An error occurred during parsing - see the following message...\n");
    tagsTable.parseStatus =
        reportError(9422, {intInsert(static_cast<int64_t>(e.getLineNumber())),
                           intInsert(static_cast<int64_t>(e.getColumnNumber())),
                           textInsert(utf8(e.getMessage())), textInsert(fileName_)});
    throw SAXParseException(e);
  }

  std::string fileName_;
};

// The schema document scanner with the document's nesting and entity text
// counted as the scanner reports them, so that a hostile document ends early
// and small.
class BoundedScanner : public SchemaDocumentScanner {
 public:
  void startElement(const XMLElementDecl& elemDecl, const unsigned int urlId,
                    const XMLCh* const elemPrefix, const RefVectorOf<XMLAttr>& attrList,
                    const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override {
    if (!isEmpty && ++depth_ > kElementNestingLimit) {
      throw ParseLimitExceeded{"elements are nested more than " +
                               std::to_string(kElementNestingLimit) + " levels deep"};
    }
    SAX2XMLReaderImpl::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty,
                                    isRoot);
  }
  void endElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const bool isRoot,
                  const XMLCh* const elemPrefix) override {
    --depth_;
    SAX2XMLReaderImpl::endElement(elemDecl, urlId, isRoot, elemPrefix);
  }
  void startEntityReference(const XMLEntityDecl& entDecl) override {
    expanded_ += entDecl.getValueLen();
    if (expanded_ > kEntityTextLimit) {
      throw ParseLimitExceeded{"its entity references expand to more than " +
                               std::to_string(kEntityTextLimit) + " characters"};
    }
    SAX2XMLReaderImpl::startEntityReference(entDecl);
  }
  void entityDecl(const DTDEntityDecl& entityDecl, const bool isPEDecl,
                  const bool isIgnored) override {
    if (entityDecl.getValueLen() > kEntityValueLimit) {
      throw ParseLimitExceeded{"entity " + utf8(entityDecl.getName()) + " holds more than " +
                               std::to_string(kEntityValueLimit) + " characters"};
    }
    SAX2XMLReaderImpl::entityDecl(entityDecl, isPEDecl, isIgnored);
  }

 private:
  int depth_ = 0;
  XMLSize_t expanded_ = 0;
};

// Runs one parse of `file`; false (after its message) when it ended in an
// error.
template <class Parse>
bool parseGuarded(Parse&& parse, const std::string& file) {
  try {
    parse();
    return true;
  } catch (const XMLException& e) {
    tracePrintf("An XMLException error occurred during parsing\n");
    tagsTable.parseStatus = reportError(9423, {textInsert(utf8(e.getMessage()))});
  } catch (const SAXParseException&) {
    run.errSw = 1;  // the error reporter has printed 9422 and set the status
  } catch (const ParseLimitExceeded& e) {
    tagsTable.parseStatus = reportError(9451, {textInsert(file), textInsert(e.reason)});
  } catch (...) {
    tagsTable.parseStatus = reportError(9410);
  }
  return false;
}

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

int32_t parseXMLfile(const char* text, int32_t parent, const char* fileName) {
  TraceScope trace("parseXMLfile", "parent=%d file=%s", parent, fileName ? fileName : "");
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
    trace.result("errSw=%d", run.errSw);
    return tagsTable.parseStatus;
  }

  std::string_view body(text ? text : "");
  std::string file = fileName ? fileName : "";

  // A schema document is never validated against a DTD, and the external
  // subset its DOCTYPE names is not read: XML Schema's own documents name
  // DTDs that are seldom shipped beside them.  The internal subset is still
  // read, so its entities expand (within the expansion limits).
  SchemaErrorReporter reporter(file);
  SecurityManager security;
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  static const XMLCh kNoSystemId[] = {0};
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(body.data()), body.size(), kNoSystemId,
                           false);
  int32_t first = tagsTable.tags.count() + 1;
  // Namespace declarations are wanted among the attributes; the scan is
  // not a schema validation.
  BoundedScanner scanner;
  scanner.setFeature(XMLUni::fgSAX2CoreValidation, false);
  scanner.setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
  scanner.setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, true);
  scanner.setFeature(XMLUni::fgXercesSchema, false);
  scanner.setFeature(XMLUni::fgXercesLoadExternalDTD, false);
  scanner.setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  scanner.setProperty(XMLUni::fgXercesSecurityManager, &security);
  // Without a DOCTYPE there is no grammar to keep: the well-formedness
  // scanner reports the same events and errors for a tenth less work.
  // It skips an internal subset unread, so a document with one keeps the
  // full scanner, which expands its entities.
  if (body.find("<!DOCTYPE") == std::string_view::npos)
    scanner.setProperty(XMLUni::fgXercesScannerName, const_cast<XMLCh*>(XMLUni::fgWFXMLScanner));
  scanner.setErrorHandler(&reporter);
  TagRecorder recorder;
  scanner.setContentHandler(&recorder);
  // A lexical handler makes the scanner report where the DOCTYPE's
  // internal subset starts and ends (see LocalEntityResolver).
  scanner.setLexicalHandler(&recorder);
  LocalEntityResolver resolver(folderOf(file), scanner.inDoctype);
  scanner.setXMLEntityResolver(&resolver);
  bool failed = !parseGuarded([&] { scanner.parse(source); }, file);
  if (!failed) {
    reportInfo(9408, {textInsert(file)});
    TraceScope replay("recurseLevel", "parent=%d schemaId=%d topLevel=1", parent, first);
    recorder.replay(parent, first);
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
  if (!failed && tagsTable.tags.count() >= first) tagsTable.documentFile[first] = file;
  trace.result("errSw=%d", run.errSw);
  return tagsTable.parseStatus;
}

void createXMLname(int32_t xmlId, int32_t schemaId) {
  TraceScope trace("createXMLname", "xmlId=%d schemaId=%d", xmlId, schemaId);
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
  trace.result("%s", nameAt(tags[xmlId].xmlName));
}

void createQualName(int32_t xmlId, int32_t schemaId, const char* prefix, const char* localName) {
  TraceScope trace("createQualName", "xmlId=%d prefix=%s local=%s", xmlId, prefix, localName);
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
    } else if (block >= 0 &&
               fileLists.prefixes[static_cast<size_t>(block)].origin == kPrefixFromParameters) {
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
        result = std::string(nameAt(fileLists.prefixes[static_cast<size_t>(block)].prefix)) + ":" +
                 localName;
      }
    }
  }
  NameRef xmlName = insertName(result);
  tags[xmlId].xmlName = xmlName;
  trace.result("%s", result.c_str());
}
