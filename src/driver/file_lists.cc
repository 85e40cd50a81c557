// Namespace prefixes, file locations, qualified file names, parameter reset.
//
// The lists keep their blocks in order of creation; "first block for a
// namespace" look-ups go through a map filled on creation, which gives the same
// answer as a scan from the head of the list.
#include <cstdio>
#include <cstring>

#include "messages.h"
#include "parameters.h"
#include "trace.h"

RunParameters parms;
FileLists fileLists;

void RunParameters::reset() {
  std::memset(this, 0, sizeof(*this));
  maxElement = 8192;
  maxAttribute = 8192;
  maxValue = 8192;
  maxType = 4096;
  maxXml = 8192;
}

void FileLists::reset() {
  // Unlink iteratively so that a long list does not recurse in destructors.
  while (files) files = std::move(files->next);
  files = std::make_unique<DataFileBlock>();
  prefixes.clear();
  fileLocs.clear();
  firstPrefixFor.clear();
  firstPrefixNamed.clear();
  firstFileLocFor.clear();
}

namespace {
void appendPrefixBlock(const PrefixBlock& b) {
  fileLists.prefixes.push_back(b);
  int32_t index = static_cast<int32_t>(fileLists.prefixes.size() - 1);
  fileLists.firstPrefixFor.emplace(b.nameSpace, index);
  fileLists.firstPrefixNamed.emplace(b.prefix, index);
}
}  // namespace

void createPrefixBlock(const char* nameSpace, const char* prefix) {
  TraceScope trace("createPrefixBlock", "namespace=%s prefix=%s", nameSpace, prefix);
  PrefixBlock b;
  b.nameSpace = insertName(nameSpace);
  b.prefix = insertName(prefix);
  appendPrefixBlock(b);
}

void addChosenPrefixBlock(NameRef nameSpace, NameRef prefix, PrefixOrigin origin) {
  TraceScope trace("addChosenPrefixBlock", "namespace=%s prefix=%s", nameAt(nameSpace),
                   nameAt(prefix));
  PrefixBlock b;
  b.nameSpace = nameSpace;
  b.prefix = prefix;
  b.origin = origin;
  appendPrefixBlock(b);
}

namespace {
void rebuildPrefixIndexes() {
  const std::vector<PrefixBlock>& list = fileLists.prefixes;
  fileLists.firstPrefixFor.clear();
  fileLists.firstPrefixNamed.clear();
  for (size_t i = 0; i < list.size(); ++i) {
    fileLists.firstPrefixFor.emplace(list[i].nameSpace, static_cast<int32_t>(i));
    fileLists.firstPrefixNamed.emplace(list[i].prefix, static_cast<int32_t>(i));
  }
}
}  // namespace

void renamePrefixBlock(size_t index, NameRef prefix, PrefixOrigin origin) {
  std::vector<PrefixBlock>& list = fileLists.prefixes;
  if (index >= list.size()) return;
  list[index].prefix = prefix;
  list[index].origin = origin;
  rebuildPrefixIndexes();
}

void createFileLocBlock(const char* nameSpace, const char* fileName) {
  TraceScope trace("createFileLocBlock", "namespace=%s file=%s", nameSpace, fileName);
  FileLocBlock b;
  b.nameSpace = insertName(nameSpace);
  b.fileName = insertName(fileName);
  fileLists.fileLocs.push_back(b);
  fileLists.firstFileLocFor.emplace(b.nameSpace,
                                    static_cast<int32_t>(fileLists.fileLocs.size() - 1));
}

NameRef findPrefixBlock(NameRef nameSpace) {
  auto it = fileLists.firstPrefixFor.find(nameSpace);
  return it == fileLists.firstPrefixFor.end()
             ? 0
             : fileLists.prefixes[static_cast<size_t>(it->second)].prefix;
}

int32_t findPrefixBlockIndex(NameRef nameSpace) {
  auto it = fileLists.firstPrefixFor.find(nameSpace);
  return it == fileLists.firstPrefixFor.end() ? -1 : it->second;
}

NameRef namespaceOfPrefix(NameRef prefix) {
  auto it = fileLists.firstPrefixNamed.find(prefix);
  return it == fileLists.firstPrefixNamed.end()
             ? 0
             : fileLists.prefixes[static_cast<size_t>(it->second)].nameSpace;
}

int32_t findFileLocBlock(NameRef nameSpace) {
  auto it = fileLists.firstFileLocFor.find(nameSpace);
  return it == fileLists.firstFileLocFor.end() ? -1 : it->second;
}

void qualifyFileName(char* out, size_t outSize, const char* name) {
  if (outSize == 0) return;
  std::snprintf(out, outSize, "%s%s", parms.filePath, name ? name : "");
}

void resetOptions() {
  parms.reset();
  fileLists.reset();
}
