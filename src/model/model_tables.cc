// The five model tables and the operations through which rows are added.
// See model_tables.h.
#include "model_tables.h"

#include <cstring>
#include <string>

#include "messages.h"
#include "model_internal.h"
#include "run_state.h"

ModelTables modelTables;

void ModelTables::allocate(int32_t maxElement, int32_t maxAttribute, int32_t maxType,
                           int32_t maxValue) {
  elements.allocate(maxElement);
  attributes.allocate(maxAttribute);
  types.allocate(maxType);
  typeEntries.allocate(8192);
  values.allocate(maxValue);
  index = ModelIndexes{};
  stackDepth = 0;
}

void ModelTables::reset() { *this = ModelTables{}; }

size_t FlatIndex::slotOf(uint64_t key) const {
  // splitmix64 finaliser: spreads sequential keys over the whole table
  uint64_t h = key + 0x9e3779b97f4a7c15ULL;
  h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
  h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
  h ^= h >> 31;
  return static_cast<size_t>(h) & (slots_.size() - 1);
}

void FlatIndex::rehash(size_t slots) {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(slots, Slot{0, 0});
  for (const Slot& s : old) {
    if (s.row == 0) continue;
    size_t i = slotOf(s.key);
    while (slots_[i].row != 0) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = s;
  }
}

void FlatIndex::reserve(size_t count) {
  size_t slots = 16;
  while (slots < 2 * count) slots *= 2;
  if (slots > slots_.size()) rehash(slots);
}

int32_t FlatIndex::insertFirst(uint64_t key, int32_t row) {
  assert(row > 0);
  if (2 * (used_ + 1) > slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
  size_t i = slotOf(key);
  while (slots_[i].row != 0) {
    if (slots_[i].key == key) return slots_[i].row;
    i = (i + 1) & (slots_.size() - 1);
  }
  slots_[i] = Slot{key, row};
  ++used_;
  return row;
}

int32_t FlatIndex::find(uint64_t key) const {
  if (slots_.empty()) return 0;
  size_t i = slotOf(key);
  while (slots_[i].row != 0) {
    if (slots_[i].key == key) return slots_[i].row;
    i = (i + 1) & (slots_.size() - 1);
  }
  return 0;
}

int32_t modelError(int32_t number, std::initializer_list<RynValue> inserts) {
  run.returnCode = reportError(number, inserts);
  return run.returnCode;
}

std::string replaced(const char* text, char from, char to) {
  std::string s = text;
  for (char& c : s) {
    if (c == from) c = to;
  }
  return s;
}

bool isIdentifierChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

void makeIdentifier(char* out, size_t outSize, const char* in) {
  assert(outSize > 1);
  size_t n = 0;
  if (in[0] >= '0' && in[0] <= '9') out[n++] = '_';
  for (const char* p = in; *p != '\0' && n + 1 < outSize; ++p) {
    out[n++] = isIdentifierChar(*p) ? *p : '_';
  }
  out[n] = '\0';
}

bool isAllDigits(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

int32_t insertNewType(NameRef name, int32_t composition, int32_t typeContent) {
  modelTrace("==> insertNewType %s\n", textOf(name));
  ModelTables& m = modelTables;
  int32_t typeId = m.types.add();
  TypeEntry& t = m.types[typeId];
  t.name = name;
  t.composition = composition;
  t.typeContent = typeContent;
  m.index.typeByName.insertFirst(static_cast<uint32_t>(name), typeId);
  modelTrace("<== insertNewType %d\n", typeId);
  return typeId;
}

int32_t createTypeEntry(int32_t xmlId) {
  modelTrace("==> createTypeEntry %d\n", xmlId);
  NameRef name = tagAt(xmlId).xmlName;
  if (name == 0) name = tagAt(xmlId).name;
  if (name == 0) name = createNameForType(xmlId);
  ModelTables& m = modelTables;
  int32_t found = m.index.typeByName.find(static_cast<uint32_t>(name));
  if (found != 0) {
    modelTrace("<== createTypeEntry %d (existing)\n", found);
    return found;
  }
  int32_t typeId = insertNewType(name, kCompUndecided, kContentOrdinary);
  m.types[typeId].xmlId = xmlId;
  m.index.typeByTag.insertFirst(static_cast<uint32_t>(xmlId), typeId);
  modelTrace("<== createTypeEntry %d\n", typeId);
  return typeId;
}

int32_t insertTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId) {
  modelTrace("==> insertTypeEntryEntry type %d kind %d id %d\n", typeId, entryType, entryId);
  int32_t key = modelTables.typeEntries.add();
  TypeEntryEntry& e = modelTables.typeEntries[key];
  e.mainTypeId = typeId;
  switch (entryType) {
    case kMemberElement:
      e.flag |= kMemberElement;
      e.elemId = entryId;
      break;
    case kMemberAttribute:
      e.flag |= kMemberAttribute;
      e.attrId = entryId;
      break;
    case kMemberSubType:
      e.flag |= kMemberSubType;
      e.subTypeId = entryId;
      break;
    default:
      modelError(9364, {intInsert(entryType)});
      break;
  }
  modelTrace("<== insertTypeEntryEntry %d\n", key);
  return key;
}

int32_t createTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId) {
  modelTrace("==> createTypeEntryEntry type %d kind %d id %d\n", typeId, entryType, entryId);
  ModelTables& m = modelTables;
  int32_t key = insertTypeEntryEntry(typeId, entryType, entryId);
  if (typeId < 1 || typeId > m.types.count()) {
    modelError(9354, {intInsert(typeId)});
    modelTrace("<== createTypeEntryEntry %d (unchained)\n", key);
    return key;
  }
  TypeEntry& t = m.types[typeId];
  bool elementChain = entryType == kMemberElement || entryType == kMemberSubType;
  int32_t& first = elementChain ? t.firstElement : t.firstAttribute;
  int32_t& last = elementChain ? t.lastElement : t.lastAttribute;
  if (first == 0) {
    first = key;
  } else {
    m.typeEntries[key].prev = last;
    m.typeEntries[last].next = key;
  }
  last = key;
  modelTrace("<== createTypeEntryEntry %d\n", key);
  return key;
}

int32_t createElementEntry(int32_t xmlId, int32_t typeId) {
  modelTrace("==> createElementEntry %d in type %d\n", xmlId, typeId);
  ModelTables& m = modelTables;
  const XmlTag& tag = tagAt(xmlId);
  NameRef ident;
  bool local = tagAt(tag.parent).elemType != kTagSchema && typeId > 0;
  if (local) {
    std::string s = textOf(m.types[typeId].name);
    s += '^';
    s += textOf(tag.name);
    if (s.size() > kMaxIdentLength) s.resize(kMaxIdentLength);
    ident = insertName(s);
  } else if (tag.xmlName != 0 && std::strchr(nameAt(tag.xmlName), ':') == nullptr) {
    ident = tag.xmlName;  // nothing to replace: the XML name is the identifier
  } else if (tag.xmlName != 0) {
    std::string s = replaced(nameAt(tag.xmlName), ':', '^');
    if (s.size() > kMaxIdentLength) s.resize(kMaxIdentLength);
    ident = insertName(s);
  } else {
    ident = tag.name;
  }
  int32_t found = m.index.elementByIdent.find(static_cast<uint32_t>(ident));
  if (found != 0) {
    modelTrace("<== createElementEntry %d (existing)\n", found);
    return found;
  }
  int32_t elemId = m.elements.add();
  ElementEntry& e = m.elements[elemId];
  const XmlTag& t = tagAt(xmlId);
  e.name = t.name;
  e.ident = ident;
  e.xmlName = t.xmlName;
  e.defaultValue = t.defaultValue;
  m.index.elementByIdent.insertFirst(static_cast<uint32_t>(ident), elemId);
  modelTrace("<== createElementEntry %d\n", elemId);
  return elemId;
}

int32_t createAttrEntry(NameRef name, NameRef ident, int32_t dataType, int32_t typeId) {
  modelTrace("==> createAttrEntry %s in type %d\n", textOf(name), typeId);
  ModelTables& m = modelTables;
  // The attributes table doubles like the others: a schema with more attribute
  // uses than MAXATTRIBUTE must not write past the end of the table.
  int32_t attrId = m.attributes.add();
  AttrEntry& a = m.attributes[attrId];
  a.name = name;
  a.ident = ident;
  a.dataType = static_cast<int8_t>(dataType);
  a.typeId = typeId;
  if (typeId >= 1 && typeId <= m.types.count() && m.types[typeId].composition == kCompUndecided) {
    m.types[typeId].composition = kCompAttrAdded;
  }
  modelTrace("<== createAttrEntry %d\n", attrId);
  return attrId;
}

int32_t newValueEntry(const char* name, int32_t role) {
  modelTrace("==> newValueEntry %s role %d\n", name, role);
  char ident[kMaxIdentLength + 1];
  makeIdentifier(ident, sizeof ident, name);
  NameRef nameRef = insertName(ident);
  int32_t valueId = modelTables.values.add();
  ValueEntry& v = modelTables.values[valueId];
  v.role = static_cast<int16_t>(role);
  v.name = nameRef;
  modelTrace("<== newValueEntry %d\n", valueId);
  return valueId;
}

int32_t createElementValue(const char* name, int32_t xmlId, int32_t role, int32_t idValue,
                           int32_t flag, NameRef value) {
  modelTrace("==> createElementValue %s role %d owner %d\n", name, role, idValue);
  if (idValue == 0) modelError(9356, {textInsert(name)});
  int32_t valueId = newValueEntry(name, role);
  ValueEntry& v = modelTables.values[valueId];
  v.value = value;
  v.xmlId = xmlId;
  if (flag & kValueOwnerElement) {
    v.elemId = idValue;
    v.flag |= kValueOwnerElement;
  } else {
    v.attrId = idValue;
    v.flag |= kValueOwnerAttribute;
  }
  modelTrace("<== createElementValue %d\n", valueId);
  return valueId;
}
