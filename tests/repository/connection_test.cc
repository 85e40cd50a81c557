// The connection: release check, message set found or created, refusals,
// reset, plug-in walk, duplicate message, commit or discard, message-set file.
#include <string>

#include "status_text.h"
#include "writer_fixture.h"

namespace {

using Connection = WriterTest;

TEST_F(Connection, StatusCheckNamesTheStatusAndRaisesItsCode) {
  struct Case {
    int32_t status;
    const char* text;
  };
  const Case cases[] = {{-4, "Requested Component does not exist"},
                        {-15, "Internal Error"},
                        {-102, "Plugin Registered Name already exists"},
                        {-103, "Internal error"},
                        {5, "Internal error"}};
  for (const Case& c : cases) {
    run.errSw = 0;
    startCapture();
    int32_t code = raisedCode([&] { chkQELBeapiCode(c.status, "QELFoo", "callerBar"); });
    std::string out = stopCapture();
    EXPECT_EQ(code, -48) << c.status;
    EXPECT_EQ(run.errSw, 1);
    EXPECT_NE(out.find("KOVA9398E"), std::string::npos) << out;
    EXPECT_NE(out.find("callerBar"), std::string::npos) << out;
    EXPECT_NE(out.find("QELFoo"), std::string::npos) << out;
    EXPECT_NE(out.find(std::to_string(c.status)), std::string::npos) << out;
    EXPECT_NE(out.find(c.text), std::string::npos) << out;
  }
  run.errSw = 0;
  chkQELBeapiCode(0, "QELFoo", "callerBar");  // returns quietly
  EXPECT_EQ(run.errSw, 0);
}

TEST_F(Connection, TraceShowsEntryAndNormalExitOnly) {
  traceOn();
  startCapture();
  chkQELBeapiCode(0, "QELFoo", "caller");
  raisedCode([] { chkQELBeapiCode(-8, "QELFoo", "caller"); });
  std::string out = stopCapture();
  traceOff();
  EXPECT_EQ(linesWith(out, "==> chkQELBeapiCode").size(), 2u);
  EXPECT_EQ(linesWith(out, "<== chkQELBeapiCode").size(), 1u);  // not after the raise
}

TEST_F(Connection, StatusTextsByStatus) {
  for (int32_t n : {15, 16, 34, 35, 47, 48, 52, 62, 68})
    EXPECT_STREQ(qelStatusText(-n), "Internal Error") << -n;
  for (int32_t status : {1, 5, -103, -104, -1000000})
    EXPECT_STREQ(qelStatusText(status), "Internal error") << status;
  EXPECT_STREQ(qelStatusText(0), "Successful completion");
  EXPECT_STREQ(qelStatusText(-32), "Invalid Identifier.");
  EXPECT_STREQ(qelStatusText(-101), "Value is already set for role.");
  EXPECT_STREQ(qelStatusText(-102), "Plugin Registered Name already exists");
}

TEST_F(Connection, ReleaseRefusedReports9405AndReturnsTheStatus) {
  EXPECT_EQ(checkQELRelease(), 0);
  fake.failWith["QELGetAPIReleaseInfo"] = -77;
  startCapture();
  EXPECT_EQ(checkQELRelease(), -77);
  EXPECT_NE(stopCapture().find("KOVA9405E"), std::string::npos);
  EXPECT_EQ(run.errSw, 1);
}

TEST_F(Connection, FailedConnectionRaisesThroughTheStatusCheck) {
  fake.failWith["QELOpenRepository"] = -73;
  startCapture();
  EXPECT_EQ(raisedCode([] { connectToQEL("db", "u", "p"); }), -48);
  EXPECT_NE(stopCapture().find("Error connecting to Repository Database."), std::string::npos);
}

TEST_F(Connection, NewMessageSetIsCreatedMarkedAndIdentified) {
  connectToQEL("db", "u", "p");
  startCapture();
  EXPECT_EQ(getQELInfo("Orders", 1), 0);
  std::string out = stopCapture();
  EXPECT_EQ(fake.count("QELCreateProject"), 1);
  EXPECT_EQ(out.find("Message Set already exists"), std::string::npos);
  EXPECT_EQ(out.find("Reseting"), std::string::npos);  // nothing to reset in a new set
  const FakeDefinition& set = fake.defs[repo.msgSetHandle];
  EXPECT_EQ(attr(set, repo.webdavPlugin.handle, 1), "QEL");
  EXPECT_EQ(std::string(messageSetIdentifier()), "MS" + std::to_string(set.id));
  EXPECT_NE(out.find("KOVA9404I"), std::string::npos) << out;
  EXPECT_NE(out.find(messageSetIdentifier()), std::string::npos) << out;
}

TEST_F(Connection, ExistingMessageSetIsRefusedWhenFinalisedLockedOrInUse) {
  struct Case {
    const char* name;
    bool finalised, locked;
    const char* lockCount;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {"finalised", true, true, "3", -53, "KOVA9403E"},  // finalised is checked first
      {"locked", false, true, "3", -52, "KOVA9402E"},
      {"in use", false, false, "3", -51, "KOVA9401E"},
      {"in use, hex count", false, false, "0x10", -51, "KOVA9401E"},
  };
  for (const Case& c : cases) {
    repo.reset();
    fake.reset();
    fake.addMessageSet("MS", {{QEL_PLUGIN_WEBDAV, "WebDav"}});
    fake.finalised = c.finalised;
    fake.locked = c.locked;
    fake.lockCount = c.lockCount;
    connectToQEL("db", "u", "p");
    startCapture();
    EXPECT_EQ(raisedCode([] { getQELInfo("MS", 1); }), c.code) << c.name;
    std::string out = stopCapture();
    EXPECT_NE(out.find("Message Set already exists"), std::string::npos) << c.name;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.name << out;
    EXPECT_EQ(fake.count("QELRemoveAll") + fake.count("QELDelete"), 0) << c.name;
  }
}

TEST_F(Connection, LockCountBaseComesFromTheText) {
  struct Case {
    const char* text;
    int32_t count;
  };
  for (Case c : {Case{"0x10", 16}, Case{"010", 8}, Case{"12abc", 12}, Case{"0", 0}, Case{"", 0},
                 Case{"  7", 7}}) {
    EXPECT_EQ(parseLockCount(c.text), c.count) << c.text;
  }
}

TEST_F(Connection, ResetRemovesEverythingButTheSimpleTypes) {
  uint32_t set = fake.addMessageSet("MS", {{QEL_PLUGIN_WEBDAV, "WebDav"}});
  // A previous import: a complex type holding an element, a value and a message.
  unsigned char details[QEL_ELEMENT_DETAILS_SIZE] = {};
  uint32_t type = 0, element = 0, value = 0, message = 0, member = 0;
  std::strcpy(reinterpret_cast<char*>(details + QEL_OFF_NAME), "T1");
  int32_t complexKind = QEL_TYPE_KIND_COMPLEX;
  std::memcpy(details + QEL_OFF_TYPE_KIND, &complexKind, 4);
  ASSERT_EQ(QELCreateType(set, &type, details), 0);
  std::strcpy(reinterpret_cast<char*>(details + QEL_OFF_NAME), "E1");
  ASSERT_EQ(QELCreateElement(set, &element, details), 0);
  ASSERT_EQ(QELCreateValue(set, &value, details), 0);
  ASSERT_EQ(QELCreateMessage(set, &message, details), 0);
  unsigned char record[QEL_TYPE_MEMBER_SIZE] = {};
  ASSERT_EQ(QELInsertMember2(type, element, -1, record, &member), 0);
  ASSERT_EQ(QELInsertMember2(element, value, -1, record, &member), 0);
  fake.calls.clear();

  connectToQEL("db", "u", "p");
  startCapture();
  EXPECT_EQ(getQELInfo("MS", 1), 0);
  std::string out = stopCapture();
  EXPECT_NE(out.find("Reseting message set name MS"), std::string::npos);
  EXPECT_TRUE(fake.ofClass(set, QEL_CLASS_ELEMENT).empty());
  EXPECT_TRUE(fake.ofClass(set, QEL_CLASS_VALUE).empty());
  EXPECT_TRUE(fake.ofClass(set, QEL_CLASS_MESSAGE).empty());
  std::vector<uint32_t> types = fake.ofClass(set, QEL_CLASS_TYPE);
  EXPECT_EQ(types.size(), 7u);  // the simple types stay
  EXPECT_EQ(fake.find(set, QEL_CLASS_TYPE, "T1"), 0u);
  EXPECT_NE(fake.find(set, QEL_CLASS_TYPE, "STRING"), 0u);
}

TEST_F(Connection, ResetWithoutTheSwitchKeepsTheContent) {
  uint32_t set = fake.addMessageSet("MS", {{QEL_PLUGIN_WEBDAV, "WebDav"}});
  unsigned char details[QEL_ELEMENT_DETAILS_SIZE] = {};
  uint32_t element = 0;
  std::strcpy(reinterpret_cast<char*>(details + QEL_OFF_NAME), "E1");
  ASSERT_EQ(QELCreateElement(set, &element, details), 0);
  connectToQEL("db", "u", "p");
  startCapture();
  EXPECT_EQ(getQELInfo("MS", 0), 0);
  stopCapture();
  EXPECT_EQ(fake.ofClass(set, QEL_CLASS_ELEMENT).size(), 1u);
}

TEST_F(Connection, PluginWalkFillsSlotsAndLayerListsInOrder) {
  fake.addMessageSet("MS", {{QEL_PLUGIN_XML, "XML1"},
                            {QEL_PLUGIN_C, "C-old"},
                            {QEL_PLUGIN_CWF, "CWF1"},
                            {QEL_PLUGIN_XML, "XML2"},
                            {QEL_PLUGIN_C, "C-new"},
                            {QEL_PLUGIN_TDS, "TDS1"},
                            {QEL_PLUGIN_WEBDAV, "WebDav"}});
  connectToQEL("db", "u", "p");
  startCapture();
  ASSERT_EQ(getQELInfo("MS", 0), 0);
  stopCapture();
  ASSERT_EQ(repo.xmlLayers.size(), 2u);
  EXPECT_STREQ(nameAt(repo.xmlLayers[0].name), "XML1");
  EXPECT_STREQ(nameAt(repo.xmlLayers[1].name), "XML2");
  ASSERT_EQ(repo.cwfLayers.size(), 1u);
  ASSERT_EQ(repo.tdsLayers.size(), 1u);
  EXPECT_STREQ(nameAt(repo.cPlugin.name), "C-new");  // a later match overwrites
  EXPECT_EQ(repo.cobolPlugin.handle, 0u);
  EXPECT_NE(repo.webdavPlugin.handle, 0u);
}

TEST_F(Connection, DuplicateMessageIsRefusedWithPrefixAndSuffix) {
  uint32_t set = openSet();
  std::strcpy(parms.msgPrefix, "p_");
  std::strcpy(parms.msgSuffix, "_s");
  startCapture();
  EXPECT_EQ(checkDupMessageName("Order", "MS"), 0);
  unsigned char details[QEL_MESSAGE_DETAILS_SIZE] = {};
  uint32_t message = 0;
  std::strcpy(reinterpret_cast<char*>(details + QEL_OFF_NAME), "p_Order_s");
  ASSERT_EQ(QELCreateMessage(set, &message, details), 0);
  EXPECT_EQ(raisedCode([] { checkDupMessageName("Order", "MS"); }), -50);
  std::string out = stopCapture();
  EXPECT_EQ(linesWith(out, "Checking for duplicate message Order in MessageSet MS").size(), 2u);
  EXPECT_NE(out.find("KOVA9400E"), std::string::npos);
}

TEST_F(Connection, CommitOnlyWithoutErrorsAndNotReportOnly) {
  struct Case {
    int32_t errSw, reportOnly, commit;
  };
  for (Case c : {Case{0, 0, 1}, Case{1, 0, 0}, Case{0, 1, 0}, Case{1, 1, 0}}) {
    repo.reset();
    fake.reset();
    openSet();
    run.errSw = c.errSw;
    endTransaction(c.reportOnly);
    EXPECT_EQ(fake.lastCommit, c.commit) << c.errSw << c.reportOnly;
    EXPECT_FALSE(fake.connected);
  }
}

TEST_F(Connection, ResetAfterAnAbandonedRunDiscardsItsWork) {
  openSet();
  int32_t id = 0;
  createType("T", 0, kCompSequence, kContentOrdinary, &id);
  repo.reset();  // as after a QELDBException: nothing was closed
  EXPECT_EQ(fake.lastCommit, 0);
  EXPECT_FALSE(fake.connected);
  EXPECT_EQ(repo.msgSetHandle, 0u);
  repo.reset();  // nothing left to close
  EXPECT_EQ(fake.count("QELCloseRepository"), 1);
}

}  // namespace
