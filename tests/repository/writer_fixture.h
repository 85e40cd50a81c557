// Fixture of the writer's unit tests: the real back end over a fresh
// repository file for every test, connection state and model tables, readers
// of what the writer left in the repository, and small builders of model rows.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"
#include "test_support.h"
#include "xml_tags.h"

/// Flags and lock count a test gives a message set it creates.
struct SetState {
  bool finalised = false, locked = false;
  const char* lockCount = nullptr;  ///< null: as the library made it
};

class WriterTest : public KovaTest {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    freshRepository();
    modelTables.allocate(16, 16, 16, 16);
    std::strcpy(parms.msgSetName, "MS");
  }
  void TearDown() override {
    repo.reset();
    QELCloseRepository();  // whatever a test left open itself
    KovaTest::TearDown();
  }

  /// Disconnects the writer and names a new repository file.
  void freshRepository() {
    repo.reset();
    db_ = makeTempDir() + "/repository.kovadb";
  }

  /// Creates message set MS in the repository file, with its plug-in members
  /// (the library adds C, COBOL and WebDav) and one more per (registered
  /// plug-in name, member name) in `layers`; `fill` writes further content
  /// into the set while it is open.  Everything is committed.
  uint32_t seedSet(const std::vector<std::pair<const char*, const char*>>& layers,
                   const std::function<void(uint32_t)>& fill = {}, SetState state = {}) {
    EXPECT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
    unsigned char details[QEL_PROJECT_DETAILS_SIZE] = {};
    EXPECT_EQ(QELGetDefaultDetails(QEL_CLASS_PROJECT, details, sizeof details), 0);
    putText(details, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE, "MS");
    uint32_t set = 0;
    EXPECT_EQ(QELCreateProject(&set, details), 0);
    for (const auto& [plugin, name] : layers) {
      uint32_t p = 0, member = 0;
      EXPECT_EQ(QELFindDefinition(0, QEL_CLASS_PLUGIN, &p, plugin), 0) << plugin;
      unsigned char record[QEL_PLUGIN_MEMBER_SIZE] = {};
      EXPECT_EQ(QELGetDefaultMemberDetails2(set, p, QEL_POSITION_APPEND, record, sizeof record), 0);
      putText(record, QEL_OFF_MEMBER_NAME, QEL_NAME_SIZE, name);
      EXPECT_EQ(QELInsertMember2(set, p, QEL_POSITION_APPEND, record, &member), 0) << name;
    }
    if (fill) fill(set);
    if (state.lockCount != nullptr) {
      AttrRef ref(pluginMember(set, "WebDav"), QEL_WEBDAV_KEY_LOCK_COUNT);
      EXPECT_EQ(QELSetAttrValue(set, ref.bytes, state.lockCount), 0);
    }
    EXPECT_EQ(QELSetFinalised(set, state.finalised), 0);
    EXPECT_EQ(QELSetLocked(set, state.locked), 0);
    EXPECT_EQ(QELCloseProject(set, 1), 0);
    EXPECT_EQ(QELCloseRepository(), 0);
    return set;
  }

  /// Connects the writer and opens MS for it.
  void connectWriter(int32_t reset = 0) {
    connectToQEL(db_.c_str(), "user", "pw");
    EXPECT_EQ(getQELInfo("MS", reset), 0);
  }

  /// Message set MS with one XML layer "XML1" (and a custom wire format
  /// layer "CWF1"), opened through the writer.
  uint32_t openSet(bool withCustomLayer = false) {
    std::vector<std::pair<const char*, const char*>> layers = {{QEL_PLUGIN_XML, "XML1"}};
    if (withCustomLayer) layers.push_back({QEL_PLUGIN_CWF, "CWF1"});
    uint32_t set = seedSet(layers);
    connectWriter();
    return set;
  }

  /// Whether the repository file holds a committed definition: looked up
  /// over a connection of its own, so only for use while the writer is not
  /// connected.
  bool committed(int32_t defClass, const char* name) {
    EXPECT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
    unsigned char key[QEL_PROJECT_KEY_SIZE] = {};
    putText(key, 0, QEL_NAME_SIZE, "MS");
    int16_t one = 1;
    std::memcpy(key + QEL_NAME_SIZE, &one, sizeof one);
    uint32_t set = 0;
    EXPECT_EQ(QELFindProject(&set, key, 0), 0);
    bool found = find(set, defClass, name) != 0;
    EXPECT_EQ(QELCloseRepository(), 0);
    return found;
  }

  /// Runs `body`, expecting it to raise QELDBException; returns its code.
  template <typename Body>
  int32_t raisedCode(Body body) {
    try {
      body();
    } catch (const QELDBException& e) {
      return e.code();
    }
    ADD_FAILURE() << "no QELDBException was raised";
    return 0;
  }

  /// What `body` prints.
  template <typename Body>
  std::string captured(Body body) {
    startCapture();
    body();
    return stopCapture();
  }

  // ---- writes through the writer, with identifiers into id ----
  uint32_t stringType() { return getSimpleTypeHandle("STRING"); }
  /// A sequence of ordinary content without a base.
  uint32_t complexType(const char* name) {
    return createType(name, 0, kCompSequence, kContentOrdinary, &id);
  }
  /// An element of `type` (STRING when 0) whose identifier is its name.
  uint32_t element(const char* name, uint32_t type = 0) {
    return createElement(name, name, type ? type : stringType(), &id);
  }

  std::string db_;
  int32_t id = 0;

 public:
  // ---- readers of the repository ----
  /// Details of a definition (or of a plug-in member's plug-in).
  static std::vector<unsigned char> details(uint32_t handle) {
    std::vector<unsigned char> d(QEL_PLUGIN_DETAILS_SIZE);
    EXPECT_EQ(QELGetDetails(handle, nullptr, d.data(), static_cast<int32_t>(d.size())), 0);
    return d;
  }
  static int32_t detail(uint32_t h, int32_t offset) { return getInt32(details(h).data(), offset); }
  static std::string nameOf(uint32_t h) {
    return getText(details(h).data(), QEL_OFF_NAME, QEL_NAME_SIZE);
  }
  static std::string secondNameOf(uint32_t h) {
    return getText(details(h).data(), QEL_OFF_SECOND_NAME, QEL_NAME_SIZE);
  }
  static uint32_t typeOf(uint32_t h) {
    return static_cast<uint32_t>(detail(h, QEL_OFF_TYPE_HANDLE));
  }
  static std::string valueTextOf(uint32_t h) {
    return getText(details(h).data(), QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE);
  }
  /// The definition of `defClass` named `name` in `set`, 0 when none.
  static uint32_t find(uint32_t set, int32_t defClass, const char* name) {
    uint32_t h = 0;
    return QELFindDefinition(set, defClass, &h, name) == 0 ? h : 0;
  }
  /// Every definition of `defClass` in `set`, in the library's order.
  static std::vector<uint32_t> ofClass(uint32_t set, int32_t defClass) {
    std::vector<uint32_t> out;
    uint32_t h = 0;
    for (int32_t s = QELGetFirstDefinition(set, defClass, &h, 0); s == 0;
         s = QELGetNextDefinition(out.back(), 0, &h, QEL_WALK_NEXT, 0))
      out.push_back(h);
    return out;
  }
  /// The members of a definition (plug-in members of a message set) in order.
  static std::vector<uint32_t> members(uint32_t parent) {
    std::vector<uint32_t> out;
    uint32_t h = 0;
    for (int32_t s = QELGetNextDefinition(parent, 0, &h, QEL_WALK_FIRST_MEMBER, 0); s == 0;
         s = QELGetNextDefinition(out.back(), 0, &h, QEL_WALK_NEXT, 0))
      out.push_back(h);
    return out;
  }
  static std::vector<unsigned char> memberRecord(uint32_t parent, uint32_t member) {
    std::vector<unsigned char> r(QEL_TYPE_MEMBER_SIZE);
    EXPECT_EQ(QELGetMemberDetails(parent, member, r.data(), static_cast<int32_t>(r.size())), 0);
    return r;
  }
  static uint32_t childOf(uint32_t parent, uint32_t member) {
    return static_cast<uint32_t>(
        getInt32(memberRecord(parent, member).data(), QEL_OFF_MEMBER_CHILD));
  }
  /// The role of the first member of `parent` holding `child`.
  static int32_t roleOf(uint32_t parent, uint32_t child) {
    return getInt32(memberRecord(parent, memberFor(parent, child)).data(), QEL_OFF_MEMBER_ROLE);
  }
  /// The first member of `parent` holding `child`, 0 when none.
  static uint32_t memberFor(uint32_t parent, uint32_t child) {
    for (uint32_t m : members(parent))
      if (childOf(parent, m) == child) return m;
    return 0;
  }
  /// The plug-in member of `set` named `name`, 0 when none.
  static uint32_t pluginMember(uint32_t set, const char* name) {
    for (uint32_t m : members(set))
      if (getText(memberRecord(set, m).data(), QEL_OFF_MEMBER_NAME, QEL_NAME_SIZE) == name)
        return m;
    return 0;
  }
  /// An attribute of a definition, message set or type member; "<unset>".
  static std::string attr(uint32_t component, uint32_t plugin, int32_t key) {
    AttrRef ref(plugin, key);
    char value[QEL_ATTR_VALUE_SIZE + 1] = {};
    int32_t s = QELGetAttrValue(component, ref.bytes, value, sizeof value);
    EXPECT_TRUE(s == QEL_STATUS_OK || s == QEL_STATUS_NOT_FOUND) << s;
    return s == 0 ? value : "<unset>";
  }
  /// Creates a definition directly, as an earlier run would have.
  static uint32_t define(uint32_t set, int32_t defClass, const char* name, uint32_t type = 0,
                         const char* value = "") {
    unsigned char d[QEL_ELEMENT_DETAILS_SIZE] = {};
    EXPECT_EQ(QELGetDefaultDetails(defClass, d, sizeof d), 0);
    putText(d, QEL_OFF_NAME, QEL_NAME_SIZE, name);
    uint32_t h = 0;
    if (defClass == QEL_CLASS_TYPE) {
      EXPECT_EQ(QELCreateType(set, &h, d), 0) << name;
      return h;
    }
    putInt32(d, QEL_OFF_TYPE_HANDLE, static_cast<int32_t>(type));
    if (defClass == QEL_CLASS_VALUE) putText(d, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE, value);
    auto create = defClass == QEL_CLASS_ELEMENT ? QELCreateElement
                  : defClass == QEL_CLASS_VALUE ? QELCreateValue
                                                : QELCreateMessage;
    EXPECT_EQ(create(set, &h, d), 0) << name;
    return h;
  }
  /// Appends `child` to `parent` directly, with `role` when it is not 0.
  static void link(uint32_t parent, uint32_t child, int32_t role = 0) {
    unsigned char record[QEL_TYPE_MEMBER_SIZE] = {};
    uint32_t member = 0;
    EXPECT_EQ(
        QELGetDefaultMemberDetails2(parent, child, QEL_POSITION_APPEND, record, sizeof record), 0);
    if (role != 0) putInt32(record, QEL_OFF_MEMBER_ROLE, role);
    EXPECT_EQ(QELInsertMember2(parent, child, QEL_POSITION_APPEND, record, &member), 0);
  }

  // ---- model builders ----
  static int32_t addType(const char* name, uint8_t flag = 0) {
    int32_t t = modelTables.types.add();
    TypeEntry& row = modelTables.types[t];
    row.name = insertName(name);
    row.flag = flag;
    row.composition = kCompSequence;
    row.typeContent = kContentOrdinary;
    return t;
  }
  static int32_t addElement(const char* name, const char* ident, int32_t typeId, int8_t dataType,
                            const char* xmlName = nullptr) {
    int32_t e = modelTables.elements.add();
    ElementEntry& row = modelTables.elements[e];
    row.name = insertName(name);
    row.ident = insertName(ident);
    row.typeId = typeId;
    row.dataType = dataType;
    row.xmlName = xmlName ? insertName(xmlName) : 0;
    return e;
  }
  static int32_t addAttribute(const char* name, int32_t typeId, int8_t dataType) {
    int32_t a = modelTables.attributes.add();
    AttrEntry& row = modelTables.attributes[a];
    row.name = row.ident = insertName(name);
    row.typeId = typeId;
    row.dataType = dataType;
    return a;
  }
  /// Appends a member entry to type t's element chain (kMemberElement or
  /// kMemberSubType) or attribute chain (kMemberAttribute).
  static void addMember(int32_t t, uint8_t kind, int32_t id, int32_t minOcc = 1,
                        int32_t maxOcc = 1) {
    int32_t m = modelTables.typeEntries.add();
    TypeEntryEntry& entry = modelTables.typeEntries[m];
    entry.flag = kind;
    entry.mainTypeId = t;
    entry.minOccurs = minOcc;
    entry.maxOccurs = maxOcc;
    (kind == kMemberElement     ? entry.elemId
     : kind == kMemberAttribute ? entry.attrId
                                : entry.subTypeId) = id;
    bool attribute = kind == kMemberAttribute;
    TypeEntry& type = modelTables.types[t];
    int32_t& first = attribute ? type.firstAttribute : type.firstElement;
    int32_t& last = attribute ? type.lastAttribute : type.lastElement;
    if (first == 0) {
      first = m;
    } else {
      modelTables.typeEntries[last].next = m;
      modelTables.typeEntries[m].prev = last;
    }
    last = m;
  }
  static int32_t addValue(const char* name, const char* value, int16_t role, int32_t elemId,
                          int32_t attrId = 0) {
    int32_t v = modelTables.values.add();
    ValueEntry& row = modelTables.values[v];
    row.name = insertName(name);
    row.value = insertName(value);
    row.role = role;
    row.elemId = elemId;
    row.attrId = attrId;
    return v;
  }
};
