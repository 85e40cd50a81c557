// The kova-repo tool run as a program over a repository written through the
// library.
#include <sys/stat.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "backend_test_support.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;
};

/// Runs kova-repo with `args` (shell words), standard error included, with
/// no terminal on standard input.
ToolRun runTool(const std::string& args) {
  ToolRun run;
  std::string cmd = std::string(KOVA_REPO_PATH) + " </dev/null " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.output.append(buf, n);
  int st = pclose(p);
  run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return run;
}

class KovaRepoTool : public BackendTest {
 protected:
  /// The repository as one shell word.
  std::string quotedDb() const { return "'" + db_ + "'"; }

  /// A message set "Orders" with a message, a type with two members, a
  /// value, an XML layer and names; committed, then disconnected.
  void writeOrders() {
    uint32_t set = createSet("Orders");
    uint32_t str = simpleType(set, "STRING"), integer = simpleType(set, "INTEGER");
    uint32_t order = 0, line = 0, id = 0, qty = 0, lines = 0, v = 0, msg = 0, m1 = 0, m2 = 0,
             vm = 0;
    ASSERT_EQ(createType(set, "OrderType", &order), 0);
    ASSERT_EQ(createType(set, "LineType", &line, integer), 0);
    ASSERT_EQ(createElement(set, "OrderType^id", str, &id), 0);
    ASSERT_EQ(createElement(set, "LineType^qty", integer, &qty), 0);
    ASSERT_EQ(createElement(set, "OrderType^line", line, &lines), 0);
    ASSERT_EQ(createValue(set, "MinInclusive1I", "1", integer, &v), 0);
    ASSERT_EQ(createMessage(set, "Order", order, &msg), 0);
    ASSERT_EQ(insertTypeMember(order, id, "1", "1", 0, &m1), 0);
    ASSERT_EQ(insertTypeMember(order, lines, "0", "", 1, &m2), 0);
    ASSERT_EQ(insertTypeMember(line, qty, "1", "1", 0, &m1), 0);
    ASSERT_EQ(insertValueMember(qty, v, 1, &vm), 0);
    uint32_t xml = 0;
    ASSERT_EQ(addLayer(set, QEL_PLUGIN_XML, "XML1", &xml), 0);
    Record layerName = attrRef(xml, 1);
    ASSERT_EQ(QELSetAttrValue(set, layerName.data(), "XML1"), 0);
    Record xmlName = attrRef(xml, 30);
    ASSERT_EQ(QELSetAttrValue(id, xmlName.data(), "OrderId"), 0);
    Record memberName = attrRef(xml, 100);
    ASSERT_EQ(QELSetMemberAttrValue(order, m2, memberName.data(), "Line"), 0);
    ASSERT_EQ(QELCloseProject(set, 1), 0);
    ASSERT_EQ(QELCloseRepository(), 0);
  }
};

TEST_P(KovaRepoTool, ExportWritesTheWholeSetInCreationOrderAndShowATree) {
  writeOrders();
  ToolRun run = runTool("export " + quotedDb() + " Orders");
  ASSERT_EQ(run.status, 0) << run.output;
  nlohmann::json j = nlohmann::json::parse(run.output);
  EXPECT_EQ(j["formatVersion"], 2);
  EXPECT_EQ(j["messageSet"]["name"], "Orders");
  EXPECT_FALSE(j["messageSet"]["identifier"].get<std::string>().empty());
  EXPECT_EQ(j["messageSet"]["finalised"], false);
  EXPECT_EQ(j["messageSet"]["lockCount"], 0);
  ASSERT_EQ(j["plugins"].size(), 4u);
  EXPECT_EQ(j["plugins"][3]["plugin"], QEL_PLUGIN_XML);
  EXPECT_EQ(j["plugins"][3]["member"], "XML1");
  // The lock count first (set at creation), then the layer name.
  ASSERT_EQ(j["setAttributes"].size(), 2u);
  EXPECT_EQ(j["setAttributes"][0]["keyName"], "lockCount");
  EXPECT_EQ(j["setAttributes"][1]["key"], 1);
  EXPECT_EQ(j["setAttributes"][1]["keyName"], "layerName");
  EXPECT_EQ(j["setAttributes"][1]["value"], "XML1");

  ASSERT_EQ(j["types"].size(), 9u);  // seven simple types, then the two written
  EXPECT_EQ(j["types"][0]["name"], "BOOLEAN");
  const auto& order = j["types"][7];
  EXPECT_EQ(order["name"], "OrderType");
  EXPECT_EQ(order["kind"], 3);
  EXPECT_EQ(order["kindName"], "complex");
  EXPECT_EQ(order["composition"], 6);
  EXPECT_EQ(order["compositionName"], "sequence");
  EXPECT_EQ(order["contentName"], "ordinary");
  EXPECT_EQ(j["types"][0]["kindName"], "simple");
  EXPECT_TRUE(order["baseType"].is_null());
  EXPECT_EQ(j["types"][8]["baseType"], "INTEGER");
  ASSERT_EQ(order["members"].size(), 2u);
  EXPECT_EQ(order["members"][0]["child"], "OrderType^id");
  EXPECT_EQ(order["members"][0]["class"], "element");
  EXPECT_EQ(order["members"][1]["repeat"], true);
  EXPECT_EQ(order["members"][1]["minOccurs"], "0");
  EXPECT_TRUE(order["members"][1]["maxOccurs"].is_null());
  EXPECT_EQ(order["members"][1]["attributes"][0]["key"], 100);
  EXPECT_EQ(order["members"][1]["attributes"][0]["keyName"], "memberXmlName");
  EXPECT_EQ(order["members"][1]["attributes"][0]["value"], "Line");

  ASSERT_EQ(j["elements"].size(), 3u);
  EXPECT_EQ(j["elements"][0]["name"], "OrderType^id");
  EXPECT_EQ(j["elements"][0]["attributes"][0]["value"], "OrderId");
  EXPECT_EQ(j["elements"][1]["values"][0]["value"], "MinInclusive1I");
  EXPECT_EQ(j["elements"][1]["values"][0]["role"], 1);
  EXPECT_EQ(j["elements"][1]["values"][0]["roleName"], "minInclusive");
  EXPECT_EQ(j["elements"][2]["type"], "LineType");
  EXPECT_EQ(j["values"][0]["value"], "1");
  EXPECT_EQ(j["values"][0]["type"], "INTEGER");
  EXPECT_EQ(j["messages"][0]["name"], "Order");
  EXPECT_EQ(j["messages"][0]["type"], "OrderType");
  // show prints the message as a tree.
  run = runTool("show " + quotedDb() + " Orders Order");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "message Order type OrderType\n"
            "  element OrderType^id [1..1] type STRING xml \"OrderId\"\n"
            "  element OrderType^line [0..*] type LineType xml \"Line\"\n"
            "    element LineType^qty [1..1] type INTEGER\n"
            "      value MinInclusive1I = \"1\" role 1\n");
  ToolRun missing = runTool("show " + quotedDb() + " Orders Invoice");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("Invoice not found"), std::string::npos);
}

TEST_P(KovaRepoTool, ShowExpandsEachTypeOnceAndRefersBackLater) {
  // A party type used twice, a group type inserted twice as a type member,
  // and a second message whose tree expands the shared type again on its own.
  uint32_t set = createSet("Shared");
  uint32_t str = simpleType(set, "STRING");
  uint32_t doc = 0, party = 0, address = 0, group = 0, h = 0;
  ASSERT_EQ(createType(set, "DocType", &doc), 0);
  ASSERT_EQ(createType(set, "PartyType", &party), 0);
  ASSERT_EQ(createType(set, "AddressType", &address), 0);
  ASSERT_EQ(createType(set, "GroupType", &group), 0);
  struct Child {
    uint32_t parent;
    const char* name;  ///< nullptr: the type `type` itself is the member
    uint32_t type;
    const char* min;
    const char* max;
    int16_t repeat;
  };
  for (const Child& c :
       {Child{doc, "DocType^seller", party, "1", "1", 0},
        Child{doc, "DocType^buyer", party, "0", "1", 0}, Child{doc, nullptr, group, "1", "1", 0},
        Child{doc, nullptr, group, "0", "1", 0}, Child{doc, "DocType^shipTo", address, "0", "", 1},
        Child{party, "PartyType^name", str, "1", "1", 0},
        Child{party, "PartyType^address", address, "1", "1", 0},
        Child{address, "AddressType^street", str, "1", "1", 0},
        Child{group, "GroupType^code", str, "1", "1", 0}}) {
    uint32_t child = c.type;
    if (c.name) {
      ASSERT_EQ(createElement(set, c.name, c.type, &child), 0) << c.name;
    }
    ASSERT_EQ(insertTypeMember(c.parent, child, c.min, c.max, c.repeat, &h), 0);
  }
  ASSERT_EQ(createMessage(set, "Doc", doc, &h), 0);
  ASSERT_EQ(createMessage(set, "Party", party, &h), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  ASSERT_EQ(QELCloseRepository(), 0);

  ToolRun run = runTool("show " + quotedDb() + " Shared");
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

TEST_P(KovaRepoTool, ShowOfTypesSharedAtEveryLevelStaysSmall) {
  // Each of 40 nested types holds two elements of the next one: the full
  // tree would have 2^40 lines, the printed one has two per type.
  const int depth = 40;
  uint32_t set = createSet("Nested");
  std::vector<uint32_t> types(depth + 1);
  for (int i = 0; i <= depth; ++i) {
    ASSERT_EQ(createType(set, "Level" + std::to_string(i), &types[i]), 0);
  }
  uint32_t e = 0, h = 0;
  for (int i = 0; i < depth; ++i) {
    for (const char* side : {"a", "b"}) {
      std::string name = "Level" + std::to_string(i) + "^" + side;
      ASSERT_EQ(createElement(set, name, types[i + 1], &e), 0);
      ASSERT_EQ(insertTypeMember(types[i], e, "1", "1", 0, &h), 0);
    }
  }
  ASSERT_EQ(createElement(set, "Leaf", simpleType(set, "STRING"), &e), 0);
  ASSERT_EQ(insertTypeMember(types[depth], e, "1", "1", 0, &h), 0);
  ASSERT_EQ(createMessage(set, "Top", types[0], &h), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);
  ASSERT_EQ(QELCloseRepository(), 0);

  ToolRun run = runTool("show " + quotedDb() + " Nested Top | head -c 100000");
  ASSERT_EQ(run.status, 0);
  std::vector<std::string> lines;
  std::istringstream in(run.output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), static_cast<size_t>(2 * depth + 2)) << run.output.substr(0, 2000);
  // Down the first elements to the leaf, then back up the second ones, each
  // referring to the level expanded just above it.
  for (int i = 0; i < depth; ++i) {
    std::string level = "Level" + std::to_string(i), next = "Level" + std::to_string(i + 1);
    std::string indent(static_cast<size_t>(2 * (i + 1)), ' ');
    EXPECT_EQ(lines[static_cast<size_t>(1 + i)],
              indent + "element " + level + "^a [1..1] type " + next);
    EXPECT_EQ(lines[static_cast<size_t>(2 * depth + 1 - i)],
              indent + "element " + level + "^b [1..1] type " + next + " (type " + next +
                  ", shown above)");
  }
  EXPECT_EQ(lines[static_cast<size_t>(depth + 1)],
            std::string(2 * (depth + 1), ' ') + "element Leaf [1..1] type STRING");
}

TEST_P(KovaRepoTool, FlagsLockCountLayersAndDeletionReachTheLibrary) {
  writeOrders();
  ASSERT_EQ(runTool("lock " + quotedDb() + " Orders").status, 0);
  ASSERT_EQ(runTool("finalise " + quotedDb() + " Orders").status, 0);
  ASSERT_EQ(runTool("in-use " + quotedDb() + " Orders 3").status, 0);
  ToolRun layer = runTool("add-layer " + quotedDb() + " Orders cwf CWF1");
  // A locked set takes no new layer; the tool says why.
  EXPECT_EQ(layer.status, 1);
  EXPECT_NE(layer.output.find("-55"), std::string::npos) << layer.output;

  ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
  uint32_t set = 0;
  ASSERT_EQ(findSet("Orders", &set), 0);
  EXPECT_NE(QELIsLocked(set), 0);
  EXPECT_NE(QELIsFinalised(set), 0);
  ASSERT_EQ(QELCloseRepository(), 0);

  ToolRun list = runTool("list " + quotedDb());
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.output.find("yes       yes            3        1        3      9      1"),
            std::string::npos)
      << list.output;

  ASSERT_EQ(runTool("unlock " + quotedDb() + " Orders").status, 0);
  ToolRun json = runTool("export " + quotedDb() + " Orders");
  nlohmann::json j = nlohmann::json::parse(json.output);
  EXPECT_EQ(j["messageSet"]["locked"], false);
  EXPECT_EQ(j["messageSet"]["finalised"], true);
  EXPECT_EQ(j["messageSet"]["lockCount"], 3);

  // Without a terminal, delete needs --yes.
  ToolRun unconfirmed = runTool("delete " + quotedDb() + " Orders");
  EXPECT_EQ(unconfirmed.status, 1);
  EXPECT_NE(unconfirmed.output.find("--yes"), std::string::npos) << unconfirmed.output;
  EXPECT_EQ(runTool("export " + quotedDb() + " Orders").status, 0);
  ASSERT_EQ(runTool("delete --yes " + quotedDb() + " Orders").status, 0);
  ToolRun gone = runTool("export " + quotedDb() + " Orders");
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.output.find("not found"), std::string::npos);
}

TEST_P(KovaRepoTool, AddLayerAndErrorsOfTheCommandLine) {
  writeOrders();
  ASSERT_EQ(runTool("add-layer " + quotedDb() + " Orders tds TDS1").status, 0);
  ToolRun dup = runTool("add-layer " + quotedDb() + " Orders xml TDS1");
  EXPECT_EQ(dup.status, 1);
  EXPECT_NE(dup.output.find("-33: Component identifier already exists."), std::string::npos)
      << dup.output;
  nlohmann::json j = nlohmann::json::parse(runTool("export " + quotedDb() + " Orders").output);
  EXPECT_EQ(j["plugins"].back()["member"], "TDS1");
  EXPECT_EQ(runTool("add-layer " + quotedDb() + " Orders soap S1").status, 105);  // CLI11 validation
  std::string bad = dir_ + "/plain.txt";
  FILE* f = fopen(bad.c_str(), "w");
  fputs("not a repository, just text that is long enough to be a file header\n", f);
  fclose(f);
  ToolRun notRepo = runTool("list " + bad);
  EXPECT_EQ(notRepo.status, 1);
  EXPECT_NE(notRepo.output.find(bad + ": not a KOVA repository file"), std::string::npos)
      << notRepo.output;
  ToolRun help = runTool("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("add-layer"), std::string::npos);
  ToolRun version = runTool("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "kova-repo 1.0\n");
  ToolRun unknown = runTool("lsit " + quotedDb());
  EXPECT_GT(unknown.status, 100);
  EXPECT_NE(unknown.output.find("unknown command lsit"), std::string::npos) << unknown.output;
  ToolRun init = runTool("init " + dir_ + "/new.db");
  EXPECT_EQ(init.status, 0);
  EXPECT_EQ(runTool("list " + dir_ + "/new.db").status, 0);
}

TEST_P(KovaRepoTool, CopyMovesASetOutAndBackUnchanged) {
  writeOrders();
  auto withoutIdentifier = [](std::string json) {
    nlohmann::json j = nlohmann::json::parse(json);
    j["messageSet"].erase("identifier");
    return j;
  };
  nlohmann::json original = withoutIdentifier(runTool("export " + quotedDb() + " Orders").output);
  std::string file = dir_ + "/copy.db";
  ToolRun out = runTool("copy " + quotedDb() + " " + file + " Orders");
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(withoutIdentifier(runTool("export " + file + " Orders").output), original);
  ToolRun again = runTool("copy " + quotedDb() + " " + file + " Orders");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
  // And back into the repository it came from.
  ASSERT_EQ(runTool("delete --yes " + quotedDb() + " Orders").status, 0);
  ToolRun back = runTool("copy " + file + " " + quotedDb() + " Orders");
  ASSERT_EQ(back.status, 0) << back.output;
  EXPECT_EQ(withoutIdentifier(runTool("export " + quotedDb() + " Orders").output), original);
  EXPECT_EQ(runTool("copy " + file + " " + quotedDb() + " Missing").status, 1);
}

// The commands leave a missing, empty or foreign file as it was and say what
// is wrong with it; only init makes a repository.
TEST_P(KovaRepoTool, ReadingCommandsNeverCreateOrChangeAFile) {
  writeOrders();
  std::string missing = dir_ + "/typo.db", empty = dir_ + "/empty.db";
  FILE* f = fopen(empty.c_str(), "w");
  fclose(f);
  for (std::string command : {"list ", "show ", "export ", "lock ", "delete --yes "}) {
    std::string set = command == "list " ? "" : " Orders";
    ToolRun none = runTool(command + missing + set);
    EXPECT_EQ(none.status, 1) << command;
    EXPECT_NE(none.output.find(missing + ": no such repository file"), std::string::npos)
        << none.output;
    EXPECT_EQ(fopen(missing.c_str(), "r"), nullptr) << command;
    ToolRun blank = runTool(command + empty + set);
    EXPECT_EQ(blank.status, 1) << command;
    EXPECT_NE(blank.output.find("not a KOVA repository file"), std::string::npos) << blank.output;
  }
  struct stat st;
  ASSERT_EQ(stat(empty.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  ToolRun list = runTool("list --json " + quotedDb());
  ASSERT_EQ(list.status, 0) << list.output;
  nlohmann::json j = nlohmann::json::parse(list.output);
  EXPECT_EQ(j["formatVersion"], 2);
  ASSERT_EQ(j["messageSets"].size(), 1u);
  EXPECT_EQ(j["messageSets"][0]["name"], "Orders");
  EXPECT_EQ(j["messageSets"][0]["types"], 9);
  EXPECT_EQ(j["messageSets"][0]["locked"], false);
}

INSTANTIATE_TEST_SUITE_P(Stores, KovaRepoTool, kBothStores, storeName);

}  // namespace
