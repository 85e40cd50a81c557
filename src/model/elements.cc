// Elements and type resolution: processElement and the complex type walk,
// the finders that resolve qualified names to top-level declarations, and the
// naming of anonymous and empty types.
//
// The finders answer through indexes over the tags table (see ModelIndexes):
// the first child of a schema tag with a given name (and kind), the first
// top-level schema tag of a namespace.
// Each index is filled once from the same chains a scan would walk, keeping
// the first hit, so it gives the scan's answer.
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "messages.h"
#include "model_builder.h"
#include "model_internal.h"
#include "run_state.h"

namespace {

TypeNameTakenFn typeNameTakenHook = nullptr;

/// Drops the tag indexes when the tags or xmlns tables changed since they were
/// built (tests build several tag trees in one process).
void refreshTagIndexes() {
  ModelIndexes& ix = modelTables.index;
  int32_t tags = tagsTable.tags.count();
  int32_t xmlns = tagsTable.xmlns.count();
  if (ix.tagsIndexed == tags && ix.xmlnsIndexed == xmlns) return;
  ix.schemaByNamespace = {};
  ix.schemaChildrenIndexed.clear();
  ix.firstSchemaChildByName = {};
  ix.schemaChildEntries = {};
  if (tagsTable.tags.allocated()) {
    for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagAt(s).nextSibling) {
      if (tagAt(s).elemType == kTagSchema) {
        ix.schemaByNamespace.insertFirst(static_cast<uint32_t>(tagAt(s).targetNamespace), s);
      }
    }
  }
  ix.tagsIndexed = tags;
  ix.xmlnsIndexed = xmlns;
}

/// Kinds of schema child a lookup asks for besides a single tag kind.
constexpr int32_t kAnyKind = -2;
constexpr int32_t kTypeKinds = -1;  ///< complexType or simpleType

/// Files the named children of schema tag `schema` by name, in the order of
/// the schema's child chain: chain order is document order, also for the
/// components of included documents, which stand where their include stood
/// although their xmlIds come later.  Returns the schema's ordinal among the
/// filed schema tags.
int32_t indexSchemaChildren(int32_t schema) {
  ModelIndexes& ix = modelTables.index;
  auto known = ix.schemaChildrenIndexed.find(schema);
  if (known != ix.schemaChildrenIndexed.end()) return known->second;
  int32_t ordinal = static_cast<int32_t>(ix.schemaChildrenIndexed.size());
  ix.schemaChildrenIndexed.emplace(schema, ordinal);
  for (int32_t c = tagAt(schema).firstChild; c != 0; c = tagAt(c).nextSibling) {
    const XmlTag& t = tagAt(c);
    if (t.name == 0) continue;
    int32_t entry = ix.schemaChildEntries.add();
    ix.schemaChildEntries[entry] = SchemaChildEntry{c, ordinal, 0, entry, t.elemType};
    int32_t first = ix.firstSchemaChildByName.insertFirst(t.name, entry);
    if (first != entry) {
      SchemaChildEntry& head = ix.schemaChildEntries[first];
      ix.schemaChildEntries[head.last].next = entry;
      head.last = entry;
    }
  }
  return ordinal;
}

/// First child of schema tag `schema` whose name is `local` and whose kind
/// matches `kind` (a tag kind, kAnyKind or kTypeKinds).  The children of a
/// name are filed schema by schema in chain order, so the first match is the
/// one a scan of the chain finds; a name has few children, so the walk is
/// short.
int32_t findSchemaChild(int32_t schema, NameRef local, int32_t kind) {
  if (local == 0) return 0;
  int32_t ordinal = indexSchemaChildren(schema);
  const ModelIndexes& ix = modelTables.index;
  for (int32_t entry = ix.firstSchemaChildByName.find(local); entry != 0;) {
    const SchemaChildEntry& e = ix.schemaChildEntries[entry];
    bool kindMatches = kind == kAnyKind ||
                       (kind == kTypeKinds ? e.kind == kTagComplexType || e.kind == kTagSimpleType
                                           : e.kind == kind);
    if (e.schemaOrdinal == ordinal && kindMatches) return e.tag;
    entry = e.next;
  }
  return 0;
}

/// Splits QName `qname` at its first colon into its prefix text and the
/// NameRef of its local part (0 when that name was never stored, so that no
/// tag can have it).
NameRef splitQualified(NameRef qname, std::string& prefix) {
  const char* text = textOf(qname);
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) {
    prefix.clear();
    return qname;
  }
  prefix.assign(text, colon);
  NameRef local = findName(colon + 1);
  return isStoredName(local) ? local : 0;
}

/// "name name ... " of the element tags on the stack, outermost first.
std::string stackPath() {
  std::string path;
  for (int32_t i = 0; i < modelTables.stackDepth; ++i) {
    path += textOf(tagAt(modelTables.elementStack[i]).name);
    path += ' ';
  }
  return path;
}

/// The value rows of an element's default or fixed value.  Kept out of
/// processElement, whose frame is on the stack once per nesting level.
[[gnu::noinline]] void addElementDefaultValues(int32_t xmlId, int32_t elemId) {
  ModelTables& m = modelTables;
  const ElementEntry& e = m.elements[elemId];
  char valueName[kMaxIdentLength + 1];
  appendCut(valueName,
            makeIdentifier(valueName, sizeof valueName, textOf(e.ident != 0 ? e.ident : e.name)),
            "_DEF");
  NameRef defaultValue = e.defaultValue;
  bool fixed = (tagAt(xmlId).flags & kTagFlagFixed) != 0;
  for (int32_t role :
       {static_cast<int32_t>(kRoleDefault), static_cast<int32_t>(kRoleEnumeration)}) {
    if (role == kRoleEnumeration && !fixed) break;
    int32_t valueId = newValueEntry(valueName, role);
    ValueEntry& v = m.values[valueId];
    v.value = defaultValue;
    v.xmlId = xmlId;
    v.elemId = elemId;
    v.flag = kValueOwnerElement;
  }
}

}  // namespace

/// The first free type name of head + tail, head + n + tail for n = 0, 1, ...
/// Names are only ever taken, never freed, so the search for the same head
/// and tail starts again where the last one stopped: many anonymous types
/// under elements of one name cost one probe each instead of one per
/// earlier type.
std::string numberedTypeName(const std::string& base, const char* head, const char* tail) {
  std::string plain = base + head + tail;
  if (checkForDupTypeName(plain.c_str()) == 0) return plain;
  std::string key = base + head + '\n' + tail;
  int32_t& next = modelTables.index.nextNameNumber[key];
  for (;; ++next) {
    std::string candidate = base + head + std::to_string(next) + tail;
    if (checkForDupTypeName(candidate.c_str()) == 0) return candidate;
  }
}

void setTypeNameTakenHook(TypeNameTakenFn fn) { typeNameTakenHook = fn; }

void resetElementStack() { modelTables.stackDepth = 0; }

namespace {
// The schema tag for `prefix` as seen from `xmlId`; 0 when none, after
// message 9379 when `report`.
int32_t schemaForPrefix(int32_t xmlId, const char* prefix, bool report) {
  TraceScope trace("findSchemaForPrefix", "%d %s", xmlId, prefix);
  int32_t schema = xmlId;
  while (schema != 0 && tagAt(schema).elemType != kTagSchema) schema = tagAt(schema).parent;
  if (prefix[0] == '\0' || schema == 0) {
    trace.result("%d", schema);
    return schema;
  }
  refreshTagIndexes();
  // The prefix means what the declarations in scope at the referring tag
  // bind it to: two documents may use one prefix for different namespaces.
  bool declared = false;
  NameRef ns = namespaceInScope(xmlId, insertName(prefix), &declared);
  if (!declared) {
    if (report) modelError(9379, {textInsert(prefix), intInsert(xmlId)});
    trace.result("0");
    return 0;
  }
  int32_t result = modelTables.index.schemaByNamespace.find(static_cast<uint32_t>(ns));
  trace.result("%d", result);
  return result;
}

// The type tag a type reference names (see findTypeIdFromName); errors are
// reported only when `report`.
int32_t typeTagFromName(int32_t xmlId, NameRef typeName, bool report) {
  refreshTagIndexes();
  std::string prefix;
  NameRef local = splitQualified(typeName, prefix);
  int32_t schema = schemaForPrefix(xmlId, prefix.c_str(), report);
  if (schema == 0) {
    if (report) modelError(9375, {intInsert(xmlId), textInsert(textOf(typeName))});
    return 0;
  }
  // Types and elements live in different symbol spaces: a type reference
  // names a complexType or simpleType even when an element of the same name
  // stands before it (as every ISO 20022 message declares element Document
  // of type Document).  Only when no type has the name is the first
  // declaration of any kind returned, for the caller's kind check to refuse.
  int32_t result = findSchemaChild(schema, local, kTypeKinds);
  if (result == 0) result = findSchemaChild(schema, local, kAnyKind);
  if (result == 0 && report) modelError(9376, {textInsert(textOf(typeName)), intInsert(xmlId)});
  return result;
}
}  // namespace

int32_t findSchemaForPrefix(int32_t xmlId, const char* prefix) {
  return schemaForPrefix(xmlId, prefix, true);
}

int32_t findGlobalByName(NameRef qname, int32_t xmlId, int32_t kind) {
  TraceScope trace("findGlobalByName", "%s %d kind %d", textOf(qname), xmlId, kind);
  refreshTagIndexes();
  std::string prefix;
  NameRef local = splitQualified(qname, prefix);
  int32_t schema = findSchemaForPrefix(xmlId, prefix.c_str());
  if (schema == 0) {
    modelError(9380, {textInsert(prefix), intInsert(xmlId), textInsert(textOf(qname))});
    trace.result("0");
    return 0;
  }
  int32_t result = findSchemaChild(schema, local, kind);
  trace.result("%d", result);
  return result;
}

namespace {
int32_t findReference(NameRef qname, int32_t xmlId, int32_t kind) {
  int32_t found = findGlobalByName(qname, xmlId, kind);
  if (found == 0) modelError(9365, {intInsert(xmlId), textInsert(textOf(qname))});
  return found;
}
}  // namespace

int32_t findElementRefFromName(NameRef qname, int32_t xmlId) {
  return findReference(qname, xmlId, kTagElement);
}
int32_t findAttrRefFromName(NameRef qname, int32_t xmlId) {
  return findReference(qname, xmlId, kTagAttribute);
}
int32_t findAttrGroupFromName(NameRef qname, int32_t xmlId) {
  return findReference(qname, xmlId, kTagAttributeGroup);
}
int32_t findGroupByRef(int32_t xmlId, NameRef qname) {
  return findReference(qname, xmlId, kTagGroup);
}

int32_t findTypeIdFromName(int32_t xmlId, NameRef typeName) {
  TraceScope trace("findTypeIdFromName", "%d %s", xmlId, textOf(typeName));
  int32_t result = typeTagFromName(xmlId, typeName, true);
  trace.result("%d", result);
  return result;
}

int32_t findTypeTagQuietly(int32_t xmlId, NameRef typeName) {
  return typeTagFromName(xmlId, typeName, false);
}

int32_t findAnonType(int32_t xmlId) {
  TraceScope trace("findAnonType", "%d", xmlId);
  int32_t found = 0;
  for (int32_t c = tagAt(xmlId).firstChild; c != 0 && found == 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagComplexType || kind == kTagSimpleType) found = c;
  }
  trace.result("%d", found);
  return found;
}

int32_t findTypeRowForTag(int32_t xmlId) {
  const std::vector<int32_t>& byTag = modelTables.index.typeByTag;
  int32_t typeId = xmlId >= 0 && static_cast<size_t>(xmlId) < byTag.size()
                       ? byTag[static_cast<size_t>(xmlId)]
                       : 0;
  TraceScope trace("findTypeRowForTag", "%d", xmlId);
  trace.result("%d", typeId);
  return typeId;
}

int32_t checkForDupTypeName(const char* name) {
  TraceScope trace("checkForDupTypeName", "%s", name);
  NameRef ref = findName(name);
  int32_t taken = 0;
  if (isStoredName(ref) && modelTables.index.typeByName.find(ref) != 0) {
    taken = 1;
  } else if (typeNameTakenHook != nullptr && typeNameTakenHook(name)) {
    taken = 1;
  }
  trace.result("%d", taken);
  return taken;
}

NameRef createNameForType(int32_t xmlId) {
  TraceScope trace("createNameForType", "%d", xmlId);
  int32_t owner = tagAt(xmlId).parent;
  while (owner != 0 && tagAt(owner).elemType != kTagElement &&
         tagAt(owner).elemType != kTagAttribute) {
    owner = tagAt(owner).parent;
  }
  if (owner == 0) {
    modelError(9377, {intInsert(xmlId)});
    trace.result("0");
    return 0;
  }
  NameRef result = anonymousTypeName(tagAt(owner).xmlName, tagAt(owner).name);
  trace.result("%s", textOf(result));
  return result;
}

NameRef anonymousTypeName(NameRef xmlName, NameRef name) {
  std::string base = xmlName != 0 ? replaced(nameAt(xmlName), ':', '_') : textOf(name);
  return insertName(numberedTypeName(base, "_ANON", ""));
}

void createEmptyType(int32_t xmlId, int32_t typeId, const char* suffix) {
  TraceScope trace("createEmptyType", "%d in type %d %s", xmlId, typeId, suffix);
  const XmlTag& tag = tagAt(xmlId);
  std::string base;
  if (tag.name != 0) {
    base = nameAt(tag.name);
  } else if (tag.ref != 0) {
    base = nameAt(tag.ref);
  } else {
    base = textOf(createAnonName());
  }
  std::string candidate = numberedTypeName(base, "", suffix);
  int32_t minOccurs = tagAt(xmlId).minOccurs;
  int32_t maxOccurs = tagAt(xmlId).maxOccurs;
  int32_t emptyType = insertNewType(insertName(candidate), kCompUndecided, kContentOpen);
  int32_t key = createTypeEntryEntry(typeId, kMemberSubType, emptyType);
  TypeEntryEntry& e = modelTables.typeEntries[key];
  e.minOccurs = minOccurs == kOccursNotGiven ? 1 : minOccurs;
  e.maxOccurs = maxOccurs == kOccursNotGiven ? 1 : maxOccurs;
  trace.result("%d", emptyType);
}

void processNulls(int32_t xmlId, int32_t elemId) {
  TraceScope trace("processNulls", "%d element %d", xmlId, elemId);
  createElementValue("nillable", xmlId, kRoleNillable, elemId, kValueOwnerElement,
                     insertName("true"));
}

namespace {
// The declaration that element tag `xmlId` stands for: the tag itself or the
// global element it refers to.  0 when there is nothing to build: an abstract
// element (an empty placeholder type in `typeId` instead) or a reference that
// cannot be resolved (reported).
int32_t declarationToBuild(int32_t xmlId, int32_t typeId) {
  if (xmlId == 0) return 0;
  if (tagAt(xmlId).flags & kTagFlagAbstract) {
    createEmptyType(xmlId, typeId, "_ABSTRACT");
    return 0;
  }
  if (tagAt(xmlId).ref == 0) return xmlId;
  return findElementRefFromName(tagAt(xmlId).ref, xmlId);  // 0 reported (9365)
}

// Puts declaration `decl` on the stack of elements being built; false, with
// nothing pushed, when it is already being built (the recursion is cut with
// an empty placeholder type in `typeId`) or the nesting is too deep.
bool enterElement(int32_t xmlId, int32_t decl, int32_t typeId) {
  ModelTables& m = modelTables;
  for (int32_t i = 0; i < m.stackDepth; ++i) {
    if (m.elementStack[i] != decl) continue;
    reportInfo(9381,
               {intInsert(xmlId), textInsert(textOf(tagAt(decl).name)), textInsert(stackPath())});
    createEmptyType(xmlId, typeId, "_RECURSE");
    return false;
  }
  assert(m.stackDepth < kElementStackSize);
  m.elementStack[m.stackDepth++] = decl;
  if (m.stackDepth > kMaxElementDepth) {
    modelError(9382,
               {intInsert(m.stackDepth), textInsert(stackPath()), intInsert(kMaxElementDepth)});
    --m.stackDepth;
    return false;
  }
  return true;
}

// Gives element row `elemId` of declaration `decl` its type: a built-in or
// simple type, or a complex type built on first use.  False after an error.
bool typeElement(int32_t xmlId, int32_t decl, int32_t elemId) {
  ModelTables& m = modelTables;
  const XmlTag& d = tagAt(decl);
  // No type and no content: taken as a simple element.
  if (d.dataType != 0 || (d.type == 0 && d.firstChild == 0)) {
    m.elements[elemId].dataType = static_cast<int8_t>(d.dataType);
    if (d.flags & kTagFlagNillable) processNulls(decl, elemId);
    return true;
  }
  int32_t typeTag = d.type != 0 ? findTypeIdFromName(decl, d.type) : findAnonType(decl);
  if (typeTag == 0) {
    modelError(9368, {textInsert("Element"), textInsert(textOf(tagAt(decl).name))});
    return false;
  }
  uint8_t kind = tagAt(typeTag).elemType;
  if (kind == kTagComplexType) {
    int32_t built = tagAt(typeTag).typeId;
    if (built != 0) {
      m.elements[elemId].typeId = built;
    } else {
      uint32_t facets = m.elements[elemId].facets;
      int32_t t = processComplexType(typeTag, elemId, kValueOwnerElement, &facets);
      m.elements[elemId].facets = facets;
      m.elements[elemId].typeId = t;
    }
  } else if (kind == kTagSimpleType) {
    uint32_t facets = m.elements[elemId].facets;
    int32_t dt = resolveSimpleType(typeTag, 0, elemId, kValueOwnerElement, &facets);
    m.elements[elemId].facets = facets;
    m.elements[elemId].dataType = static_cast<int8_t>(dt);
    if (dt == 0) {
      modelError(9372, {intInsert(typeTag)});
    } else if (tagAt(decl).flags & kTagFlagNillable) {
      processNulls(decl, elemId);
    }
  } else if (kind == kTagKey || kind == kTagKeyref || kind == kTagUnique) {
    // the name matched an identity constraint: nothing to build
  } else {
    modelError(9366,
               {textInsert("element"), intInsert(xmlId), intInsert(typeTag), intInsert(kind)});
  }
  return true;
}

// Builds the element row of declaration `decl` (used by tag `xmlId`) and, in
// type `typeId`, its member with the occurrence of the use; 0 after an error.
int32_t buildElement(int32_t xmlId, int32_t decl, int32_t typeId) {
  ModelTables& m = modelTables;
  if (tagAt(decl).name == 0) {
    modelError(9367, {textInsert("Element"), intInsert(xmlId)});
    return 0;
  }
  int32_t elemId = createElementEntry(decl, typeId);
  tagAt(decl).elemId = elemId;
  if (typeId > 0) {
    int32_t key = createTypeEntryEntry(typeId, kMemberElement, elemId);
    m.typeEntries[key].minOccurs = tagAt(xmlId).minOccurs;
    m.typeEntries[key].maxOccurs = tagAt(xmlId).maxOccurs;
  }
  if (!typeElement(xmlId, decl, elemId)) return 0;
  if (m.elements[elemId].defaultValue != 0 && m.elements[elemId].dataType > 0) {
    addElementDefaultValues(xmlId, elemId);
  }
  return elemId;
}
}  // namespace

int32_t processElement(int32_t xmlId, int32_t typeId) {
  if (run.errSw) return 0;
  TraceScope trace("processElement", "%d in type %d", xmlId, typeId);
  int32_t elemId = 0;
  int32_t decl = declarationToBuild(xmlId, typeId);
  if (decl != 0 && enterElement(xmlId, decl, typeId)) {
    elemId = buildElement(xmlId, decl, typeId);
    --modelTables.stackDepth;
  }
  trace.result("%d", elemId);
  return elemId;
}

int32_t processComplexType(int32_t xmlTypeId, int32_t idValue, int32_t flag, uint32_t* facets) {
  TraceScope trace("processComplexType", "%d", xmlTypeId);
  // A row made for this tag was stored in its typeId at once: without one,
  // the index cannot hold the tag either.
  int32_t existing = tagAt(xmlTypeId).typeId != 0 ? findTypeRowForTag(xmlTypeId) : 0;
  if (existing != 0) {
    trace.result("%d (built)", existing);
    return existing;
  }
  ModelTables& m = modelTables;
  int32_t typeId = createTypeEntry(xmlTypeId);
  tagAt(xmlTypeId).typeId = typeId;
  ExpansionGuard ownContent(0, nullptr);
  if (tagAt(xmlTypeId).flags & kTagFlagMixed) m.types[typeId].baseType = kDtString;
  for (int32_t c = tagAt(xmlTypeId).firstChild; c != 0 && !run.errSw; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    switch (kind) {
      case kTagSequence:
        m.types[typeId].composition = kCompSequence;
        processSequence(c, typeId);
        break;
      case kTagChoice:
        m.types[typeId].composition = kCompChoice;
        processChoice(c, typeId);
        break;
      case kTagAll:
        m.types[typeId].composition = kCompAll;
        processAll(c, typeId);
        break;
      case kTagGroup:
        processGroup(c, typeId);
        break;
      case kTagAttribute:
        if (m.types[typeId].composition == kCompUndecided) m.types[typeId].composition = kCompAll;
        insertAttr(c, typeId);
        break;
      case kTagAttributeGroup:
        if (m.types[typeId].composition == kCompUndecided) m.types[typeId].composition = kCompAll;
        processAttrGroup(c, typeId);
        break;
      case kTagAnyAttribute:
        m.types[typeId].flag |= kTypeAnyAttribute;
        break;
      case kTagSimpleContent: {
        int32_t base = processSimpleContent(c, typeId, idValue, flag, facets);
        m.types[typeId].baseType = base;
        break;
      }
      case kTagComplexContent:
        if (tagAt(c).flags & kTagFlagMixed) m.types[typeId].baseType = kDtString;
        processComplexContent(c, typeId, idValue, flag, facets);
        break;
      default:
        if (isSkippedAnnotation(kind)) break;
        modelError(
            9366, {textInsert("complexType"), intInsert(xmlTypeId), intInsert(c), intInsert(kind)});
        break;
    }
  }
  TypeEntry& t = m.types[typeId];
  if (t.composition == kCompUndecided) {
    if (t.firstElement != 0) {
      t.composition = kCompSequence;
    } else if (t.firstAttribute != 0) {
      t.composition = kCompAll;
    }
  }
  trace.result("%d", typeId);
  return typeId;
}

int32_t resolveSimpleType(int32_t xmlId, int32_t typeId, int32_t idValue, int32_t flag,
                          uint32_t* facets) {
  TraceScope trace("resolveSimpleType", "%d", xmlId);
  int32_t dataType = 0;
  ExpansionGuard guard(xmlId, "Simple type");
  if (!guard.entered()) return 0;
  for (int32_t c = tagAt(xmlId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagRestriction) {
      dataType = processSimpleTypeRestriction(c, typeId, idValue, flag, facets);
    } else if (kind == kTagList) {
      dataType = processList(c, typeId);
    } else if (kind == kTagUnion) {
      dataType = processUnion(c, typeId, idValue, flag, facets);
    } else if (!isSkippedAnnotation(kind)) {
      modelError(9366, {textInsert("simpleType"), intInsert(xmlId), intInsert(c), intInsert(kind)});
    }
  }
  trace.result("%d", dataType);
  return dataType;
}
