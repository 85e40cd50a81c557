// Schema files: the file list read into memory, includes and imports followed
// into the tags table and spliced into its tree, and the root element found.
//
// After processIncludes the root record's children are the main schema tag
// and the schema tags of imported documents, in import order; inside each
// schema the components of included documents stand where their include tag
// stood.  Replaced include and import tags stay in the table, unlinked.
#include "schema_files.h"

#include <sys/stat.h>

#include <cassert>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "run_state.h"
#include "xml_tags.h"

namespace {

constexpr const char kFilePrefix[] = "//file:";

// Opens a regular file for binary reading; null for anything else (a
// directory opens under fopen but cannot be read).
FILE* openSchemaFile(const std::string& path) {
  if (path.empty()) return nullptr;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
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
    if (holder <= 0 || tags[holder].elemType != kTagInclude) return false;
    doc = tags[holder].schemaId;
  }
  return false;
}

// Puts the chain first..last (already parented to `parent`) in the place of
// tag `replaced` in the child chain of `parent`.
void replaceInChain(int32_t parent, int32_t replaced, int32_t first, int32_t last) {
  GrowTable<XmlTag>& tags = tagsTable.tags;
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

void rebuildRootNamespaces() {
  tagsTable.rootNamespaces.clear();
  for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagsTable.tags[s].nextSibling) {
    tagsTable.rootNamespaces.insert(tagsTable.tags[s].targetNamespace);
  }
}

}  // namespace

const char* readSchemaFiles(DataFileBlock* first) {
  tracePrintf("==> readSchemaFiles\n");
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
    if (readFileData(entry, entry->data.data()) != 0) {
      status = reportError(9393, {textInsert(entry->fileName), textInsert("read failed")});
      break;
    }
    text = entry->data.data();
  }
  tracePrintf("<== readSchemaFiles status=%d\n", status);
  return status == 0 ? text : nullptr;
}

int32_t readFileData(DataFileBlock* entry, char* buffer) {
  tracePrintf("==> readFileData %s\n", entry->fileName);
  FILE* f = std::fopen(entry->fileName, "rb");
  if (f == nullptr) {
    int32_t status = reportError(9393, {textInsert(entry->fileName), textInsert("open failed")});
    tracePrintf("<== readFileData status=%d\n", status);
    return status;
  }
  size_t got = entry->length > 0 ? std::fread(buffer, 1, static_cast<size_t>(entry->length), f) : 0;
  std::fclose(f);
  tracePrintf("<== readFileData %zu bytes\n", got);
  return 0;
}

int32_t processIncludes() {
  tracePrintf("==> processIncludes\n");
  GrowTable<XmlTag>& tags = tagsTable.tags;
  int32_t result = 0;
  rebuildRootNamespaces();
  // The count is read on every pass: documents parsed during the scan are
  // scanned too, so includes inside included or imported files are followed.
  for (int32_t id = 0; id <= tags.count() && run.errSw == 0; ++id) {
    const int32_t kind = tags[id].elemType;
    if (kind != kTagInclude && kind != kTagImport) continue;
    const std::string location = nameAt(tags[id].schemaLocation);
    const int32_t block = findFileLocBlock(tags[id].schemaLocation);

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
    if (f == nullptr) {
      result = reportError(9363, {textInsert(path)});
      continue;
    }

    if (kind == kTagInclude && includesItself(id, canonicalPath(path))) {
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
    tracePrintf("==> %d bytes read from file %s\n", static_cast<int>(got), path.c_str());

    int32_t status = parseXMLfile(text.data(), id, path.c_str());
    if (status != 0) {
      tracePrintf("<== processIncludes errSw=%d returned errStatus=%d\n", run.errSw, status);
      return status;
    }
    if (kind == kTagInclude) {
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
  tracePrintf("<== processIncludes errSw=%d returned errStatus=%d\n", run.errSw, result);
  return result;
}

void insertIncludeEntries(int32_t includeId) {
  tracePrintf("==> insertIncludeEntries %d\n", includeId);
  GrowTable<XmlTag>& tags = tagsTable.tags;
  const int32_t s = tags[includeId].firstChild;
  const int32_t p = tags[includeId].parent;
  assert(s > 0);
  int32_t first, last;
  if (tags[s].elemType == kTagSchema) {
    if (tags[s].firstChild == 0) {
      tracePrintf("<== insertIncludeEntries: empty schema\n");
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
  tracePrintf("<== insertIncludeEntries\n");
}

void insertImportEntries(int32_t importId, const char* fileName) {
  tracePrintf("==> insertImportEntries %d %s\n", importId, fileName);
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
  tracePrintf("<== insertImportEntries\n");
}

int32_t findRoot(const char* rootName) {
  tracePrintf("==> findRoot %s\n", rootName ? rootName : "");
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
        tracePrintf("<== findRoot %d\n", id);
        return id;
      }
    }
  }
  run.returnCode = reportError(9357, {textInsert(name)});
  tracePrintf("<== findRoot -1\n");
  return -1;
}
