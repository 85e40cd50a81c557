// Content models and derivation: sequences, choices, all, named and anonymous
// groups, the any wildcard, and complex types derived by restriction or
// extension of complex or simple content.
//
// One TypeEntry holds one composition for its whole element chain, so a group
// nested in another becomes an anonymous type entered as a sub-type member.
#include <cstdio>
#include <unordered_set>

#include "messages.h"
#include "model_internal.h"
#include "run_state.h"

namespace {

/// Occurrence of a nested group's sub-type member: "not given" counts as 1.
int32_t groupBound(int32_t bound) { return bound == kOccursNotGiven ? 1 : bound; }

/// Adds sub-type `subTypeId` to `typeId` with the bounds of tag `xmlId`.
void addSubTypeMember(int32_t typeId, int32_t subTypeId, int32_t xmlId) {
  int32_t minOccurs = groupBound(tagAt(xmlId).minOccurs);
  int32_t maxOccurs = groupBound(tagAt(xmlId).maxOccurs);
  int32_t key = createTypeEntryEntry(typeId, kMemberSubType, subTypeId);
  modelTables.typeEntries[key].minOccurs = minOccurs;
  modelTables.typeEntries[key].maxOccurs = maxOccurs;
}

/// Starts fetching the name index slots of the identifiers of the local
/// elements of group `groupId` in type `typeId`.  Each element looks its
/// identifier up when it is processed, one after another; on a large schema
/// every such lookup would wait for memory, where fetches started together
/// overlap.  Changes nothing but what is in cache.
void prefetchLocalIdents(int32_t groupId, int32_t typeId) {
  if (typeId <= 0) return;
  char ident[kMaxIdentLength + 1];
  for (int32_t c = tagAt(groupId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    const XmlTag& t = tagAt(c);
    if (t.elemType != kTagElement || t.ref != 0 || t.name == 0) continue;
    prefetchName(ident, localElementIdent(ident, typeId, t.name));
  }
}

/// The shared walk of sequence and choice.
void processModelGroup(int32_t groupId, int32_t typeId, int32_t composition,
                       const char* construct) {
  // Nested sequences and choices are walked by recursion: bounded.
  ExpansionGuard guard(groupId, construct);
  if (!guard.entered()) return;
  modelTables.types[typeId].composition = composition;
  prefetchLocalIdents(groupId, typeId);
  for (int32_t c = tagAt(groupId).firstChild; c != 0 && !run.errSw; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    switch (kind) {
      case kTagElement:
        processElement(c, typeId);
        break;
      case kTagGroup:
        processGroup(c, typeId);
        break;
      case kTagSequence:
      case kTagChoice: {
        int32_t nestedComposition = kind == kTagSequence ? kCompSequence : kCompChoice;
        int32_t nested = insertNewType(createAnonName(), nestedComposition, kContentOrdinary);
        addSubTypeMember(typeId, nested, c);
        if (kind == kTagSequence) {
          processSequence(c, nested);
        } else {
          processChoice(c, nested);
        }
        break;
      }
      case kTagAny:
        modelTables.types[typeId].typeContent = kContentOpen;
        break;
      default:
        if (isSkippedAnnotation(kind)) break;
        modelError(9366,
                   {textInsert(construct), intInsert(groupId), intInsert(c), intInsert(kind)});
        break;
    }
  }
}

/// Moves the members first..last of an element chain to type `newOwner` and
/// makes them a chain of their own there.
void moveMembers(int32_t first, int32_t last, int32_t newOwner) {
  ModelTables& m = modelTables;
  m.typeEntries[first].prev = 0;
  m.typeEntries[last].next = 0;
  for (int32_t k = first; k != 0; k = m.typeEntries[k].next) m.typeEntries[k].mainTypeId = newOwner;
  m.types[newOwner].firstElement = first;
  m.types[newOwner].lastElement = last;
}

void addFixedSubTypeMember(int32_t typeId, int32_t subTypeId) {
  int32_t key = createTypeEntryEntry(typeId, kMemberSubType, subTypeId);
  modelTables.typeEntries[key].minOccurs = 1;
  modelTables.typeEntries[key].maxOccurs = 1;
}

}  // namespace

void processSequence(int32_t seqId, int32_t typeId) {
  if (run.errSw) return;
  TraceScope trace("processSequence", "%d type %d", seqId, typeId);
  processModelGroup(seqId, typeId, kCompSequence, "sequence");
}

void processChoice(int32_t choiceId, int32_t typeId) {
  if (run.errSw) return;
  TraceScope trace("processChoice", "%d type %d", choiceId, typeId);
  processModelGroup(choiceId, typeId, kCompChoice, "choice");
}

void processAll(int32_t allId, int32_t typeId) {
  if (run.errSw) return;
  TraceScope trace("processAll", "%d type %d", allId, typeId);
  modelTables.types[typeId].composition = kCompAll;
  prefetchLocalIdents(allId, typeId);
  for (int32_t c = tagAt(allId).firstChild; c != 0 && !run.errSw; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagElement) {
      processElement(c, typeId);
    } else if (!isSkippedAnnotation(kind)) {
      modelError(9366, {textInsert("all"), intInsert(allId), intInsert(c), intInsert(kind)});
    }
  }
}

void processGroup(int32_t xmlId, int32_t typeId) {
  if (run.errSw) return;
  TraceScope trace("processGroup", "%d type %d", xmlId, typeId);
  int32_t group = xmlId;
  NameRef name;
  NameRef ref = tagAt(xmlId).ref;
  if (ref != 0) {
    group = findGroupByRef(xmlId, ref);
    if (group == 0) return;  // reported (9365)
    name = ref;
  } else {
    name = createAnonName();
  }
  ModelTables& m = modelTables;
  int32_t groupType = tagAt(group).typeId;
  if (groupType == 0) {
    // Only the first use expands the group, so a group met again inside its
    // own expansion is not expanded twice (completion cuts that use); the
    // guard bounds the nesting of different groups.
    ExpansionGuard guard(group, "Group");
    if (!guard.entered()) return;
    groupType = insertNewType(name, kCompUndecided, kContentOrdinary);
    if (ref != 0) markSchemaNamedType(groupType);
    tagAt(group).typeId = groupType;
    for (int32_t c = tagAt(group).firstChild; c != 0 && !run.errSw; c = tagAt(c).nextSibling) {
      uint8_t kind = tagAt(c).elemType;
      if (kind == kTagSequence) {
        processSequence(c, groupType);
      } else if (kind == kTagChoice) {
        processChoice(c, groupType);
      } else if (kind == kTagAll) {
        processAll(c, groupType);
      } else if (!isSkippedAnnotation(kind)) {
        modelError(9366, {textInsert("group"), intInsert(xmlId), intInsert(c), intInsert(kind)});
      }
    }
  }
  if (m.types[groupType].composition != kCompUndecided) {
    int32_t minOccurs = tagAt(xmlId).minOccurs;
    int32_t maxOccurs = tagAt(xmlId).maxOccurs;
    int32_t key = createTypeEntryEntry(typeId, kMemberSubType, groupType);
    m.typeEntries[key].minOccurs = minOccurs;
    m.typeEntries[key].maxOccurs = maxOccurs;
  }
  trace.result("%d", groupType);
}

namespace {

/// The type tag that the derivation (extension or restriction) under the
/// simple or complex content tag `contentId` names as its base; 0 for none
/// or a built-in base.
int32_t derivationBase(int32_t contentId) {
  for (int32_t c = tagAt(contentId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind != kTagRestriction && kind != kTagExtension) continue;
    return tagAt(c).base != 0 ? findTypeTagQuietly(c, tagAt(c).base) : 0;
  }
  return 0;
}

/// The complex type whose content is `contentId` derives from itself, by
/// extension or restriction, directly or through other types.  The chain of
/// bases is followed in a loop and every type is visited once.
bool derivesFromItself(int32_t contentId) {
  const int32_t self = tagAt(contentId).parent;
  std::unordered_set<int32_t> seen{self};
  for (int32_t base = derivationBase(contentId); base != 0;) {
    if (base == self) return true;
    if (!seen.insert(base).second || tagAt(base).elemType != kTagComplexType) return false;
    int32_t next = 0;
    for (int32_t c = tagAt(base).firstChild; c != 0 && next == 0; c = tagAt(c).nextSibling) {
      uint8_t kind = tagAt(c).elemType;
      if (kind == kTagComplexContent || kind == kTagSimpleContent) next = derivationBase(c);
    }
    base = next;
  }
  return false;
}

/// Reports the cycle when the type of `contentId` derives from itself.
bool refuseDerivationCycle(int32_t contentId) {
  if (!derivesFromItself(contentId)) return false;
  int32_t type = tagAt(contentId).parent;
  NameRef name = tagAt(type).name;
  modelError(9450, {textInsert("Complex type"),
                    textInsert(name != 0 ? nameAt(name) : "(anonymous)"), intInsert(type)});
  return true;
}

}  // namespace

void processComplexContent(int32_t contentId, int32_t typeId, int32_t idValue, int32_t flag,
                           uint32_t* facets) {
  if (run.errSw) return;
  TraceScope trace("processComplexContent", "%d type %d", contentId, typeId);
  ExpansionGuard guard(contentId, "Complex type");
  if (!guard.entered() || refuseDerivationCycle(contentId)) return;
  int32_t derivation = 0;
  for (int32_t c = tagAt(contentId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagRestriction || kind == kTagExtension) {
      derivation = c;
      break;
    }
  }
  if (derivation == 0) {
    modelError(9370, {intInsert(contentId)});
    return;
  }
  NameRef base = tagAt(derivation).base;
  if (base == 0 && tagAt(derivation).baseDataType == kDtAnyType) {
    // Derived from the ur-type, which holds nothing of its own to inherit:
    // the type is what the derivation itself declares, whether it is written
    // as a restriction or as an extension.
    addBaseElementsToType(typeId, derivation);
    addBaseAttributesToType(typeId, derivation);
    trace.result("(anyType base)");
    return;
  }
  int32_t baseId = base != 0 ? findTypeIdFromName(derivation, base) : 0;
  if (baseId == 0) {
    modelError(9371, {textInsert("complex content"), intInsert(contentId)});
    return;
  }
  if (tagAt(baseId).elemType != kTagComplexType) {
    modelError(9372, {intInsert(baseId)});
    return;
  }
  if (tagAt(derivation).elemType == kTagRestriction) {
    processComplexRestriction(derivation, baseId, typeId, idValue, flag, facets);
  } else {
    processComplexExtension(derivation, baseId, typeId, idValue, flag, facets);
  }
  std::fflush(stdout);
}

void processComplexRestriction(int32_t restrictId, int32_t baseId, int32_t typeId, int32_t, int32_t,
                               uint32_t*) {
  if (run.errSw) return;
  TraceScope trace("processComplexRestriction", "%d base %d type %d", restrictId, baseId, typeId);
  addBaseElementsToType(typeId, restrictId);
  addBaseAttributesToType(typeId, restrictId);
}

void addBaseElementsToType(int32_t typeId, int32_t baseId) {
  TraceScope trace("addBaseElementsToType", "type %d from %d", typeId, baseId);
  for (int32_t c = tagAt(baseId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    switch (kind) {
      case kTagSequence:
        processSequence(c, typeId);
        break;
      case kTagChoice:
        processChoice(c, typeId);
        break;
      case kTagAll:
        processAll(c, typeId);
        break;
      case kTagGroup:
        processGroup(c, typeId);
        break;
      case kTagAny:
        modelTables.types[typeId].typeContent = kContentOpen;
        break;
      case kTagAttribute:
      case kTagAttributeGroup:
      case kTagAnyAttribute:
        break;
      default:
        if (isSkippedAnnotation(kind)) break;
        modelError(9366, {textInsert("extension (elem)"), intInsert(baseId), intInsert(c),
                          intInsert(kind)});
        break;
    }
  }
}

void addBaseAttributesToType(int32_t typeId, int32_t baseId) {
  TraceScope trace("addBaseAttributesToType", "type %d from %d", typeId, baseId);
  for (int32_t c = tagAt(baseId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    switch (kind) {
      case kTagAttribute:
        insertAttr(c, typeId);
        break;
      case kTagAttributeGroup:
        processAttrGroup(c, typeId);
        break;
      case kTagAnyAttribute:
        if (typeId > 0) modelTables.types[typeId].flag |= kTypeAnyAttribute;
        break;
      case kTagGroup:
      case kTagSimpleType:
      case kTagSequence:
      case kTagChoice:
      case kTagAll:
      case kTagRestriction:
        break;
      default:
        if (isSkippedAnnotation(kind) || isFacet(kind)) break;
        modelError(9366, {textInsert("extension (attr)"), intInsert(baseId), intInsert(c),
                          intInsert(kind)});
        break;
    }
  }
}

void processComplexExtension(int32_t extendId, int32_t baseId, int32_t typeId, int32_t idValue,
                             int32_t flag, uint32_t* facets) {
  if (run.errSw) return;
  TraceScope trace("processComplexExtension", "%d base %d type %d", extendId, baseId, typeId);
  ModelTables& m = modelTables;
  int32_t derivedContent = 0;
  for (int32_t c = tagAt(baseId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagComplexContent || kind == kTagSimpleContent) {
      derivedContent = c;
      break;
    }
  }
  if (derivedContent == 0) {
    addBaseElementsToType(typeId, baseId);
  } else {
    // The base is itself derived: its whole content becomes one sub-type.
    int32_t baseType = insertNewType(createAnonName(), kCompChoice, kContentOrdinary);
    addSubTypeMember(typeId, baseType, derivedContent);
    if (tagAt(derivedContent).elemType == kTagComplexContent) {
      processComplexContent(derivedContent, baseType, idValue, flag, facets);
    } else {
      int32_t dt = processSimpleContent(derivedContent, baseType, idValue, flag, facets);
      m.types[baseType].baseType = dt;
    }
  }
  if (m.types[typeId].composition == kCompUndecided && m.types[typeId].firstElement != 0) {
    m.types[typeId].composition = kCompSequence;
  }

  int32_t compBefore = m.types[typeId].composition;
  int32_t contentBefore = m.types[typeId].typeContent;
  int32_t firstBefore = m.types[typeId].firstElement;
  int32_t lastBefore = m.types[typeId].lastElement;

  addBaseElementsToType(typeId, extendId);

  int32_t compAfter = m.types[typeId].composition;
  int32_t contentAfter = m.types[typeId].typeContent;
  int32_t firstAdded =
      firstBefore == 0 ? m.types[typeId].firstElement : m.typeEntries[lastBefore].next;
  int32_t lastAdded = firstAdded == 0 ? 0 : m.types[typeId].lastElement;
  bool changed = compAfter != compBefore || firstAdded != 0;
  bool bothSequences = compAfter == kCompSequence && compBefore == kCompSequence;
  if (changed && !bothSequences && firstBefore != 0 && firstAdded != 0) {
    // Two different content models: base part and extension part become two
    // anonymous sub-types of a sequence.
    int32_t basePart = insertNewType(createAnonName(), compBefore, contentBefore);
    int32_t extensionPart = insertNewType(createAnonName(), compAfter, contentAfter);
    moveMembers(firstBefore, lastBefore, basePart);
    moveMembers(firstAdded, lastAdded, extensionPart);
    TypeEntry& t = m.types[typeId];
    t.composition = kCompSequence;
    t.typeContent = kContentOrdinary;
    t.firstElement = 0;
    t.lastElement = 0;
    addFixedSubTypeMember(typeId, basePart);
    addFixedSubTypeMember(typeId, extensionPart);
  }

  if (derivedContent == 0) addBaseAttributesToType(typeId, baseId);
  addBaseAttributesToType(typeId, extendId);
}

int32_t processSimpleContent(int32_t contentId, int32_t typeId, int32_t idValue, int32_t flag,
                             uint32_t* facets) {
  if (run.errSw) return 0;
  TraceScope trace("processSimpleContent", "%d type %d", contentId, typeId);
  ExpansionGuard guard(contentId, "Complex type");
  if (!guard.entered() || refuseDerivationCycle(contentId)) return 0;
  int32_t dataType = 0;
  for (int32_t c = tagAt(contentId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagRestriction) {
      dataType = processSimpleContentRestriction(c, typeId, idValue, flag, facets);
    } else if (kind == kTagExtension) {
      dataType = processSimpleExtension(c, typeId, idValue, flag, facets);
    } else if (!isSkippedAnnotation(kind)) {
      modelError(
          9366, {textInsert("simpleContent"), intInsert(contentId), intInsert(c), intInsert(kind)});
    }
  }
  trace.result("%d", dataType);
  return dataType;
}

int32_t processSimpleExtension(int32_t extendId, int32_t typeId, int32_t idValue, int32_t flag,
                               uint32_t* facets) {
  if (run.errSw) return 0;
  TraceScope trace("processSimpleExtension", "%d type %d", extendId, typeId);
  addBaseAttributesToType(typeId, extendId);
  int32_t dataType = tagAt(extendId).baseDataType;
  int32_t current = extendId;
  while (!run.errSw && dataType == 0) {
    int32_t base = tagAt(current).base != 0 ? findTypeIdFromName(current, tagAt(current).base) : 0;
    if (base == 0) {
      modelError(9371, {textInsert("simple content extension"), intInsert(current)});
      break;
    }
    if (tagAt(base).baseDataType != 0) {
      dataType = tagAt(base).baseDataType;
      addBaseAttributesToType(typeId, base);
    } else if (tagAt(base).elemType == kTagSimpleType) {
      dataType = resolveSimpleType(base, typeId, idValue, flag, facets);
    } else if (tagAt(base).elemType == kTagComplexType) {
      for (int32_t c = tagAt(base).firstChild; c != 0 && dataType == 0; c = tagAt(c).nextSibling) {
        if (tagAt(c).elemType == kTagSimpleContent) {
          dataType = processSimpleContent(c, typeId, idValue, flag, facets);
        } else if (!isSkippedAnnotation(tagAt(c).elemType)) {
          modelError(9366, {textInsert("complexType"), intInsert(base), intInsert(c),
                            intInsert(tagAt(c).elemType)});
        }
      }
    } else {
      modelError(9366, {textInsert("complexType"), intInsert(base), intInsert(current),
                        intInsert(tagAt(base).elemType)});
    }
    current = base;
  }
  trace.result("%d", dataType);
  return dataType;
}
