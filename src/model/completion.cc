// Model completion: anonymous names, the XML-instance attributes of the root
// type, the reshaping of types that hold both elements and attributes, the
// default values of attributes, and the cutting of cycles of element types.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
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
  tracePrintf("root element %d of simple type gets type %d\n", rootElemId, typeId);
  return typeId;
}

/// The cut of cycles of element types.
///
/// The model is a graph: a type holds element members (each leading to the
/// element's type) and sub-type members (groups and derivation parts).  One
/// type row is shared by every place that uses the type, so a cycle cannot
/// be cut by editing the row in place: the cut would also remove the member
/// where the same type is used outside the cycle.  Instead the walk from the
/// root builds *versions* of types.  A version of type T is T's member list
/// as seen under the current path of element types: an element member whose
/// type is already on the path is replaced by an empty placeholder type (the
/// recursive step), every other member leads to a version of its own child.
/// A version that changes nothing is the type itself; at the end the first
/// suitable version of each type takes over the type's own row and every
/// other one becomes a copy, with copies of the elements that lead to them.
///
/// A version records the types on the path that its cuts depend on; it is
/// reused wherever all of those are on the path again, so a version without
/// cuts is built once for every use.  Where they are not, another version is
/// built, up to kMaxVersions per type; past that the version closest to the
/// current path is reused (densely recursive schemas, such as markup
/// languages where nearly every element may hold nearly every other one,
/// would otherwise need a version per order in which the elements can nest).
/// Every version only refers to versions finished before it, so the written
/// model holds no containment cycle.
class RecursionCut {
 public:
  explicit RecursionCut(int32_t typeCount) {
    size_t n = static_cast<size_t>(typeCount) + 1;
    versionsOf_.resize(n);
    onPath_.resize(n, 0);
    buildingAt_.resize(n, -1);
    versions_.emplace_back();  // version 0: none
  }

  /// Walks from the root type and rewrites the model.
  void run(int32_t rootType) {
    int32_t root = resolve(rootType);
    if (root > 0) materialize(root);
  }

 private:
  static constexpr size_t kMaxVersions = 16;

  struct Member {
    int32_t key;              ///< the member row of the original type
    TypeEntryEntry original;  ///< that row as the walk found it
    int32_t child;            ///< version of the sub-type or element type; 0 unchanged
    int32_t cut;              ///< placeholder type that replaces the member, else 0
  };
  struct Version {
    int32_t type = 0;
    bool identity = false;      ///< the type's own members, unchanged
    std::vector<int32_t> deps;  ///< types on the path that its cuts rely on
    std::vector<Member> members;
    int32_t row = 0;  ///< the type row that holds it (materialize)
  };

  bool fits(const Version& v, size_t* missing) const {
    size_t n = 0;
    for (int32_t d : v.deps) n += onPath_[static_cast<size_t>(d)] == 0;
    *missing = n;
    return n == 0;
  }

  void addDeps(std::vector<int32_t>& into, const std::vector<int32_t>& from, int32_t except) {
    for (int32_t d : from) {
      if (d == except || onPath_[static_cast<size_t>(d)] == 0) continue;
      if (std::find(into.begin(), into.end(), d) == into.end()) into.push_back(d);
    }
  }

  std::string pathText() const {
    std::string text;
    for (int32_t t : path_) {
      text += textOf(modelTables.types[t].name);
      text += ' ';
    }
    return text;
  }

  /// The empty open type that stands for element `elemId` (or, with 0, for
  /// the sub-type `typeId` that holds itself) where it recurs; one per
  /// element, reported when it is made.
  int32_t placeholder(int32_t elemId, int32_t typeId) {
    ModelTables& m = modelTables;
    int32_t& made = elemId > 0 ? placeholderOfElement_[elemId] : placeholderOfType_[typeId];
    if (made != 0) return made;
    std::string base = elemId > 0 ? textOf(m.elements[elemId].ident) : textOf(m.types[typeId].name);
    if (elemId > 0) {
      reportInfo(9381, {intInsert(elemId), textInsert(textOf(m.elements[elemId].name)),
                        textInsert(pathText())});
    }
    std::string name = base + "_RECURSE";
    while (checkForDupTypeName(name.c_str()) == 1) {
      name = base + std::to_string(placeholderNumber_++) + "_RECURSE";
    }
    made = insertNewType(insertName(name), kCompUndecided, kContentOpen);
    return made;
  }

  /// The version of `typeId` for the current path.
  int32_t resolve(int32_t typeId) {
    const std::vector<int32_t>& list = versionsOf_[static_cast<size_t>(typeId)];
    int32_t closest = 0;
    size_t fewest = SIZE_MAX;
    for (int32_t v : list) {
      size_t missing = 0;
      if (fits(versions_[static_cast<size_t>(v)], &missing)) return v;
      if (missing < fewest) {
        fewest = missing;
        closest = v;
      }
    }
    if (list.size() >= kMaxVersions) return closest;
    return build(typeId);
  }

  int32_t build(int32_t typeId) {
    TraceScope trace("checkRecursion", "%d", typeId);
    ModelTables& m = modelTables;
    const int32_t depth = static_cast<int32_t>(path_.size());
    const int32_t outer = buildingAt_[static_cast<size_t>(typeId)];
    buildingAt_[static_cast<size_t>(typeId)] = depth;
    Version made;
    made.type = typeId;
    bool changed = false;
    for (int32_t key = m.types[typeId].firstElement; key != 0; key = m.typeEntries[key].next) {
      const TypeEntryEntry member = m.typeEntries[key];
      Member out{key, member, 0, 0};
      if (member.flag & kMemberSubType) {
        int32_t sub = member.subTypeId;
        if (buildingAt_[static_cast<size_t>(sub)] == depth) {
          // A type that holds itself through sub-types alone: a group that
          // refers to itself with no element in between.  XML Schema forbids
          // such circular groups, and no instance could ever end, so the
          // schema is refused; the inner use is still cut so that the walk
          // ends and nothing circular is left behind.
          modelError(9450, {textInsert("Group"), textInsert(textOf(m.types[sub].name)),
                            intInsert(m.types[sub].xmlId)});
          out.cut = placeholder(0, sub);
        } else {
          out.child = resolve(sub);
          const Version& v = versions_[static_cast<size_t>(out.child)];
          addDeps(made.deps, v.deps, 0);
        }
      } else if (member.flag & kMemberElement) {
        int32_t elemId = member.elemId;
        int32_t elemType = m.elements[elemId].typeId;
        if (elemType > 0 && onPath_[static_cast<size_t>(elemType)] != 0) {
          out.cut = placeholder(elemId, 0);
          addDeps(made.deps, {elemType}, 0);
        } else if (elemType > 0) {
          path_.push_back(elemType);
          ++onPath_[static_cast<size_t>(elemType)];
          out.child = resolve(elemType);
          --onPath_[static_cast<size_t>(elemType)];
          path_.pop_back();
          const Version& v = versions_[static_cast<size_t>(out.child)];
          addDeps(made.deps, v.deps, elemType);
        }
      }
      if (out.cut != 0 || (out.child != 0 && !versions_[static_cast<size_t>(out.child)].identity)) {
        changed = true;
      }
      made.members.push_back(out);
    }
    buildingAt_[static_cast<size_t>(typeId)] = outer;
    made.identity = !changed;
    int32_t id = static_cast<int32_t>(versions_.size());
    versions_.push_back(std::move(made));
    versionsOf_[static_cast<size_t>(typeId)].push_back(id);
    trace.result("%d version %d", typeId, id);
    return id;
  }

  /// The element that leads to the type row `typeRow`: `elemId` itself when
  /// that is its type, otherwise one copy per element and row.
  int32_t elementFor(int32_t elemId, int32_t typeRow) {
    ModelTables& m = modelTables;
    if (m.elements[elemId].typeId == typeRow) return elemId;
    int32_t& copy =
        elementCopies_[(static_cast<uint64_t>(elemId) << 32) | static_cast<uint32_t>(typeRow)];
    if (copy != 0) return copy;
    std::string base = textOf(m.elements[elemId].ident);
    std::string ident;
    do {
      ident = base + "_" + std::to_string(++elementCopyNumber_[elemId]);
    } while (m.index.elementByIdent.find(insertName(ident)) != 0);
    NameRef identRef = insertName(ident);
    copy = m.elements.add();
    ElementEntry e = m.elements[elemId];
    e.ident = identRef;
    e.typeId = typeRow;
    m.elements[copy] = e;
    m.index.elementByIdent.insertFirst(identRef, copy);
    // Values belong to simple elements and to simple content, never to an
    // element whose type has element members: the copy needs none.
    return copy;
  }

  /// Gives every version a row and writes the member lists of the changed
  /// ones.  The type's own row goes to the root's version, else to the
  /// type's unchanged version, else to its version with the fewest
  /// dependencies; every other version becomes a copy of the type.
  void materialize(int32_t rootVersion) {
    ModelTables& m = modelTables;
    for (size_t t = 1; t < versionsOf_.size(); ++t) {
      const std::vector<int32_t>& list = versionsOf_[t];
      if (list.empty()) continue;
      int32_t owner = 0;
      for (int32_t v : list) {
        if (v == rootVersion) owner = v;
      }
      for (int32_t v : list) {
        if (owner == 0 && versions_[static_cast<size_t>(v)].identity) owner = v;
      }
      if (owner == 0) {
        owner = list.front();
        for (int32_t v : list) {
          if (versions_[static_cast<size_t>(v)].deps.size() <
              versions_[static_cast<size_t>(owner)].deps.size()) {
            owner = v;
          }
        }
      }
      const bool ownerUnchanged = versions_[static_cast<size_t>(owner)].identity;
      for (int32_t v : list) {
        Version& version = versions_[static_cast<size_t>(v)];
        if (v == owner || (version.identity && ownerUnchanged)) {
          version.row = static_cast<int32_t>(t);
          continue;
        }
        const TypeEntry original = m.types[static_cast<int32_t>(t)];
        // Copies are numbered from 1 after the type's name: T_V1, T_V2, ...
        std::string base = textOf(original.name);
        int32_t& next = m.index.nextNameNumber[base + "_V\n"];
        std::string name;
        do {
          name = base + "_V" + std::to_string(++next);
        } while (checkForDupTypeName(name.c_str()) == 1);
        int32_t row = insertNewType(insertName(name), original.composition, original.typeContent);
        m.types[row].baseType = original.baseType;
        m.types[row].flag = original.flag;
        version.row = row;
      }
    }
    for (size_t v = 1; v < versions_.size(); ++v) {
      const Version& version = versions_[v];
      if (version.row != version.type) {
        writeCopy(version);
      } else if (!version.identity) {
        rewriteInPlace(version);
      }
    }
  }

  int32_t rowOf(int32_t version) const { return versions_[static_cast<size_t>(version)].row; }

  /// The member `member` of a version, in the member row `key`.
  void setMember(int32_t key, const Member& member) {
    ModelTables& m = modelTables;
    TypeEntryEntry& e = m.typeEntries[key];
    e.flag = member.original.flag;
    e.elemId = member.original.elemId;
    e.subTypeId = member.original.subTypeId;
    if (member.cut != 0) {
      e.flag = static_cast<uint8_t>((e.flag & ~kMemberElement) | kMemberSubType);
      e.subTypeId = member.cut;
      e.elemId = 0;
    } else if (member.child != 0 && (e.flag & kMemberSubType)) {
      e.subTypeId = rowOf(member.child);
    } else if (member.child != 0) {
      int32_t elemId = e.elemId;
      int32_t row = rowOf(member.child);
      int32_t target = elementFor(elemId, row);
      m.typeEntries[key].elemId = target;
    }
  }

  void rewriteInPlace(const Version& version) {
    for (const Member& member : version.members) setMember(member.key, member);
  }

  void writeCopy(const Version& version) {
    ModelTables& m = modelTables;
    for (const Member& member : version.members) {
      int32_t key = createTypeEntryEntry(version.row, kMemberSubType, 0);
      m.typeEntries[key].minOccurs = member.original.minOccurs;
      m.typeEntries[key].maxOccurs = member.original.maxOccurs;
      setMember(key, member);
    }
    // Attribute members are shared as they are (reshaped types keep them
    // apart from elements, so a type with both is rare).
    for (int32_t k = m.types[version.type].firstAttribute; k != 0; k = m.typeEntries[k].next) {
      TypeEntryEntry original = m.typeEntries[k];
      int32_t key = createTypeEntryEntry(version.row, kMemberAttribute, original.attrId);
      m.typeEntries[key].minOccurs = original.minOccurs;
      m.typeEntries[key].maxOccurs = original.maxOccurs;
      m.typeEntries[key].flag = original.flag;
    }
  }

  std::vector<std::vector<int32_t>> versionsOf_;
  std::vector<Version> versions_;
  std::vector<int32_t> path_;
  std::vector<int32_t> onPath_;      ///< by type: times on the path
  std::vector<int32_t> buildingAt_;  ///< by type: path depth of its innermost build, -1 none
  std::unordered_map<int32_t, int32_t> placeholderOfElement_;
  std::unordered_map<int32_t, int32_t> placeholderOfType_;
  std::unordered_map<uint64_t, int32_t> elementCopies_;
  std::unordered_map<int32_t, int32_t> elementCopyNumber_;
  int32_t placeholderNumber_ = 0;
};

}  // namespace

NameRef createAnonName() {
  TraceScope trace("createAnonName");
  char name[32];
  do {
    std::snprintf(name, sizeof name, "ANON%d", run.anonCounter);
    ++run.anonCounter;
  } while (checkForDupTypeName(name) == 1);
  trace.result("%s", name);
  return insertName(name);
}

void createXsiAttributes(int32_t rootElemId) {
  TraceScope trace("createXsiAttributes", "%d", rootElemId);
  ModelTables& m = modelTables;
  if (rootElemId < 1 || rootElemId > m.elements.count()) {
    trace.result("(no root element)");
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
}

void createExtraTypes() {
  TraceScope trace("createExtraTypes");
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
}

void checkRecursion(int32_t typeId) {
  if (typeId < 1 || typeId > modelTables.types.count()) return;  // a simple root: no types
  RecursionCut(modelTables.types.count()).run(typeId);
}
