// The five model tables and the operations through which rows are added.
// See model_tables.h.
#include "model_tables.h"

#include <algorithm>
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

size_t makeIdentifier(char* out, size_t outSize, const char* in) {
  assert(outSize > 1);
  size_t n = 0;
  if (in[0] >= '0' && in[0] <= '9') out[n++] = '_';
  for (const char* p = in; *p != '\0' && n + 1 < outSize; ++p) {
    out[n++] = isIdentifierChar(*p) ? *p : '_';
  }
  out[n] = '\0';
  return n;
}

size_t appendCut(char* buffer, size_t length, const char* text) {
  assert(length <= kMaxIdentLength);
  size_t copied = strnlen(text, kMaxIdentLength - length);
  std::memcpy(buffer + length, text, copied);
  buffer[length + copied] = '\0';
  return length + copied;
}

void markSchemaNamedType(int32_t typeId) {
  std::vector<uint8_t>& named = modelTables.index.schemaNamedType;
  if (static_cast<size_t>(typeId) >= named.size()) named.resize(static_cast<size_t>(typeId) + 1, 0);
  named[static_cast<size_t>(typeId)] = 1;
}

bool isSchemaNamedType(int32_t typeId) {
  const std::vector<uint8_t>& named = modelTables.index.schemaNamedType;
  return typeId >= 0 && static_cast<size_t>(typeId) < named.size() &&
         named[static_cast<size_t>(typeId)] != 0;
}

int32_t insertNewType(NameRef name, int32_t composition, int32_t typeContent) {
  TraceScope trace("insertNewType", "%s", textOf(name));
  ModelTables& m = modelTables;
  int32_t typeId = m.types.add();
  TypeEntry& t = m.types[typeId];
  t.name = name;
  t.composition = composition;
  t.typeContent = typeContent;
  m.index.typeByName.insertFirst(name, typeId);
  trace.result("%d", typeId);
  return typeId;
}

int32_t createTypeEntry(int32_t xmlId) {
  TraceScope trace("createTypeEntry", "%d", xmlId);
  NameRef name = tagAt(xmlId).xmlName;
  if (name == 0) name = tagAt(xmlId).name;
  bool schemaName = name != 0;
  if (name == 0) name = createNameForType(xmlId);
  ModelTables& m = modelTables;
  int32_t found = m.index.typeByName.find(name);
  if (found != 0) {
    trace.result("%d (existing)", found);
    return found;
  }
  int32_t typeId = insertNewType(name, kCompUndecided, kContentOrdinary);
  m.types[typeId].xmlId = xmlId;
  if (schemaName) markSchemaNamedType(typeId);
  std::vector<int32_t>& byTag = m.index.typeByTag;
  if (static_cast<size_t>(xmlId) >= byTag.size()) {
    // The tags table is complete when types are made: one sizing suffices.
    byTag.resize(
        std::max(static_cast<size_t>(xmlId), static_cast<size_t>(tagsTable.tags.count())) + 1, 0);
  }
  if (byTag[static_cast<size_t>(xmlId)] == 0) byTag[static_cast<size_t>(xmlId)] = typeId;
  trace.result("%d", typeId);
  return typeId;
}

int32_t insertTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId) {
  TraceScope trace("insertTypeEntryEntry", "type %d kind %d id %d", typeId, entryType, entryId);
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
  trace.result("%d", key);
  return key;
}

int32_t createTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId) {
  TraceScope trace("createTypeEntryEntry", "type %d kind %d id %d", typeId, entryType, entryId);
  ModelTables& m = modelTables;
  int32_t key = insertTypeEntryEntry(typeId, entryType, entryId);
  if (typeId < 1 || typeId > m.types.count()) {
    modelError(9354, {intInsert(typeId)});
    trace.result("%d (unchained)", key);
    return key;
  }
  TypeEntry& t = m.types[typeId];
  bool elementChain = entryType == kMemberElement || entryType == kMemberSubType;
  int32_t& first = elementChain ? t.firstElement : t.firstAttribute;
  int32_t& last = elementChain ? t.lastElement : t.lastAttribute;
  if (first == 0) {
    first = key;
  } else {
    // Appending after a row that is not the chain's end would cut the chain.
    assert(last > 0 && m.typeEntries[last].next == 0 && m.typeEntries[last].mainTypeId == typeId);
    m.typeEntries[key].prev = last;
    m.typeEntries[last].next = key;
  }
  last = key;
  trace.result("%d", key);
  return key;
}

size_t localElementIdent(char* buffer, int32_t typeId, NameRef name) {
  size_t n = appendCut(buffer, 0, textOf(modelTables.types[typeId].name));
  n = appendCut(buffer, n, "^");
  return appendCut(buffer, n, textOf(name));
}

int32_t createElementEntry(int32_t xmlId, int32_t typeId) {
  TraceScope trace("createElementEntry", "%d in type %d", xmlId, typeId);
  ModelTables& m = modelTables;
  const XmlTag& tag = tagAt(xmlId);
  NameRef ident;
  bool local = tagAt(tag.parent).elemType != kTagSchema && typeId > 0;
  if (local) {
    char buffer[kMaxIdentLength + 1];
    ident = insertName(buffer, localElementIdent(buffer, typeId, tag.name));
  } else if (tag.xmlName != 0 && std::strchr(nameAt(tag.xmlName), ':') == nullptr) {
    ident = tag.xmlName;  // nothing to replace: the XML name is the identifier
  } else if (tag.xmlName != 0) {
    char buffer[kMaxIdentLength + 1];
    size_t n = appendCut(buffer, 0, nameAt(tag.xmlName));
    std::replace(buffer, buffer + n, ':', '^');
    ident = insertName(buffer, n);
  } else {
    ident = tag.name;
  }
  int32_t found = m.index.elementByIdent.find(ident);
  if (found != 0) {
    trace.result("%d (existing)", found);
    return found;
  }
  int32_t elemId = m.elements.add();
  ElementEntry& e = m.elements[elemId];
  const XmlTag& t = tagAt(xmlId);
  e.name = t.name;
  e.ident = ident;
  e.xmlName = t.xmlName;
  e.defaultValue = t.defaultValue;
  m.index.elementByIdent.insertFirst(ident, elemId);
  trace.result("%d", elemId);
  return elemId;
}

int32_t createAttrEntry(NameRef name, NameRef ident, int32_t dataType, int32_t typeId) {
  TraceScope trace("createAttrEntry", "%s in type %d", textOf(name), typeId);
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
  trace.result("%d", attrId);
  return attrId;
}

int32_t newValueEntry(const char* name, int32_t role, NameRef stored) {
  TraceScope trace("newValueEntry", "%s role %d", name, role);
  assert(stored == 0 || std::strcmp(nameAt(stored), name) == 0);
  char ident[kMaxIdentLength + 1];
  size_t length = makeIdentifier(ident, sizeof ident, name);
  // A stored name that is already an identifier names its value row itself.
  NameRef nameRef =
      stored != 0 && std::strcmp(ident, name) == 0 ? stored : insertName(ident, length);
  int32_t valueId = modelTables.values.add();
  ValueEntry& v = modelTables.values[valueId];
  v.role = static_cast<int16_t>(role);
  v.name = nameRef;
  trace.result("%d", valueId);
  return valueId;
}

int32_t createElementValue(const char* name, int32_t xmlId, int32_t role, int32_t idValue,
                           int32_t flag, NameRef value, NameRef stored) {
  TraceScope trace("createElementValue", "%s role %d owner %d", name, role, idValue);
  if (idValue == 0) modelError(9356, {textInsert(name)});
  int32_t valueId = newValueEntry(name, role, stored);
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
  trace.result("%d", valueId);
  return valueId;
}

ExpansionGuard::ExpansionGuard(int32_t xmlId, const char* kind) {
  std::vector<int32_t>& open = modelTables.expanding;
  if (xmlId == 0) {
    open.push_back(0);
    entered_ = true;
    return;
  }
  size_t depth = 0;
  for (size_t i = open.size(); i-- > 0 && open[i] != 0; ++depth) {
    if (open[i] != xmlId) continue;
    // The component is named by its own tag, or by the type whose content
    // (simpleContent, complexContent, restriction) this tag is.
    int32_t named = xmlId;
    while (named > 0 && tagAt(named).name == 0 && tagAt(named).parent > 0 &&
           tagAt(tagAt(named).parent).elemType != kTagSchema) {
      named = tagAt(named).parent;
    }
    NameRef name = named > 0 ? tagAt(named).name : 0;
    modelError(9450, {textInsert(kind), textInsert(name != 0 ? nameAt(name) : "(anonymous)"),
                      intInsert(xmlId)});
    return;
  }
  if (depth >= kMaxExpansionDepth) {
    modelError(9452, {intInsert(static_cast<int64_t>(kMaxExpansionDepth)), intInsert(xmlId)});
    return;
  }
  open.push_back(xmlId);
  entered_ = true;
}

ExpansionGuard::~ExpansionGuard() {
  if (entered_ && !modelTables.expanding.empty()) modelTables.expanding.pop_back();
}
