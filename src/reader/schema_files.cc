// Schema files: the file list read into memory, includes and imports followed
// into the tags table and spliced into its tree, and the root element found.
//
// After processIncludes the root record's children are the main schema tag
// and the schema tags of imported documents, in import order; inside each
// schema the components of included documents stand where their include tag
// stood.  Replaced include and import tags stay in the table, unlinked.
#include "schema_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "trace.h"
#include "xml_tags.h"

namespace {

constexpr const char kFilePrefix[] = "//file:";

// Opens a regular file for binary reading; null for anything else.  The
// open does not wait: a named pipe or a device is refused, not read.
FILE* openSchemaFile(const std::string& path) {
  if (path.empty()) return nullptr;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  FILE* f = nullptr;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (f = fdopen(fd, "rb")) == nullptr) {
    close(fd);
    return nullptr;
  }
  return f;
}

// XML text never holds a NUL byte; the parser would take the text as ending
// there and import a cut document.  Returns the status of the message given.
int32_t refuseNulByte(const char* text, size_t length, const std::string& file) {
  const void* nul = std::memchr(text, 0, length);
  if (nul == nullptr) return 0;
  size_t at = static_cast<size_t>(static_cast<const char*>(nul) - text);
  return reportError(
      9451, {textInsert(file), textInsert("it holds a NUL byte at offset " + std::to_string(at) +
                                          "; XML text cannot contain one (a document in UTF-16 "
                                          "must be saved as UTF-8)")});
}

std::string canonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The location as the schema wrote it: the tag's schemaLocation without the
// FILEPATH that decoding put in front of it, and without "//file:".
std::string writtenLocation(const std::string& location) {
  std::string written = location;
  size_t pathLength = std::char_traits<char>::length(parms.filePath);
  if (pathLength > 0 && written.compare(0, pathLength, parms.filePath) == 0)
    written.erase(0, pathLength);
  if (written.rfind(kFilePrefix, 0) == 0) written.erase(0, sizeof kFilePrefix - 1);
  return written;
}

// Where FILEPATH and the file locations both fail, a location is taken as
// relative to the folder of the document that holds the include or import.
std::string pathBesideDocument(int32_t tagId, const std::string& location) {
  std::string written = writtenLocation(location);
  if (written.empty() || written[0] == '/') return std::string();
  auto doc = tagsTable.documentFile.find(tagsTable.tags[tagId].schemaId);
  if (doc == tagsTable.documentFile.end()) return std::string();
  size_t slash = doc->second.rfind('/');
  std::string folder =
      slash == std::string::npos ? std::string() : doc->second.substr(0, slash + 1);
  return folder + written;
}

// The include tag `includeId` would read `canonical`, a file that is already
// being included on the way from the main document to this tag: the document
// of the tag, or a document that includes it, directly or through others.
bool includesItself(int32_t includeId, const std::string& canonical) {
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  int32_t doc = tags[includeId].schemaId;
  while (doc > 0) {
    auto file = tagsTable.documentFile.find(doc);
    if (file != tagsTable.documentFile.end() && canonicalPath(file->second) == canonical)
      return true;
    int32_t holder = tags[doc].parent;  // the include or import tag that read it
    if (holder <= 0 ||
        (tags[holder].elemType != kTagInclude && tags[holder].elemType != kTagRedefine)) {
      return false;
    }
    doc = tags[holder].schemaId;
  }
  return false;
}

// Puts the chain first..last (already parented to `parent`) in the place of
// tag `replaced` in the child chain of `parent`.
void replaceInChain(int32_t parent, int32_t replaced, int32_t first, int32_t last) {
  GrowTable<XmlTag>& tags = tagsTable.tags;
  assert(first > 0 && last > 0 && tags[replaced].parent == parent);
  int32_t prev = tags[replaced].prevSibling;
  int32_t next = tags[replaced].nextSibling;
  if (prev != 0) {
    tags[prev].nextSibling = first;
  } else {
    tags[parent].firstChild = first;
  }
  if (next != 0) {
    tags[next].prevSibling = last;
  } else {
    tags[parent].lastChild = last;
  }
  tags[first].prevSibling = prev;
  tags[last].nextSibling = next;
}

// Warns once per namespace whose imports had no location to read and that no
// other document loaded.  Its components stay unknown: only a reference to one
// of them fails the run.
void reportUnreadImports(const std::vector<int32_t>& imports) {
  if (run.errSw) return;
  std::unordered_set<NameRef> warned;
  for (int32_t id : imports) {
    const XmlTag& tag = tagsTable.tags[id];
    if (tagsTable.rootNamespaces.count(tag.nameSpace) != 0) continue;
    // References to the XML namespace never fail: it has built-in
    // declarations (provideXmlNamespace).
    if (tag.nameSpace != 0 && tag.nameSpace == storedXmlNamespace()) continue;
    if (!warned.insert(tag.nameSpace).second) continue;
    auto doc = tagsTable.documentFile.find(tag.schemaId);
    std::string file = doc == tagsTable.documentFile.end() ? std::string() : doc->second;
    reportInfo(9424, {textInsert(tag.nameSpace != 0 ? nameAt(tag.nameSpace) : "(no namespace)"),
                      textInsert(file)});
  }
}

void rebuildRootNamespaces() {
  tagsTable.rootNamespaces.clear();
  for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagsTable.tags[s].nextSibling) {
    tagsTable.rootNamespaces.insert(tagsTable.tags[s].targetNamespace);
  }
}

}  // namespace

const char* readSchemaFiles(DataFileBlock* first) {
  TraceScope trace("readSchemaFiles");
  const char* text = nullptr;
  int32_t status = 0;
  for (DataFileBlock* entry = first; entry != nullptr && status == 0 && run.errSw == 0;
       entry = entry->next.get()) {
    try {
      entry->data.assign(static_cast<size_t>(entry->length) + 32, '\0');
    } catch (const std::bad_alloc&) {
      status = reportError(9394, {textInsert(entry->fileName)});
      break;
    }
    if (int32_t read = readFileData(entry, entry->data.data()); read != 0) {
      status = read == messageStatus(9451)
                   ? read
                   : reportError(9393, {textInsert(entry->fileName), textInsert("read failed")});
      break;
    }
    if (entry == first) text = entry->data.data();
  }
  trace.result("status=%d", status);
  return status == 0 ? text : nullptr;
}

int32_t readFileData(DataFileBlock* entry, char* buffer) {
  TraceScope trace("readFileData", "%s", entry->fileName);
  FILE* f = openSchemaFile(entry->fileName);
  if (f == nullptr) {
    int32_t status = reportError(9393, {textInsert(entry->fileName), textInsert("open failed")});
    trace.result("status=%d", status);
    return status;
  }
  size_t got = entry->length > 0 ? std::fread(buffer, 1, static_cast<size_t>(entry->length), f) : 0;
  std::fclose(f);
  int32_t status = refuseNulByte(buffer, got, entry->fileName);
  trace.result("%zu bytes status=%d", got, status);
  return status;
}

int32_t processIncludes() {
  TraceScope trace("processIncludes");
  GrowTable<XmlTag>& tags = tagsTable.tags;
  int32_t result = 0;
  std::vector<int32_t> unreadImports;  // import tags without a location to read
  struct Redefine {
    int32_t id;
    std::string path;
  };
  std::vector<Redefine> redefines;  // redefine tags whose document was read
  rebuildRootNamespaces();
  // The count is read on every pass: documents parsed during the scan are
  // scanned too, so includes inside included or imported files are followed.
  for (int32_t id = 0; id <= tags.count() && run.errSw == 0; ++id) {
    const int32_t kind = tags[id].elemType;
    if (kind != kTagInclude && kind != kTagImport && kind != kTagRedefine) continue;
    const std::string location = nameAt(tags[id].schemaLocation);
    // A [FILELOCATION] line names the location with or without FILEPATH in
    // front, or, for an import, its namespace.
    int32_t block = findFileLocBlock(tags[id].schemaLocation);
    if (block < 0 && tags[id].schemaLocation != 0) {
      NameRef written = findName(writtenLocation(location).c_str());
      if (isStoredName(written)) block = findFileLocBlock(written);
    }
    if (block < 0 && kind == kTagImport && tags[id].nameSpace != 0) {
      block = findFileLocBlock(tags[id].nameSpace);
    }

    if (kind == kTagImport) {
      bool loaded =
          (block >= 0 && (fileLists.fileLocs[static_cast<size_t>(block)].flags & 1) != 0) ||
          tagsTable.rootNamespaces.count(tags[id].nameSpace) != 0;
      if (loaded) {
        tracePrintf("file %s has already been processed\n", location.c_str());
        continue;
      }
    }

    std::string path = location;
    if (path.rfind(kFilePrefix, 0) == 0) path.erase(0, sizeof kFilePrefix - 1);
    FILE* f = openSchemaFile(path);
    if (f == nullptr && block >= 0) {
      FileLocBlock& loc = fileLists.fileLocs[static_cast<size_t>(block)];
      path = nameAt(loc.fileName);
      loc.flags |= 1;
      f = openSchemaFile(path);
    }
    if (f == nullptr) {
      std::string beside = pathBesideDocument(id, location);
      if (!beside.empty() && beside != path) {
        f = openSchemaFile(beside);
        if (f != nullptr) {
          tracePrintf("location %s taken beside its document: %s\n", location.c_str(),
                      beside.c_str());
          path = beside;
        }
      }
    }
    if (f == nullptr && kind == kTagImport && block < 0) {
      // No location given, or one at a network address, which is never
      // fetched: the namespace may still be loaded by another document.
      std::string written = writtenLocation(location);
      if (written.empty() || isNetworkAddress(written)) {
        tracePrintf("import of namespace %s has no location that can be read\n",
                    nameAt(tags[id].nameSpace));
        unreadImports.push_back(id);
        continue;
      }
    }
    if (f == nullptr) {
      result = reportError(9363, {textInsert(path)});
      continue;
    }

    if (kind != kTagImport && includesItself(id, canonicalPath(path))) {
      std::fclose(f);
      reportInfo(9355, {textInsert(path)});
      continue;
    }

    struct stat st;
    size_t size = fstat(fileno(f), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    std::vector<char> text;
    try {
      text.assign(size + 32, '\0');
    } catch (const std::bad_alloc&) {
      std::fclose(f);
      result = reportError(9394, {textInsert(path)});
      continue;
    }
    size_t got = size > 0 ? std::fread(text.data(), 1, size, f) : 0;
    std::fclose(f);
    tracePrintf("%d bytes read from file %s\n", static_cast<int>(got), path.c_str());
    if (int32_t refused = refuseNulByte(text.data(), got, path); refused != 0) return refused;

    int32_t status = parseXMLfile(text.data(), id, path.c_str());
    if (status != 0) {
      trace.result("errSw=%d returned errStatus=%d", run.errSw, status);
      return status;
    }
    if (kind == kTagRedefine) {
      // Applied once every include of the redefined document is in place.
      redefines.push_back({id, path});
    } else if (kind == kTagInclude) {
      if (tags[id].firstChild == 0) {
        reportInfo(9362, {textInsert(path)});
        result = messageStatus(9362);
      } else {
        insertIncludeEntries(id);
      }
    } else {
      insertImportEntries(id, path.c_str());
    }
  }
  // Innermost documents first: a redefined document may redefine in turn.
  for (auto it = redefines.rbegin(); it != redefines.rend() && run.errSw == 0; ++it) {
    if (!insertRedefineEntries(it->id)) {
      reportInfo(9362, {textInsert(it->path)});
      result = messageStatus(9362);
    }
  }
  reportUnreadImports(unreadImports);
  trace.result("errSw=%d returned errStatus=%d", run.errSw, result);
  return result;
}

void insertIncludeEntries(int32_t includeId) {
  TraceScope trace("insertIncludeEntries", "%d", includeId);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  const int32_t s = tags[includeId].firstChild;
  const int32_t p = tags[includeId].parent;
  assert(s > 0);
  int32_t first, last;
  if (tags[s].elemType == kTagSchema) {
    if (tags[s].firstChild == 0) {
      trace.result("empty schema");
      return;
    }
    first = tags[s].firstChild;
    last = tags[s].lastChild;
  } else {
    // The included document's root is not a schema: its tags move as they are.
    first = s;
    last = tags[includeId].lastChild;
  }
  for (int32_t c = first; c != 0; c = tags[c].nextSibling) tags[c].parent = p;
  replaceInChain(p, includeId, first, last);
}

void insertImportEntries(int32_t importId, const char* fileName) {
  TraceScope trace("insertImportEntries", "%d %s", importId, fileName);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  const int32_t s = tags[importId].firstChild;
  if (s == 0 || tags[s].elemType != kTagSchema) {
    run.returnCode = reportError(9353, {textInsert(parms.msgSetName)});
  } else if (tags[s].firstChild == 0) {
    reportInfo(9362, {textInsert(fileName)});
  } else {
    XmlTag& root = tags[0];
    if (root.lastChild != 0) {
      tags[root.lastChild].nextSibling = s;
    } else {
      root.firstChild = s;
    }
    tags[s].prevSibling = root.lastChild;
    root.lastChild = s;
    // The schema keeps the import tag as its parent; the import tag leaves
    // its own parent's chain.
    const int32_t parent = tags[importId].parent;
    const int32_t prev = tags[importId].prevSibling;
    const int32_t next = tags[importId].nextSibling;
    if (prev != 0) {
      tags[prev].nextSibling = next;
    } else {
      tags[parent].firstChild = next;
    }
    if (next != 0) {
      tags[next].prevSibling = prev;
    } else {
      tags[parent].lastChild = prev;
    }
    if (tags[s].targetNamespace == 0) tags[s].targetNamespace = tags[importId].nameSpace;
    tagsTable.rootNamespaces.insert(tags[s].targetNamespace);
  }
}

namespace {

// The symbol space of a component kind: types, groups and attribute groups
// are named apart.
int32_t symbolSpace(int32_t kind) {
  return kind == kTagSimpleType ? static_cast<int32_t>(kTagComplexType) : kind;
}

// The local part of a QName.
std::string_view localPart(std::string_view qname) {
  size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// `qname` with its local part replaced by `local`, its prefix kept.
NameRef withLocalPart(NameRef qname, const std::string& local) {
  std::string_view text = nameAt(qname);
  size_t colon = text.find(':');
  std::string result =
      colon == std::string_view::npos ? local : std::string(text.substr(0, colon + 1)) + local;
  return insertName(result);
}

// Points every reference inside `redefinition` that names `oldName` (its
// own name: in a redefinition that means the original) at `newName`: the
// base of a derivation for types, the ref of a group or attribute group.
void pointSelfReferencesAt(int32_t redefinition, const std::string& oldName,
                           const std::string& newName) {
  GrowTable<XmlTag>& tags = tagsTable.tags;
  const int32_t space = symbolSpace(tags[redefinition].elemType);
  std::vector<int32_t> pending{tags[redefinition].firstChild};
  while (!pending.empty()) {
    int32_t c = pending.back();
    pending.pop_back();
    if (c == 0) continue;
    pending.push_back(tags[c].nextSibling);
    pending.push_back(tags[c].firstChild);
    XmlTag& t = tags[c];
    const bool derivation = t.elemType == kTagExtension || t.elemType == kTagRestriction;
    if (space == kTagComplexType && derivation && t.base != 0 &&
        localPart(nameAt(t.base)) == oldName) {
      NameRef base = withLocalPart(t.base, newName);
      tags[c].base = base;
    } else if (t.elemType == space && space != kTagComplexType && t.ref != 0 &&
               localPart(nameAt(t.ref)) == oldName) {
      NameRef ref = withLocalPart(t.ref, newName);
      tags[c].ref = ref;
    }
  }
}

// A name for the original of a redefined component that no component of the
// redefined document (schema tag `schema`) nor of the redefining one (schema
// tag `redefining`) has.
std::string originalName(int32_t schema, int32_t redefining, const std::string& name) {
  GrowTable<XmlTag>& tags = tagsTable.tags;
  std::unordered_set<std::string_view> taken;
  for (int32_t holder : {schema, redefining}) {
    for (int32_t c = tags[holder].firstChild; c != 0; c = tags[c].nextSibling) {
      if (tags[c].name != 0) taken.insert(nameAt(tags[c].name));
    }
  }
  std::string candidate = name + "_REDEFINED";
  for (int n = 1; taken.count(candidate) != 0; ++n) {
    candidate = name + "_REDEFINED" + std::to_string(n);
  }
  return candidate;
}

}  // namespace

bool insertRedefineEntries(int32_t redefineId) {
  TraceScope trace("insertRedefineEntries", "%d", redefineId);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  // The redefined document's schema tag was linked last under the redefine
  // tag, after the redefinitions written inside it.
  const int32_t s = tags[redefineId].lastChild;
  if (s == 0 || tags[s].elemType != kTagSchema || tags[s].firstChild == 0) {
    trace.result("no schema components");
    return false;
  }
  std::vector<int32_t> redefinitions;
  for (int32_t c = tags[redefineId].firstChild; c != s; c = tags[c].nextSibling) {
    redefinitions.push_back(c);
  }
  for (int32_t r : redefinitions) {
    // The redefinition stands just before the original it replaces, which
    // stays in the schema under a name of its own for the redefinition's
    // reference to it; lookups by name find the redefinition first.
    const std::string name = tags[r].name != 0 ? nameAt(tags[r].name) : "";
    int32_t original = 0;
    for (int32_t c = tags[s].firstChild; c != 0 && !name.empty(); c = tags[c].nextSibling) {
      if (tags[c].name == tags[r].name && c != r &&
          symbolSpace(tags[c].elemType) == symbolSpace(tags[r].elemType)) {
        original = c;
        break;
      }
    }
    tags[r].parent = s;
    if (original == 0) {
      tracePrintf("redefinition %s has no original; it is added\n", name.c_str());
      tags[r].prevSibling = tags[s].lastChild;
      tags[r].nextSibling = 0;
      tags[tags[s].lastChild].nextSibling = r;
      tags[s].lastChild = r;
      continue;
    }
    std::string renamed = originalName(s, tags[redefineId].parent, name);
    tracePrintf("redefinition %s replaces tag %d, now %s\n", name.c_str(), original,
                renamed.c_str());
    NameRef newName = insertName(renamed);
    tags[original].name = newName;
    if (tags[original].xmlName != 0) {
      NameRef xmlName = withLocalPart(tags[original].xmlName, renamed);
      tags[original].xmlName = xmlName;
    }
    pointSelfReferencesAt(r, name, renamed);
    const int32_t prev = tags[original].prevSibling;
    tags[r].prevSibling = prev;
    tags[r].nextSibling = original;
    tags[original].prevSibling = r;
    if (prev != 0) {
      tags[prev].nextSibling = r;
    } else {
      tags[s].firstChild = r;
    }
  }
  // Only the redefined document is left under the redefine tag; it is then
  // spliced in like an included one.
  tags[redefineId].firstChild = s;
  tags[s].prevSibling = 0;
  insertIncludeEntries(redefineId);
  return true;
}

int32_t findRoot(const char* rootName) {
  TraceScope trace("findRoot", "%s", rootName ? rootName : "");
  const char* name = rootName ? rootName : "";
  NameRef ref = findName(name);
  if (name[0] != '\0' && isStoredName(ref)) {
    // One scan; the first global declaration in table order wins.  A local
    // declaration of the same name (inside a type or group) is never the
    // root, wherever it stands.
    const GrowTable<XmlTag>& tags = tagsTable.tags;
    for (int32_t id = 0; id <= tags.count(); ++id) {
      if (tags[id].elemType == kTagElement && tags[id].name == ref &&
          tags[tags[id].parent].elemType == kTagSchema) {
        trace.result("%d", id);
        return id;
      }
    }
  }
  run.returnCode = reportError(9357, {textInsert(name)});
  trace.result("-1");
  return -1;
}
