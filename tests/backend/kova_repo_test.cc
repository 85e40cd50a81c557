// The kova-repo tool run as a program over a repository written through the
// library.
#include <cctype>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "backend_test_support.h"

namespace {

using nlohmann::json;

/// Expects every member of `want` in `got` with the same value; arrays have
/// the same length as in `want`, their elements matched one by one.  Of the
/// patch that turns `got` into `want`, only removals of members may remain.
void expectMatches(const json& got, const json& want) {
  for (const json& op : json::diff(got, want)) {
    std::string path = op["path"];
    EXPECT_TRUE(op["op"] == "remove" && !std::isdigit(static_cast<unsigned char>(path.back())))
        << op.dump();
  }
}

class KovaRepoTool : public BackendTest {
 protected:
  /// Runs `command` on this test's repository, followed by `args`.
  ProgramRun repo(const std::string& command, const std::string& args = "Orders") {
    return runKovaRepo(command + " " + shellWord(db_) + " " + args);
  }
  /// What export prints of message set Orders of `db`, read as JSON.
  json exported(const std::string& db) {
    return json::parse(runKovaRepo("export " + shellWord(db) + " Orders").output);
  }

  /// A message set "Orders" with a message, a type with two members, a
  /// value, an XML layer and names; committed, then disconnected.
  void writeOrders() {
    uint32_t set = createSet("Orders");
    uint32_t str = simpleType(set, "STRING"), integer = simpleType(set, "INTEGER");
    uint32_t order = newType(set, "OrderType"), line = newType(set, "LineType", integer);
    uint32_t id = newElement(set, "OrderType^id", str);
    uint32_t qty = newElement(set, "LineType^qty", integer);
    uint32_t lines = newElement(set, "OrderType^line", line);
    uint32_t v = newValue(set, "MinInclusive1I", "1", integer);
    newMessage(set, "Order", order);
    newMember(order, id);
    uint32_t m2 = newMember(order, lines, "0", "", 1);
    newMember(line, qty);
    newValueMember(qty, v, 1);
    uint32_t xml = newLayer(set, QEL_PLUGIN_XML, "XML1");
    Record layerName = attrRef(xml, 1), xmlName = attrRef(xml, 30), memberName = attrRef(xml, 100);
    ASSERT_EQ(QELSetAttrValue(set, layerName.data(), "XML1"), 0);
    ASSERT_EQ(QELSetAttrValue(id, xmlName.data(), "OrderId"), 0);
    ASSERT_EQ(QELSetMemberAttrValue(order, m2, memberName.data(), "Line"), 0);
    commit(set);
    ASSERT_EQ(QELCloseRepository(), 0);
  }
};

TEST_P(KovaRepoTool, ExportWritesTheWholeSetInCreationOrderAndShowATree) {
  writeOrders();
  ProgramRun run = repo("export");
  ASSERT_EQ(run.status, 0) << run.output;
  json j = json::parse(run.output);
  EXPECT_FALSE(j["messageSet"]["identifier"].get<std::string>().empty());
  // Seven simple types, then the two written; the lock count first (set at
  // creation), then the layer name.
  expectMatches(j, json::parse(R"({
    "formatVersion": 2,
    "messageSet": {"name": "Orders", "finalised": false, "lockCount": 0},
    "plugins": [{}, {}, {}, {"plugin": "XML Format Extension", "member": "XML1"}],
    "setAttributes": [{"keyName": "lockCount"},
                      {"key": 1, "keyName": "layerName", "value": "XML1"}],
    "types": [{"name": "BOOLEAN", "kindName": "simple"}, {}, {}, {}, {}, {}, {},
              {"name": "OrderType", "kind": 3, "kindName": "complex", "composition": 6,
               "compositionName": "sequence", "contentName": "ordinary", "baseType": null,
               "members": [{"child": "OrderType^id", "class": "element"},
                           {"repeat": true, "minOccurs": "0", "maxOccurs": null,
                            "attributes": [{"key": 100, "keyName": "memberXmlName",
                                            "value": "Line"}]}]},
              {"baseType": "INTEGER"}],
    "elements": [{"name": "OrderType^id", "attributes": [{"value": "OrderId"}]},
                 {"values": [{"value": "MinInclusive1I", "role": 1,
                              "roleName": "minInclusive"}]},
                 {"type": "LineType"}],
    "values": [{"value": "1", "type": "INTEGER"}],
    "messages": [{"name": "Order", "type": "OrderType"}]})"));
  // show prints the message as a tree.
  run = repo("show", "Orders Order");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "message Order type OrderType\n"
            "  element OrderType^id [1..1] type STRING xml \"OrderId\"\n"
            "  element OrderType^line [0..*] type LineType xml \"Line\"\n"
            "    element LineType^qty [1..1] type INTEGER\n"
            "      value MinInclusive1I = \"1\" role 1\n");
  expectRun(repo("show", "Orders Invoice"), 1, "Invoice not found");
}

TEST_P(KovaRepoTool, ShowExpandsEachTypeOnceAndRefersBackLater) {
  // A party type used twice, a group type inserted twice as a type member,
  // and a second message whose tree expands the shared type again on its own.
  uint32_t set = createSet("Shared");
  uint32_t str = simpleType(set, "STRING"), doc = newType(set, "DocType");
  uint32_t party = newType(set, "PartyType"), address = newType(set, "AddressType");
  uint32_t group = newType(set, "GroupType");
  struct Child {
    uint32_t parent;
    const char* name;  ///< nullptr: the type `type` itself is the member
    uint32_t type;
    const char *min, *max;
    int16_t repeat;
  };
  for (const Child& c :
       {Child{doc, "DocType^seller", party, "1", "1", 0},
        Child{doc, "DocType^buyer", party, "0", "1", 0}, Child{doc, nullptr, group, "1", "1", 0},
        Child{doc, nullptr, group, "0", "1", 0}, Child{doc, "DocType^shipTo", address, "0", "", 1},
        Child{party, "PartyType^name", str, "1", "1", 0},
        Child{party, "PartyType^address", address, "1", "1", 0},
        Child{address, "AddressType^street", str, "1", "1", 0},
        Child{group, "GroupType^code", str, "1", "1", 0}})
    newMember(c.parent, c.name ? newElement(set, c.name, c.type) : c.type, c.min, c.max, c.repeat);
  newMessage(set, "Doc", doc);
  newMessage(set, "Party", party);
  commit(set);
  ASSERT_EQ(QELCloseRepository(), 0);

  ProgramRun run = repo("show", "Shared");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "message Doc type DocType\n"
            "  element DocType^seller [1..1] type PartyType\n"
            "    element PartyType^name [1..1] type STRING\n"
            "    element PartyType^address [1..1] type AddressType\n"
            "      element AddressType^street [1..1] type STRING\n"
            "  element DocType^buyer [0..1] type PartyType (type PartyType, shown above)\n"
            "  type GroupType [1..1]\n"
            "    element GroupType^code [1..1] type STRING\n"
            "  type GroupType [0..1] (shown above)\n"
            "  element DocType^shipTo [0..*] type AddressType (type AddressType, shown above)\n"
            "message Party type PartyType\n"
            "  element PartyType^name [1..1] type STRING\n"
            "  element PartyType^address [1..1] type AddressType\n"
            "    element AddressType^street [1..1] type STRING\n");
}

TEST_P(KovaRepoTool, FlagsLockCountLayersAndDeletionReachTheLibrary) {
  writeOrders();
  ASSERT_EQ(repo("lock").status, 0);
  ASSERT_EQ(repo("finalise").status, 0);
  ASSERT_EQ(repo("in-use", "Orders 3").status, 0);
  // A locked set takes no new layer; the tool says why.
  expectRun(repo("add-layer", "Orders cwf CWF1"), 1, "-55");
  // What the library answers for the flags, as list shows it.
  expectRun(repo("list", ""), 0, "yes       yes            3        1        3      9      1");

  // unlock reaching the importer is Import.RefusedMessageSetsAreLeftAsTheyWere's.

  // Without a terminal, delete needs --yes.
  expectRun(repo("delete"), 1, "--yes");
  EXPECT_EQ(repo("export").status, 0);
  ASSERT_EQ(repo("delete --yes").status, 0);
  expectRun(repo("export"), 1, "not found");
}

TEST_P(KovaRepoTool, AddLayerAndErrorsOfTheCommandLine) {
  writeOrders();
  std::string db = shellWord(db_), bad = dir_ + "/plain.txt";
  writeFile(bad, "not a repository, just text that is long enough to be a file header\n");
  const struct {
    std::string args;
    int status;
    std::string says;
  } runs[] = {
      {"add-layer " + db + " Orders tds TDS1", 0, ""},
      {"add-layer " + db + " Orders xml TDS1", 1, "-33: Component identifier already exists."},
      {"add-layer " + db + " Orders soap S1", 105, "soap"},  // CLI11 validation
      {"list " + bad, 1, bad + ": not a KOVA repository file"},
      {"--help", 0, "add-layer"},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.args);
    expectRun(runKovaRepo(r.args), r.status, r.says);
  }
  EXPECT_EQ(exported(db_)["plugins"].back()["member"], "TDS1");
  ProgramRun version = runKovaRepo("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "kova-repo 1.0\n");
  ProgramRun unknown = runKovaRepo("lsit " + db);
  EXPECT_GT(unknown.status, 100);
  EXPECT_NE(unknown.output.find("unknown command lsit"), std::string::npos) << unknown.output;
}

TEST_P(KovaRepoTool, CopyMovesASetOutAndBackUnchanged) {
  writeOrders();
  auto withoutIdentifier = [](json j) {
    j["messageSet"].erase("identifier");
    return j;
  };
  json original = withoutIdentifier(exported(db_));
  std::string file = dir_ + "/copy.db", copyOut = shellWord(db_) + " " + file + " Orders";
  ProgramRun out = runKovaRepo("copy " + copyOut);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(withoutIdentifier(exported(file)), original);
  expectRun(runKovaRepo("copy " + copyOut), 1, "already exists");
  // And back into the repository it came from.
  ASSERT_EQ(repo("delete --yes").status, 0);
  ProgramRun back = runKovaRepo("copy " + file + " " + shellWord(db_) + " Orders");
  ASSERT_EQ(back.status, 0) << back.output;
  EXPECT_EQ(withoutIdentifier(exported(db_)), original);
  EXPECT_EQ(runKovaRepo("copy " + file + " " + shellWord(db_) + " Missing").status, 1);
}

// The commands leave a missing, empty or foreign file as it was and say what
// is wrong with it; only init makes a repository.
TEST_P(KovaRepoTool, ReadingCommandsNeverCreateOrChangeAFile) {
  writeOrders();
  std::string missing = dir_ + "/typo.db", empty = writeFile(dir_ + "/empty.db", "");
  for (std::string command : {"list ", "show ", "export ", "lock ", "delete --yes "}) {
    SCOPED_TRACE(command);
    std::string set = command == "list " ? "" : " Orders";
    expectRun(runKovaRepo(command + missing + set), 1, missing + ": no such repository file");
    EXPECT_FALSE(std::filesystem::exists(missing));
    expectRun(runKovaRepo(command + empty + set), 1, "not a KOVA repository file");
  }
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  ProgramRun list = repo("list --json", "");
  ASSERT_EQ(list.status, 0) << list.output;
  json j = json::parse(list.output);
  EXPECT_EQ(j["formatVersion"], 2);
  ASSERT_EQ(j["messageSets"].size(), 1u);
  EXPECT_EQ(j["messageSets"][0]["name"], "Orders");
  EXPECT_EQ(j["messageSets"][0]["types"], 9);
  EXPECT_EQ(j["messageSets"][0]["locked"], false);
}

INSTANTIATE_TEST_SUITE_P(Stores, KovaRepoTool, kBothStores, storeName);

}  // namespace
