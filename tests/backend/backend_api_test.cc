// The back-end library through its header, as the repository writer calls it.
#include <fstream>
#include <set>

#include "backend_test_support.h"

extern "C" int qelDefaultTypeKindFromC(void);
extern "C" int qelNamesFromC(void);

namespace {

TEST(BackendHeader, CallableFromC) {
  EXPECT_EQ(qelDefaultTypeKindFromC(), QEL_TYPE_KIND_COMPLEX);
  EXPECT_EQ(qelNamesFromC(), 1);
}

const char* const kPlugins[] = {QEL_PLUGIN_XML, QEL_PLUGIN_CWF,   QEL_PLUGIN_TDS,
                                QEL_PLUGIN_C,   QEL_PLUGIN_COBOL, QEL_PLUGIN_WEBDAV};
const char* const kSimple[] = {"BOOLEAN", "STRING", "DECIMAL", "FLOAT",
                               "INTEGER", "BINARY", "DATETIME"};

TEST(BackendRelease, AcceptsItsOwnReleaseAndRefusesLaterOnes) {
  uint32_t info[5] = {20, 0, 0, 0, 0};
  EXPECT_EQ(QELGetAPIReleaseInfo(info, QEL_API_RELEASE), 0);
  EXPECT_EQ(info[1], 2u);
  EXPECT_EQ(info[2], 60u);
  EXPECT_EQ(QELGetAPIReleaseInfo(info, "2.10"), 0);
  EXPECT_EQ(QELGetAPIReleaseInfo(info, "2.61"), -77);
  EXPECT_EQ(QELGetAPIReleaseInfo(info, "3.0"), -77);
  uint32_t tooSmall[5] = {8, 0, 0, 0, 0};
  EXPECT_EQ(QELGetAPIReleaseInfo(tooSmall, QEL_API_RELEASE), -10);
}

TEST(BackendConnection, RefusesWhatIsNotARepository) {
  std::string dir = backendTempDir();
  std::ofstream(dir + "/text.db") << "this is not a database at all, just some words\n";
  EXPECT_EQ(QELOpenRepository((dir + "/text.db").c_str(), "", ""), -64);
  EXPECT_EQ(QELOpenRepository((dir + "/no/such/folder/r.db").c_str(), "", ""), -73);
  EXPECT_EQ(QELOpenRepository("", "", ""), -74);
  // A second open while connected starts afresh, as a new process would: the
  // first connection's uncommitted set is discarded.
  std::string good = dir + "/good.db";
  ASSERT_EQ(QELOpenRepository(good.c_str(), "", ""), 0);
  Record d = setDetails("Uncommitted");
  uint32_t set = 0;
  ASSERT_EQ(QELCreateProject(&set, d.data()), 0);
  ASSERT_EQ(QELOpenRepository(good.c_str(), "", ""), 0);
  uint32_t h = 0;
  EXPECT_EQ(QELFindDefinition(0, QEL_CLASS_PROJECT, &h, "Uncommitted"), -4);
  EXPECT_EQ(QELCreateProject(&set, d.data()), 0);  // no transaction is left open
  EXPECT_EQ(QELCloseProject(set, 1), 0);
  EXPECT_EQ(QELCloseRepository(), 0);
  EXPECT_EQ(QELCloseRepository(), -41);
}

TEST_P(BackendTest, NewRepositoryRegistersTheSixPluginsInOrder) {
  std::vector<std::string> names = walkNames(0, QEL_CLASS_PLUGIN);
  ASSERT_EQ(names.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(names[i], kPlugins[i]);
    uint32_t h = 0;
    ASSERT_EQ(QELFindDefinition(0, QEL_CLASS_PLUGIN, &h, kPlugins[i]), 0);
    Record d(QEL_PLUGIN_DETAILS_SIZE);
    ASSERT_EQ(QELGetDetails(h, nullptr, d.data(), d.size()), 0);
    EXPECT_EQ(d.text(QEL_OFF_PLUGIN_NAME), kPlugins[i]);
  }
  reconnect();  // reopening registers nothing twice
  EXPECT_EQ(walkNames(0, QEL_CLASS_PLUGIN).size(), 6u);
}

TEST_P(BackendTest, NewMessageSetHoldsSimpleTypesPluginMembersAndLockCount) {
  uint32_t set = createSet("Orders");
  ASSERT_NE(set, 0u);
  Record d(QEL_PROJECT_DETAILS_SIZE);
  ASSERT_EQ(QELGetDetails(set, nullptr, d.data(), d.size()), 0);
  std::string ident = d.text(QEL_OFF_PROJECT_ID);
  EXPECT_FALSE(ident.empty());
  EXPECT_LE(ident.size(), 15u);
  EXPECT_EQ(d.text(QEL_OFF_PROJECT_NAME), "Orders");

  EXPECT_EQ(walkNames(set, QEL_CLASS_TYPE), std::vector<std::string>(kSimple, kSimple + 7));
  for (const char* name : kSimple) {
    Record t(QEL_TYPE_DETAILS_SIZE);
    ASSERT_EQ(QELGetDetails(simpleType(set, name), nullptr, t.data(), t.size()), 0);
    EXPECT_EQ(t.get<int32_t>(QEL_OFF_TYPE_KIND), QEL_TYPE_KIND_SIMPLE) << name;
  }

  // The plug-in walk: walk type 8 from the set, then 1 from each member.
  std::vector<std::string> plugins, members;
  uint32_t m = 0;
  for (int32_t st = QELGetNextDefinition(set, 0, &m, QEL_WALK_PLUGIN_MEMBER, 0); st == 0;
       st = QELGetNextDefinition(m, set, &m, QEL_WALK_NEXT, 0)) {
    Record p(QEL_PLUGIN_DETAILS_SIZE), md(QEL_PLUGIN_MEMBER_SIZE);
    ASSERT_EQ(QELGetDetails(m, nullptr, p.data(), p.size()), 0);
    ASSERT_EQ(QELGetMemberDetails(set, m, md.data(), md.size()), 0);
    plugins.push_back(p.text(QEL_OFF_PLUGIN_NAME));
    members.push_back(md.text(QEL_OFF_MEMBER_NAME));
  }
  EXPECT_EQ(plugins, (std::vector<std::string>{QEL_PLUGIN_C, QEL_PLUGIN_COBOL, QEL_PLUGIN_WEBDAV}));
  EXPECT_EQ(std::set<std::string>(members.begin(), members.end()).size(), 3u);

  Record ref = attrRef(pluginMember(set, QEL_PLUGIN_WEBDAV), 2);
  EXPECT_EQ(attrValue(set, ref), "0");
  EXPECT_EQ(QELIsFinalised(set), 0);
  EXPECT_EQ(QELIsLocked(set), 0);

  // A second set gets another identifier; a taken name is refused.
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  uint32_t other = createSet("Invoices");
  Record d2(QEL_PROJECT_DETAILS_SIZE);
  ASSERT_EQ(QELGetDetails(other, nullptr, d2.data(), d2.size()), 0);
  EXPECT_NE(d2.text(QEL_OFF_PROJECT_ID), ident);
  ASSERT_EQ(QELCloseProject(other, 1), 0);
  Record dup = setDetails("Orders");
  uint32_t h = 0;
  EXPECT_EQ(QELCreateProject(&h, dup.data()), -36);
}

TEST_P(BackendTest, CommittedDefinitionsReadBackAfterReconnecting) {
  uint32_t set = createSet("PO");
  uint32_t str = simpleType(set, "STRING"), dec = simpleType(set, "DECIMAL");
  uint32_t type = 0, item = 0, qty = 0, value = 0, msg = 0, tm = 0, vm = 0, layer = 0;
  ASSERT_EQ(createType(set, "ItemType", &type, dec), 0);
  ASSERT_EQ(createElement(set, "ItemType^item:x", str, &item), 0);
  ASSERT_EQ(createElement(set, "qty", dec, &qty), 0);
  // Texts with quotes, backslashes, braces, commas and UTF-8 come back as given.
  const std::string text = "5 \"a\\b\" {c,d} Gr\xc3\xb6\xc3\x9f" "e";
  ASSERT_EQ(createValue(set, "MaxLen5I", text, str, &value), 0);
  ASSERT_EQ(createMessage(set, "PurchaseOrder", type, &msg), 0);
  ASSERT_EQ(insertTypeMember(type, item, "0", "", 1, &tm), 0);
  ASSERT_EQ(insertTypeMember(type, qty, "1", "1", 0, &tm), 0);
  ASSERT_EQ(insertValueMember(item, value, 4, &vm), 0);
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_XML, "XML1", &layer), 0);
  Record xmlName = attrRef(layer, 30);
  ASSERT_EQ(QELSetAttrValue(item, xmlName.data(), "it\"em\\{x,y}\xc3\xa9"), 0);
  Record render = attrRef(layer, 101);
  ASSERT_EQ(QELSetMemberAttrValue(type, tm, render.data(), "1"), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  reconnect();

  uint32_t again = 0;
  ASSERT_EQ(findSet("PO", &again), 0);
  EXPECT_EQ(again, set);
  ASSERT_EQ(QELOpenProject(again, 1), 0);
  uint32_t found = 0;
  ASSERT_EQ(QELFindDefinition(set, QEL_CLASS_TYPE, &found, "ItemType"), 0);
  EXPECT_EQ(found, type);
  Record t(QEL_TYPE_DETAILS_SIZE);
  int32_t cls = QEL_CLASS_TYPE;
  ASSERT_EQ(QELGetDetails(type, &cls, t.data(), t.size()), 0);
  EXPECT_EQ(t.text(QEL_OFF_SECOND_NAME), "ItemType_second");
  EXPECT_EQ(t.get<int32_t>(QEL_OFF_TYPE_KIND), QEL_TYPE_KIND_COMPLEX);
  EXPECT_EQ(t.get<uint32_t>(QEL_OFF_BASE_TYPE), dec);
  EXPECT_EQ(t.get<int32_t>(QEL_OFF_COMPOSITION), 6);
  int32_t id = 0;
  ASSERT_EQ(QELGetIDValue(type, &id), 0);
  EXPECT_EQ(t.get<int32_t>(QEL_OFF_IDENTIFIER), id);

  Record v(QEL_VALUE_DETAILS_SIZE);
  ASSERT_EQ(QELGetDetails(value, nullptr, v.data(), v.size()), 0);
  EXPECT_EQ(v.text(QEL_OFF_VALUE_TEXT), text);
  EXPECT_EQ(v.get<uint32_t>(QEL_OFF_TYPE_HANDLE), str);
  Record m(QEL_MESSAGE_DETAILS_SIZE);
  ASSERT_EQ(QELGetDetails(msg, nullptr, m.data(), m.size()), 0);
  EXPECT_EQ(m.get<uint32_t>(QEL_OFF_TYPE_HANDLE), type);

  // Type members in insertion order with their occurrences.
  uint32_t mem = 0;
  ASSERT_EQ(QELGetNextDefinition(type, 0, &mem, QEL_WALK_FIRST_MEMBER, 0), 0);
  Record r1(QEL_TYPE_MEMBER_SIZE);
  ASSERT_EQ(QELGetMemberDetails(type, mem, r1.data(), r1.size()), 0);
  EXPECT_EQ(r1.get<uint32_t>(QEL_OFF_MEMBER_CHILD), item);
  EXPECT_EQ(r1.get<int16_t>(QEL_OFF_MEMBER_REPEAT), 1);
  EXPECT_EQ(r1.text(QEL_OFF_MEMBER_MIN), "0");
  EXPECT_EQ(r1.text(QEL_OFF_MEMBER_MAX), "");
  ASSERT_EQ(QELGetNextDefinition(mem, 0, &mem, QEL_WALK_NEXT, 0), 0);
  EXPECT_EQ(mem, tm);
  EXPECT_EQ(QELGetNextDefinition(mem, 0, &mem, QEL_WALK_NEXT, 0), -4);

  EXPECT_EQ(attrValue(item, xmlName), "it\"em\\{x,y}\xc3\xa9");
  EXPECT_EQ(attrValue(tm, render), "1");
  EXPECT_EQ(pluginMember(set, QEL_PLUGIN_XML), layer);
}

TEST_P(BackendTest, CloseWithoutCommitDropsEverythingSinceOpening) {
  uint32_t set = createSet("Kept");
  uint32_t t = 0;
  ASSERT_EQ(createType(set, "Committed", &t), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);

  ASSERT_EQ(QELOpenProject(set, 1), 0);
  ASSERT_EQ(createType(set, "Dropped", &t), 0);
  uint32_t layer = 0;
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_CWF, "CWF1", &layer), 0);
  ASSERT_EQ(QELCloseProject(set, 0), 0);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_TYPE, &t, "Dropped"), -4);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_TYPE, &t, "Committed"), 0);
  EXPECT_EQ(pluginMember(set, QEL_PLUGIN_CWF), 0u);

  // A set created and not committed is gone too, and so when the process
  // disconnects without closing it.
  uint32_t lost = createSet("NeverCommitted");
  ASSERT_EQ(QELCloseProject(lost, 0), 0);
  EXPECT_EQ(findSet("NeverCommitted", &lost), -4);
  createSet("Abandoned");
  reconnect();
  uint32_t h = 0;
  EXPECT_EQ(findSet("Abandoned", &h), -4);
  EXPECT_EQ(findSet("Kept", &h), 0);
}

TEST_P(BackendTest, IdentifierRulesPerClass) {
  uint32_t set = createSet("Ids");
  uint32_t str = simpleType(set, "STRING");
  struct Case {
    std::string name;
    int32_t type;     // status for a type
    int32_t element;  // status for an element
  } cases[] = {
      {"Good_Name-1.x", 0, 0},       {"", -32, -32},
      {std::string(255, 'a'), 0, 0}, {std::string(256, 'b'), -32, -32},
      {"1stName", -32, -32},         {"has blank", -32, -32},
      {"quote\"d", -32, -32},        {"apos'd", -32, -32},
      {"tab\there", -32, -32},       {"Outer^inner", -32, 0},
      {"ns:local", -32, 0},          {"caf\xc3\xa9", 0, 0},
  };
  for (const Case& c : cases) {
    uint32_t h = 0;
    // Every name differs, so an accepted one never meets itself (-33).
    EXPECT_EQ(createType(set, c.name, &h), c.type) << "type " << c.name.substr(0, 20);
    EXPECT_EQ(createElement(set, c.name, str, &h), c.element)
        << "element " << c.name.substr(0, 20);
  }
  uint32_t h = 0;
  EXPECT_EQ(createValue(set, "9lives", "9", str, &h), -32);
  EXPECT_EQ(createMessage(set, "Msg^x", 0, &h), -32);
}

TEST_P(BackendTest, DuplicateIdentifiersAreRefusedWithinOneClassOnly) {
  uint32_t set = createSet("Dups");
  uint32_t str = simpleType(set, "STRING");
  uint32_t a = 0, b = 0;
  ASSERT_EQ(createElement(set, "Order", str, &a), 0);
  EXPECT_EQ(createElement(set, "Order", str, &b), -33);
  EXPECT_EQ(createType(set, "Order", &b), 0);
  EXPECT_EQ(createType(set, "STRING", &b), -33);
  uint32_t l1 = 0, l2 = 0;
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_XML, "XML1", &l1), 0);
  EXPECT_EQ(addLayer(set, QEL_PLUGIN_CWF, "XML1", &l2), -33);
  EXPECT_EQ(addLayer(set, QEL_PLUGIN_CWF, "Wire format 2", &l2), 0);  // layer names may hold blanks
  EXPECT_EQ(addLayer(set, QEL_PLUGIN_CWF, "", &l2), -38);
  EXPECT_EQ(addLayer(set, QEL_PLUGIN_CWF, "bad\nname", &l2), -38);
  // The failed inserts left nothing behind.
  EXPECT_EQ(walkNames(set, QEL_CLASS_ELEMENT), std::vector<std::string>{"Order"});
}

TEST_P(BackendTest, RecordBuffersAndHandlesAreChecked) {
  uint32_t set = createSet("Buffers");
  uint32_t str = simpleType(set, "STRING");
  Record small(100);
  EXPECT_EQ(QELGetDefaultDetails(QEL_CLASS_ELEMENT, small.data(), small.size()), -10);
  EXPECT_EQ(QELGetDetails(str, nullptr, small.data(), small.size()), -10);
  EXPECT_EQ(QELGetDefaultDetails(99, small.data(), small.size()), -3);
  int32_t cls = QEL_CLASS_ELEMENT;
  Record big(QEL_PLUGIN_DETAILS_SIZE);
  EXPECT_EQ(QELGetDetails(str, &cls, big.data(), big.size()), -3);
  EXPECT_EQ(QELGetDetails(0x7ffff0, nullptr, big.data(), big.size()), -8);
  EXPECT_EQ(QELGetClass(0x7ffff0, &cls), -8);
  ASSERT_EQ(QELGetClass(str, &cls), 0);
  EXPECT_EQ(cls, QEL_CLASS_TYPE);

  uint32_t e = 0, e2 = 0;
  ASSERT_EQ(createElement(set, "e", str, &e), 0);
  EXPECT_EQ(createElement(set, "f", e, &e2), -14);        // an element is no type
  EXPECT_EQ(createElement(set, "g", 0x7ffff0, &e2), -8);  // a handle naming nothing
  EXPECT_EQ(createValue(set, "v", "1", 0, &e2), -14);     // a value needs a type
  EXPECT_EQ(createType(set, "T", &e2, e), -93);           // base must be a type
  EXPECT_EQ(createType(set, "T", &e2, 0, 2), -30);        // kind words are 1 and 3

  // An attribute value longer than the caller's buffer.
  uint32_t xml = 0;
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_XML, "XML1", &xml), 0);
  Record ref = attrRef(xml, 30);
  ASSERT_EQ(QELSetAttrValue(e, ref.data(), "a-fairly-long-xml-name"), 0);
  char tiny[8];
  EXPECT_EQ(QELGetAttrValue(e, ref.data(), tiny, sizeof tiny), -10);
}

TEST_P(BackendTest, MemberRecordsAreChecked) {
  uint32_t set = createSet("Members");
  uint32_t integer = simpleType(set, "INTEGER");
  uint32_t t = 0, e = 0, lo = 0, lo2 = 0, red = 0, green = 0, m = 0;
  ASSERT_EQ(createType(set, "T", &t), 0);
  ASSERT_EQ(createElement(set, "amount", integer, &e), 0);
  ASSERT_EQ(createValue(set, "MinInclusive1", "1", integer, &lo), 0);
  ASSERT_EQ(createValue(set, "MinInclusive2", "2", integer, &lo2), 0);
  ASSERT_EQ(createValue(set, "red", "red", integer, &red), 0);
  ASSERT_EQ(createValue(set, "green", "green", integer, &green), 0);
  // Value members: no repeats, one of each single value, enumerations many.
  ASSERT_EQ(insertValueMember(e, lo, 1, &m), 0);
  EXPECT_EQ(insertValueMember(e, lo, 1, &m), -22);    // the same value again
  EXPECT_EQ(insertValueMember(e, lo, 2, &m), 0);      // the same value, another role
  EXPECT_EQ(insertValueMember(e, lo2, 1, &m), -101);  // a second minimum
  EXPECT_EQ(insertValueMember(e, red, 5, &m), 0);
  EXPECT_EQ(insertValueMember(e, green, 5, &m), 0);
  EXPECT_EQ(insertValueMember(e, lo2, 42, &m), -96);
  // Type members: occurrences are numbers, min no more than max, repeat 0 or 1.
  EXPECT_EQ(insertTypeMember(t, e, "x", "", 0, &m), -97);
  EXPECT_EQ(insertTypeMember(t, e, "", "-2", 0, &m), -98);
  EXPECT_EQ(insertTypeMember(t, e, "3", "2", 1, &m), -98);
  EXPECT_EQ(insertTypeMember(t, e, "0", "", 2, &m), -100);
  EXPECT_EQ(insertTypeMember(t, e, "", "2147483648", 1, &m), -98);
  EXPECT_EQ(insertTypeMember(t, e, "0", "5", 1, &m), 0);
  EXPECT_EQ(insertTypeMember(t, e, "2147483647", "", 1, &m), 0);
  // Value members stored by an earlier write are checked alike, and removed
  // ones no longer count.
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  ASSERT_EQ(QELOpenProject(set, 1), 0);
  EXPECT_EQ(insertValueMember(e, lo, 1, &m), -22);
  EXPECT_EQ(insertValueMember(e, lo, 2, &m), -22);
  EXPECT_EQ(insertValueMember(e, lo2, 1, &m), -101);
  EXPECT_EQ(insertValueMember(e, lo2, 2, &m), -101);
  EXPECT_EQ(insertValueMember(e, green, 5, &m), -22);
  EXPECT_EQ(insertValueMember(e, lo2, 5, &m), 0);
  ASSERT_EQ(QELRemoveAll(e), 0);
  EXPECT_EQ(insertValueMember(e, lo2, 1, &m), 0);
  // A value cannot be a type member, nor an element a member of an element.
  Record rec(QEL_TYPE_MEMBER_SIZE);
  EXPECT_EQ(QELGetDefaultMemberDetails2(e, e, -1, rec.data(), rec.size()), -31);
}

TEST_P(BackendTest, MemberThatWouldMakeATypeContainItselfIsRefused) {
  uint32_t set = createSet("Cycles");
  uint32_t a = 0, b = 0, c = 0, ea = 0, eb = 0, ec = 0, m = 0;
  ASSERT_EQ(createType(set, "A", &a), 0);
  ASSERT_EQ(createType(set, "B", &b), 0);
  ASSERT_EQ(createType(set, "C", &c), 0);
  ASSERT_EQ(createElement(set, "ea", a, &ea), 0);
  ASSERT_EQ(createElement(set, "eb", b, &eb), 0);
  ASSERT_EQ(createElement(set, "ec", c, &ec), 0);
  EXPECT_EQ(insertTypeMember(a, a, "1", "1", 0, &m), -27);   // directly
  ASSERT_EQ(insertTypeMember(a, eb, "1", "1", 0, &m), 0);    // A ⊃ eb : B
  ASSERT_EQ(insertTypeMember(b, c, "1", "1", 0, &m), 0);     // B ⊃ C
  EXPECT_EQ(insertTypeMember(c, ea, "1", "1", 0, &m), -27);  // C ⊃ ea : A closes the loop
  EXPECT_EQ(insertTypeMember(c, b, "1", "1", 0, &m), -27);
  EXPECT_EQ(insertTypeMember(c, eb, "1", "1", 0, &m), -27);
  // Removing B's members breaks the path; the member is then accepted.
  ASSERT_EQ(QELRemoveAll(b), 0);
  EXPECT_EQ(insertTypeMember(c, ea, "1", "1", 0, &m), 0);
  // The graph survives a commit and is rebuilt from the file when reopened.
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  reconnect();
  ASSERT_EQ(QELOpenProject(set, 1), 0);
  EXPECT_EQ(insertTypeMember(a, ec, "1", "1", 0, &m), -27);  // A ⊃ ec : C ⊃ ea : A
  EXPECT_EQ(insertTypeMember(b, ec, "1", "1", 0, &m), -27);  // B ⊃ ec : C ⊃ ea : A ⊃ eb : B
  uint32_t d = 0;
  ASSERT_EQ(createType(set, "D", &d), 0);
  EXPECT_EQ(insertTypeMember(d, ec, "1", "1", 0, &m), 0);
}

struct KeyCase {
  const char* plugin;
  int target;  // 0 message set, 1 element, 2 type member, 3 message
  int32_t key;
  const char* value;
  int32_t status;
};

TEST_P(BackendTest, AttributeKeysAndValuesFollowEachPlugin) {
  uint32_t set = createSet("Attrs");
  uint32_t str = simpleType(set, "STRING");
  uint32_t t = 0, e = 0, msg = 0, tm = 0, xml = 0, cwf = 0, tds = 0;
  ASSERT_EQ(createType(set, "T", &t), 0);
  ASSERT_EQ(createElement(set, "e", str, &e), 0);
  ASSERT_EQ(createMessage(set, "M", t, &msg), 0);
  ASSERT_EQ(insertTypeMember(t, e, "1", "1", 0, &tm), 0);
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_XML, "XML1", &xml), 0);
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_CWF, "CWF1", &cwf), 0);
  ASSERT_EQ(addLayer(set, QEL_PLUGIN_TDS, "TDS1", &tds), 0);
  std::string longest(254, 'x'), tooLong(255, 'x');
  const KeyCase cases[] = {
      {QEL_PLUGIN_XML, 0, 1, "XML1", 0},
      {QEL_PLUGIN_XML, 0, 17, "xsi:nil", 0},
      {QEL_PLUGIN_XML, 0, 2, "x", -78},
      {QEL_PLUGIN_XML, 0, 30, "x", -78},
      {QEL_PLUGIN_XML, 1, 30, "item", 0},
      {QEL_PLUGIN_XML, 1, 31, "yyyy-MM-dd", 0},
      {QEL_PLUGIN_XML, 1, 32, "2", 0},
      {QEL_PLUGIN_XML, 1, 30, longest.c_str(), 0},
      {QEL_PLUGIN_XML, 1, 30, tooLong.c_str(), -80},
      {QEL_PLUGIN_XML, 1, 1, "x", -78},
      {QEL_PLUGIN_XML, 2, 100, "item", 0},
      {QEL_PLUGIN_XML, 2, 101, "1", 0},
      {QEL_PLUGIN_CWF, 2, 1, "7", 0},
      {QEL_PLUGIN_CWF, 2, 2, "7", -78},
      {QEL_PLUGIN_TDS, 1, 1, "x", -78},
      {QEL_PLUGIN_C, 1, 8, "nsCa_bPc", 0},
      {QEL_PLUGIN_C, 1, 8, "_private1", 0},
      {QEL_PLUGIN_C, 1, 8, "a-b", -80},
      {QEL_PLUGIN_C, 1, 8, "9lives", -80},
      {QEL_PLUGIN_C, 1, 8, "", -80},
      {QEL_PLUGIN_C, 1, 7, "x", -78},
      {QEL_PLUGIN_COBOL, 1, 7, "ORDER-LINEPITEMCX", 0},
      {QEL_PLUGIN_COBOL, 1, 7, "ORDER_LINE", -80},
      {QEL_PLUGIN_COBOL, 1, 7, "ORDER-", -80},
      {QEL_PLUGIN_COBOL, 1, 7, "9ORDER", -80},
      {QEL_PLUGIN_COBOL, 1, 7, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE", -80},
      {QEL_PLUGIN_COBOL, 3, 5, "PURCHASE.CPY", 0},
      {QEL_PLUGIN_COBOL, 3, 5, "A1.CPY", 0},
      {QEL_PLUGIN_COBOL, 3, 5, "PURCHASES.CPY", -80},
      {QEL_PLUGIN_COBOL, 3, 5, "PURCHASE", -80},
      {QEL_PLUGIN_COBOL, 3, 8, "x", -78},
      {QEL_PLUGIN_WEBDAV, 0, 1, "QEL", 0},
      {QEL_PLUGIN_WEBDAV, 0, 2, "3", 0},
      {QEL_PLUGIN_WEBDAV, 0, 3, "x", -78},
  };
  for (const KeyCase& c : cases) {
    uint32_t member = std::string(c.plugin) == QEL_PLUGIN_XML   ? xml
                      : std::string(c.plugin) == QEL_PLUGIN_CWF ? cwf
                      : std::string(c.plugin) == QEL_PLUGIN_TDS ? tds
                                                                : pluginMember(set, c.plugin);
    Record ref = attrRef(member, c.key);
    int32_t st = c.target == 0   ? QELSetAttrValue(set, ref.data(), c.value)
                 : c.target == 1 ? QELSetAttrValue(e, ref.data(), c.value)
                 : c.target == 2 ? QELSetMemberAttrValue(t, tm, ref.data(), c.value)
                                 : QELSetAttrValue(msg, ref.data(), c.value);
    EXPECT_EQ(st, c.status) << c.plugin << " key " << c.key << " value " << c.value;
    if (st == 0) {
      uint32_t component = c.target == 0 ? set : c.target == 1 ? e : c.target == 2 ? tm : msg;
      EXPECT_EQ(attrValue(component, ref), c.value);
    }
  }
  // Setting a key again replaces its value.
  Record lock = attrRef(pluginMember(set, QEL_PLUGIN_WEBDAV), 2);
  ASSERT_EQ(QELSetAttrValue(set, lock.data(), "0x10"), 0);
  EXPECT_EQ(attrValue(set, lock), "0x10");
  // A key never set is a miss; a member of the wrong parent is refused.
  Record unset = attrRef(xml, 31);
  EXPECT_EQ(attrValue(msg, unset), "status -4");
  Record memberRef = attrRef(xml, 100);
  EXPECT_EQ(QELSetMemberAttrValue(msg, tm, memberRef.data(), "x"), -6);
}

TEST_P(BackendTest, PluginMemberOfAnotherMessageSetIsRefused) {
  uint32_t first = createSet("First");
  uint32_t firstXml = 0;
  ASSERT_EQ(addLayer(first, QEL_PLUGIN_XML, "XML1", &firstXml), 0);
  ASSERT_EQ(QELCloseProject(first, 1), 0);
  uint32_t second = createSet("Second");
  uint32_t e = 0, plugin = 0;
  ASSERT_EQ(createElement(second, "e", simpleType(second, "STRING"), &e), 0);
  Record ref = attrRef(firstXml, 30);
  EXPECT_EQ(QELSetAttrValue(e, ref.data(), "e"), -82);
  // A plug-in itself is not a plug-in member either.
  ASSERT_EQ(QELFindDefinition(0, QEL_CLASS_PLUGIN, &plugin, QEL_PLUGIN_XML), 0);
  Record direct = attrRef(plugin, 30);
  EXPECT_EQ(QELSetAttrValue(e, direct.data(), "e"), -82);
  // And only the open set can be written.
  uint32_t t = 0;
  EXPECT_EQ(createType(first, "T", &t), -44);
}

TEST_P(BackendTest, FindsAndWalksMissWithMinusFour) {
  uint32_t set = createSet("Walks");
  uint32_t h = 99;
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_ELEMENT, &h, "missing"), -4);
  EXPECT_EQ(h, 0u);
  for (int32_t cls : {100, 101, 102, 103, 105, 106})
    EXPECT_EQ(QELGetFirstDefinition(set, cls, &h, 0), -4) << cls;
  EXPECT_EQ(QELGetFirstDefinition(set, 107, &h, 0), -3);
  EXPECT_EQ(QELGetNextDefinition(set, 0, &h, 5, 0), -5);
  uint32_t str = simpleType(set, "STRING");
  // Creation order, not name order, whatever is in between.
  std::vector<std::string> names = {"zeta", "alpha", "Mid", "beta"};
  for (const std::string& n : names) {
    uint32_t e = 0, t = 0;
    ASSERT_EQ(createElement(set, n, str, &e), 0);
    ASSERT_EQ(createType(set, n + "_T", &t), 0);
  }
  EXPECT_EQ(walkNames(set, QEL_CLASS_ELEMENT), names);
  // Walks read the open transaction and then the committed file alike.
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  EXPECT_EQ(walkNames(set, QEL_CLASS_ELEMENT), names);
}

TEST_P(BackendTest, FinalisedAndLockedSetsRefuseChangesButKeepTheirLockCount) {
  uint32_t set = createSet("Flags");
  ASSERT_EQ(QELSetFinalised(set, 1), 0);
  uint32_t t = 0;
  EXPECT_EQ(createType(set, "T", &t), -55);
  ASSERT_EQ(QELSetFinalised(set, 0), 0);
  ASSERT_EQ(QELSetLocked(set, 1), 0);
  EXPECT_EQ(createType(set, "T", &t), -76);
  Record lock = attrRef(pluginMember(set, QEL_PLUGIN_WEBDAV), 2);
  EXPECT_EQ(QELSetAttrValue(set, lock.data(), "2"), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  EXPECT_NE(QELIsLocked(set), 0);
  EXPECT_EQ(QELIsFinalised(set), 0);
  // A writer opens the set, then asks: the flags persist.
  reconnect();
  ASSERT_EQ(QELOpenProject(set, 1), 0);
  EXPECT_NE(QELIsLocked(set), 0);
  EXPECT_EQ(attrValue(set, lock), "2");
}

TEST_P(BackendTest, ResetLikeTheWriterEmptiesTheSetButKeepsSimpleTypes) {
  uint32_t set = createSet("Reset");
  uint32_t str = simpleType(set, "STRING");
  uint32_t t = 0, u = 0, e = 0, f = 0, v = 0, msg = 0, m = 0;
  ASSERT_EQ(createType(set, "T", &t), 0);
  ASSERT_EQ(createType(set, "U", &u), 0);
  ASSERT_EQ(createElement(set, "e", u, &e), 0);
  ASSERT_EQ(createElement(set, "f", str, &f), 0);
  ASSERT_EQ(createValue(set, "v", "v", str, &v), 0);
  ASSERT_EQ(createMessage(set, "M", t, &msg), 0);
  ASSERT_EQ(insertTypeMember(t, e, "1", "1", 0, &m), 0);
  ASSERT_EQ(insertTypeMember(u, f, "1", "1", 0, &m), 0);
  ASSERT_EQ(insertValueMember(f, v, 5, &m), 0);
  // Still referenced: refused.
  EXPECT_EQ(QELDelete(u), -63);
  EXPECT_EQ(QELDelete(v), -63);
  // The writer's order: members of every class, then definitions per class
  // (next fetched before the current one is deleted), then non-simple types.
  for (int32_t cls : {100, 101, 105, 102, 103, 106, 104}) {
    uint32_t h = 0;
    for (int32_t st = QELGetFirstDefinition(set, cls, &h, 0); st == 0;
         st = QELGetNextDefinition(h, 0, &h, QEL_WALK_NEXT, 0))
      ASSERT_EQ(QELRemoveAll(h), 0);
  }
  for (int32_t cls : {100, 101, 105, 102, 103, 106, 104}) {
    uint32_t h = 0, next = 0;
    int32_t st = QELGetFirstDefinition(set, cls, &h, 0);
    while (st == 0) {
      st = QELGetNextDefinition(h, 0, &next, QEL_WALK_NEXT, 0);
      Record d(QEL_TYPE_DETAILS_SIZE);
      if (cls != 104 || (QELGetDetails(h, nullptr, d.data(), d.size()) == 0 &&
                         d.get<int32_t>(QEL_OFF_TYPE_KIND) != QEL_TYPE_KIND_SIMPLE)) {
        ASSERT_EQ(QELDelete(h), 0) << cls;
      }
      h = next;
    }
    EXPECT_EQ(st, -4);
  }
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  EXPECT_EQ(walkNames(set, QEL_CLASS_TYPE), std::vector<std::string>(kSimple, kSimple + 7));
  EXPECT_TRUE(walkNames(set, QEL_CLASS_ELEMENT).empty());
  EXPECT_TRUE(walkNames(set, QEL_CLASS_VALUE).empty());
  EXPECT_TRUE(walkNames(set, QEL_CLASS_MESSAGE).empty());
  int32_t cls = 0;
  EXPECT_EQ(QELGetClass(m, &cls), -8);  // the members went with them
}

TEST_P(BackendTest, WritesNeedTheSetOpenForWriting) {
  uint32_t set = createSet("Closed");
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  uint32_t t = 0;
  EXPECT_EQ(createType(set, "T", &t), -43);
  ASSERT_EQ(QELOpenProject(set, 0), 0);  // read only
  EXPECT_EQ(createType(set, "T", &t), -44);
  EXPECT_EQ(QELOpenProject(set, 1), -42);
  ASSERT_EQ(QELCloseProject(set, 0), 0);
  EXPECT_EQ(QELCloseProject(set, 0), -43);
}

TEST_P(BackendTest, MalformedRecordsAndWrongKindsOfHandle) {
  uint32_t set = createSet("Odd");
  uint32_t str = simpleType(set, "STRING"), h = 0;
  Record t(QEL_TYPE_DETAILS_SIZE);
  QELGetDefaultDetails(QEL_CLASS_TYPE, t.data(), t.size());
  t.setText(QEL_OFF_NAME, "T");
  t.set<int32_t>(QEL_OFF_COMPOSITION, 7);
  EXPECT_EQ(QELCreateType(set, &h, t.data()), -94);
  t.set<int32_t>(QEL_OFF_COMPOSITION, 6);
  t.set<int32_t>(QEL_OFF_CONTENT, 4);
  EXPECT_EQ(QELCreateType(set, &h, t.data()), -95);

  EXPECT_EQ(QELFindDefinition(str, QEL_CLASS_ELEMENT, &h, "x"), -37);  // a type is no set
  int32_t id = 0;
  ASSERT_EQ(QELGetIDValue(str, &id), 0);
  EXPECT_EQ(QELIsLocked(str), -2);

  Record key(QEL_PROJECT_KEY_SIZE);
  key.setText(0, "Odd");  // the key word left 0
  EXPECT_EQ(QELFindProject(&h, key.data(), 1), -11);

  uint32_t plugin = 0;
  ASSERT_EQ(QELFindDefinition(0, QEL_CLASS_PLUGIN, &plugin, QEL_PLUGIN_XML), 0);
  Record m(QEL_PLUGIN_MEMBER_SIZE);
  ASSERT_EQ(QELGetDefaultMemberDetails2(set, plugin, -1, m.data(), m.size()), 0);
  std::memset(static_cast<char*>(m.data()) + QEL_OFF_MEMBER_NAME, 'x', QEL_NAME_SIZE);
  EXPECT_EQ(QELInsertMember2(set, plugin, -1, m.data(), &h), -12);  // name without its NUL

  // A deleted set takes nothing more before it is closed.
  ASSERT_EQ(QELDeleteProject(set), 0);
  EXPECT_EQ(createType(set, "Late", &h), -66);
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  EXPECT_EQ(findSet("Odd", &h), -4);
  EXPECT_EQ(QELOpenProject(set, 1), -8);
}

TEST(BackendStatusTexts, EveryStatusTheLibraryAnswersHasItsOwnText) {
  // The statuses this library returns, each with a text of its own.
  for (int32_t st : {-2,  -3,  -4,  -5,  -6,  -8,  -10, -11, -12, -14, -22, -27, -30,  -31, -32,
                     -33, -36, -37, -38, -41, -42, -43, -44, -55, -63, -64, -66, -69,  -73, -74,
                     -76, -77, -78, -80, -82, -92, -93, -94, -95, -96, -97, -98, -100, -101})
    EXPECT_STRNE(QELStatusText(st), "Internal error") << st;
}

}  // namespace
