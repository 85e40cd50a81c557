// The writers of single repository definitions (elements, types, values and
// the members that tie them together), the look-ups of definitions the
// message set already holds, the identifier rules, and the registers that
// catch a name written twice in one run.
#include <cstdio>
#include <cstring>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository_writer.h"
#include "run_state.h"
#include "xml_tags.h"

namespace {

std::string replaced(std::string text, const char* from, char to) {
  for (char& c : text) {
    for (const char* f = from; *f != '\0'; ++f) {
      if (c == *f) {
        c = to;
        break;
      }
    }
  }
  return text;
}

[[noreturn]] void refuseIdentifier(const std::string& identifier) {
  throw QELDBException(reportError(9412, {textInsert(identifier)}));
}

uint32_t getTypeHandleField(const unsigned char* details) {
  uint32_t handle;
  std::memcpy(&handle, details + QEL_OFF_TYPE_HANDLE, sizeof handle);
  return handle;
}

void putHandle(unsigned char* details, int offset, uint32_t handle) {
  std::memcpy(details + offset, &handle, sizeof handle);
}

// Key of the value index: the type handle's four bytes, then the value text.
std::string valueKey(uint32_t typeHandle, const std::string& text) {
  std::string key(reinterpret_cast<const char*>(&typeHandle), sizeof typeHandle);
  return key + text;
}

// One walk over every value definition of the message set, remembering the
// first definition of each (type handle, value text) in walk order.
void buildValueIndex() {
  TraceScope trace("buildValueIndex");
  repo.valuesByText.clear();
  uint32_t current = 0;
  int32_t status = QELGetFirstDefinition(repo.msgSetHandle, QEL_CLASS_VALUE, &current, 0);
  while (status == 0) {
    int32_t defClass = 0;
    chkQELBeapiCode(QELGetClass(current, &defClass), "QELGetClass", "createValue");
    unsigned char details[QEL_VALUE_DETAILS_SIZE] = {};
    int32_t valueClass = QEL_CLASS_VALUE;
    chkQELBeapiCode(QELGetDetails(current, &valueClass, details, sizeof details), "QELGetDetails",
                    "createValue");
    std::string text = getText(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE);
    repo.valuesByText.try_emplace(
        valueKey(getTypeHandleField(details), text),
        RepositoryConnection::StoredValue{current, getInt32(details, QEL_OFF_IDENTIFIER)});
    status = QELGetNextDefinition(current, 0, &current, QEL_WALK_NEXT, 0);
  }
  if (status != QEL_STATUS_NOT_FOUND)
    chkQELBeapiCode(status, "QELGetFirstDefinition/QELGetNextDefinition", "createValue");
  repo.valueIndexBuilt = true;
}

int32_t readId(uint32_t handle, const char* caller) {
  int32_t id = 0;
  chkQELBeapiCode(QELGetIDValue(handle, &id), "QELGetIDValue", caller);
  return id;
}

}  // namespace

// ---- identifiers -----------------------------------------------------------

std::string makeElementIdent(const char* base) {
  std::string ident = std::string(parms.elemPrefix) + base + parms.elemSuffix;
  return replaced(ident, parms.parser == 0 ? "-:" : "-", '_');
}

std::string makeTypeIdent(const char* name) {
  return replaced(std::string(parms.typePrefix) + name + parms.typeSuffix, "-:^", '_');
}

std::string makeTypeSecondName(const char* name) { return replaced(name, "-:^", '_'); }

std::string makeValueIdent(const char* name) {
  return replaced(std::string(parms.valuePrefix) + name + parms.valueSuffix, "-", '_');
}

std::string makeValueSecondName(const char* name) { return replaced(name, "-", '_'); }

// ---- duplicate registers ---------------------------------------------------

namespace {

/// Marks `text` in `seen`; false when it was marked already.
bool firstSighting(std::vector<bool>& seen, const std::string& text) {
  auto at = static_cast<size_t>(insertName(text));
  if (at >= seen.size()) seen.resize(std::max(at + 1, seen.size() * 2));
  if (seen[at]) return false;
  seen[at] = true;
  return true;
}

}  // namespace

void checkDupElementName(const std::string& ident) {
  if (!firstSighting(repo.elementNames, ident)) {
    std::printf("*****Error - Duplicate element name or key value detected (%s)\n", ident.c_str());
    std::fflush(stdout);
    run.errSw = 1;
  }
}

void checkDupTypeName(const std::string& name) {
  if (!firstSighting(repo.typeNames, name)) {
    std::printf("*****Error - Duplicate type name or key value detected (%s)\n", name.c_str());
    std::fflush(stdout);
    run.errSw = 1;
  }
}

int32_t checkDupMemberKey(const std::string& key) {
  return firstSighting(repo.memberKeys, key) ? 0 : 1;
}

// ---- writers -----------------------------------------------------------------

uint32_t createElement(const char* ident, const char* name, uint32_t typeHandle, int32_t* outId) {
  TraceScope trace("createElement");
  std::string identifier = makeElementIdent(ident);
  checkDupElementName(identifier);
  unsigned char details[QEL_ELEMENT_DETAILS_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultDetails(QEL_CLASS_ELEMENT, details, sizeof details),
                  "QELGetDefaultDetails", "createElement");
  putText(details, QEL_OFF_NAME, QEL_NAME_SIZE, identifier.c_str());
  putText(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, name);
  putHandle(details, QEL_OFF_TYPE_HANDLE, typeHandle);
  uint32_t handle = 0;
  int32_t status = QELCreateElement(repo.msgSetHandle, &handle, details);
  if (status == QEL_STATUS_BAD_IDENTIFIER) refuseIdentifier(identifier);
  chkQELBeapiCode(status, "QELCreateElement", "createElement");
  *outId = readId(handle, "createElement");
  ++run.totals.elements;
  return handle;
}

uint32_t createType(const char* name, uint32_t baseTypeHandle, int32_t composition,
                    int32_t typeContent, int32_t* outId) {
  TraceScope trace("createType");
  checkDupTypeName(name);
  std::string identifier = makeTypeIdent(name);
  std::string secondName = makeTypeSecondName(name);
  unsigned char details[QEL_TYPE_DETAILS_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultDetails(QEL_CLASS_TYPE, details, sizeof details),
                  "QELGetDefaultDetails", "createType");
  ++run.totals.types;
  putText(details, QEL_OFF_NAME, QEL_NAME_SIZE, identifier.c_str());
  putText(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, secondName.c_str());
  putInt32(details, QEL_OFF_TYPE_KIND, QEL_TYPE_KIND_COMPLEX);
  putInt32(details, QEL_OFF_COMPOSITION, composition);
  putInt32(details, QEL_OFF_CONTENT, typeContent);
  if (baseTypeHandle != 0) putHandle(details, QEL_OFF_BASE_TYPE, baseTypeHandle);
  uint32_t handle = 0;
  int32_t status = QELCreateType(repo.msgSetHandle, &handle, details);
  if (status == QEL_STATUS_BAD_IDENTIFIER) refuseIdentifier(identifier);
  chkQELBeapiCode(status, "QELCreateType", "createType");
  *outId = readId(handle, "createType");
  if (parms.verbose)
    progressPrintf("Created type %s handle %8.8x id %d type # %d\n", secondName.c_str(), handle,
                   *outId, run.totals.types);
  return handle;
}

uint32_t createValue(const char* name, const char* valueText, uint32_t typeHandle, int32_t* outId) {
  TraceScope trace("createValue");
  if (typeHandle == 0) {
    progressPrintf("*****Error - typeHandle is 0 for value\n");
    run.errSw = 1;
    return 0;
  }
  // An equal value of the same type anywhere in the message set is reused,
  // whatever its name.
  if (!repo.valueIndexBuilt) buildValueIndex();
  auto stored = repo.valuesByText.find(valueKey(typeHandle, valueText));
  if (stored != repo.valuesByText.end()) {
    *outId = stored->second.qelId;
    ++run.totals.valuesReused;
    return stored->second.handle;
  }
  // A value of this name with another text or type is another value: this
  // one takes the name with the first free number.
  std::string identifier, secondName;
  uint32_t handle = 0;
  for (int32_t n = 0;; ++n) {
    std::string numbered = n == 0 ? std::string(name) : name + std::to_string(n);
    identifier = makeValueIdent(numbered.c_str());
    secondName = makeValueSecondName(numbered.c_str());
    bool taken = false;
    handle = findValueByName(identifier.c_str(), typeHandle, outId, valueText, &taken);
    if (handle != 0) {
      ++run.totals.valuesReused;
      return handle;
    }
    if (!taken) break;
  }
  unsigned char details[QEL_VALUE_DETAILS_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultDetails(QEL_CLASS_VALUE, details, sizeof details),
                  "QELGetDefaultDetails", "createValue");
  ++run.totals.values;
  putText(details, QEL_OFF_NAME, QEL_NAME_SIZE, identifier.c_str());
  putText(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, secondName.c_str());
  putText(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE, valueText);
  putHandle(details, QEL_OFF_TYPE_HANDLE, typeHandle);
  int32_t status = QELCreateValue(repo.msgSetHandle, &handle, details);
  if (status == QEL_STATUS_BAD_IDENTIFIER) refuseIdentifier(identifier);
  chkQELBeapiCode(status, "QELCreateValue", "createValue");
  *outId = readId(handle, "createValue");
  // The new value comes last in the walk order, so an earlier equal one keeps
  // its place in the index.
  repo.valuesByText.try_emplace(
      valueKey(typeHandle, getText(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE)),
      RepositoryConnection::StoredValue{handle, *outId});
  return handle;
}

MemberOccurs memberOccurs(int32_t minOccurs, int32_t maxOccurs) {
  MemberOccurs o;
  o.repeat = maxOccurs > 1 || maxOccurs == kOccursUnbounded ? 1 : 0;
  if (maxOccurs != kOccursNotGiven && maxOccurs != kOccursUnbounded)
    o.maxText = std::to_string(maxOccurs);
  if (minOccurs >= 0) o.minText = std::to_string(minOccurs);
  return o;
}

uint32_t createTypeMember(uint32_t typeHandle, uint32_t childHandle, int32_t seqNum,
                          int32_t memberType, int32_t minOcc, int32_t maxOcc, const char* typeName,
                          const char* childName) {
  TraceScope trace("createTypeMember");
  tracePrintf("    member type %d seqNum %d\n", memberType, seqNum);
  unsigned char member[QEL_TYPE_MEMBER_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultMemberDetails2(typeHandle, childHandle, QEL_POSITION_APPEND, member,
                                              sizeof member),
                  "QELGetDefaultMemberDetails2", "createTypeMember");
  MemberOccurs occurs = memberOccurs(minOcc, maxOcc);
  int16_t repeat = occurs.repeat;
  std::memcpy(member + QEL_OFF_MEMBER_REPEAT, &repeat, sizeof repeat);
  if (!occurs.maxText.empty())
    putText(member, QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE, occurs.maxText.c_str());
  if (!occurs.minText.empty())
    putText(member, QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE, occurs.minText.c_str());
  uint32_t memberHandle = 0;
  chkQELBeapiCode(
      QELInsertMember2(typeHandle, childHandle, QEL_POSITION_APPEND, member, &memberHandle),
      "QELInsertMember2", "createTypeMember");
  ++run.totals.typeMembers;
  if (parms.verbose)
    progressPrintf(
        "Inserted %s handle %8.8x into type %s typeHandle %8.8x seqNum %d repeat %d element # "
        "%d\n",
        childName, childHandle, typeName, typeHandle, seqNum, repeat, run.totals.elements);
  return memberHandle;
}

uint32_t createValueMember(uint32_t valueHandle, uint32_t parentHandle, int32_t parentClass,
                           int32_t seqNum, int32_t role) {
  TraceScope trace("createValueMember");
  tracePrintf("    parent class %d seqNum %d role %d\n", parentClass, seqNum, role);
  unsigned char member[QEL_VALUE_MEMBER_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultMemberDetails2(parentHandle, valueHandle, QEL_POSITION_APPEND,
                                              member, sizeof member),
                  "QELGetDefaultMemberDetails2", "createValueMember");
  putInt32(member, QEL_OFF_MEMBER_ROLE, role);
  uint32_t memberHandle = 0;
  int32_t status =
      QELInsertMember2(parentHandle, valueHandle, QEL_POSITION_APPEND, member, &memberHandle);
  if (status == QEL_STATUS_ALREADY_MEMBER || status == QEL_STATUS_ROLE_TAKEN) {
    progressPrintf(
        "Value already a member of the element. Parent Handle = %8.8x, Value Handle = %8.8x \n",
        parentHandle, valueHandle);
    return 0;
  }
  chkQELBeapiCode(status, "QELInsertMember2", "createValueMember");
  ++run.totals.valueMembers;
  if (parms.verbose)
    progressPrintf(
        "Created value member item memberHandle %8.8x for valueHandle %8.8x parentHandle %8.8x "
        "\n",
        memberHandle, valueHandle, parentHandle);
  return memberHandle;
}

// ---- look-ups ----------------------------------------------------------------

void findTypeByName(const char* identifier, uint32_t* outHandle, int32_t* outId) {
  TraceScope trace("findTypeByName");
  uint32_t handle = 0;
  int32_t status = QELFindDefinition(repo.msgSetHandle, QEL_CLASS_TYPE, &handle, identifier);
  if (status == QEL_STATUS_NOT_FOUND) {
    *outHandle = 0;
    return;
  }
  chkQELBeapiCode(status, "QELFindDefinition", "findTypeByName");
  *outHandle = handle;
  *outId = readId(handle, "findTypeByName");
}

void findElementByName(const char* identifier, uint32_t* outHandle, int32_t* outId,
                       uint32_t* outTypeHandle, int32_t* outTypeId, int32_t simpleTyped) {
  TraceScope trace("findElementByName");
  uint32_t handle = 0;
  int32_t status = QELFindDefinition(repo.msgSetHandle, QEL_CLASS_ELEMENT, &handle, identifier);
  if (status == QEL_STATUS_NOT_FOUND) {
    *outHandle = 0;
    *outTypeHandle = 0;
    return;
  }
  chkQELBeapiCode(status, "QELFindDefinition", "findElementByName");
  unsigned char element[QEL_ELEMENT_DETAILS_SIZE] = {};
  int32_t elementClass = QEL_CLASS_ELEMENT;
  chkQELBeapiCode(QELGetDetails(handle, &elementClass, element, sizeof element), "QELGetDetails",
                  "findElementByName");
  uint32_t typeHandle = getTypeHandleField(element);
  unsigned char type[QEL_TYPE_DETAILS_SIZE] = {};
  int32_t typeClass = QEL_CLASS_TYPE;
  chkQELBeapiCode(QELGetDetails(typeHandle, &typeClass, type, sizeof type), "QELGetDetails",
                  "findElementByName");
  bool complexType = getInt32(type, QEL_OFF_TYPE_KIND) == QEL_TYPE_KIND_COMPLEX;
  if (complexType == (simpleTyped != 0))
    throw QELDBException(reportError(9418, {textInsert(identifier)}));
  *outHandle = handle;
  *outId = getInt32(element, QEL_OFF_IDENTIFIER);
  *outTypeHandle = typeHandle;
  *outTypeId = getInt32(type, QEL_OFF_IDENTIFIER);
}

uint32_t findValueByName(const char* identifier, uint32_t typeHandle, int32_t* outId,
                         const char* valueText, bool* taken) {
  TraceScope trace("findValueByName");
  uint32_t handle = 0;
  int32_t status = QELFindDefinition(repo.msgSetHandle, QEL_CLASS_VALUE, &handle, identifier);
  if (status == QEL_STATUS_NOT_FOUND) return 0;
  chkQELBeapiCode(status, "QELFindDefinition", "findValueByName");
  if (taken != nullptr) *taken = true;
  unsigned char details[QEL_VALUE_DETAILS_SIZE] = {};
  int32_t valueClass = QEL_CLASS_VALUE;
  chkQELBeapiCode(QELGetDetails(handle, &valueClass, details, sizeof details), "QELGetDetails",
                  "findValueByName");
  if (getTypeHandleField(details) != typeHandle ||
      getText(details, QEL_OFF_NAME, QEL_NAME_SIZE) != identifier)
    return 0;
  if (valueText != nullptr && getText(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE) !=
                                  std::string(valueText).substr(0, QEL_VALUE_TEXT_SIZE - 1))
    return 0;
  *outId = getInt32(details, QEL_OFF_IDENTIFIER);
  return handle;
}

uint32_t getSimpleTypeHandle(const char* name) {
  TraceScope trace("getSimpleTypeHandle");
  uint32_t handle = 0;
  chkQELBeapiCode(QELFindDefinition(repo.msgSetHandle, QEL_CLASS_TYPE, &handle, name),
                  "QELFindDefinition", "getSimpleTypeHandle");
  return handle;
}

bool repositoryHasTypeName(const char* typeName) {
  if (repo.msgSetHandle == 0) return false;
  uint32_t handle = 0;
  int32_t id = 0;
  findTypeByName(makeTypeIdent(typeName).c_str(), &handle, &id);
  return handle > 0;
}
