// The back-end library through its header, as the repository writer calls it.
#include <fstream>
#include <map>

#include "backend_test_support.h"

extern "C" int qelDefaultTypeKindFromC(void);

namespace {

TEST(BackendHeader, CallableFromC) { EXPECT_EQ(qelDefaultTypeKindFromC(), QEL_TYPE_KIND_COMPLEX); }

const std::vector<std::string> kPlugins = {QEL_PLUGIN_XML, QEL_PLUGIN_CWF,   QEL_PLUGIN_TDS,
                                           QEL_PLUGIN_C,   QEL_PLUGIN_COBOL, QEL_PLUGIN_WEBDAV};
const std::vector<std::string> kSimple = {"BOOLEAN", "STRING", "DECIMAL", "FLOAT",
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
  std::string dir = makeTempDir();
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
  EXPECT_EQ(walkNames(0, QEL_CLASS_PLUGIN), kPlugins);
  reconnect();  // reopening registers nothing twice
  EXPECT_EQ(walkNames(0, QEL_CLASS_PLUGIN), kPlugins);
}

TEST_P(BackendTest, NewMessageSetHoldsTheSimpleTypesAndAnIdentifierOfItsOwn) {
  uint32_t set = createSet("Orders");
  ASSERT_NE(set, 0u);
  Record d = details(set, QEL_PROJECT_DETAILS_SIZE);
  std::string ident = d.text(QEL_OFF_PROJECT_ID);
  EXPECT_LE(ident.size(), 15u);

  // Kinds, plug-in members, lock count and flags of a new set are read back
  // through the views (ViewsNameClassesCodesAndKeys) and by the writer's
  // plug-in walk (Connection.PluginWalkFillsSlotsAndLayerListsInOrder).
  EXPECT_EQ(walkNames(set, QEL_CLASS_TYPE), kSimple);

  // A second set gets another identifier; a taken name is refused.
  commit(set);
  uint32_t other = committedSet("Invoices");
  EXPECT_NE(details(other, QEL_PROJECT_DETAILS_SIZE).text(QEL_OFF_PROJECT_ID), ident);
  Record dup = setDetails("Orders");
  uint32_t h = 0;
  EXPECT_EQ(QELCreateProject(&h, dup.data()), -36);
}

TEST_P(BackendTest, CommittedDefinitionsReadBackAfterReconnecting) {
  uint32_t set = createSet("PO");
  uint32_t str = simpleType(set, "STRING");
  uint32_t type = newType(set, "ItemType");
  uint32_t item = newElement(set, "ItemType^item:x", str);
  // Texts with quotes, backslashes, braces, commas and UTF-8 come back as given.
  const std::string text = "5 \"a\\b\" {c,d} Gr\xc3\xb6\xc3\x9f\x65";
  uint32_t value = newValue(set, "MaxLen5I", text, str);
  uint32_t layer = newLayer(set, QEL_PLUGIN_XML, "XML1");
  Record xmlName = attrRef(layer, 30);
  ASSERT_EQ(QELSetAttrValue(item, xmlName.data(), "it\"em\\{x,y}\xc3\xa9"), 0);
  commit(set);
  reconnect();

  uint32_t again = 0;
  ASSERT_EQ(findSet("PO", &again), 0);
  EXPECT_EQ(again, set);
  ASSERT_EQ(QELOpenProject(again, 1), 0);
  EXPECT_EQ(found(set, QEL_CLASS_TYPE, "ItemType"), type);
  Record t(QEL_TYPE_DETAILS_SIZE);
  int32_t cls = QEL_CLASS_TYPE;
  ASSERT_EQ(QELGetDetails(type, &cls, t.data(), t.size()), 0);
  EXPECT_EQ(t.text(QEL_OFF_SECOND_NAME), "ItemType_second");
  int32_t id = 0;
  ASSERT_EQ(QELGetIDValue(type, &id), 0);
  EXPECT_EQ(t.get<int32_t>(QEL_OFF_IDENTIFIER), id);

  EXPECT_EQ(details(value, QEL_VALUE_DETAILS_SIZE).text(QEL_OFF_VALUE_TEXT), text);

  // Kinds, base types, compositions, the types of values and messages,
  // members in order with their occurrences and attributes, value members and
  // layers are read back by kova-repo's export, through the same calls.
  EXPECT_EQ(attrValue(item, xmlName), "it\"em\\{x,y}\xc3\xa9");
}

TEST_P(BackendTest, CloseWithoutCommitDropsEverythingSinceOpening) {
  uint32_t set = createSet("Kept");
  newType(set, "Committed");
  commit(set);
  ASSERT_EQ(QELOpenProject(set, 1), 0);
  newType(set, "Dropped");
  newLayer(set, QEL_PLUGIN_CWF, "CWF1");
  ASSERT_EQ(QELCloseProject(set, 0), 0);
  uint32_t h = 0;
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_TYPE, &h, "Dropped"), -4);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_TYPE, &h, "Committed"), 0);
  EXPECT_EQ(pluginMember(set, QEL_PLUGIN_CWF), 0u);

  // A set created and not committed is gone too when the process
  // disconnects without closing it (closed without a commit, by
  // Import.FailingRunsCommitNothing's report-only run into a new set).
  createSet("Abandoned");
  reconnect();
  EXPECT_EQ(findSet("Abandoned", &h), -4);
  EXPECT_EQ(findSet("Kept", &h), 0);
}

TEST_P(BackendTest, IdentifierRulesPerClass) {
  uint32_t set = createSet("Ids");
  uint32_t str = simpleType(set, "STRING"), h = 0;
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
    SCOPED_TRACE(c.name.substr(0, 20));
    // Every name differs, so an accepted one never meets itself (-33).
    EXPECT_EQ(createType(set, c.name, &h), c.type);
    EXPECT_EQ(createElement(set, c.name, str, &h), c.element);
  }
  EXPECT_EQ(createValue(set, "9lives", "9", str, &h), -32);
  EXPECT_EQ(createMessage(set, "Msg^x", 0, &h), -32);
}

TEST_P(BackendTest, DuplicateIdentifiersAreRefusedWithinOneClassOnly) {
  uint32_t set = createSet("Dups");
  uint32_t str = simpleType(set, "STRING"), h = 0;
  newElement(set, "Order", str);
  EXPECT_EQ(createElement(set, "Order", str, &h), -33);
  EXPECT_EQ(createType(set, "Order", &h), 0);
  EXPECT_EQ(createType(set, "STRING", &h), -33);
  newLayer(set, QEL_PLUGIN_XML, "XML1");
  // Layer names are unique across plug-ins and may hold blanks, not line ends.
  const std::pair<const char*, int32_t> layers[] = {
      {"XML1", -33}, {"Wire format 2", 0}, {"", -38}, {"bad\nname", -38}};
  for (const auto& [name, status] : layers)
    EXPECT_EQ(addLayer(set, QEL_PLUGIN_CWF, name, &h), status) << name;
  // The failed inserts left nothing behind.
  EXPECT_EQ(walkNames(set, QEL_CLASS_ELEMENT), std::vector<std::string>{"Order"});
}

TEST_P(BackendTest, RecordBuffersAndHandlesAreChecked) {
  uint32_t set = createSet("Buffers");
  uint32_t str = simpleType(set, "STRING");
  Record small(100), big(QEL_PLUGIN_DETAILS_SIZE);
  EXPECT_EQ(QELGetDefaultDetails(QEL_CLASS_ELEMENT, small.data(), small.size()), -10);
  EXPECT_EQ(QELGetDetails(str, nullptr, small.data(), small.size()), -10);
  EXPECT_EQ(QELGetDefaultDetails(99, small.data(), small.size()), -3);
  int32_t cls = QEL_CLASS_ELEMENT;
  EXPECT_EQ(QELGetDetails(str, &cls, big.data(), big.size()), -3);
  EXPECT_EQ(QELGetDetails(0x7ffff0, nullptr, big.data(), big.size()), -8);
  EXPECT_EQ(QELGetClass(0x7ffff0, &cls), -8);
  ASSERT_EQ(QELGetClass(str, &cls), 0);
  EXPECT_EQ(cls, QEL_CLASS_TYPE);

  uint32_t e = newElement(set, "e", str), h = 0;
  EXPECT_EQ(createElement(set, "f", e, &h), -14);        // an element is no type
  EXPECT_EQ(createElement(set, "g", 0x7ffff0, &h), -8);  // a handle naming nothing
  EXPECT_EQ(createValue(set, "v", "1", 0, &h), -14);     // a value needs a type
  EXPECT_EQ(createType(set, "T", &h, e), -93);           // base must be a type
  EXPECT_EQ(createType(set, "T", &h, 0, 2), -30);        // kind words are 1 and 3

  // An attribute value longer than the caller's buffer.
  Record ref = attrRef(newLayer(set, QEL_PLUGIN_XML, "XML1"), 30);
  ASSERT_EQ(QELSetAttrValue(e, ref.data(), "a-fairly-long-xml-name"), 0);
  char tiny[8];
  EXPECT_EQ(QELGetAttrValue(e, ref.data(), tiny, sizeof tiny), -10);
}

TEST_P(BackendTest, MemberRecordsAreChecked) {
  uint32_t set = createSet("Members");
  uint32_t integer = simpleType(set, "INTEGER"), t = newType(set, "T"), m = 0;
  uint32_t e = newElement(set, "amount", integer);
  uint32_t lo = newValue(set, "MinInclusive1", "1", integer);
  uint32_t lo2 = newValue(set, "MinInclusive2", "2", integer);
  uint32_t red = newValue(set, "red", "red", integer);
  uint32_t green = newValue(set, "green", "green", integer);
  // Value members: no repeats, one of each single value, enumerations many.
  EXPECT_EQ(insertValueMember(e, lo, 1, &m), 0);
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
  commit(set);
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
  uint32_t a = newType(set, "A"), b = newType(set, "B"), c = newType(set, "C");
  uint32_t ea = newElement(set, "ea", a), eb = newElement(set, "eb", b);
  uint32_t ec = newElement(set, "ec", c), m = 0;
  auto insert = [&](uint32_t parent, uint32_t child) {
    return insertTypeMember(parent, child, "1", "1", 0, &m);
  };
  EXPECT_EQ(insert(a, a), -27);   // directly
  ASSERT_EQ(insert(a, eb), 0);    // A ⊃ eb : B
  ASSERT_EQ(insert(b, c), 0);     // B ⊃ C
  EXPECT_EQ(insert(c, ea), -27);  // C ⊃ ea : A closes the loop
  EXPECT_EQ(insert(c, b), -27);
  EXPECT_EQ(insert(c, eb), -27);
  // Removing B's members breaks the path; the member is then accepted.
  ASSERT_EQ(QELRemoveAll(b), 0);
  EXPECT_EQ(insert(c, ea), 0);
  // The graph survives a commit and is rebuilt from the file when reopened.
  commit(set);
  reconnect();
  ASSERT_EQ(QELOpenProject(set, 1), 0);
  EXPECT_EQ(insert(a, ec), -27);  // A ⊃ ec : C ⊃ ea : A
  EXPECT_EQ(insert(b, ec), -27);  // B ⊃ ec : C ⊃ ea : A ⊃ eb : B
  EXPECT_EQ(insert(newType(set, "D"), ec), 0);
}

TEST_P(BackendTest, AttributeKeysAndValuesFollowEachPlugin) {
  uint32_t set = createSet("Attrs");
  uint32_t t = newType(set, "T"), e = newElement(set, "e", simpleType(set, "STRING"));
  uint32_t msg = newMessage(set, "M", t), tm = newMember(t, e);
  uint32_t xml = newLayer(set, QEL_PLUGIN_XML, "XML1");
  std::map<std::string, uint32_t> layers = {{"XML", xml},
                                            {"CWF", newLayer(set, QEL_PLUGIN_CWF, "CWF1")},
                                            {"TDS", newLayer(set, QEL_PLUGIN_TDS, "TDS1")},
                                            {"C", pluginMember(set, QEL_PLUGIN_C)},
                                            {"COBOL", pluginMember(set, QEL_PLUGIN_COBOL)},
                                            {"WEBDAV", pluginMember(set, QEL_PLUGIN_WEBDAV)}};
  const uint32_t components[] = {set, e, tm, msg};
  std::string longest(254, 'x'), tooLong(255, 'x');
  const struct {
    std::string plugin;  // the plug-in's short name
    int target;          // 0 message set, 1 element, 2 type member, 3 message
    int32_t key;
    std::string value;
    int32_t status;
  } cases[] = {
      // clang-format off
      {"XML", 0, 1, "XML1", 0},                  {"XML", 0, 17, "xsi:nil", 0},
      {"XML", 0, 2, "x", -78},                   {"XML", 0, 30, "x", -78},
      {"XML", 1, 30, "item", 0},                 {"XML", 1, 31, "yyyy-MM-dd", 0},
      {"XML", 1, 32, "2", 0},                    {"XML", 1, 30, longest, 0},
      {"XML", 1, 30, tooLong, -80},              {"XML", 1, 1, "x", -78},
      {"XML", 2, 100, "item", 0},                {"XML", 2, 101, "1", 0},
      {"CWF", 2, 1, "7", 0},                     {"CWF", 2, 2, "7", -78},
      {"TDS", 1, 1, "x", -78},
      {"C", 1, 8, "nsCa_bPc", 0},                {"C", 1, 8, "_private1", 0},
      {"C", 1, 8, "a-b", -80},                   {"C", 1, 8, "9lives", -80},
      {"C", 1, 8, "", -80},                      {"C", 1, 7, "x", -78},
      {"COBOL", 1, 7, "ORDER-LINEPITEMCX", 0},   {"COBOL", 1, 7, "ORDER_LINE", -80},
      {"COBOL", 1, 7, "ORDER-", -80},            {"COBOL", 1, 7, "9ORDER", -80},
      {"COBOL", 1, 7, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE", -80},
      {"COBOL", 3, 5, "PURCHASE.CPY", 0},        {"COBOL", 3, 5, "A1.CPY", 0},
      {"COBOL", 3, 5, "PURCHASES.CPY", -80},     {"COBOL", 3, 5, "PURCHASE", -80},
      {"COBOL", 3, 8, "x", -78},
      {"WEBDAV", 0, 1, "QEL", 0},                {"WEBDAV", 0, 2, "3", 0},
      {"WEBDAV", 0, 3, "x", -78},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plugin + " key " + std::to_string(c.key) + " value " + c.value);
    Record ref = attrRef(layers.at(c.plugin), c.key);
    int32_t st = c.target == 2 ? QELSetMemberAttrValue(t, tm, ref.data(), c.value.c_str())
                               : QELSetAttrValue(components[c.target], ref.data(), c.value.c_str());
    EXPECT_EQ(st, c.status);
    if (st == 0) {
      EXPECT_EQ(attrValue(components[c.target], ref), c.value);
    }
  }
  // A key never set is a miss; a member of the wrong parent is refused.
  Record unset = attrRef(xml, 31), memberRef = attrRef(xml, 100);
  EXPECT_EQ(attrValue(msg, unset), "status -4");
  EXPECT_EQ(QELSetMemberAttrValue(msg, tm, memberRef.data(), "x"), -6);
}

TEST_P(BackendTest, PluginMemberOfAnotherMessageSetIsRefused) {
  uint32_t first = createSet("First");
  uint32_t firstXml = newLayer(first, QEL_PLUGIN_XML, "XML1");
  commit(first);
  uint32_t second = createSet("Second");
  uint32_t e = newElement(second, "e", simpleType(second, "STRING"));
  Record ref = attrRef(firstXml, 30);
  EXPECT_EQ(QELSetAttrValue(e, ref.data(), "e"), -82);
  // A plug-in itself is not a plug-in member either.
  Record direct = attrRef(found(0, QEL_CLASS_PLUGIN, QEL_PLUGIN_XML), 30);
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
}

// Setting the lock count of a locked, finalised set, and both flags read back
// after the commit, are KovaRepoTool.FlagsLockCountLayersAndDeletionReachTheLibrary's.
TEST_P(BackendTest, FinalisedAndLockedSetsRefuseChanges) {
  uint32_t set = createSet("Flags"), t = 0;
  ASSERT_EQ(QELSetFinalised(set, 1), 0);
  EXPECT_EQ(createType(set, "T", &t), -55);
  ASSERT_EQ(QELSetFinalised(set, 0), 0);
  ASSERT_EQ(QELSetLocked(set, 1), 0);
  EXPECT_EQ(createType(set, "T", &t), -76);
  commit(set);
  EXPECT_EQ(QELIsFinalised(set), 0);
}

// The writer's reset itself, walking and deleting every class, is run
// against the library in the repository tests; here the refusals on the way.
TEST_P(BackendTest, DeleteRefusesWhatIsStillReferenced) {
  uint32_t set = createSet("Reset");
  uint32_t str = simpleType(set, "STRING"), t = newType(set, "T"), u = newType(set, "U");
  uint32_t e = newElement(set, "e", u), f = newElement(set, "f", str);
  uint32_t v = newValue(set, "v", "v", str);
  newMember(t, e);
  uint32_t m = newValueMember(f, v, 5);
  // Finds in a set made by the same write: by class and name.
  uint32_t h = 0;
  EXPECT_EQ(found(set, QEL_CLASS_TYPE, "T"), t);
  EXPECT_EQ(found(set, QEL_CLASS_ELEMENT, "e"), e);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_ELEMENT, &h, "T"), QEL_STATUS_NOT_FOUND);
  EXPECT_EQ(QELDelete(u), -63);
  EXPECT_EQ(QELDelete(v), -63);
  // Once the members are gone, so are the refusals, and the members with them.
  ASSERT_EQ(QELRemoveAll(f), 0);
  ASSERT_EQ(QELRemoveAll(t), 0);
  EXPECT_EQ(QELDelete(v), 0);
  ASSERT_EQ(QELDelete(e), 0);
  EXPECT_EQ(QELDelete(u), 0);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_ELEMENT, &h, "e"), QEL_STATUS_NOT_FOUND);
  EXPECT_EQ(found(set, QEL_CLASS_ELEMENT, "f"), f);
  int32_t cls = 0;
  EXPECT_EQ(QELGetClass(m, &cls), -8);
  commit(set);
  EXPECT_EQ(walkNames(set, QEL_CLASS_TYPE).size(), kSimple.size() + 1);
}

TEST_P(BackendTest, WritesNeedTheSetOpenForWriting) {
  uint32_t set = committedSet("Closed"), t = 0;
  EXPECT_EQ(createType(set, "T", &t), -43);
  ASSERT_EQ(QELOpenProject(set, 0), 0);  // read only
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
  EXPECT_EQ(QELIsLocked(str), -2);

  Record key(QEL_PROJECT_KEY_SIZE);
  key.setText(0, "Odd");  // the key word left 0
  EXPECT_EQ(QELFindProject(&h, key.data(), 1), -11);

  uint32_t plugin = found(0, QEL_CLASS_PLUGIN, QEL_PLUGIN_XML);
  Record m(QEL_PLUGIN_MEMBER_SIZE);
  ASSERT_EQ(QELGetDefaultMemberDetails2(set, plugin, -1, m.data(), m.size()), 0);
  std::memset(static_cast<char*>(m.data()) + QEL_OFF_MEMBER_NAME, 'x', QEL_NAME_SIZE);
  EXPECT_EQ(QELInsertMember2(set, plugin, -1, m.data(), &h), -12);  // name without its NUL

  // A deleted set takes nothing more before it is closed.
  ASSERT_EQ(QELDeleteProject(set), 0);
  EXPECT_EQ(createType(set, "Late", &h), -66);
  commit(set);
  EXPECT_EQ(QELOpenProject(set, 1), -8);
}

}  // namespace
