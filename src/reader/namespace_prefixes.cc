// Namespace prefixes the program finds itself, once every schema document is
// read, and the built-in declarations of the XML namespace.
//
// A component of a namespace gets a qualified XML name "prefix:local".  The
// parameter file's [NAMESPACEPREFIX] lines and DEFNAMESPACE decide first.  For
// any other namespace the prefix is, in this order: one declared for it on the
// schema tag of a document of that target namespace, one declared for it
// anywhere else, or one made from the namespace name; never one that another
// namespace of the run holds already.  Each prefix chosen so is printed with
// the [NAMESPACEPREFIX] line that would pin it.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "trace.h"
#include "xml_tags.h"

namespace {

// Numbered variants tried after a derived prefix itself is taken.
constexpr int kMaxDerivedVariants = 999;
// Longest derived prefix before a number is added.
constexpr size_t kMaxDerivedLength = 24;

bool startsWithXml(const std::string& s) {
  return s.size() >= 3 && (s[0] | 0x20) == 'x' && (s[1] | 0x20) == 'm' && (s[2] | 0x20) == 'l';
}

// A declared prefix that may name a namespace other than the XML namespace.
bool usableDeclared(NameRef prefix) {
  const char* p = nameAt(prefix);
  return prefix != 0 && std::strcmp(p, "xml") != 0 && std::strcmp(p, "xmlns") != 0;
}

// The prefix is free for namespace `ns`: no block of another namespace has it.
bool freeFor(NameRef prefix, NameRef ns) {
  NameRef holder = namespaceOfPrefix(prefix);
  return holder == 0 || holder == ns;
}

// The prefix that namespace `ns` is to have, 0 when none can be had.
NameRef choosePrefix(NameRef ns, PrefixOrigin* origin) {
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  const GrowTable<XmlnsEntry>& xmlns = tagsTable.xmlns;
  *origin = kPrefixDeclared;
  // Declared on the schema tag of a document of this namespace.
  for (int32_t e = 1; e <= xmlns.count(); ++e) {
    const XmlnsEntry& d = xmlns[e];
    if (d.nameSpace != ns || !usableDeclared(d.prefix)) continue;
    const XmlTag& on = tags[d.xmlId];
    if (on.elemType == kTagSchema && on.targetNamespace == ns && freeFor(d.prefix, ns))
      return d.prefix;
  }
  // Declared anywhere.
  for (int32_t e = 1; e <= xmlns.count(); ++e) {
    const XmlnsEntry& d = xmlns[e];
    if (d.nameSpace == ns && usableDeclared(d.prefix) && freeFor(d.prefix, ns)) return d.prefix;
  }
  // Made from the namespace name.
  *origin = kPrefixDerived;
  std::string base = derivedPrefixBase(nameAt(ns));
  for (int n = 1; n <= kMaxDerivedVariants; ++n) {
    std::string candidate = n == 1 ? base : base + std::to_string(n);
    NameRef prefix = insertName(candidate);
    if (freeFor(prefix, ns)) return prefix;
  }
  return 0;
}

// `local` part of an XML name "prefix:local" or "local".
std::string localPart(NameRef xmlName) {
  const char* text = xmlName == 0 ? "" : nameAt(xmlName);
  const char* colon = std::strchr(text, ':');
  return colon == nullptr ? std::string(text) : std::string(colon + 1);
}

}  // namespace

std::string derivedPrefixBase(const char* nameSpace) {
  std::string ns = nameSpace ? nameSpace : "";
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  auto isSeparator = [](char c) {
    return c == ':' || c == '/' || c == '#' || c == '?' || c == '=';
  };
  // A version: "2", "v1.4.1", "001.001.10".
  auto isVersion = [&](const std::string& t) {
    size_t i = !t.empty() && (t[0] == 'v' || t[0] == 'V') ? 1 : 0;
    if (i >= t.size() || !isDigit(t[i])) return false;
    for (; i < t.size(); ++i)
      if (!isDigit(t[i]) && t[i] != '.' && t[i] != '-' && t[i] != '_') return false;
    return true;
  };
  // The last segment that names something: "urn:a:b:Order-2" gives Order-2,
  // "http://uri.etsi.org/01903/v1.4.1#" gives uri.etsi.org.
  std::vector<std::string> segments;
  std::string current;
  for (char c : ns) {
    if (isSeparator(c)) {
      if (!current.empty()) segments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) segments.push_back(current);
  std::string word;
  for (size_t i = segments.size(); i-- > 0 && word.empty();) {
    const std::string& t = segments[i];
    bool named = std::any_of(t.begin(), t.end(), isLetter) && !isVersion(t);
    if (named && !(i == 0 && segments.size() > 1)) word = t;  // not the scheme
  }
  // Its version suffix goes ("Order-2", "pain.001.001.10"), and of a host
  // name the label before the top-level domain stays ("uri.etsi.org").
  size_t cut = word.size();
  while (cut > 0) {
    size_t mark = word.find_last_of(".-_", cut - 1);
    if (mark == std::string::npos || mark == 0 || !isVersion(word.substr(mark + 1, cut - mark - 1)))
      break;
    cut = mark;
  }
  word.resize(cut);
  if (word.find('.') != std::string::npos) {
    std::vector<std::string> labels;
    size_t from = 0;
    for (size_t dot = word.find('.');; dot = word.find('.', from)) {
      labels.push_back(
          word.substr(from, dot == std::string::npos ? std::string::npos : dot - from));
      if (dot == std::string::npos) break;
      from = dot + 1;
    }
    word = labels.size() >= 2 ? labels[labels.size() - 2] : labels.front();
  }
  // A long name of several capitalised words gives its initials
  // ("CommonSignatureComponents": csc); another word is kept, in lower case.
  std::string initials;
  for (char c : word)
    if (c >= 'A' && c <= 'Z') initials += static_cast<char>(c | 0x20);
  std::string prefix;
  if (word.size() > 8 && initials.size() >= 2) {
    prefix = initials;
  } else {
    for (char c : word)
      prefix += isLetter(c) || isDigit(c) ? static_cast<char>(isLetter(c) ? c | 0x20 : c) : '_';
  }
  if (prefix.size() > kMaxDerivedLength) prefix.resize(kMaxDerivedLength);
  if (prefix.empty() || !isLetter(prefix[0]) || startsWithXml(prefix)) prefix = "ns" + prefix;
  return prefix;
}

int32_t assignNamespacePrefixes() {
  TraceScope trace("assignNamespacePrefixes");
  int32_t status = 0;
  std::unordered_map<NameRef, bool> settled;  // namespace -> has a prefix
  for (; tagsTable.prefixesSettled < tagsTable.prefixWanted.size(); ++tagsTable.prefixesSettled) {
    NameRef ns = tagsTable.prefixWanted[tagsTable.prefixesSettled];
    int32_t block = findPrefixBlockIndex(ns);
    if (block >= 0 &&
        fileLists.prefixes[static_cast<size_t>(block)].origin == kPrefixFromParameters) {
      continue;  // a line given since the name was made
    }
    PrefixOrigin origin = kPrefixDeclared;
    NameRef prefix = choosePrefix(ns, &origin);
    if (prefix == 0) {
      status = reportError(9416, {textInsert(nameAt(ns))});
      continue;
    }
    if (block >= 0) {
      renamePrefixBlock(static_cast<size_t>(block), prefix, origin);
    } else {
      addChosenPrefixBlock(ns, prefix, origin);
    }
    reportInfo(9417, {textInsert(nameAt(ns)), textInsert(nameAt(prefix))});
  }
  for (; tagsTable.namesSettled < tagsTable.provisionalNames.size(); ++tagsTable.namesSettled) {
    auto [xmlId, ns] = tagsTable.provisionalNames[tagsTable.namesSettled];
    NameRef prefix = findPrefixBlock(ns);
    if (prefix == 0) continue;  // reported above
    std::string name = std::string(nameAt(prefix)) + ":" + localPart(tagsTable.tags[xmlId].xmlName);
    NameRef xmlName = insertName(name);
    tagsTable.tags[xmlId].xmlName = xmlName;
  }
  if (status != 0) tagsTable.parseStatus = status;
  trace.result("%d", status);
  return status;
}

int32_t provideXmlNamespace() {
  TraceScope trace("provideXmlNamespace");
  NameRef xmlNs = storedXmlNamespace();
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  for (int32_t s = tags[0].firstChild; s != 0 && xmlNs != 0; s = tags[s].nextSibling) {
    if (tags[s].targetNamespace == xmlNs) {
      trace.result("a schema of the XML namespace was read");
      return 0;
    }
  }
  auto refersToXml = [](NameRef qname) {
    return qname != 0 && std::strncmp(nameAt(qname), "xml:", 4) == 0;
  };
  bool referred = false;
  for (int32_t id = 1; id <= tags.count() && !referred; ++id) {
    referred =
        refersToXml(tags[id].ref) || refersToXml(tags[id].type) || refersToXml(tags[id].base);
  }
  if (!referred) {
    trace.result("not referred to");
    return 0;
  }
  // A [FILELOCATION] line for the XML namespace names its schema.
  NameRef lineKey = findName(kXmlNamespaceName);
  int32_t line = isStoredName(lineKey) ? findFileLocBlock(lineKey) : -1;
  if (line >= 0) {
    FileLocBlock& loc = fileLists.fileLocs[static_cast<size_t>(line)];
    std::string path = nameAt(loc.fileName);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      int32_t status = reportError(9363, {textInsert(path)});
      trace.result("%d", status);
      return status;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    loc.flags |= 1;
    int32_t status = parseXMLfile(text.c_str(), 0, path.c_str());
    if (status == 0) tagsTable.rootNamespaces.insert(insertName(kXmlNamespaceName));
    trace.result("%d", status);
    return status;
  }
  static const char kDeclarations[] =
      "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' "
      "targetNamespace='http://www.w3.org/XML/1998/namespace'>"
      "<xs:attribute name='lang' type='xs:string'/>"
      "<xs:attribute name='space' type='xs:string'/>"
      "<xs:attribute name='base' type='xs:string'/>"
      "<xs:attribute name='id' type='xs:string'/>"
      "<xs:attributeGroup name='specialAttrs'>"
      "<xs:attribute ref='xml:base'/><xs:attribute ref='xml:lang'/>"
      "<xs:attribute ref='xml:space'/><xs:attribute ref='xml:id'/>"
      "</xs:attributeGroup></xs:schema>";
  reportInfo(9430, {textInsert(kXmlNamespaceName)});
  int32_t status = parseXMLfile(kDeclarations, 0, "(built-in declarations of the XML namespace)");
  if (status == 0) tagsTable.rootNamespaces.insert(insertName(kXmlNamespaceName));
  trace.result("%d", status);
  return status;
}
