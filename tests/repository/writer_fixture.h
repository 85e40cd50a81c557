// Fixture of the writer's unit tests: a fresh in-memory back end, connection
// state and model tables for every test, and small builders of model rows.
#pragma once

#include <cstring>
#include <string>

#include "fake_backend.h"
#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"
#include "test_support.h"
#include "xml_tags.h"

class WriterTest : public KovaTest {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    repo.reset();
    fake.reset();
    modelTables.allocate(16, 16, 16, 16);
    std::strcpy(parms.msgSetName, "MS");
  }
  void TearDown() override {
    repo.reset();
    KovaTest::TearDown();
  }

  /// Creates message set MS in the fake with C, COBOL, WebDav and one XML
  /// layer "XML1", and opens it through the writer.
  uint32_t openSet(bool withCustomLayer = false) {
    std::vector<std::pair<std::string, std::string>> layers = {{QEL_PLUGIN_C, "C"},
                                                               {QEL_PLUGIN_COBOL, "COBOL"},
                                                               {QEL_PLUGIN_WEBDAV, "WebDav"},
                                                               {QEL_PLUGIN_XML, "XML1"}};
    if (withCustomLayer) layers.push_back({QEL_PLUGIN_CWF, "CWF1"});
    uint32_t set = fake.addMessageSet("MS", layers);
    connectToQEL("db", "user", "pw");
    EXPECT_EQ(getQELInfo("MS", 0), 0);
    return set;
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

  static std::string attr(const FakeDefinition& d, uint32_t plugin, int32_t key) {
    auto a = d.attrs.find({plugin, key});
    return a == d.attrs.end() ? "<unset>" : a->second;
  }
  static std::string attr(const FakeMember& m, uint32_t plugin, int32_t key) {
    auto a = m.attrs.find({plugin, key});
    return a == m.attrs.end() ? "<unset>" : a->second;
  }
  static std::string memberText(const FakeMember& m, int offset) {
    return std::string(reinterpret_cast<const char*>(m.record.data() + offset));
  }

 public:
  // ---- model builders ----
  static int32_t addType(const char* name, uint8_t flag = 0, int32_t baseType = 0) {
    int32_t t = modelTables.types.add();
    TypeEntry& row = modelTables.types[t];
    row.name = insertName(name);
    row.flag = flag;
    row.baseType = baseType;
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
  static int32_t addAttribute(const char* name, const char* ident, int32_t typeId,
                              int8_t dataType) {
    int32_t a = modelTables.attributes.add();
    AttrEntry& row = modelTables.attributes[a];
    row.name = insertName(name);
    row.ident = insertName(ident);
    row.typeId = typeId;
    row.dataType = dataType;
    return a;
  }
  /// Appends a member entry to type t's element chain (kMemberElement or
  /// kMemberSubType) or attribute chain (kMemberAttribute).
  static int32_t addMember(int32_t t, uint8_t kind, int32_t id, int32_t minOcc = 1,
                           int32_t maxOcc = 1) {
    int32_t m = modelTables.typeEntries.add();
    TypeEntryEntry& entry = modelTables.typeEntries[m];
    entry.flag = kind;
    entry.mainTypeId = t;
    entry.minOccurs = minOcc;
    entry.maxOccurs = maxOcc;
    if (kind == kMemberElement) entry.elemId = id;
    if (kind == kMemberAttribute) entry.attrId = id;
    if (kind == kMemberSubType) entry.subTypeId = id;
    bool attribute = kind == kMemberAttribute;
    int32_t& first =
        attribute ? modelTables.types[t].firstAttribute : modelTables.types[t].firstElement;
    int32_t& last =
        attribute ? modelTables.types[t].lastAttribute : modelTables.types[t].lastElement;
    if (first == 0) {
      first = m;
    } else {
      modelTables.typeEntries[last].next = m;
      modelTables.typeEntries[m].prev = last;
    }
    last = m;
    return m;
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
