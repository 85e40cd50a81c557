// The connection: release check, message set found or created, refusals,
// reset, plug-in walk, duplicate message, commit or discard, message-set file.
#include <string>

#include "writer_fixture.h"

namespace {

using Connection = WriterTest;

TEST_F(Connection, StatusCheckNamesTheStatusAndRaisesItsCode) {
  const std::pair<int32_t, const char*> cases[] = {
      {QEL_STATUS_NOT_FOUND, "Requested Component does not exist"},
      {-15, "Internal Error"},
      {-102, "Plugin Registered Name already exists"},
      {-103, "Internal error"},
      {5, "Internal error"}};
  for (const auto& [status, text] : cases) {
    SCOPED_TRACE(status);
    run.errSw = 0;
    std::string out = captured([&, status = status] {
      EXPECT_EQ(raisedCode([&] { chkQELBeapiCode(status, "QELFoo", "callerBar"); }),
                messageStatus(9398));
    });
    EXPECT_EQ(run.errSw, 1);
    for (const std::string& part :
         {std::string("KOVA9398E"), std::string("callerBar"), std::string("QELFoo"),
          std::to_string(status), std::string(text)})
      EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
  }
  run.errSw = 0;
  chkQELBeapiCode(0, "QELFoo", "callerBar");  // returns quietly
  EXPECT_EQ(run.errSw, 0);
}

TEST_F(Connection, TraceShowsEntryAndNormalExitOnly) {
  traceOn();
  std::string out = captured([&] {
    chkQELBeapiCode(0, "QELFoo", "caller");
    raisedCode([] { chkQELBeapiCode(QEL_STATUS_BAD_HANDLE, "QELFoo", "caller"); });
  });
  traceOff();
  EXPECT_EQ(linesWith(out, "==> chkQELBeapiCode").size(), 2u);
  EXPECT_EQ(linesWith(out, "<== chkQELBeapiCode").size(), 1u);  // not after the raise
}

TEST_F(Connection, FailedConnectionRaisesThroughTheStatusCheck) {
  std::string missing = makeTempDir() + "/no/such/folder/repository.kovadb";
  std::string out = captured(
      [&] { EXPECT_EQ(raisedCode([&] { connectToQEL(missing.c_str(), "u", "p"); }), -48); });
  EXPECT_NE(out.find("Error connecting to Repository Database."), std::string::npos) << out;
  EXPECT_FALSE(repo.connected);
}

TEST_F(Connection, NewMessageSetIsCreatedMarkedAndIdentified) {
  connectToQEL(db_.c_str(), "u", "p");
  std::string out = captured([] { EXPECT_EQ(getQELInfo("Orders", 1), 0); });
  EXPECT_EQ(out.find("Message Set already exists"), std::string::npos);
  EXPECT_EQ(out.find("Reseting"), std::string::npos);  // nothing to reset in a new set
  ASSERT_NE(repo.msgSetHandle, 0u);
  std::vector<unsigned char> d = details(repo.msgSetHandle);
  EXPECT_EQ(getText(d.data(), QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE), "Orders");
  EXPECT_EQ(attr(repo.msgSetHandle, repo.webdavPlugin.handle, QEL_WEBDAV_KEY_MARKER), "QEL");
  std::string id = getText(d.data(), QEL_OFF_PROJECT_ID, QEL_PROJECT_ID_SIZE);
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(std::string(messageSetIdentifier()), id);
  EXPECT_NE(out.find("KOVA9404I"), std::string::npos) << out;
  EXPECT_NE(out.find(id), std::string::npos) << out;
}

TEST_F(Connection, ExistingMessageSetIsRefusedWhenFinalisedLockedOrInUse) {
  struct Case {
    const char* name;
    SetState state;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {"finalised", {true, true, "3"}, -53, "KOVA9403E"},  // finalised is checked first
      {"locked", {false, true, "3"}, -52, "KOVA9402E"},
      {"in use", {false, false, "3"}, -51, "KOVA9401E"},
      {"in use, hex count", {false, false, "0x10"}, -51, "KOVA9401E"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshRepository();
    seedSet(
        {}, [](uint32_t set) { define(set, QEL_CLASS_ELEMENT, "E1"); }, c.state);
    connectToQEL(db_.c_str(), "u", "p");
    std::string out = captured([&] { EXPECT_EQ(raisedCode([] { getQELInfo("MS", 1); }), c.code); });
    EXPECT_NE(out.find("Message Set already exists"), std::string::npos);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    // Refused before any reset: the content is still there in the open set.
    EXPECT_EQ(out.find("Reseting"), std::string::npos);
    EXPECT_NE(find(repo.msgSetHandle, QEL_CLASS_ELEMENT, "E1"), 0u);
  }
}

TEST_F(Connection, LockCountBaseComesFromTheText) {
  const std::pair<const char*, int32_t> cases[] = {{"0x10", 16}, {"010", 8}, {"12abc", 12},
                                                   {"0", 0},     {"", 0},    {"  7", 7}};
  for (const auto& [text, count] : cases) EXPECT_EQ(parseLockCount(text), count) << text;
}

TEST_F(Connection, ResetRemovesEverythingButTheSimpleTypesOnlyWhenAsked) {
  for (int32_t reset : {0, 1}) {
    SCOPED_TRACE(reset);
    freshRepository();
    // A previous import: a complex type holding an element with a value, a
    // message of that type.
    uint32_t set = seedSet({}, [](uint32_t set) {
      uint32_t type = define(set, QEL_CLASS_TYPE, "T1");
      uint32_t string = find(set, QEL_CLASS_TYPE, "STRING");
      uint32_t element = define(set, QEL_CLASS_ELEMENT, "E1", string);
      define(set, QEL_CLASS_MESSAGE, "M1", type);
      link(type, element);
      link(element, define(set, QEL_CLASS_VALUE, "V1", string, "x"), 5);
    });
    std::string out = captured([&] { connectWriter(reset); });
    size_t left = reset ? 0u : 1u;
    EXPECT_EQ(out.find("Reseting message set name MS") != std::string::npos, reset == 1);
    for (int32_t defClass : {QEL_CLASS_ELEMENT, QEL_CLASS_VALUE, QEL_CLASS_MESSAGE})
      EXPECT_EQ(ofClass(set, defClass).size(), left) << defClass;
    EXPECT_EQ(ofClass(set, QEL_CLASS_TYPE).size(), 7u + left);  // the simple types stay
    EXPECT_EQ(find(set, QEL_CLASS_TYPE, "T1") != 0, reset == 0);
    EXPECT_NE(find(set, QEL_CLASS_TYPE, "STRING"), 0u);
  }
}

TEST_F(Connection, PluginWalkFillsSlotsAndLayerListsInOrder) {
  // The library gives every new set C, COBOL and WebDav members first.
  seedSet({{QEL_PLUGIN_XML, "XML1"},
           {QEL_PLUGIN_C, "C-new"},
           {QEL_PLUGIN_CWF, "CWF1"},
           {QEL_PLUGIN_XML, "XML2"},
           {QEL_PLUGIN_TDS, "TDS1"}});
  captured([&] { connectWriter(); });
  ASSERT_EQ(repo.xmlLayers.size(), 2u);
  EXPECT_STREQ(nameAt(repo.xmlLayers[0].name), "XML1");
  EXPECT_STREQ(nameAt(repo.xmlLayers[1].name), "XML2");
  ASSERT_EQ(repo.cwfLayers.size(), 1u);
  EXPECT_STREQ(nameAt(repo.cwfLayers[0].name), "CWF1");
  ASSERT_EQ(repo.tdsLayers.size(), 1u);
  EXPECT_STREQ(nameAt(repo.cPlugin.name), "C-new");  // a later match overwrites
  EXPECT_STREQ(nameAt(repo.cobolPlugin.name), "COBOL");
  EXPECT_STREQ(nameAt(repo.webdavPlugin.name), "WebDav");
  EXPECT_EQ(repo.xmlLayers[1].handle, pluginMember(repo.msgSetHandle, "XML2"));
}

TEST_F(Connection, DuplicateMessageIsRefusedWithPrefixAndSuffix) {
  uint32_t set = openSet();
  std::strcpy(parms.msgPrefix, "p_");
  std::strcpy(parms.msgSuffix, "_s");
  std::string out = captured([&] {
    EXPECT_EQ(checkDupMessageName("Order", "MS"), 0);
    define(set, QEL_CLASS_MESSAGE, "p_Order_s");
    EXPECT_EQ(raisedCode([] { checkDupMessageName("Order", "MS"); }), -50);
  });
  EXPECT_EQ(linesWith(out, "Checking for duplicate message Order in MessageSet MS").size(), 2u);
  EXPECT_NE(out.find("KOVA9400E"), std::string::npos);
}

TEST_F(Connection, CommitOnlyWithoutErrorsAndNotReportOnlyAndNeverWhenAbandoned) {
  struct Case {
    int32_t errSw, reportOnly;
    bool abandoned, commit;
  };
  for (Case c : {Case{0, 0, false, true}, Case{1, 0, false, false}, Case{0, 1, false, false},
                 Case{1, 1, false, false}, Case{0, 0, true, false}}) {
    SCOPED_TRACE(testing::Message() << c.errSw << c.reportOnly << c.abandoned);
    freshRepository();
    openSet();
    complexType("T");
    run.errSw = c.errSw;
    if (c.abandoned)
      repo.reset();  // as after a QELDBException: nothing was closed
    else
      endTransaction(c.reportOnly);
    EXPECT_FALSE(repo.connected);
    EXPECT_EQ(QELCloseRepository(), QEL_STATUS_NOT_PERMITTED) << "still connected";
    EXPECT_EQ(committed(QEL_CLASS_TYPE, "T"), c.commit);
  }
  // Nothing left to close: a connection made since is not the writer's.
  ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
  repo.reset();
  EXPECT_EQ(QELCloseRepository(), 0);
}

}  // namespace
