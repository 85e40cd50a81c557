// Model completion: anonymous names, the XML-instance attributes of the root
// type, the reshaping of types that hold both elements and attributes, the
// default values of attributes, and the cutting of cycles of element types.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "messages.h"
#include "model_builder.h"
#include "model_internal.h"
#include "parameters.h"
#include "run_state.h"

namespace {

constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";
constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

/// One XML-instance attribute of the root type, required once.
void addXsiAttribute(int32_t typeId, const std::string& name, bool withXmlName, NameRef value) {
  NameRef nameRef = insertName(name);
  NameRef ident = insertName(replaced(name.c_str(), ':', '_'));
  int32_t attrId = createAttrEntry(nameRef, ident, kDtString, typeId);
  modelTables.attributes[attrId].defaultValue = value;
  if (withXmlName) modelTables.attributes[attrId].xmlName = nameRef;
  int32_t key = createTypeEntryEntry(typeId, kMemberAttribute, attrId);
  modelTables.typeEntries[key].minOccurs = 1;
  modelTables.typeEntries[key].maxOccurs = 1;
}

/// The type of a root element of simple type, or of no type: the message
/// needs a type, and the instance attributes need a type to go to.  It is
/// what a complex type with simple content of the element's data type would
/// be: that data type as base, attributes to come.  A root without any type
/// may hold anything: mixed, open content, any attributes.
int32_t createSimpleRootType(int32_t rootElemId) {
  ModelTables& m = modelTables;
  const ElementEntry& e = m.elements[rootElemId];
  bool untyped = e.dataType == 0;
  int32_t dataType = e.dataType;
  NameRef name = anonymousTypeName(e.xmlName, e.name);
  int32_t typeId = insertNewType(name, kCompUndecided, untyped ? kContentOpen : kContentOrdinary);
  TypeEntry& t = m.types[typeId];
  t.baseType = untyped ? static_cast<int32_t>(kDtString) : dataType;
  if (untyped) t.flag |= kTypeAnyAttribute;
  m.elements[rootElemId].typeId = typeId;
  modelTrace("root element %d of simple type gets type %d\n", rootElemId, typeId);
  return typeId;
}

/// Per-walk state of checkRecursion.  A type whose walk finished without
/// reaching the path limit is "done": everything reachable from it is then
/// free of cycles and of the types on any later path that reaches it (such a
/// type would close a cycle through it), so walking it again could neither
/// report nor change anything and is skipped.  This keeps the walk linear in
/// the size of the model instead of in the number of paths through it.
struct RecursionWalk {
  std::vector<uint8_t> done;
  std::vector<int32_t> enteredAtDepth;  ///< stack depth of the innermost walk under way, -1 none

  void fit(int32_t typeId) {
    if (static_cast<size_t>(typeId) >= done.size()) {
      done.resize(static_cast<size_t>(typeId) + 1, 0);
      enteredAtDepth.resize(static_cast<size_t>(typeId) + 1, -1);
    }
  }
};

bool onPath(int32_t typeId) {
  for (int32_t i = 0; i < modelTables.stackDepth; ++i) {
    if (modelTables.elementStack[i] == typeId) return true;
  }
  return false;
}

std::string typePath() {
  std::string path;
  for (int32_t i = 0; i < modelTables.stackDepth; ++i) {
    path += textOf(modelTables.types[modelTables.elementStack[i]].name);
    path += ' ';
  }
  return path;
}

/// Replaces element member `key` (element `elemId`) by an empty open type.
void cutRecursion(int32_t key, int32_t elemId, int32_t& n) {
  ModelTables& m = modelTables;
  reportInfo(9381, {intInsert(elemId), textInsert(textOf(m.elements[elemId].name)),
                    textInsert(typePath())});
  std::string ident = textOf(m.elements[elemId].ident);
  std::string name = ident + "_RECURSE";
  while (checkForDupTypeName(name.c_str()) == 1) name = ident + std::to_string(n++) + "_RECURSE";
  int32_t emptyType = insertNewType(insertName(name), kCompUndecided, kContentOpen);
  TypeEntryEntry& e = m.typeEntries[key];
  e.flag = static_cast<uint8_t>((e.flag & ~kMemberElement) | kMemberSubType);
  e.subTypeId = emptyType;
  e.elemId = 0;
}

/// Walks the element chain of `typeId`; returns false when some path below
/// was too deep to be examined.
bool walkRecursion(RecursionWalk& w, int32_t typeId) {
  modelTrace("==> checkRecursion %d\n", typeId);
  ModelTables& m = modelTables;
  w.fit(typeId);
  int32_t outerEntry = w.enteredAtDepth[typeId];
  w.enteredAtDepth[typeId] = m.stackDepth;
  bool complete = true;
  int32_t n = 0;
  for (int32_t key = m.types[typeId].firstElement; key != 0; key = m.typeEntries[key].next) {
    const TypeEntryEntry& member = m.typeEntries[key];
    if (member.flag & kMemberSubType) {
      int32_t sub = member.subTypeId;
      w.fit(sub);
      if (w.done[sub]) continue;
      // A sub-type that is under way at this same path depth holds itself
      // through sub-types only (a group that refers to itself): following it
      // again would never end.
      if (w.enteredAtDepth[sub] == m.stackDepth) continue;
      if (!walkRecursion(w, sub)) complete = false;
    } else if (member.flag & kMemberElement) {
      int32_t elemId = member.elemId;
      int32_t elemType = m.elements[elemId].typeId;
      if (elemType <= 0) continue;
      if (onPath(elemType)) {
        cutRecursion(key, elemId, n);
        continue;
      }
      w.fit(elemType);
      if (w.done[elemType]) continue;
      if (m.stackDepth >= kElementStackSize) {
        complete = false;  // deeper paths are not examined
        continue;
      }
      m.elementStack[m.stackDepth++] = elemType;
      if (!walkRecursion(w, elemType)) complete = false;
      --m.stackDepth;
    }
  }
  w.enteredAtDepth[typeId] = outerEntry;
  if (complete && outerEntry < 0) w.done[typeId] = 1;
  modelTrace("<== checkRecursion %d\n", typeId);
  return complete;
}

}  // namespace

NameRef createAnonName() {
  modelTrace("==> createAnonName\n");
  char name[32];
  do {
    std::snprintf(name, sizeof name, "ANON%d", run.anonCounter);
    ++run.anonCounter;
  } while (checkForDupTypeName(name) == 1);
  modelTrace("<== createAnonName %s\n", name);
  return insertName(name);
}

void createXsiAttributes(int32_t rootElemId) {
  modelTrace("==> createXsiAttributes %d\n", rootElemId);
  ModelTables& m = modelTables;
  if (rootElemId < 1 || rootElemId > m.elements.count()) {
    modelTrace("<== createXsiAttributes (no root element)\n");
    return;
  }
  m.elements[rootElemId].flag |= kElemXsiRoot;
  int32_t typeId = m.elements[rootElemId].typeId;
  if (typeId == 0) typeId = createSimpleRootType(rootElemId);
  std::string xsiPrefix = parms.xsiPrefix;
  if (parms.defNameSpace != 0) addXsiAttribute(typeId, "xmlns", false, parms.defNameSpace);
  if (!xsiPrefix.empty()) {
    addXsiAttribute(typeId, "xmlns:" + xsiPrefix, true, insertName(kXsiNamespace));
  }
  NameRef xsdNamespace = insertName(kXsdNamespace);
  NameRef xmlNamespace = storedXmlNamespace();
  for (size_t i = 0; i < fileLists.prefixes.size(); ++i) {
    PrefixBlock block = fileLists.prefixes[i];
    // The xml prefix is bound without a declaration and may not be declared
    // for another namespace.
    if (block.nameSpace == xsdNamespace || block.nameSpace == tagsTable.xsdNamespace ||
        (xmlNamespace != 0 && block.nameSpace == xmlNamespace) ||
        (parms.defNameSpace != 0 && block.nameSpace == parms.defNameSpace)) {
      continue;
    }
    addXsiAttribute(typeId, std::string("xmlns:") + textOf(block.prefix), true, block.nameSpace);
  }
  if (parms.schemaLoc[0] != '\0') {
    addXsiAttribute(typeId, xsiPrefix + ":schemaLocation", true, insertName(parms.schemaLoc));
  }
  if (parms.noNamespaceLoc[0] != '\0') {
    addXsiAttribute(typeId, xsiPrefix + ":noNamespaceSchemaLocation", true,
                    insertName(parms.noNamespaceLoc));
  }
  modelTrace("<== createXsiAttributes\n");
}

void createExtraTypes() {
  modelTrace("==> createExtraTypes\n");
  ModelTables& m = modelTables;
  const int32_t typeCount = m.types.count();
  const int32_t attributeCount = m.attributes.count();
  const int32_t memberCount = m.typeEntries.count();
  const int32_t elementCount = m.elements.count();
  // The new owner of a reshaped type's attributes and attribute members (its
  // _attrs type) and of the elements of that type (its _SEQ type, if any).
  // Nothing below reads the owners of those rows, so they are all moved at
  // the end in one pass over each table, among the rows made before.
  std::vector<int32_t> attrTypeOf(static_cast<size_t>(typeCount) + 1, 0);
  std::vector<int32_t> seqOf(static_cast<size_t>(typeCount) + 1, 0);
  std::string name;
  for (int32_t t = 1; t <= typeCount; ++t) {
    if (m.types[t].firstAttribute <= 0 || m.types[t].firstElement <= 0) continue;
    name = textOf(m.types[t].name);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, "_ANON") == 0) {
      name.resize(name.size() - 5);
    }
    size_t baseLength = name.size();
    int32_t content = (m.types[t].flag & kTypeAnyAttribute) ? kContentOpen : kContentOrdinary;
    name += "_attrs";
    int32_t attrType = insertNewType(insertName(name), kCompAttrAdded, content);
    m.types[attrType].firstAttribute = m.types[t].firstAttribute;
    m.types[attrType].lastAttribute = m.types[t].lastAttribute;
    m.types[t].firstAttribute = 0;
    m.types[t].lastAttribute = 0;
    attrTypeOf[static_cast<size_t>(t)] = attrType;

    if (m.types[t].composition == kCompSequence) {
      int32_t key = insertTypeEntryEntry(t, kMemberSubType, attrType);
      TypeEntryEntry& e = m.typeEntries[key];
      e.minOccurs = 1;
      e.maxOccurs = 1;
      e.next = m.types[t].firstElement;
      m.typeEntries[m.types[t].firstElement].prev = key;
      m.types[t].firstElement = key;
    } else {
      name.resize(baseLength);
      name += "_SEQ";
      int32_t seq = insertNewType(insertName(name), kCompSequence, kContentOrdinary);
      for (int32_t sub : {attrType, t}) {
        int32_t key = createTypeEntryEntry(seq, kMemberSubType, sub);
        m.typeEntries[key].minOccurs = 1;
        m.typeEntries[key].maxOccurs = 1;
      }
      seqOf[static_cast<size_t>(t)] = seq;
    }
  }
  auto movedTo = [typeCount](const std::vector<int32_t>& owners, int32_t typeId) {
    return typeId >= 1 && typeId <= typeCount ? owners[static_cast<size_t>(typeId)] : 0;
  };
  for (int32_t a = 1; a <= attributeCount; ++a) {
    if (int32_t to = movedTo(attrTypeOf, m.attributes[a].typeId)) m.attributes[a].typeId = to;
  }
  for (int32_t k = 1; k <= memberCount; ++k) {
    TypeEntryEntry& member = m.typeEntries[k];
    if (member.attrId <= 0) continue;
    if (int32_t to = movedTo(attrTypeOf, member.mainTypeId)) member.mainTypeId = to;
  }
  for (int32_t e = 1; e <= elementCount; ++e) {
    if (int32_t to = movedTo(seqOf, m.elements[e].typeId)) m.elements[e].typeId = to;
  }

  for (int32_t a = 1; a <= m.attributes.count(); ++a) {
    if (m.attributes[a].defaultValue == 0) continue;
    const AttrEntry& attr = m.attributes[a];
    char valueName[kMaxIdentLength + 1];
    size_t length = makeIdentifier(valueName, sizeof valueName,
                                   textOf(attr.ident != 0 ? attr.ident : attr.name));
    appendCut(valueName, length, "_DEF");
    NameRef value = attr.defaultValue;
    int32_t xmlId = attr.xmlId;
    int32_t valueId = newValueEntry(valueName, kRoleDefault);
    ValueEntry& v = m.values[valueId];
    v.value = value;
    v.xmlId = xmlId;
    v.attrId = a;
    v.flag |= kValueOwnerAttribute;
  }
  modelTrace("<== createExtraTypes\n");
}

void checkRecursion(int32_t typeId) {
  if (typeId < 1 || typeId > modelTables.types.count()) return;  // a simple root: no types
  RecursionWalk walk;
  walk.fit(modelTables.types.count());  // room for every type there is now
  walkRecursion(walk, typeId);
}
