// The repository writer's own operations: connection state, status check,
// definition writers, wire-format and language attributes, and the mapping of
// the model tables onto repository definitions.
//
// Everything the writer sends to the repository goes through qelbeapi.h.  A
// failing status goes to chkQELBeapiCode (or to the writer's own handling of
// the few statuses it expects), which reports it and raises QELDBException;
// the run driver's guarded blocks catch it.  repository.h holds the entry
// points the run driver calls; this header holds the rest, for the writer's
// own files and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "name_table.h"
#include "qelbeapi.h"
#include "trace.h"

/// TypeEntry::flag bit: the type was found in the message set and reused.
constexpr uint8_t kTypeReusedFlag = 0x04;

/// One plug-in member of the message set: its member handle and member name.
struct PluginLayer {
  uint32_t handle = 0;
  NameRef name = 0;
};

/// The seven simple types every message set holds, in look-up order.
enum SimpleType : int32_t {
  kSimpleBoolean,
  kSimpleString,
  kSimpleDecimal,
  kSimpleFloat,
  kSimpleInteger,
  kSimpleBinary,
  kSimpleDateTime,
  kSimpleTypeCount
};

/// Global state of the conversation with the repository for a single run.
struct RepositoryConnection {
  bool connected = false;     ///< QELOpenRepository succeeded
  std::string dbName;         ///< the repository connected to (may hold a password: show masked)
  uint32_t msgSetHandle = 0;  ///< the open message set (project)
  char msgSetId[16] = {};     ///< its identifier text
  char msgSetName[64] = {};   ///< its name, as given to getQELInfo
  char execDate[32] = {};     ///< start of the run, "%Y-%m-%d-%H.%M.%S"
  /// The message-set file this run appended its line to, and its length
  /// before, so that the line can be taken back when the commit fails.
  std::string msgSetFile;
  long msgSetFileLength = -1;

  PluginLayer cPlugin;                 ///< "C Language Extension"
  PluginLayer cobolPlugin;             ///< "COBOL Language Extension"
  PluginLayer webdavPlugin;            ///< "WebDav Plug-in Extension"
  std::vector<PluginLayer> xmlLayers;  ///< "XML Format Extension" members
  std::vector<PluginLayer> cwfLayers;  ///< "Custom Wire Format Extension" members
  std::vector<PluginLayer> tdsLayers;  ///< "Tagged / Delimited Format Extension" members

  bool simpleTypesLoaded = false;
  uint32_t simpleTypes[kSimpleTypeCount] = {};

  /// Names written in this run; a second equal name is a duplicate.  Each
  /// is a mark at the name's offset in the name table: no node per name to
  /// allocate, nor to free when the run ends.
  std::vector<bool> elementNames;
  std::vector<bool> typeNames;
  std::vector<bool> memberKeys;

  /// The value definitions of the message set by (type handle, value text):
  /// the first one in the repository's walk order.  Built by one walk on the
  /// first createValue of the run and kept up to date with each new value.
  struct StoredValue {
    uint32_t handle;
    int32_t qelId;
  };
  bool valueIndexBuilt = false;
  std::unordered_map<std::string, StoredValue> valuesByText;
  /// Language names written in this run: the name given to each source name,
  /// and every name given.
  struct LanguageNames {
    std::unordered_map<std::string, std::string> bySource;
    std::unordered_set<std::string> taken;
  };
  LanguageNames cobolNames;
  LanguageNames cNames;

  /// The value rows of each element [0] and attribute [1], for comparing
  /// them with stored values; built when the values table has
  /// `valueRowsListed` rows.
  std::vector<std::vector<int32_t>> valueRowsOf[2];
  int32_t valueRowsListed = -1;

  /// Element rows written under a version identifier: row -> the element's
  /// own identifier, which its XML name keeps.
  std::unordered_map<int32_t, std::string> versionedElements;

  /// Value rows already written, by (name, value, type handle).
  std::unordered_map<std::string, StoredValue> writtenValues;

  /// Resets every field; a connection still open is closed without commit.
  void reset();
};

/// The process-wide connection state.
extern RepositoryConnection repo;

// ---- status check -------------------------------------------------------

/// Returns for status 0; otherwise prints 9398 (caller, API function, status,
/// its text), sets errSw and raises QELDBException(-48).
void chkQELBeapiCode(int32_t status, const char* apiName, const char* callerName);

// ---- connection ---------------------------------------------------------

void getPluginHandles();
/// The message set's lock count (WebDav attribute 2), base read from the text.
int32_t getLockCount();
/// Reads a lock count text as strtol with base 0 would: 0x hex, 0 octal, else decimal.
int32_t parseLockCount(const char* text);
void resetMessageSet(const char* msgSetName);
void removeMembers(int32_t defClass);
void removeTypeMembers();
void deleteClass(int32_t defClass);
void deleteTypes();

// ---- definition writers -------------------------------------------------

std::string makeElementIdent(const char* base);
std::string makeTypeIdent(const char* name);
/// The second name written beside a type or a value.
std::string makeTypeSecondName(const char* name);
std::string makeValueIdent(const char* name);
std::string makeValueSecondName(const char* name);

void checkDupElementName(const std::string& ident);
void checkDupTypeName(const std::string& name);
/// 1 when `key` was registered before, else 0 (and it is registered now).
int32_t checkDupMemberKey(const std::string& key);

uint32_t createElement(const char* ident, const char* name, uint32_t typeHandle, int32_t* outId);
uint32_t createType(const char* name, uint32_t baseTypeHandle, int32_t composition,
                    int32_t typeContent, int32_t* outId);
uint32_t createValue(const char* name, const char* valueText, uint32_t typeHandle, int32_t* outId);
uint32_t createTypeMember(uint32_t typeHandle, uint32_t childHandle, int32_t seqNum,
                          int32_t memberType, int32_t minOcc, int32_t maxOcc, const char* typeName,
                          const char* childName);
uint32_t createValueMember(uint32_t valueHandle, uint32_t parentHandle, int32_t parentClass,
                           int32_t seqNum, int32_t role);

void findTypeByName(const char* identifier, uint32_t* outHandle, int32_t* outId);
void findElementByName(const char* identifier, uint32_t* outHandle, int32_t* outId,
                       uint32_t* outTypeHandle, int32_t* outTypeId, int32_t simpleTyped);
/// The value definition of this identifier when it has type `typeHandle`
/// (and, when `valueText` is given, that text), else 0; `*taken` (when
/// given) is set when some value has the identifier.
uint32_t findValueByName(const char* identifier, uint32_t typeHandle, int32_t* outId,
                         const char* valueText = nullptr, bool* taken = nullptr);
uint32_t getSimpleTypeHandle(const char* name);

// ---- reuse of definitions the message set holds ------------------------------

/// One value of an element: role, type handle, value text.
using ValueUse = std::tuple<int32_t, uint32_t, std::string>;

/// The values model element (`byElement`) or attribute `owner` writes, as
/// pass 5 or 6 would write them, in table order.
std::vector<ValueUse> modelValueUses(int32_t owner, bool byElement);
/// Pass 1 for type row `t`: the stored type of its name is taken when it is
/// the same definition, with everything below it; a made-up name taken by
/// another definition, and a type that differs only in its recursion cuts,
/// move to the next free numbered name; the root's type of a message with a
/// prefix or suffix takes them; otherwise 9440 is raised.
void findOrMatchType(int32_t t);
/// Pass 1, after the types, for element row `e`: the stored element of its
/// identifier is taken when it is the same definition, an element of a
/// versioned type becomes a version too; otherwise 9440 is raised.
void findOrMatchElement(int32_t e);
/// Pass 3 for attribute row `a` written as element `identifier`.
void findOrMatchAttribute(int32_t a, const std::string& identifier);

/// The model's question: does the message set hold a type of this name?
bool repositoryHasTypeName(const char* typeName);

// ---- wire-format and language attributes -------------------------------

/// The COBOL name of `name`: the plain rule's name when it is a COBOL word,
/// else the name's ASCII letters and digits with hyphens between words.
std::string cobolName(const char* name);
/// The C name of `name`: the plain rule's name when it is a C identifier,
/// else the name with "_" for every character C cannot hold.
std::string cName(const char* name);
/// A COBOL user-defined word: 1 to 30 ASCII letters, digits and hyphens, at
/// least one letter, no hyphen first or last, not a reserved word.
bool isCobolWord(const std::string& word);
/// A C identifier that is not a keyword.
bool isCIdentifier(const std::string& word);
std::string copyBookName(const char* name);
std::string nilAttributeName();

void setNillableValues(uint32_t layerHandle);
int32_t createAttribute(const char* value, uint32_t componentHandle, uint32_t pluginHandle,
                        int32_t key);
void insertXMLName(uint32_t componentHandle, const char* name, uint32_t layerHandle);
void insertDateFormat(uint32_t componentHandle, const char* dateTemplate, uint32_t layerHandle);
void insertBinaryRender(uint32_t componentHandle, const char* render, uint32_t layerHandle);
void insertCopyBookName(uint32_t componentHandle, const char* name, uint32_t cobolHandle);
void insertCOBOLName(uint32_t componentHandle, const char* name, uint32_t cobolHandle);
void insertCName(uint32_t componentHandle, const char* name, uint32_t cHandle);
void insertLanguageNames(uint32_t componentHandle, const char* name);
void insertMessageCobolNames(uint32_t messageHandle, const char* name);
void createMemberAttr(uint32_t parentHandle, uint32_t memberHandle, uint32_t pluginHandle,
                      const char* value, int32_t key);
void setXmlRender(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                  const char* render);
void setXmlMemberName(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                      const char* name);

// ---- mapping --------------------------------------------------------------

uint32_t dataTypeForCode(int32_t code);
uint32_t valueTypeForRole(int32_t role, uint32_t ownerTypeHandle);
/// Appends the letter of simple type `typeHandle` to `text` (nothing for others).
void appendTypeLetter(std::string& text, uint32_t typeHandle);
/// The date template of a built-in type code ("" for none).
std::string getDateTemplate(int32_t code);
/// The text and role value row `v` of type `t` is written with (an exclusive
/// bound as the inclusive one); false when it is not written.
bool effectiveValue(int32_t v, uint32_t t, std::string* text, int32_t* role);
/// The XML layer attribute `key` (date format or binary render) of a
/// simple element of type `dataTypeHandle` and built-in type `dataType`
/// ("" for none).
std::string simpleRenderValue(uint32_t dataTypeHandle, int32_t dataType, int32_t key);
/// 1 when value row `valueId` is not to be written; moves an exclusive bound.
int32_t adjustExclusiveBound(int32_t valueId, uint32_t typeHandle);
uint32_t findDuplicateValue(NameRef name, NameRef value, uint32_t typeHandle, int32_t* outId);
uint32_t CreateMessage(const char* msgBaseName, const char* rootTagName, uint32_t typeHandle);

/// The text of a name of the name table, as a string of its own.
inline std::string textOf(NameRef ref) {
  return ref == 0 ? std::string() : std::string(nameAt(ref));
}

// ---- record fields ------------------------------------------------------
// Details and member records are byte buffers; these read and patch their
// fields at the offsets of qelbeapi.h.

/// The occurrence fields of a type member record: the repeat flag, and the
/// minOccurs and maxOccurs texts ("" where the schema gave none; maxOccurs
/// unbounded is repeat with no maximum).
struct MemberOccurs {
  int16_t repeat;
  std::string minText;
  std::string maxText;
};
MemberOccurs memberOccurs(int32_t minOccurs, int32_t maxOccurs);

/// Writes `text` into a fixed field, cut to `size` - 1 bytes and NUL-padded.
void putText(unsigned char* record, int offset, int size, const char* text);
std::string getText(const unsigned char* record, int offset, int size);
void putInt32(unsigned char* record, int offset, int32_t value);
int32_t getInt32(const unsigned char* record, int offset);
/// An attribute reference {plug-in member handle, key}.
struct AttrRef {
  unsigned char bytes[QEL_ATTR_REF_SIZE] = {};
  AttrRef(uint32_t pluginHandle, int32_t key);
};
