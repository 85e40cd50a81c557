// Attributes and attribute groups: one attribute row and member per use,
// attribute groups expanded in place, and the redeclarations of a simple
// content restriction applied to the attributes a type inherited.
#include <cstring>
#include <string>

#include "messages.h"
#include "model_internal.h"
#include "run_state.h"

namespace {

/// The attributeGroup tag that `xmlId` stands for: itself, or the group its
/// ref names; 0 after message 9365 when the ref names none.
int32_t attrGroupDefinition(int32_t xmlId) {
  NameRef ref = tagAt(xmlId).ref;
  if (ref == 0) return xmlId;
  return findAttrGroupFromName(ref, xmlId);  // 9365 reported when it names none
}

}  // namespace

void insertAttr(int32_t xmlId, int32_t typeId) {
  TraceScope trace("insertAttr", "%d type %d", xmlId, typeId);
  ModelTables& m = modelTables;
  int32_t decl = xmlId;
  NameRef ref = tagAt(xmlId).ref;
  if (ref != 0) {
    decl = findAttrRefFromName(ref, xmlId);
    if (decl == 0) return;  // reported (9365)
  }
  const XmlTag& d = tagAt(decl);
  NameRef name = d.name;
  if (name == 0) {
    modelError(9367, {textInsert("Attribute"), intInsert(xmlId)});
    return;
  }
  int32_t dataType = d.dataType;
  if (dataType == 0 && d.type == 0 && d.firstChild == 0) dataType = kDtAnySimpleType;
  NameRef ident = tagAt(decl).name;
  if (tagAt(decl).xmlName != 0) {
    const char* xmlName = nameAt(tagAt(decl).xmlName);
    ident = std::strchr(xmlName, ':') == nullptr ? tagAt(decl).xmlName
                                                 : insertName(replaced(xmlName, ':', '_'));
  }
  int32_t attrId = createAttrEntry(name, ident, dataType, typeId);
  m.attributes[attrId].xmlName = tagAt(decl).xmlName;

  uint8_t use = tagAt(xmlId).useFlags;
  int32_t key = createTypeEntryEntry(typeId, kMemberAttribute, attrId);
  m.typeEntries[key].maxOccurs = 1;
  m.typeEntries[key].minOccurs = 0;
  if (use & kUseRequired) m.typeEntries[key].minOccurs = 1;
  if (use & kUseProhibited) m.typeEntries[key].maxOccurs = 0;

  if (dataType == 0) {
    int32_t typeTag =
        tagAt(decl).type != 0 ? findTypeIdFromName(decl, tagAt(decl).type) : findAnonType(decl);
    if (typeTag == 0) {
      modelError(9368, {textInsert("Attribute"), textInsert(textOf(tagAt(decl).name))});
      return;
    }
    uint32_t facets = m.attributes[attrId].facets;
    int32_t dt = resolveSimpleType(typeTag, 0, attrId, kValueOwnerAttribute, &facets);
    m.attributes[attrId].facets = facets;
    m.attributes[attrId].dataType = static_cast<int8_t>(dt);
    if (dt == 0) modelError(9369, {textInsert("Attribute"), textInsert(textOf(tagAt(decl).name))});
  }

  NameRef defaultValue = tagAt(decl).defaultValue;
  m.attributes[attrId].defaultValue = defaultValue;
  if ((tagAt(decl).flags & kTagFlagFixed) && defaultValue != 0) {
    createElementValue(nameAt(defaultValue), decl, kRoleEnumeration, attrId, kValueOwnerAttribute,
                       defaultValue, defaultValue);
  }
  trace.result("%d", attrId);
}

namespace {
// Walks the attribute group that tag `xmlId` refers to, handing each of its
// attributes to `visit` and walking the groups it refers to in turn; an
// anyAttribute opens type `typeId` when `markAny`.
void walkAttrGroup(int32_t xmlId, int32_t typeId, void (*visit)(int32_t, int32_t), bool markAny) {
  TraceScope trace("walkAttrGroup", "%d type %d", xmlId, typeId);
  int32_t group = attrGroupDefinition(xmlId);
  if (group == 0) return;
  ExpansionGuard guard(group, "Attribute group");
  if (!guard.entered()) return;
  for (int32_t c = tagAt(group).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagAttribute) {
      visit(c, typeId);
    } else if (kind == kTagAttributeGroup) {
      walkAttrGroup(c, typeId, visit, markAny);
    } else if (kind == kTagAnyAttribute) {
      if (markAny && typeId > 0) modelTables.types[typeId].flag |= kTypeAnyAttribute;
    } else if (!isSkippedAnnotation(kind)) {
      modelError(9366,
                 {textInsert("attributeGroup"), intInsert(xmlId), intInsert(c), intInsert(kind)});
    }
  }
}
}  // namespace

void processAttrGroup(int32_t xmlId, int32_t typeId) {
  walkAttrGroup(xmlId, typeId, insertAttr, true);
}

void updateAttributes(int32_t restrictId, int32_t typeId) {
  TraceScope trace("updateAttributes", "%d type %d", restrictId, typeId);
  for (int32_t c = tagAt(restrictId).firstChild; c != 0 && !run.errSw; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagAttribute) {
      updateAttr(c, typeId);
    } else if (kind == kTagAttributeGroup) {
      updateAttrGroup(c, typeId);
    } else if (kind == kTagSimpleType || kind == kTagAnyAttribute || isSkippedAnnotation(kind) ||
               isFacet(kind)) {
      // handled by the facet walk, or nothing to update
    } else {
      modelError(9366,
                 {textInsert("restriction"), intInsert(restrictId), intInsert(c), intInsert(kind)});
    }
  }
}

void updateAttrGroup(int32_t xmlId, int32_t typeId) {
  walkAttrGroup(xmlId, typeId, updateAttr, false);
}

void updateAttr(int32_t xmlId, int32_t typeId) {
  TraceScope trace("updateAttr", "%d type %d", xmlId, typeId);
  ModelTables& m = modelTables;
  NameRef name = tagAt(xmlId).name != 0 ? tagAt(xmlId).name : tagAt(xmlId).ref;
  int32_t member = 0;
  for (int32_t k = m.types[typeId].firstAttribute; k != 0; k = m.typeEntries[k].next) {
    if (m.attributes[m.typeEntries[k].attrId].name == name) {
      member = k;
      break;
    }
  }
  if (member == 0) {
    modelError(9371, {textInsert(textOf(name)), intInsert(xmlId)});
    return;
  }
  int32_t attrId = m.typeEntries[member].attrId;
  NameRef defaultValue = tagAt(xmlId).defaultValue;
  m.attributes[attrId].defaultValue = defaultValue;
  if ((tagAt(xmlId).flags & kTagFlagFixed) && defaultValue != 0) {
    createElementValue(nameAt(defaultValue), xmlId, kRoleEnumeration, attrId, kValueOwnerAttribute,
                       defaultValue, defaultValue);
  }
  uint8_t use = tagAt(xmlId).useFlags;
  if (use & kUseRequired) m.typeEntries[member].minOccurs = 1;
  if (use & kUseProhibited) {
    m.attributes[attrId].flag |= kAttrProhibited;
    m.typeEntries[member].flag |= kMemberProhibited;
    m.typeEntries[member].maxOccurs = 0;
  }
  if (tagAt(xmlId).dataType != 0) {
    m.attributes[attrId].dataType = static_cast<int8_t>(tagAt(xmlId).dataType);
  } else {
    int32_t typeTag =
        tagAt(xmlId).type != 0 ? findTypeIdFromName(xmlId, tagAt(xmlId).type) : findAnonType(xmlId);
    if (typeTag != 0 && tagAt(typeTag).elemType == kTagSimpleType) {
      uint32_t facets = m.attributes[attrId].facets;
      int32_t dt = resolveSimpleType(typeTag, typeId, attrId, kValueOwnerAttribute, &facets);
      m.attributes[attrId].facets = facets;
      if (dt > 0) m.attributes[attrId].dataType = static_cast<int8_t>(dt);
    }
  }
}
