// Simple types and facets.  A simple type never becomes a type row: it is
// reduced to the built-in code its restriction chain ends in, and its facets
// become value rows of the element or attribute that uses it.  The most
// derived restriction's facets win: each owner carries a facetsProcessed mask,
// and a facet whose bit is already set is ignored further up the chain.
#include <string>

#include "messages.h"
#include "model_internal.h"
#include "run_state.h"

namespace {

// facetsProcessed bits
constexpr uint32_t kFacetEnumeration = 0x001;
constexpr uint32_t kFacetFractionDigits = 0x002;
constexpr uint32_t kFacetLength = 0x004;
constexpr uint32_t kFacetMaxExclusive = 0x008;
constexpr uint32_t kFacetMaxInclusive = 0x010;
constexpr uint32_t kFacetMaxLength = 0x020;
constexpr uint32_t kFacetMinExclusive = 0x040;
constexpr uint32_t kFacetMinInclusive = 0x080;
constexpr uint32_t kFacetMinLength = 0x100;
constexpr uint32_t kFacetPattern = 0x200;
constexpr uint32_t kFacetTotalDigits = 0x400;
constexpr uint32_t kFacetWhiteSpace = 0x800;

/// One facet tag kind: the bit that makes it ignored, the bits it sets, the
/// value rows it makes (role and name text, up to two), the name of its
/// warning when it is not supported, and its override trace line.
struct FacetRule {
  uint8_t kind;
  const char* operation;
  uint32_t testBit;
  uint32_t setBits;
  int16_t roles[2];
  const char* names[2];
  const char* unsupported;
  const char* overrideLine;
};

const FacetRule kFacetRules[] = {
    {kTagFractionDigits,
     "processFractionDigits",
     kFacetFractionDigits,
     kFacetFractionDigits,
     {0, 0},
     {nullptr, nullptr},
     "FractionDigits",
     "FractionDigits entry override found - current entry ignored\n"},
    {kTagLength,
     "processLength",
     kFacetLength,
     kFacetLength | kFacetMaxLength | kFacetMinLength,
     {kRoleMaxLength, kRoleMinLength},
     {"MaxLen", "MinLen"},
     nullptr,
     "Length entry override found - current entry ignored\n"},
    {kTagMaxExclusive,
     "processMaxExcl",
     kFacetMaxExclusive,
     kFacetMaxExclusive | kFacetMaxInclusive,
     {kRoleMaxExclusive, 0},
     {"MaxExclusive", nullptr},
     nullptr,
     "MaxExclusive entry override found - current entry ignored\n"},
    {kTagMaxInclusive,
     "processMaxIncl",
     kFacetMaxInclusive,
     kFacetMaxExclusive | kFacetMaxInclusive,
     {kRoleMaxInclusive, 0},
     {"MaxInclusive", nullptr},
     nullptr,
     "MaxInclusive entry override found - current entry ignored\n"},
    {kTagMaxLength,
     "processMaxLen",
     kFacetMaxLength,
     kFacetMaxLength | kFacetLength,
     {kRoleMaxLength, 0},
     {"MaxLen", nullptr},
     nullptr,
     "MaxLength entry override found - current entry ignored\n"},
    {kTagMinExclusive,
     "processMinExcl",
     kFacetMinExclusive,
     kFacetMinExclusive | kFacetMinInclusive,
     {kRoleMinExclusive, 0},
     {"MinExclusive", nullptr},
     nullptr,
     "MinExclusive entry override found - current entry ignored\n"},
    {kTagMinInclusive,
     "processMinIncl",
     kFacetMinInclusive,
     kFacetMinExclusive | kFacetMinInclusive,
     {kRoleMinInclusive, 0},
     {"MinInclusive", nullptr},
     nullptr,
     "MinInclusive entry override found - current entry ignored\n"},
    {kTagMinLength,
     "processMinLen",
     kFacetMinLength,
     kFacetMinLength | kFacetLength,
     {kRoleMinLength, 0},
     {"MinLen", nullptr},
     nullptr,
     "MinLength entry override found - current entry ignored\n"},
    {kTagPattern,
     "processPattern",
     kFacetPattern,
     kFacetPattern,
     {0, 0},
     {nullptr, nullptr},
     "Pattern",
     "Pattern entry override found - current entry ignored\n"},
    {kTagTotalDigits,
     "processTotalDigits",
     kFacetTotalDigits,
     kFacetTotalDigits,
     {0, 0},
     {nullptr, nullptr},
     "TotalDigits",
     "TotalDigits entry override found - current entry ignored\n"},
    {kTagWhiteSpace,
     "processWhiteSpace",
     kFacetWhiteSpace,
     kFacetWhiteSpace,
     {0, 0},
     {nullptr, nullptr},
     "WhiteSpace",
     "WhiteSpace entry override found - current entry ignored\n"},
};

const FacetRule* facetRule(uint8_t kind) {
  for (const FacetRule& r : kFacetRules) {
    if (r.kind == kind) return &r;
  }
  return nullptr;
}

/// Applies one facet tag other than an enumeration; returns the new mask.
uint32_t applyFacet(const FacetRule& rule, int32_t xmlId, int32_t idValue, int32_t flag,
                    uint32_t mask) {
  TraceScope trace(rule.operation, "%d", xmlId);
  if (mask & rule.testBit) {
    tracePrintf("%s", rule.overrideLine);
  } else {
    mask |= rule.setBits;
    if (rule.unsupported != nullptr) reportInfo(9373, {textInsert(rule.unsupported)});
    NameRef value = tagAt(xmlId).value;
    for (int i = 0; i < 2 && rule.names[i] != nullptr; ++i) {
      char name[kMaxIdentLength + 1];
      appendCut(name, appendCut(name, 0, rule.names[i]), textOf(value));
      createElementValue(name, xmlId, rule.roles[i], idValue, flag, value);
    }
  }
  trace.result("0x%x", mask);
  return mask;
}

void processEnum(int32_t xmlId, int32_t idValue, int32_t flag, uint32_t mask) {
  TraceScope trace("processEnum", "%d", xmlId);
  if (mask & kFacetEnumeration) {
    tracePrintf("entry override found - current entry ignored\n");
  } else {
    NameRef value = tagAt(xmlId).value;
    createElementValue(textOf(value), xmlId, kRoleEnumeration, idValue, flag, value, value);
  }
}

}  // namespace

uint32_t processFacets(int32_t restrictId, int32_t typeId, int32_t idValue, int32_t flag,
                       uint32_t mask) {
  TraceScope trace("processFacets", "%d mask 0x%x", restrictId, mask);
  const uint32_t maskOnEntry = mask;
  for (int32_t c = tagAt(restrictId).firstChild; c != 0; c = tagAt(c).nextSibling) {
    uint8_t kind = tagAt(c).elemType;
    if (kind == kTagEnumeration) {
      processEnum(c, idValue, flag, maskOnEntry);
      mask |= kFacetEnumeration;
    } else if (const FacetRule* rule = facetRule(kind)) {
      mask = applyFacet(*rule, c, idValue, flag, mask);
    } else if (kind == kTagAnyAttribute) {
      if (typeId > 0) modelTables.types[typeId].typeContent = kContentOpen;
    } else if (kind == kTagAttribute || kind == kTagAttributeGroup || kind == kTagSimpleType ||
               isSkippedAnnotation(kind)) {
      // attributes and anonymous bases are handled by the callers
    } else {
      modelError(9366,
                 {textInsert("restriction"), intInsert(restrictId), intInsert(c), intInsert(kind)});
    }
  }
  trace.result("0x%x", mask);
  return mask;
}

int32_t processSimpleTypeRestriction(int32_t restrictId, int32_t typeId, int32_t idValue,
                                     int32_t flag, uint32_t* facets) {
  TraceScope trace("processSimpleTypeRestriction", "%d", restrictId);
  ExpansionGuard guard(restrictId, "Simple type");
  if (!guard.entered()) return 0;
  *facets = processFacets(restrictId, typeId, idValue, flag, *facets);
  int32_t dataType = tagAt(restrictId).baseDataType;
  if (dataType == 0 && tagAt(restrictId).base == 0) {
    int32_t anonBase = 0;
    for (int32_t c = tagAt(restrictId).firstChild; c != 0; c = tagAt(c).nextSibling) {
      if (tagAt(c).elemType == kTagSimpleType) {
        anonBase = c;
        break;
      }
    }
    dataType = anonBase != 0 ? resolveSimpleType(anonBase, typeId, idValue, flag, facets)
                             : static_cast<int32_t>(kDtAnySimpleType);
    trace.result("%d", dataType);
    return dataType;
  }
  int32_t current = restrictId;
  while (!run.errSw && dataType == 0) {
    NameRef baseName = tagAt(current).base;
    int32_t base = baseName != 0 ? findTypeIdFromName(current, baseName) : 0;
    if (base == 0) {
      modelError(9371, {textInsert("simple type restriction"), intInsert(current)});
      break;
    }
    // A simple type has no attributes; its list or union child is content.
    if (tagAt(base).elemType != kTagSimpleType) addBaseAttributesToType(typeId, base);
    dataType = tagAt(base).baseDataType;
    for (int32_t c = tagAt(base).firstChild; c != 0 && !run.errSw && dataType == 0;
         c = tagAt(c).nextSibling) {
      uint8_t kind = tagAt(c).elemType;
      if (kind == kTagRestriction) {
        dataType = processSimpleTypeRestriction(c, typeId, idValue, flag, facets);
      } else if (kind == kTagUnion) {
        dataType = processUnion(c, typeId, idValue, flag, facets);
      } else if (kind == kTagList) {
        // A restricted list is a string, like the list itself.
        dataType = processList(c, typeId);
      } else if (isSkippedAnnotation(kind)) {
        continue;
      } else {
        modelError(9366, {textInsert("restriction (simple type)"), intInsert(base), intInsert(c),
                          intInsert(kind)});
      }
    }
    current = base;
  }
  trace.result("%d", dataType);
  return dataType;
}

int32_t processSimpleContentRestriction(int32_t restrictId, int32_t typeId, int32_t idValue,
                                        int32_t flag, uint32_t* facets) {
  TraceScope trace("processSimpleContentRestriction", "%d", restrictId);
  *facets = processFacets(restrictId, typeId, idValue, flag, *facets);
  int32_t dataType = 0;
  NameRef baseName = tagAt(restrictId).base;
  if (baseName != 0) {
    int32_t base = findTypeIdFromName(restrictId, baseName);
    if (base == 0) return 0;
    uint8_t kind = tagAt(base).elemType;
    if (tagAt(base).baseDataType != 0) {
      modelError(9420, {intInsert(base), intInsert(restrictId)});
    } else if (kind == kTagSimpleType) {
      dataType = resolveSimpleType(base, typeId, idValue, flag, facets);
    } else if (kind == kTagComplexType) {
      int32_t content = 0;
      for (int32_t c = tagAt(base).firstChild; c != 0; c = tagAt(c).nextSibling) {
        if (tagAt(c).elemType == kTagSimpleContent) {
          content = c;
          break;
        }
      }
      if (content == 0) {
        modelError(9371, {textInsert("simple content restriction"), intInsert(base)});
      } else {
        dataType = processSimpleContent(content, typeId, idValue, flag, facets);
        updateAttributes(restrictId, typeId);
      }
    }
  } else {
    int32_t anonBase = 0;
    for (int32_t c = tagAt(restrictId).firstChild; c != 0; c = tagAt(c).nextSibling) {
      if (tagAt(c).elemType == kTagSimpleType) {
        anonBase = c;
        break;
      }
    }
    if (anonBase != 0) {
      dataType = resolveSimpleType(anonBase, typeId, idValue, flag, facets);
      addBaseAttributesToType(typeId, anonBase);
    } else if (tagAt(restrictId).baseDataType == kDtCDATA) {
      modelError(9419, {intInsert(restrictId)});
    } else {
      dataType = tagAt(restrictId).baseDataType;
      addBaseAttributesToType(typeId, restrictId);
    }
  }
  trace.result("%d", dataType);
  return dataType;
}

int32_t processList(int32_t xmlId, int32_t) {
  TraceScope trace("processList", "%d", xmlId);
  tracePrintf("list type treated as string\n");
  return kDtString;
}

int32_t processUnion(int32_t xmlId, int32_t, int32_t, int32_t, uint32_t*) {
  TraceScope trace("processUnion", "%d", xmlId);
  tracePrintf("union type treated as string\n");
  return kDtString;
}
