// The mapping of the completed model tables onto repository definitions, in
// six passes (types, elements, attributes written as elements, type members,
// element values, attribute values), then the message itself.  Also the
// choice of the repository's simple type for a built-in data type and for a
// value's role, the exclusive bounds, and the date templates.
#include <cstdio>
#include <cstring>
#include <vector>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"
#include "xml_tags.h"

// The model's codes are written to the repository as they are.
static_assert(kCompUndecided == QEL_COMPOSITION_EMPTY && kCompChoice == QEL_COMPOSITION_CHOICE &&
              kCompAttrAdded == QEL_COMPOSITION_ATTRIBUTES && kCompAll == QEL_COMPOSITION_ALL &&
              kCompSequence == QEL_COMPOSITION_SEQUENCE);
static_assert(kContentOrdinary == QEL_CONTENT_ORDINARY && kContentOpen == QEL_CONTENT_OPEN);
static_assert(kRoleMinInclusive == QEL_ROLE_MIN_INCLUSIVE &&
              kRoleMaxInclusive == QEL_ROLE_MAX_INCLUSIVE &&
              kRoleMinLength == QEL_ROLE_MIN_LENGTH && kRoleMaxLength == QEL_ROLE_MAX_LENGTH &&
              kRoleEnumeration == QEL_ROLE_ENUMERATION && kRoleDefault == QEL_ROLE_DEFAULT &&
              kRoleNillable == QEL_ROLE_NILLABLE && kRoleMinExclusive == QEL_ROLE_MIN_EXCLUSIVE &&
              kRoleMaxExclusive == QEL_ROLE_MAX_EXCLUSIVE);

namespace {

const char* const kSimpleTypeNames[kSimpleTypeCount] = {"BOOLEAN", "STRING", "DECIMAL", "FLOAT",
                                                        "INTEGER", "BINARY", "DATETIME"};
const char kSimpleTypeLetters[kSimpleTypeCount] = {'B', 'S', 'D', 'F', 'I', 'X', 'T'};

void loadSimpleTypes() {
  if (repo.simpleTypesLoaded) return;
  for (int i = 0; i < kSimpleTypeCount; ++i)
    repo.simpleTypes[i] = getSimpleTypeHandle(kSimpleTypeNames[i]);
  repo.simpleTypesLoaded = true;
}

uint32_t simpleType(SimpleType which) {
  loadSimpleTypes();
  return repo.simpleTypes[which];
}

bool isSimple(uint32_t handle, SimpleType which) {
  return handle != 0 && handle == simpleType(which);
}

std::string withCaretsAsUnderscores(std::string text) {
  for (char& c : text)
    if (c == '^') c = '_';
  return text;
}

bool endsWith(const std::string& text, const char* tail) {
  size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

bool allDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Adds `delta` (+1 or -1) to a non-negative decimal number of any length,
// given as digits; the result is written without leading zeros.
std::string addOne(const std::string& digits, int delta) {
  std::string n = digits;
  size_t first = n.find_first_not_of('0');
  n = first == std::string::npos ? "0" : n.substr(first);
  if (delta == 0) return n;
  if (delta < 0 && n == "0") return "-1";
  int i = static_cast<int>(n.size()) - 1;
  if (delta > 0) {
    while (i >= 0 && n[static_cast<size_t>(i)] == '9') n[static_cast<size_t>(i--)] = '0';
    if (i < 0) return "1" + n;
    ++n[static_cast<size_t>(i)];
  } else {
    while (n[static_cast<size_t>(i)] == '0') n[static_cast<size_t>(i--)] = '9';
    --n[static_cast<size_t>(i)];
    first = n.find_first_not_of('0');
    n = first == std::string::npos ? "0" : n.substr(first);
  }
  return n;
}

std::string writtenValueKey(NameRef name, NameRef value, uint32_t typeHandle) {
  char key[40];
  std::snprintf(key, sizeof key, "%d,%d,%u", name, value, typeHandle);
  return key;
}

// The date format and binary render of a simple-typed element or attribute
// in one XML layer.
void insertSimpleRender(uint32_t handle, uint32_t dataTypeHandle, int32_t dataType,
                        uint32_t layerHandle) {
  std::string dateTemplate = simpleRenderValue(dataTypeHandle, dataType, QEL_XML_KEY_DATE_FORMAT);
  if (!dateTemplate.empty()) insertDateFormat(handle, dateTemplate.c_str(), layerHandle);
  std::string render = simpleRenderValue(dataTypeHandle, dataType, QEL_XML_KEY_BINARY_RENDER);
  if (!render.empty()) insertBinaryRender(handle, render.c_str(), layerHandle);
}

// ---- what the message reaches ------------------------------------------------------

// The rows the message reaches: from the root's type through the members of
// every type reached.  A row nothing reaches (an element whose one member
// entry a recursion cut replaced) is not written: it would be a definition
// that nothing in the message set refers to.  With `stopAtReused`, the walk
// does not go below a type or element taken from the message set: what lies
// there is the stored definition's, and the rows below are not written
// either.  Without a root element (a model built by hand) every row counts.
struct ReachedRows {
  bool all = true;
  std::vector<uint8_t> types, elements, attributes;
  bool type(int32_t t) const { return all || types[static_cast<size_t>(t)]; }
  bool element(int32_t e) const { return all || elements[static_cast<size_t>(e)]; }
  bool attribute(int32_t a) const { return all || attributes[static_cast<size_t>(a)]; }
};

ReachedRows reachedRows(bool stopAtReused) {
  ReachedRows r;
  const ModelTables& m = modelTables;
  int32_t rootType = 0;
  for (int32_t e = 1; e <= m.elements.count(); ++e)
    if (m.elements[e].flag & kElemXsiRoot) rootType = m.elements[e].typeId;
  if (rootType <= 0 || rootType > m.types.count()) return r;
  r.all = false;
  r.types.assign(static_cast<size_t>(m.types.count()) + 1, 0);
  r.elements.assign(static_cast<size_t>(m.elements.count()) + 1, 0);
  r.attributes.assign(static_cast<size_t>(m.attributes.count()) + 1, 0);
  std::vector<int32_t> pending;
  auto reachType = [&](int32_t t) {
    if (t > 0 && t <= m.types.count() && !r.types[static_cast<size_t>(t)]) {
      r.types[static_cast<size_t>(t)] = 1;
      if (!stopAtReused || (m.types[t].flag & kTypeReusedFlag) == 0) pending.push_back(t);
    }
  };
  reachType(rootType);
  while (!pending.empty()) {
    int32_t t = pending.back();
    pending.pop_back();
    for (int32_t i = m.types[t].firstAttribute; i != 0; i = m.typeEntries[i].next) {
      int32_t a = m.typeEntries[i].attrId;
      if (a > 0 && a <= m.attributes.count()) r.attributes[static_cast<size_t>(a)] = 1;
    }
    for (int32_t i = m.types[t].firstElement; i != 0; i = m.typeEntries[i].next) {
      const TypeEntryEntry& entry = m.typeEntries[i];
      if (entry.flag & kMemberElement) {
        if (entry.elemId <= 0 || entry.elemId > m.elements.count()) continue;
        r.elements[static_cast<size_t>(entry.elemId)] = 1;
        if (!stopAtReused || (m.elements[entry.elemId].flag & kElemInRepository) == 0)
          reachType(m.elements[entry.elemId].typeId);
      } else {
        reachType(entry.subTypeId);
      }
    }
  }
  return r;
}

// ---- pass 1 -----------------------------------------------------------------------

// First every type and element the message set holds by name is compared
// and, when it is the same, taken with everything below it; then the types
// still to be written are those the message reaches through rows not taken.
void writeTypes() {
  TraceScope trace("writeTypes");
  ReachedRows model = reachedRows(false);
  for (int32_t t = 1; t <= modelTables.types.count() && run.errSw == 0; ++t) {
    // A row taken over with a type reused earlier in the pass is done.
    if ((modelTables.types[t].flag & kTypeSimple) || modelTables.types[t].handle != 0 ||
        !model.type(t))
      continue;
    findOrMatchType(t);
  }
  for (int32_t e = 1; e <= modelTables.elements.count() && run.errSw == 0; ++e) {
    // The root is the message, written as no element.
    if (modelTables.elements[e].handle == 0 && (modelTables.elements[e].flag & kElemXsiRoot) == 0 &&
        model.element(e))
      findOrMatchElement(e);
  }
  ReachedRows reached = reachedRows(true);
  for (int32_t t = 1; t <= modelTables.types.count() && run.errSw == 0; ++t) {
    if ((modelTables.types[t].flag & kTypeSimple) || modelTables.types[t].handle != 0 ||
        !reached.type(t))
      continue;
    // Two rows whose names make one identifier (placeholders of one element,
    // one named with ':' and one with '^'): the second meets the first here.
    findOrMatchType(t);
    if (modelTables.types[t].handle != 0) continue;
    const TypeEntry& row = modelTables.types[t];
    uint32_t base = row.baseType != 0 ? dataTypeForCode(row.baseType) : 0;
    std::string name = textOf(row.name);
    int32_t composition = row.composition, content = row.typeContent;
    int32_t id = 0;
    uint32_t handle = createType(name.c_str(), base, composition, content, &id);
    modelTables.types[t].handle = handle;
    modelTables.types[t].qelId = id;
  }
}

// ---- pass 2 -----------------------------------------------------------------------

void writeElements(const ReachedRows& reached) {
  TraceScope trace("writeElements");
  for (int32_t e = 1; e <= modelTables.elements.count() && run.errSw == 0; ++e) {
    if (!reached.element(e)) continue;
    ElementEntry row = modelTables.elements[e];
    if (row.handle != 0 || (row.flag & kElemXsiRoot)) continue;
    std::string ident = textOf(row.ident), name = textOf(row.name);
    int32_t id = 0;
    bool complex = row.dataType == 0 && row.typeId > 0 &&
                   (modelTables.types[row.typeId].flag & kTypeSimple) == 0;
    if (complex) {
      const TypeEntry& type = modelTables.types[row.typeId];
      row.typeHandle = type.handle;
      row.qelTypeId = type.qelId;
      row.handle = createElement(ident.c_str(), name.c_str(), row.typeHandle, &id);
    } else {
      row.dataTypeHandle = dataTypeForCode(row.dataType);
      row.handle = createElement(ident.c_str(), name.c_str(), row.dataTypeHandle, &id);
      for (const PluginLayer& layer : repo.xmlLayers)
        insertSimpleRender(row.handle, row.dataTypeHandle, row.dataType, layer.handle);
    }
    row.qelId = id;
    ElementEntry& stored = modelTables.elements[e];
    stored.handle = row.handle;
    stored.qelId = row.qelId;
    stored.typeHandle = row.typeHandle;
    stored.qelTypeId = row.qelTypeId;
    stored.dataTypeHandle = row.dataTypeHandle;
    if (row.xmlName != 0) {
      auto version = repo.versionedElements.find(e);
      std::string xmlName = withCaretsAsUnderscores(
          version != repo.versionedElements.end() ? version->second : ident);
      for (const PluginLayer& layer : repo.xmlLayers)
        insertXMLName(row.handle, xmlName.c_str(), layer.handle);
    }
    insertLanguageNames(row.handle, name.c_str());
  }
}

// ---- pass 3 -----------------------------------------------------------------------

// The first type entry (in table order) listing each attribute, by attribute row.
std::vector<int32_t> firstOwnerEntries() {
  std::vector<int32_t> owner(static_cast<size_t>(modelTables.attributes.count()) + 1, 0);
  for (int32_t i = 1; i <= modelTables.typeEntries.count(); ++i) {
    int32_t a = modelTables.typeEntries[i].attrId;
    if (a > 0 && a <= modelTables.attributes.count() && owner[static_cast<size_t>(a)] == 0)
      owner[static_cast<size_t>(a)] = i;
  }
  return owner;
}

void writeAttributes(const ReachedRows& reached) {
  TraceScope trace("writeAttributes");
  std::vector<int32_t> owner;
  if (parms.parser == 0) owner = firstOwnerEntries();
  for (int32_t a = 1; a <= modelTables.attributes.count() && run.errSw == 0; ++a) {
    if (!reached.attribute(a)) continue;
    std::string prefix;
    if (parms.parser == 0) {
      int32_t entry = owner[static_cast<size_t>(a)];
      if (entry == 0) {
        run.returnCode = reportError(9383, {textInsert("attribute"), intInsert(a)});
        continue;
      }
      prefix = textOf(modelTables.types[modelTables.typeEntries[entry].mainTypeId].name);
      if (endsWith(prefix, "_attrs")) prefix.resize(prefix.size() - 6);
      if (prefix.size() > 5 && endsWith(prefix, "_ANON")) prefix.resize(prefix.size() - 5);
      prefix += '^';
    }
    AttrEntry row = modelTables.attributes[a];
    std::string identifier = prefix + textOf(row.ident);
    // An attribute written by an earlier run into the same message set is
    // reused like an element when it is the same.
    if (row.handle == 0 && (row.flag & kAttrProhibited) == 0) findOrMatchAttribute(a, identifier);
    row = modelTables.attributes[a];
    if (row.handle != 0 || (row.flag & kAttrProhibited)) continue;
    std::string name = textOf(row.name);
    row.dataTypeHandle = dataTypeForCode(row.dataType);
    int32_t id = 0;
    row.handle = createElement(identifier.c_str(), name.c_str(), row.dataTypeHandle, &id);
    AttrEntry& stored = modelTables.attributes[a];
    stored.handle = row.handle;
    stored.qelId = id;
    stored.dataTypeHandle = row.dataTypeHandle;
    std::string xmlName = withCaretsAsUnderscores(identifier);
    for (const PluginLayer& layer : repo.xmlLayers) {
      insertXMLName(row.handle, xmlName.c_str(), layer.handle);
      insertSimpleRender(row.handle, row.dataTypeHandle, row.dataType, layer.handle);
    }
    insertLanguageNames(row.handle, name.c_str());
  }
}

// ---- pass 4 -----------------------------------------------------------------------

bool rendersAsText(uint32_t dataTypeHandle) {
  return isSimple(dataTypeHandle, kSimpleString) || isSimple(dataTypeHandle, kSimpleDecimal);
}

void markCustomLayers(uint32_t typeHandle, uint32_t member, uint32_t dataTypeHandle) {
  if (!rendersAsText(dataTypeHandle)) return;
  for (const PluginLayer& layer : repo.cwfLayers)
    createMemberAttr(typeHandle, member, layer.handle, "7", QEL_CWF_KEY_MEMBER_RENDER);
}

void writeTypeMembers() {
  TraceScope trace("writeTypeMembers");
  for (int32_t t = 1; t <= modelTables.types.count() && run.errSw == 0; ++t) {
    const TypeEntry type = modelTables.types[t];
    // A type taken over from the message set already holds its members; a
    // simple type row has no definition to hold any.
    if (type.handle == 0 || (type.flag & kTypeReusedFlag)) continue;
    std::string typeName = textOf(type.name);
    int32_t seq = 1;
    for (int32_t i = type.firstAttribute; i != 0; i = modelTables.typeEntries[i].next) {
      const TypeEntryEntry entry = modelTables.typeEntries[i];
      const AttrEntry a = modelTables.attributes[entry.attrId];
      std::string key = std::to_string(type.handle) + "," + std::to_string(a.handle);
      if (checkDupMemberKey(key) == 1 || (a.flag & kAttrProhibited)) continue;
      std::string childName = textOf(a.name);
      uint32_t member =
          createTypeMember(type.handle, a.handle, seq, QEL_CLASS_ELEMENT, entry.minOccurs,
                           entry.maxOccurs, typeName.c_str(), childName.c_str());
      std::string xmlName = a.xmlName > 0 ? textOf(a.xmlName) : childName;
      for (const PluginLayer& layer : repo.xmlLayers) {
        setXmlRender(type.handle, member, layer.handle, "1");
        if (!xmlName.empty()) setXmlMemberName(type.handle, member, layer.handle, xmlName.c_str());
      }
      markCustomLayers(type.handle, member, a.dataTypeHandle);
      ++seq;
    }
    for (int32_t i = type.firstElement; i != 0; i = modelTables.typeEntries[i].next) {
      const TypeEntryEntry entry = modelTables.typeEntries[i];
      if (entry.flag & kMemberElement) {
        const ElementEntry e = modelTables.elements[entry.elemId];
        std::string childName = textOf(e.name);
        uint32_t member =
            createTypeMember(type.handle, e.handle, seq, QEL_CLASS_ELEMENT, entry.minOccurs,
                             entry.maxOccurs, typeName.c_str(), childName.c_str());
        std::string xmlName = e.xmlName > 0 ? textOf(e.xmlName) : childName;
        if (!xmlName.empty())
          for (const PluginLayer& layer : repo.xmlLayers)
            setXmlMemberName(type.handle, member, layer.handle, xmlName.c_str());
        markCustomLayers(type.handle, member, e.dataTypeHandle);
      } else {
        const TypeEntry sub = modelTables.types[entry.subTypeId];
        std::string childName = textOf(sub.name);
        createTypeMember(type.handle, sub.handle, seq, QEL_CLASS_TYPE, entry.minOccurs,
                         entry.maxOccurs, typeName.c_str(), childName.c_str());
      }
      ++seq;
    }
  }
}

// ---- passes 5 and 6 ---------------------------------------------------------------

// Value rows by owner, each list in table order: one walk instead of one per owner.
std::vector<std::vector<int32_t>> valuesByOwner(bool byElement) {
  size_t owners = static_cast<size_t>(byElement ? modelTables.elements.count()
                                                : modelTables.attributes.count());
  std::vector<std::vector<int32_t>> lists(owners + 1);
  for (int32_t v = 1; v <= modelTables.values.count(); ++v) {
    int32_t owner = byElement ? modelTables.values[v].elemId : modelTables.values[v].attrId;
    if (owner > 0 && static_cast<size_t>(owner) <= owners)
      lists[static_cast<size_t>(owner)].push_back(v);
  }
  return lists;
}

// Writes value row `v` as a value of owner `ownerHandle`; `t` is its type.
void writeValue(int32_t v, uint32_t t, uint32_t ownerHandle, int32_t& seq) {
  std::string name = std::string(parms.valuePrefix) + textOf(modelTables.values[v].name);
  appendTypeLetter(name, t);
  name += parms.valueSuffix;
  modelTables.values[v].name = insertName(name);
  int32_t role = modelTables.values[v].role;
  bool bound = role == kRoleMinInclusive || role == kRoleMaxInclusive ||
               role == kRoleMinExclusive || role == kRoleMaxExclusive;
  if (isSimple(t, kSimpleDateTime) && bound) return;
  if (adjustExclusiveBound(v, t) == 1) return;
  // The bound may have moved: its value and role are read again.
  const ValueEntry row = modelTables.values[v];
  role = row.role;
  int32_t id = 0;
  uint32_t h = findDuplicateValue(row.name, row.value, t, &id);
  if (h == 0) {
    std::string valueText = textOf(row.value);
    h = createValue(name.c_str(), valueText.c_str(), t, &id);
  }
  ValueEntry& stored = modelTables.values[v];
  stored.handle = h;
  stored.qelId = id;
  stored.dataTypeHandle = t;
  // A value without a type was reported by createValue; there is nothing to
  // make a member of.
  if (h == 0) return;
  repo.writtenValues.try_emplace(writtenValueKey(row.name, row.value, t),
                                 RepositoryConnection::StoredValue{h, id});
  createValueMember(h, ownerHandle, QEL_CLASS_ELEMENT, seq, role);
  ++seq;
}

void writeElementValues() {
  TraceScope trace("writeElementValues");
  std::vector<std::vector<int32_t>> owned = valuesByOwner(true);
  for (int32_t e = 1; e <= modelTables.elements.count() && run.errSw == 0; ++e) {
    const ElementEntry owner = modelTables.elements[e];
    // An element that was not written (the root) has no definition to hold values.
    if (owner.handle == 0) continue;
    int32_t seq = 1;
    for (int32_t v : owned[static_cast<size_t>(e)]) {
      if (run.errSw != 0) break;
      if (modelTables.values[v].handle != 0) continue;
      int32_t role = modelTables.values[v].role;
      uint32_t t = valueTypeForRole(role, owner.dataTypeHandle);
      if (t == 0) {
        int32_t baseType = owner.typeId > 0 ? modelTables.types[owner.typeId].baseType : 0;
        t = valueTypeForRole(role, dataTypeForCode(baseType));
      }
      writeValue(v, t, owner.handle, seq);
    }
  }
}

void writeAttributeValues() {
  TraceScope trace("writeAttributeValues");
  std::vector<std::vector<int32_t>> owned = valuesByOwner(false);
  for (int32_t a = 1; a <= modelTables.attributes.count() && run.errSw == 0; ++a) {
    const AttrEntry owner = modelTables.attributes[a];
    if (owner.handle == 0) continue;  // prohibited: left out with its values
    int32_t seq = 1;
    for (int32_t v : owned[static_cast<size_t>(a)]) {
      if (run.errSw != 0) break;
      if (modelTables.values[v].handle != 0) continue;
      int32_t role = modelTables.values[v].role;
      uint32_t t = valueTypeForRole(role, owner.dataTypeHandle);
      if (t == 0) t = valueTypeForRole(role, dataTypeForCode(owner.dataType));
      writeValue(v, t, owner.handle, seq);
    }
  }
}

}  // namespace

// ---- simple types, roles, letters, templates ----------------------------------------

uint32_t dataTypeForCode(int32_t code) {
  if (parms.StringOnly) return simpleType(kSimpleString);
  switch (code) {
    case kDtBase64Binary:
    case kDtHexBinary:
      return simpleType(kSimpleBinary);
    case kDtBoolean:
      return simpleType(kSimpleBoolean);
    case kDtByte:
    case kDtInt:
    case kDtInteger:
    case kDtLong:
    case kDtNegativeInteger:
    case kDtNonNegativeInteger:
    case kDtNonPositiveInteger:
    case kDtPositiveInteger:
    case kDtShort:
    case kDtUnsignedByte:
    case kDtUnsignedInt:
    case kDtUnsignedLong:
    case kDtUnsignedShort:
      return simpleType(kSimpleInteger);
    case kDtDate:
    case kDtDateTime:
    case kDtGDay:
    case kDtGMonth:
    case kDtGMonthDay:
    case kDtGYear:
    case kDtGYearMonth:
    case kDtMonth:
    case kDtTime:
    case kDtYear:
      return simpleType(parms.DateStringOnly ? kSimpleString : kSimpleDateTime);
    case kDtDecimal:
      return simpleType(kSimpleDecimal);
    case kDtDouble:
    case kDtFloat:
      return simpleType(kSimpleFloat);
    default:
      return simpleType(kSimpleString);
  }
}

uint32_t valueTypeForRole(int32_t role, uint32_t ownerTypeHandle) {
  switch (role) {
    case kRoleMinInclusive:
    case kRoleMaxInclusive:
    case kRoleEnumeration:
    case kRoleDefault:
    case kRoleMinExclusive:
    case kRoleMaxExclusive:
      return ownerTypeHandle;
    case kRoleMinLength:
    case kRoleMaxLength:
      return dataTypeForCode(kDtInteger);
    case kRoleNillable:
      return dataTypeForCode(kDtBoolean);
    case QEL_ROLE_STRING:
      return dataTypeForCode(kDtString);
    default:
      return 0;
  }
}

void appendTypeLetter(std::string& text, uint32_t typeHandle) {
  if (typeHandle == 0) return;
  loadSimpleTypes();
  for (int i = 0; i < kSimpleTypeCount; ++i) {
    if (repo.simpleTypes[i] == typeHandle) {
      text += kSimpleTypeLetters[i];
      return;
    }
  }
}

std::string getDateTemplate(int32_t code) {
  switch (code) {
    case kDtDate:
      return "yyyy-MM-dd";
    case kDtDateTime:
      return parms.InclTimeFrac ? "yyyy-MM-dd'T'HH:mm:ss.SSSZZZ" : "";
    case kDtTime:
      return parms.InclTimeFrac ? "HH:mm:ss.SSSZZZ" : "HH:mm:ssZZZ";
    case kDtGDay:
      return "---dd";
    case kDtGMonth:
      return "--MM";
    case kDtGMonthDay:
      return "--MM-dd";
    case kDtGYear:
      return "yyyy";
    case kDtGYearMonth:
      return "yyyy-MM";
    default:
      return "";
  }
}

std::string simpleRenderValue(uint32_t dataTypeHandle, int32_t dataType, int32_t key) {
  if (key == QEL_XML_KEY_DATE_FORMAT && isSimple(dataTypeHandle, kSimpleDateTime))
    return getDateTemplate(dataType);
  if (key == QEL_XML_KEY_BINARY_RENDER && isSimple(dataTypeHandle, kSimpleBinary))
    return dataType == kDtBase64Binary ? "2" : "1";
  return "";
}

bool effectiveValue(int32_t v, uint32_t t, std::string* text, int32_t* role) {
  const ValueEntry& row = modelTables.values[v];
  if (t == 0) return false;
  int32_t r = row.role;
  bool bound = r == kRoleMinInclusive || r == kRoleMaxInclusive || r == kRoleMinExclusive ||
               r == kRoleMaxExclusive;
  if (isSimple(t, kSimpleDateTime) && bound) return false;
  std::string value = textOf(row.value);
  if (r == kRoleMinExclusive || r == kRoleMaxExclusive) {
    if (!allDigits(value)) return false;
    bool lower = r == kRoleMinExclusive;
    value = addOne(value, isSimple(t, kSimpleString) ? 0 : (lower ? 1 : -1));
    r = lower ? kRoleMinInclusive : kRoleMaxInclusive;
  }
  *text = value;
  *role = r;
  return true;
}

int32_t adjustExclusiveBound(int32_t valueId, uint32_t typeHandle) {
  int32_t role = modelTables.values[valueId].role;
  if (role != kRoleMinExclusive && role != kRoleMaxExclusive) return 0;
  bool lower = role == kRoleMinExclusive;
  std::string oldText = textOf(modelTables.values[valueId].value);
  if (!allDigits(oldText)) return 1;
  std::string newText;
  if (isSimple(typeHandle, kSimpleString)) {
    newText = addOne(oldText, 0);
  } else {
    newText = addOne(oldText, lower ? 1 : -1);
    reportInfo(9374, {textInsert(lower ? "MinExclusive" : "MaxExclusive"),
                      textInsert(lower ? "MinInclusive" : "MaxInclusive"), textInsert(oldText),
                      textInsert(newText)});
  }
  NameRef value = insertName(newText);
  modelTables.values[valueId].value = value;
  modelTables.values[valueId].role = lower ? kRoleMinInclusive : kRoleMaxInclusive;
  return 0;
}

uint32_t findDuplicateValue(NameRef name, NameRef value, uint32_t typeHandle, int32_t* outId) {
  auto found = repo.writtenValues.find(writtenValueKey(name, value, typeHandle));
  if (found == repo.writtenValues.end()) return 0;
  *outId = found->second.qelId;
  return found->second.handle;
}

// ---- entry points ---------------------------------------------------------------------

void createQELitems() {
  TraceScope trace("createQELitems");
  writeTypes();
  ReachedRows reached = reachedRows(true);
  writeElements(reached);
  writeAttributes(reached);
  writeTypeMembers();
  writeElementValues();
  writeAttributeValues();
}

uint32_t buildQELdata(uint32_t typeHandle, const char* rootTagName) {
  TraceScope trace("buildQELdata");
  if (run.errSw != 0) return typeHandle;
  return CreateMessage(parms.rootElement, rootTagName, typeHandle);
}

uint32_t CreateMessage(const char* msgBaseName, const char* rootTagName, uint32_t typeHandle) {
  TraceScope trace("CreateMessage");
  std::string identifier = std::string(parms.msgPrefix) + msgBaseName + parms.msgSuffix;
  unsigned char details[QEL_MESSAGE_DETAILS_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultDetails(QEL_CLASS_MESSAGE, details, sizeof details),
                  "QELGetDefaultDetails", "createMessage");
  ++run.totals.messages;
  putText(details, QEL_OFF_NAME, QEL_NAME_SIZE, identifier.c_str());
  putText(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, msgBaseName);
  std::memcpy(details + QEL_OFF_TYPE_HANDLE, &typeHandle, sizeof typeHandle);
  uint32_t handle = 0;
  int32_t status = QELCreateMessage(repo.msgSetHandle, &handle, details);
  if (status == QEL_STATUS_BAD_IDENTIFIER)
    throw QELDBException(reportError(9412, {textInsert(identifier)}));
  chkQELBeapiCode(status, "QELCreateMessage", "createMessage");
  if (parms.verbose)
    progressPrintf("Created M_MESSAGE entry for message %s messageId %8.8x typeId %d\n",
                   msgBaseName, handle, static_cast<int32_t>(typeHandle));
  insertMessageCobolNames(handle, msgBaseName);
  std::string rootTag = rootTagName ? rootTagName : "";
  if (rootTag != identifier)
    for (const PluginLayer& layer : repo.xmlLayers)
      insertXMLName(handle, rootTag.c_str(), layer.handle);
  return handle;
}
