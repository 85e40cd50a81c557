// Whole imports into temporary repositories: the built xsdimport runs on a
// parameter file, and the repository is read back with kova-repo export.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "store_param.h"
#include "test_support.h"

namespace {

using nlohmann::json;

/// Definitions of an exported message set that no message reaches through
/// types, members, bases, element types and element values.
std::vector<std::string> unreachable(const json& s) {
  std::map<std::string, const json*> types, elements;
  for (const json& t : s["types"]) types[t["name"]] = &t;
  for (const json& e : s["elements"]) elements[e["name"]] = &e;
  std::set<std::string> seen;  // "t:", "e:" and "v:" then the name
  std::vector<std::string> stack;
  for (const json& m : s["messages"])
    if (m["type"].is_string()) stack.push_back("t:" + m["type"].get<std::string>());
  while (!stack.empty()) {
    std::string key = stack.back();
    stack.pop_back();
    if (!seen.insert(key).second) continue;
    std::string name = key.substr(2);
    if (key[0] == 't' && types.count(name)) {
      const json& t = *types[name];
      if (t["baseType"].is_string()) stack.push_back("t:" + t["baseType"].get<std::string>());
      for (const json& m : t["members"])
        stack.push_back((m["class"] == "element" ? "e:" : "t:") + m["child"].get<std::string>());
    } else if (key[0] == 'e' && elements.count(name)) {
      const json& e = *elements[name];
      if (e["type"].is_string()) stack.push_back("t:" + e["type"].get<std::string>());
      for (const json& v : e["values"]) seen.insert("v:" + v["value"].get<std::string>());
    }
  }
  std::vector<std::string> out;
  for (const json& t : s["types"])
    if (t["kind"] == 3 && !seen.count("t:" + t["name"].get<std::string>()))
      out.push_back("type " + t["name"].get<std::string>());
  for (const json& e : s["elements"])
    if (!seen.count("e:" + e["name"].get<std::string>()))
      out.push_back("element " + e["name"].get<std::string>());
  for (const json& v : s["values"])
    if (!seen.count("v:" + v["name"].get<std::string>()))
      out.push_back("value " + v["name"].get<std::string>());
  return out;
}

/// Each test imports into a new repository: a file, or a schema of its own
/// on the server that KOVA_TEST_PG_URL names.
class Import : public KovaTest, public ::testing::WithParamInterface<Store> {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    KOVA_SKIP_WITHOUT_STORE(GetParam());
    dir_ = makeTempDir();
    db_ = GetParam() == Store::kFile ? dir_ + "/repository.kovadb" : serverTestRepository(&schema_);
    std::filesystem::copy_file(std::string(KOVA_SOURCE_DIR) + "/tests/data/repository/orders.xsd",
                               dir_ + "/orders.xsd");
  }

  /// Imports root `root` of orders.xsd into message set S; `extra` holds
  /// further header lines of the parameter file, `args` further options.
  ProgramRun import(const std::string& root, const std::string& extra = "",
                    std::vector<std::string> args = {}, const std::string& file = "orders.xsd") {
    std::string parms = writeFile(dir_ + "/" + root + ".parms",
                                  "QEL_DB=" + db_ + "\nMESSAGESET=S\nROOTELEMENT=" + root + "\n" +
                                      extra + "[FILELIST]\n" + file + "\n");
    args.insert(args.begin(), {"-f", parms});
    return runXsdimport(args, dir_);
  }

  /// Imports root `root` of schema `body` (the content of xs:schema), written
  /// as `file`.
  ProgramRun importSchema(const std::string& file, const std::string& body, const std::string& root,
                          const std::string& extra = "") {
    writeFile(dir_ + "/" + file,
              "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">" + body + "</xs:schema>");
    return import(root, extra, {}, file);
  }

  ProgramRun tool(const std::string& arguments) {
    return runCommand(shellWord(KOVA_REPO_TOOL) + " " + arguments);
  }

  /// The message set S as kova-repo exports it (null when it cannot).
  json exportSet(const std::string& set = "S") {
    ProgramRun r = tool("export " + shellWord(db_) + " " + set + " 2>/dev/null");
    if (r.status != 0) return json();
    return json::parse(r.output, nullptr, false);
  }

  static const json* named(const json& list, const std::string& name) {
    for (const json& j : list)
      if (j["name"] == name) return &j;
    return nullptr;
  }

  static std::string attribute(const json& component, const std::string& keyName) {
    for (const json& a : component["attributes"])
      if (a["keyName"] == keyName) return a["value"];
    return "<unset>";
  }

  /// The value of a totals line ("M_TYPE           - 4" gives 4), -1 when absent.
  static int total(const std::string& output, const std::string& label) {
    std::vector<std::string> lines = linesWith(output, label);
    if (lines.empty()) return -1;
    return std::stoi(lines.front().substr(lines.front().rfind("- ") + 2));
  }

  /// Exit status of a run that returns `status` (the shell keeps 8 bits).
  static int exitStatus(int status) { return status & 0xff; }

  void TearDown() override {
    dropServerTestSchema(schema_);
    KovaTest::TearDown();
  }

  /// Empties the repository (the next import creates it anew).
  void removeRepository() {
    if (GetParam() == Store::kFile)
      std::filesystem::remove(db_);
    else
      dropServerTestSchema(schema_);
  }

  std::string dir_;
  std::string db_;
  std::string schema_;
};

TEST_P(Import, OrderIsWrittenWithItsTypesElementsValuesAndMessage) {
  ProgramRun r = import("Order");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("KOVA9350I"), std::string::npos);
  json s = exportSet();
  ASSERT_TRUE(s.is_object());

  const json* message = named(s["messages"], "Order");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ((*message)["type"], "OrderType");
  EXPECT_EQ(attribute(*message, "copyBookName"), "ORDER.CPY");

  const json* quantity = named(s["elements"], "OrderType^Quantity");
  ASSERT_NE(quantity, nullptr);
  EXPECT_EQ((*quantity)["type"], "INTEGER");
  std::set<std::pair<int, std::string>> bounds;
  for (const json& v : (*quantity)["values"]) {
    const json* value = named(s["values"], v["value"]);
    ASSERT_NE(value, nullptr);
    bounds.insert({v["role"].get<int>(), (*value)["value"].get<std::string>()});
  }
  // The exclusive bounds became inclusive ones, moved by one.
  EXPECT_EQ(bounds, (std::set<std::pair<int, std::string>>{{1, "11"}, {2, "99"}}));
  EXPECT_EQ(linesWith(r.output, "KOVA9374W").size(), 2u);

  // A string bound keeps its text.
  const json* reference = named(s["elements"], "OrderType^Reference");
  ASSERT_NE(reference, nullptr);
  ASSERT_EQ((*reference)["values"].size(), 1u);
  EXPECT_EQ((*reference)["values"][0]["role"], 1);
  EXPECT_EQ((*named(s["values"], (*reference)["values"][0]["value"]))["value"], "5");

  const json* date = named(s["elements"], "OrderType^IssueDate");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ((*date)["type"], "DATETIME");
  EXPECT_EQ(attribute(*date, "dateFormat"), "yyyy-MM-dd");
  EXPECT_EQ(attribute(*named(s["elements"], "OrderType^Scan"), "binaryRender"), "2");

  // The attribute, written as an element named after its type.
  const json* id = named(s["elements"], "OrderType^order_id");
  ASSERT_NE(id, nullptr);
  EXPECT_EQ((*id)["secondName"], "order-id");

  // Members of the order type, with occurrences and XML names.
  const json* order = named(s["types"], "OrderType");
  ASSERT_NE(order, nullptr);
  bool sawStatus = false;
  for (const json& m : (*order)["members"]) {
    if (m["child"] != "OrderType^Status") continue;
    sawStatus = true;
    EXPECT_EQ(m["repeat"], true);
    EXPECT_EQ(attribute(m, "memberXmlName"), "Status");
  }
  EXPECT_TRUE(sawStatus);
}

TEST_P(Import, TotalsMatchWhatTheRepositoryHolds) {
  ProgramRun r = import("Order");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  ASSERT_TRUE(s.is_object());
  int complexTypes = 0, typeMembers = 0, valueMembers = 0;
  for (const json& t : s["types"]) {
    if (t["kind"] == 3) ++complexTypes;
    typeMembers += static_cast<int>(t["members"].size());
  }
  for (const json& e : s["elements"]) valueMembers += static_cast<int>(e["values"].size());
  EXPECT_NE(r.output.find("items added to tables in repository database " + db_),
            std::string::npos);
  EXPECT_EQ(total(r.output, "M_MESSAGE        -"), 1);
  EXPECT_EQ(total(r.output, "M_ELEMENT        -"), static_cast<int>(s["elements"].size()));
  EXPECT_EQ(total(r.output, "M_TYPE           -"), complexTypes);
  EXPECT_EQ(total(r.output, "M_VALUE          -"), static_cast<int>(s["values"].size()));
  EXPECT_EQ(total(r.output, "TYPE_MEMBER      -"), typeMembers);
  EXPECT_EQ(total(r.output, "VALUE_MEMBER     -"), valueMembers);
  EXPECT_GT(total(r.output, "M_ATTRIBUTE      -"), 0);
  EXPECT_GT(total(r.output, "MEMBER_ATTRIBUTE -"), 0);
  EXPECT_EQ(total(r.output, "elements reused from existing entries in MessageSet -"), 0);
  EXPECT_EQ(total(r.output, "duplicate values reused in MessageSet   -"), 0);
}

TEST_P(Import, SecondRunReusesWhatTheMessageSetHolds) {
  ASSERT_EQ(import("Order").status, 0);
  json before = exportSet();
  ProgramRun r = import("Invoice");
  ASSERT_EQ(r.status, 0) << r.output;
  // PartyType with its element and attribute comes from the first run.
  EXPECT_GE(total(r.output, "types reused from existing entries in MessageSet    -"), 1);
  EXPECT_GE(total(r.output, "elements reused from existing entries in MessageSet -"), 2);
  EXPECT_GE(total(r.output, "values reused from existing entries in MessageSet   -"), 1);
  json s = exportSet();
  ASSERT_NE(named(s["messages"], "Order"), nullptr);
  ASSERT_NE(named(s["messages"], "Invoice"), nullptr);
  // The shared type kept its members, none written twice.
  EXPECT_EQ((*named(s["types"], "PartyType"))["members"],
            (*named(before["types"], "PartyType"))["members"]);

  // The same root a second time is refused, and nothing changes.
  ProgramRun again = import("Order");
  EXPECT_EQ(again.status, exitStatus(-50)) << again.output;
  EXPECT_NE(again.output.find("KOVA9400E"), std::string::npos);
  EXPECT_EQ(exportSet(), s);
}

TEST_P(Import, OnlyTheSameDefinitionIsReused) {
  ASSERT_EQ(import("Order").status, 0);
  json before = exportSet();
  const std::string party =
      "<xs:sequence><xs:element name=\"Name\" type=\"xs:string\"/></xs:sequence>"
      "<xs:attribute name=\"role\" type=\"xs:string\" default=\"buyer\"/>";
  // Another schema whose PartyType differs from the one the set holds.
  struct Case {
    const char* from;
    const char* to;
    const char* difference;
  };
  const Case cases[] = {
      {"type=\"xs:string\"/></xs:sequence>", "type=\"xs:string\" maxOccurs=\"2\"/></xs:sequence>",
       "member 2: occurrences -..2 where the message set has -..-"},
      {"default=\"buyer\"", "default=\"seller\"",
       "values \"seller\" role 6 where the message set has \"buyer\" role 6"},
      {"name=\"Name\" type=\"xs:string\"", "name=\"Name\" type=\"xs:int\"",
       "type INTEGER where the message set has STRING"},
  };
  for (const Case& c : cases) {
    std::string changed = party;
    changed.replace(changed.find(c.from), std::strlen(c.from), c.to);
    ProgramRun r = importSchema(
        "other.xsd",
        "<xs:element name=\"Bill\"><xs:complexType><xs:sequence>"
        "<xs:element name=\"Payer\" type=\"PartyType\"/></xs:sequence></xs:complexType>"
        "</xs:element><xs:complexType name=\"PartyType\">" +
            changed + "</xs:complexType>",
        "Bill");
    EXPECT_EQ(r.status, exitStatus(9350 - 9440)) << c.to << r.output;
    std::vector<std::string> refused = linesWith(r.output, "KOVA9440E Type PartyType is already");
    ASSERT_EQ(refused.size(), 1u) << c.to << r.output;
    EXPECT_NE(refused[0].find(c.difference), std::string::npos) << refused[0];
    EXPECT_NE(refused[0].find("TYPEPREFIX"), std::string::npos);
    EXPECT_EQ(exportSet(), before) << c.to;
  }
  // The same PartyType is taken as it is.
  ProgramRun same =
      importSchema("same.xsd",
                   "<xs:element name=\"Bill\"><xs:complexType><xs:sequence>"
                   "<xs:element name=\"Payer\" type=\"PartyType\"/></xs:sequence></xs:complexType>"
                   "</xs:element><xs:complexType name=\"PartyType\">" +
                       party + "</xs:complexType>",
                   "Bill");
  ASSERT_EQ(same.status, 0) << same.output;
  EXPECT_EQ(total(same.output, "types reused from existing entries in MessageSet    -"), 2);
  EXPECT_EQ(total(same.output, "elements reused from existing entries in MessageSet -"), 2);
}

TEST_P(Import, SecondRootLeavesNoUnreferencedDefinitions) {
  // X and Y hold each other: A enters the cycle at X, B at Y, so the cut
  // falls elsewhere for each; B is not refused for that.
  ASSERT_EQ(
      importSchema("cycle.xsd",
                   "<xs:element name=\"A\" type=\"X\"/><xs:element name=\"B\" type=\"Y\"/>"
                   "<xs:complexType name=\"X\"><xs:sequence><xs:element name=\"y\" type=\"Y\"/>"
                   "</xs:sequence></xs:complexType><xs:complexType name=\"Y\"><xs:sequence>"
                   "<xs:element name=\"x\" type=\"X\" minOccurs=\"0\"/>"
                   "<xs:element name=\"v\" type=\"xs:int\"/></xs:sequence></xs:complexType>",
                   "A")
          .status,
      0);
  ProgramRun cycle = import("B", "", {}, "cycle.xsd");
  ASSERT_EQ(cycle.status, 0) << cycle.output;
  EXPECT_EQ(unreachable(exportSet()), std::vector<std::string>{});
  removeRepository();

  // P holds an anonymous type and a recursive step; both roots use it.
  const std::string schema =
      "<xs:element name=\"A\"><xs:complexType><xs:sequence><xs:element name=\"p\" type=\"P\"/>"
      "</xs:sequence></xs:complexType></xs:element>"
      "<xs:element name=\"B\"><xs:complexType><xs:sequence><xs:element name=\"q\" type=\"P\"/>"
      "<xs:element name=\"n\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
      "<xs:complexType name=\"P\"><xs:sequence><xs:element name=\"inner\"><xs:complexType>"
      "<xs:sequence><xs:element name=\"x\" type=\"xs:string\"/></xs:sequence></xs:complexType>"
      "</xs:element><xs:element name=\"self\" type=\"P\" minOccurs=\"0\"/></xs:sequence>"
      "</xs:complexType>";
  ASSERT_EQ(importSchema("ab.xsd", schema, "A").status, 0);
  json first = exportSet();
  ProgramRun r = importSchema("ab.xsd", schema, "B");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  EXPECT_EQ(unreachable(s), std::vector<std::string>{});
  // B adds its own type and its two elements; all of P comes from A.
  EXPECT_EQ(s["types"].size(), first["types"].size() + 1);
  EXPECT_EQ(s["elements"].size(), first["elements"].size() + 2);
  EXPECT_EQ(total(r.output, "M_TYPE           -"), 1);
}

TEST_P(Import, FixedValueIsDefaultAndEnumeration) {
  ProgramRun r =
      importSchema("fixed.xsd",
                   "<xs:element name=\"F\"><xs:complexType><xs:sequence>"
                   "<xs:element name=\"version\" type=\"xs:string\" fixed=\"2.1\"/></xs:sequence>"
                   "<xs:attribute name=\"unit\" type=\"xs:string\" fixed=\"kg\"/></xs:complexType>"
                   "</xs:element>",
                   "F");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(linesWith(r.output, "Value already a member").size(), 0u) << r.output;
  json s = exportSet();
  for (const auto& [element, text] :
       {std::pair<std::string, std::string>{"F_ANON^version", "2.1"}, {"F^unit", "kg"}}) {
    const json* e = named(s["elements"], element);
    ASSERT_NE(e, nullptr) << element;
    std::set<std::pair<int, std::string>> roles;
    for (const json& v : (*e)["values"])
      roles.insert({v["role"].get<int>(), (*named(s["values"], v["value"]))["value"]});
    EXPECT_EQ(roles, (std::set<std::pair<int, std::string>>{{5, text}, {6, text}})) << element;
  }
}

TEST_P(Import, GeneratedLanguageNamesAreValid) {
  // Element names COBOL or C cannot hold as they are, besides names that
  // stay as they were.
  const char* names[] = {"a",
                         "a-",
                         "\xE4\xB8\x80"
                         "00",
                         "Gr\xC3\xB6\xC3\x9F"
                         "e",
                         "x.y!z",
                         "data",
                         "int",
                         "order_line.item"};
  std::string body = "<xs:element name=\"N\"><xs:complexType><xs:sequence>";
  for (const char* n : names)
    body += std::string("<xs:element name=\"") + n + "\" type=\"xs:string\"/>";
  body += "</xs:sequence></xs:complexType></xs:element>";
  ProgramRun r = importSchema("names.xsd", body, "N");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"a", {"A", "a"}},
      {"a-", {"A", "a_"}},
      {"\xE4\xB8\x80"
       "00",
       {"C00", "_00"}},
      {"Gr\xC3\xB6\xC3\x9F"
       "e",
       {"GR-E", "Gr__e"}},
      {"x.y!z", {"XPY-Z", "xPy_z"}},
      {"data", {"DATA-1", "data"}},
      {"int", {"INT", "int_1"}},
      {"order_line.item", {"ORDER-LINEPITEM", "order_linePitem"}}};
  for (const auto& [name, language] : expected) {
    const json* e = nullptr;
    for (const json& candidate : s["elements"])
      if (candidate["secondName"] == name) e = &candidate;
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(attribute(*e, "cobolName"), language.first) << name;
    EXPECT_EQ(attribute(*e, "cName"), language.second) << name;
  }
  // The XML names are the schema's own.
  std::set<std::string> xmlNames;
  for (const json& m : (*named(s["types"], "N_ANON"))["members"])
    xmlNames.insert(attribute(m, "memberXmlName"));
  EXPECT_EQ(xmlNames, std::set<std::string>(std::begin(names), std::end(names)));
}

TEST_P(Import, RefusedMessageSetsAreLeftAsTheyWere) {
  ASSERT_EQ(import("Order").status, 0);
  struct Case {
    const char* command;
    const char* undo;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"finalise", nullptr, -53, "KOVA9403E"},
      {"lock", "unlock", -52, "KOVA9402E"},
      {"in-use", "in-use", -51, "KOVA9401E"},
  };
  // Finalising cannot be undone: it goes last, on its own repository copy.
  for (const Case& c : {cases[1], cases[2], cases[0]}) {
    std::string arguments = std::string(c.command) + " " + shellWord(db_) + " S";
    if (std::string(c.command) == "in-use") arguments += " 2";
    ASSERT_EQ(tool(arguments).status, 0) << c.command;
    json before = exportSet();
    ProgramRun r = import("Invoice");
    EXPECT_EQ(r.status, exitStatus(c.status)) << c.command << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(exportSet(), before) << c.command;
    if (c.undo != nullptr) {
      std::string undo = std::string(c.undo) + " " + shellWord(db_) + " S";
      if (std::string(c.undo) == "in-use") undo += " 0";
      ASSERT_EQ(tool(undo).status, 0) << c.undo;
    }
  }
}

TEST_P(Import, FailingRunsCommitNothing) {
  ASSERT_EQ(import("Order").status, 0);
  json before = exportSet();
  // An identifier the repository refuses (a quote in an element suffix).
  ProgramRun refused = import("Invoice", "ELEMSUFFIX=_x'y\n");
  EXPECT_EQ(refused.status, exitStatus(-62)) << refused.output;
  EXPECT_NE(refused.output.find("KOVA9412E"), std::string::npos);
  EXPECT_EQ(exportSet(), before);

  // A message-set file that cannot be opened.
  ProgramRun noFile = import("Invoice", "", {"-o", dir_ + "/missing/dir/sets.txt"});
  EXPECT_EQ(noFile.status, exitStatus(-49)) << noFile.output;
  EXPECT_NE(noFile.output.find("KOVA9399E"), std::string::npos);
  EXPECT_EQ(exportSet(), before);

  // A report-only run writes everything, commits nothing and writes no file.
  std::string setsFile = dir_ + "/sets.txt";
  ProgramRun reportOnly = import("Invoice", "", {"-r", "-o", setsFile});
  EXPECT_EQ(reportOnly.status, exitStatus(-2)) << reportOnly.output;
  EXPECT_NE(reportOnly.output.find("KOVA9352I"), std::string::npos);
  EXPECT_GT(total(reportOnly.output, "M_ELEMENT        -"), 0);
  EXPECT_EQ(exportSet(), before);
  EXPECT_FALSE(std::filesystem::exists(setsFile));
}

TEST_P(Import, NewMessageSetOfAFailedRunIsNotKept) {
  ProgramRun r = import("Order", "", {"-r"});
  EXPECT_EQ(r.status, exitStatus(-2)) << r.output;
  EXPECT_TRUE(exportSet().is_null());  // the message set was never committed
}

TEST_P(Import, MessageSetFileGainsOneLinePerSuccessfulRun) {
  std::string setsFile = dir_ + "/sets.txt";
  ASSERT_EQ(import("Order", "MSGSETFILENAME=" + setsFile + "\n").status, 0);
  ASSERT_EQ(import("Invoice", "MSGSETFILENAME=" + setsFile + "\n").status, 0);
  ASSERT_NE(import("Invoice", "MSGSETFILENAME=" + setsFile + "\n").status, 0);  // duplicate
  std::string id = exportSet()["messageSet"]["identifier"];
  EXPECT_EQ(readFile(setsFile), "S=" + id + "\nS=" + id + "\n");
}

TEST_P(Import, ResetEmptiesTheMessageSetFirst) {
  ASSERT_EQ(import("Order").status, 0);
  ASSERT_EQ(import("Invoice").status, 0);
  ProgramRun r = import("Order", "RESETMSGSET=Y\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Reseting message set name S"), std::string::npos);
  EXPECT_EQ(total(r.output, "types reused from existing entries in MessageSet    -"), 0);
  json s = exportSet();
  EXPECT_NE(named(s["messages"], "Order"), nullptr);
  EXPECT_EQ(named(s["messages"], "Invoice"), nullptr);
  EXPECT_EQ(named(s["types"], "InvoiceType"), nullptr);
  EXPECT_NE(named(s["types"], "STRING"), nullptr);  // the simple types stay
}

TEST_P(Import, PrefixesAndSuffixesNameEveryDefinition) {
  const std::string affixes =
      "MSGPREFIX=M_\nMSGSUFFIX=_m\nELEMPREFIX=E_\nELEMSUFFIX=_e\nTYPEPREFIX=T_\n"
      "TYPESUFFIX=_t\nVALUEPREFIX=V_\nVALUESUFFIX=_v\n";
  ProgramRun r = import("Order", affixes + "PARSER=M\n");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  const json* message = named(s["messages"], "M_Order_m");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ((*message)["secondName"], "Order");
  EXPECT_EQ((*message)["type"], "T_OrderType_t");
  EXPECT_EQ(attribute(*message, "xmlName"), "Order");  // the root tag differs from the identifier
  const json* party = named(s["types"], "T_PartyType_t");
  ASSERT_NE(party, nullptr);
  EXPECT_EQ((*party)["secondName"], "PartyType");
  ASSERT_NE(named(s["elements"], "E_OrderType^Quantity_e"), nullptr);
  ASSERT_NE(named(s["elements"], "E_OrderType^order_id_e"), nullptr);
  // The value name carries the prefix and suffix from the mapping and again
  // from the value writer, around the type letter.
  ASSERT_NE(named(s["values"], "V_V_openS_v_v"), nullptr);

  // PARSER X: attributes are not named after their type.
  removeRepository();
  r = import("Order", affixes + "PARSER=X\n");
  ASSERT_EQ(r.status, 0) << r.output;
  s = exportSet();
  EXPECT_NE(named(s["elements"], "E_order_id_e"), nullptr);
  EXPECT_EQ(named(s["elements"], "E_OrderType^order_id_e"), nullptr);
}

TEST_P(Import, StringOnlyAndDateStringOnly) {
  ProgramRun r = import("Order", "STRINGONLY=Y\n");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  for (const json& e : s["elements"]) {
    const json* type = named(s["types"], e["type"]);
    ASSERT_NE(type, nullptr);
    if ((*type)["kind"] == 1) {
      EXPECT_EQ(e["type"], "STRING") << e["name"];
    }
    EXPECT_EQ(attribute(e, "dateFormat"), "<unset>") << e["name"];
    EXPECT_EQ(attribute(e, "binaryRender"), "<unset>") << e["name"];
  }
  for (const json& v : s["values"]) EXPECT_EQ(v["type"], "STRING") << v["name"];
  // The bound of a string is not moved.
  EXPECT_EQ(linesWith(r.output, "KOVA9374W").size(), 0u);

  removeRepository();
  r = import("Invoice", "DATESTRINGONLY=Y\n");
  ASSERT_EQ(r.status, 0) << r.output;
  s = exportSet();
  EXPECT_EQ((*named(s["elements"], "InvoiceType^Due"))["type"], "STRING");
  EXPECT_EQ((*named(s["elements"], "InvoiceType^Total"))["type"], "DECIMAL");
  EXPECT_EQ(attribute(*named(s["elements"], "InvoiceType^Due"), "dateFormat"), "<unset>");
}

TEST_P(Import, CustomLayersMarkTextMembers) {
  ASSERT_EQ(import("Invoice").status, 0);
  ASSERT_EQ(tool("add-layer " + shellWord(db_) + " S cwf CWF1").status, 0);
  ProgramRun r = import("Order");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  const json* order = named(s["types"], "OrderType");
  ASSERT_NE(order, nullptr);
  std::map<std::string, std::string> render;
  for (const json& m : (*order)["members"]) {
    std::string value = "<unset>";
    for (const json& a : m["attributes"])
      if (a["member"] == "CWF1" && a["keyName"] == "memberRender") value = a["value"];
    render[m["child"]] = value;
  }
  EXPECT_EQ(render["OrderType^Note"], "7");            // string
  EXPECT_EQ(render["OrderType^Quantity"], "<unset>");  // integer
  EXPECT_EQ(render["OrderType^IssueDate"], "<unset>");
}

TEST_P(Import, ExampleImportsAndShows) {
  std::string source = KOVA_SOURCE_DIR;
  ProgramRun r =
      runXsdimport({"-f", "examples/purchase-order/purchase-order.parms", "-n", db_}, source);
  ASSERT_EQ(r.status, 0) << r.output;
  ProgramRun show = tool("show " + shellWord(db_) + " PurchaseOrders purchaseOrder");
  ASSERT_EQ(show.status, 0) << show.output;
  EXPECT_EQ(show.output.rfind("message purchaseOrder type ", 0), 0u) << show.output;
  EXPECT_GT(linesWith(show.output, "element ").size(), 10u);
}

TEST_P(Import, PasswordsNeverShow) {
  // Given in the parameter file (twice, so that the repeat is reported), on
  // the command line and inside the repository URL; traced and shown.
  std::string db = db_;
  if (GetParam() == Store::kServer) {
    size_t q = db.find('?');
    db = db.substr(0, q) + "?password=UrlSecret7&" + db.substr(q + 1);
  }
  std::string parms = writeFile(dir_ + "/pw.parms", "TRACE=Y\nDB_PW=FileSecret7\nDB_PW = FileSecret8\n"
                                                    "QEL_DB=" + db + "\nMESSAGESET=S\n"
                                                    "ROOTELEMENT=Order\nSHOWSCHEMA=Y\n"
                                                    "[FILELIST]\norders.xsd\n");
  // A mistyped key is refused with its value, unless it looks like a password's.
  std::string typo = writeFile(dir_ + "/typo.parms", "TRACE=Y\nDB_PWD=FileSecret6\n"
                                                      "[FILELIST]\norders.xsd\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f", parms}, {"-f", parms, "-p", "CliSecret7"},
        {"-f", parms, "-p", std::string(70, 'S') + "CliSecret9"}, {"-f", typo}}) {
    ProgramRun r = runXsdimport(args, dir_);
    EXPECT_NE(r.output.find("DB_PW"), std::string::npos);  // the trace did run
    for (const char* secret : {"FileSecret", "CliSecret", "UrlSecret"})
      EXPECT_EQ(r.output.find(secret), std::string::npos) << secret << " in:\n" << r.output;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, Import, kBothStores, storeName);

TEST(ServerRepository, UnreachableServerGivesItsReasonWithoutThePassword) {
  std::string dir = makeTempDir();
  std::string parms = writeFile(dir + "/x.parms",
                                "QEL_DB=postgresql:///kova?host=" + dir + "&port=1&connect_timeout=2\n"
                                "DB_USER=someone\nDB_PW=NotShown5\nMESSAGESET=S\nROOTELEMENT=R\n"
                                "[FILELIST]\ns.xsd\n");
  writeFile(dir + "/s.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'/>");
  ProgramRun r = runXsdimport({"-f", parms}, dir);
  EXPECT_EQ(r.status, 208) << r.output;  // repository call failed: -48
  EXPECT_EQ(linesWith(r.output, "KOVA9398E").size(), 1u) << r.output;
  std::vector<std::string> reason = linesWith(r.output, "KOVA9465E");
  ASSERT_EQ(reason.size(), 1u) << r.output;
  EXPECT_NE(reason[0].find(dir), std::string::npos);             // the repository ...
  EXPECT_NE(reason[0].find("No such file"), std::string::npos);  // ... and the server's reason
  EXPECT_EQ(r.output.find("NotShown5"), std::string::npos) << r.output;
}

}  // namespace

// ---- real schemas ---------------------------------------------------------------

namespace {

struct CorpusCase {
  const char* file;  ///< under the corpus directory
  const char* root;
};

[[maybe_unused]] void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file << " root " << c.root; }

class Corpus : public KovaTest,
               public ::testing::WithParamInterface<std::tuple<CorpusCase, Store>> {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    KOVA_SKIP_WITHOUT_STORE(store());
  }
  void TearDown() override {
    dropServerTestSchema(schema_);
    KovaTest::TearDown();
  }
  const CorpusCase& param() const { return std::get<0>(GetParam()); }
  Store store() const { return std::get<1>(GetParam()); }
  std::string schema_;
};

TEST_P(Corpus, DocumentImportsIntoAFreshRepository) {
  namespace fs = std::filesystem;
  fs::path corpus = fs::path(corpusDir());
  const CorpusCase& c = param();
  fs::path main = corpus / c.file;
  std::string dir = makeTempDir();
  std::string db =
      store() == Store::kFile ? dir + "/repository.kovadb" : serverTestRepository(&schema_);
  std::string parms = corpusParameterFile(dir, c.file, c.root, db, "CORPUS");
  ProgramRun r = runXsdimport({"-f", parms}, main.parent_path().string());
  ASSERT_EQ(r.status, 0) << r.output.substr(r.output.size() > 4000 ? r.output.size() - 4000 : 0);
  EXPECT_NE(r.output.find("KOVA9350I"), std::string::npos);
  // The message and its type are in the repository, as the flat export shows.
  ProgramRun exported =
      runCommand(shellWord(KOVA_REPO_TOOL) + " export " + shellWord(db) + " CORPUS 2>/dev/null");
  ASSERT_EQ(exported.status, 0);
  json s = json::parse(exported.output, nullptr, false);
  ASSERT_TRUE(s.is_object());
  ASSERT_EQ(s["messages"].size(), 1u);
  EXPECT_EQ(s["messages"][0]["name"], c.root);
  int complexTypes = 0;
  for (const json& t : s["types"]) complexTypes += t["kind"] == 3 ? 1 : 0;
  std::vector<std::string> totals = linesWith(r.output, "M_TYPE           -");
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(std::to_string(complexTypes), totals[0].substr(totals[0].rfind(' ') + 1));
}

/// Imports corpus document `file` with root `root` into message set `set` of
/// repository `db`; `extra` holds further header lines.
ProgramRun importCorpus(const std::string& dir, const std::string& file, const std::string& root,
                        const std::string& db, const std::string& set,
                        const std::string& extra = "") {
  std::string parms = corpusParameterFile(dir, file, root, db, set);
  writeFile(parms, extra + readFile(parms));
  return runXsdimport({"-f", parms},
                      (std::filesystem::path(corpusDir()) / file).parent_path().string());
}

json exportCorpusSet(const std::string& db, const std::string& set) {
  ProgramRun r = runCommand(shellWord(KOVA_REPO_TOOL) + " export " + shellWord(db) + " " +
                            shellWord(set) + " 2>/dev/null");
  return r.status == 0 ? json::parse(r.output, nullptr, false) : json();
}

/// The structure of message `message` of an export, without the names the
/// writer makes up: each type as its composition, content, base and members
/// (occurrences, and each element's name, type and values), each type stood
/// for by a hash of that text.
size_t messageStructure(const json& s, const std::string& message) {
  std::map<std::string, const json*> types, elements, values;
  for (const json& t : s["types"]) types[t["name"]] = &t;
  for (const json& e : s["elements"]) elements[e["name"]] = &e;
  for (const json& v : s["values"]) values[v["name"]] = &v;
  std::map<std::string, size_t> done;
  std::function<size_t(const std::string&)> typeHash = [&](const std::string& name) -> size_t {
    auto known = done.find(name);
    if (known != done.end()) return known->second;
    const json& t = *types.at(name);
    if (t["kind"] == 1) return done[name] = std::hash<std::string>()(name);
    std::string text = t["composition"].dump() + t["content"].dump() + t["baseType"].dump();
    for (const json& m : t["members"]) {
      text += "|" + m["repeat"].dump() + m["minOccurs"].dump() + m["maxOccurs"].dump();
      std::string child = m["child"];
      if (m["class"] != "element") {
        text += "t" + std::to_string(typeHash(child));
        continue;
      }
      const json& e = *elements.at(child);
      text += "e" + e["secondName"].get<std::string>() + std::to_string(typeHash(e["type"]));
      std::set<std::string> uses;
      for (const json& v : e["values"])
        uses.insert(v["role"].dump() + "=" + (*values.at(v["value"]))["value"].get<std::string>());
      for (const std::string& u : uses) text += "v" + u;
    }
    return done[name] = std::hash<std::string>()(text);
  };
  for (const json& m : s["messages"])
    if (m["name"] == message) return typeHash(m["type"]);
  return 0;
}

// Documents of one vocabulary share a message set: what they have in common
// is written once, and everything an import adds is part of its message.
/// The element names message `message` of an export reaches.
std::set<std::string> reachableNames(const json& s, const std::string& message) {
  std::map<std::string, const json*> types, elements;
  for (const json& t : s["types"]) types[t["name"]] = &t;
  for (const json& e : s["elements"]) elements[e["name"]] = &e;
  std::set<std::string> names, seen;
  std::vector<std::string> pending;
  for (const json& m : s["messages"])
    if (m["name"] == message) pending.push_back(m["type"]);
  while (!pending.empty()) {
    std::string t = pending.back();
    pending.pop_back();
    if (!seen.insert(t).second) continue;
    for (const json& m : (*types.at(t))["members"]) {
      if (m["class"] != "element") {
        pending.push_back(m["child"]);
        continue;
      }
      const json& e = *elements.at(m["child"]);
      names.insert(e["secondName"].get<std::string>());
      pending.push_back(e["type"]);
    }
  }
  return names;
}

// Every main document of UBL in one set: the invoice and credit note that
// share the most first, and a despatch advice whose recursions an invoice
// cuts elsewhere, then the rest in name order.
TEST(CorpusSets, UblDocumentsShareOneSetWithoutUnreferencedDefinitions) {
  std::string dir = makeTempDir(), db = dir + "/repository.kovadb";
  std::vector<std::string> roots;
  for (const auto& f : std::filesystem::directory_iterator(corpusDir() + "/ubl-2.5/maindoc")) {
    std::string name = f.path().filename().string();  // UBL-Root-2.5.xsd
    if (name.rfind("UBL-", 0) == 0) roots.push_back(name.substr(4, name.size() - 12));
  }
  std::sort(roots.begin(), roots.end());
  std::vector<std::string> sample = {"Invoice", "CreditNote", "DespatchAdvice"};
  for (const std::string& root : roots)
    if (std::find(sample.begin(), sample.end(), root) == sample.end()) sample.push_back(root);
  for (const std::string& root : sample) {
    ProgramRun r = importCorpus(dir, "ubl-2.5/maindoc/UBL-" + root + "-2.5.xsd", root, db, "UBL");
    ASSERT_EQ(r.status, 0) << root
                           << r.output.substr(r.output.size() > 3000 ? r.output.size() - 3000 : 0);
  }
  json s = exportCorpusSet(db, "UBL");
  ASSERT_TRUE(s.is_object());
  EXPECT_EQ(s["messages"].size(), sample.size());
  std::vector<std::string> orphans = unreachable(s);
  EXPECT_EQ(orphans.size(), 0u) << (orphans.empty() ? "" : orphans.front());
  // Sharing loses nothing: the despatch advice reaches every name it
  // reaches alone.
  std::string alone = makeTempDir();
  ASSERT_EQ(importCorpus(alone, "ubl-2.5/maindoc/UBL-DespatchAdvice-2.5.xsd", "DespatchAdvice",
                         alone + "/repository.kovadb", "UBL")
                .status,
            0);
  std::set<std::string> own =
      reachableNames(exportCorpusSet(alone + "/repository.kovadb", "UBL"), "DespatchAdvice");
  std::set<std::string> shared = reachableNames(s, "DespatchAdvice");
  std::vector<std::string> lost;
  std::set_difference(own.begin(), own.end(), shared.begin(), shared.end(),
                      std::back_inserter(lost));
  EXPECT_GT(own.size(), 1000u);
  EXPECT_EQ(lost, std::vector<std::string>{});
}

// Every ISO 20022 message has root Document: with a suffix each is a message
// of its own, with the structure its own schema gives it.
TEST(CorpusSets, IsoMessagesWithOneRootKeepTheirOwnStructure) {
  std::string shared = makeTempDir();
  const std::pair<const char*, const char*> messages[] = {{"camt.052.001.08.xsd", "_camt052"},
                                                          {"camt.053.001.08.xsd", "_camt053"},
                                                          {"camt.054.001.08.xsd", "_camt054"}};
  for (const auto& [file, suffix] : messages) {
    std::string path = std::string("iso20022/banktocustomer_cash_management_8/") + file;
    ProgramRun r = importCorpus(shared, path, "Document", shared + "/repository.kovadb", "ISO",
                                std::string("MSGSUFFIX=") + suffix + "\n");
    ASSERT_EQ(r.status, 0) << file
                           << r.output.substr(r.output.size() > 3000 ? r.output.size() - 3000 : 0);
    EXPECT_EQ(linesWith(r.output, std::string("KOVA9350I Message Document") + suffix + " ").size(),
              1u)
        << r.output.substr(r.output.size() > 500 ? r.output.size() - 500 : 0);
    // The same message alone in a message set of its own.
    std::string alone = makeTempDir();
    ASSERT_EQ(importCorpus(alone, path, "Document", alone + "/repository.kovadb", "ISO",
                           std::string("MSGSUFFIX=") + suffix + "\n")
                  .status,
              0);
    size_t own = messageStructure(exportCorpusSet(alone + "/repository.kovadb", "ISO"),
                                  std::string("Document") + suffix);
    ASSERT_NE(own, 0u);
    EXPECT_EQ(messageStructure(exportCorpusSet(shared + "/repository.kovadb", "ISO"),
                               std::string("Document") + suffix),
              own)
        << file;
  }
  json s = exportCorpusSet(shared + "/repository.kovadb", "ISO");
  EXPECT_EQ(s["messages"].size(), 3u);
  EXPECT_EQ(unreachable(s), std::vector<std::string>{});
}

/// Every UBL main document (root: the document's name) and every ISO 20022
/// message (root Document) of the corpus, read off its folders.
std::vector<CorpusCase> everyCorpusDocument() {
  namespace fs = std::filesystem;
  static std::vector<std::string> files;  // CorpusCase holds pointers into these
  static std::vector<std::string> roots;
  std::vector<std::pair<std::string, std::string>> found;
  fs::path corpus = fs::path(corpusDir());
  for (const fs::directory_entry& e : fs::directory_iterator(corpus / "ubl-2.5" / "maindoc")) {
    std::string name = e.path().filename().string();  // UBL-<Root>-2.5.xsd
    if (name.rfind("UBL-", 0) != 0 || e.path().extension() != ".xsd") continue;
    found.emplace_back("ubl-2.5/maindoc/" + name,
                       name.substr(4, name.size() - 4 - std::strlen("-2.5.xsd")));
  }
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(corpus / "iso20022")) {
    if (e.path().extension() != ".xsd") continue;
    found.emplace_back(fs::relative(e.path(), corpus).string(), "Document");
  }
  std::sort(found.begin(), found.end());
  files.reserve(found.size());
  roots.reserve(found.size());
  std::vector<CorpusCase> cases;
  for (const auto& [file, root] : found) {
    files.push_back(file);
    roots.push_back(root);
    cases.push_back(CorpusCase{files.back().c_str(), roots.back().c_str()});
  }
  return cases;
}

// Without a single [NAMESPACEPREFIX] line or DEFNAMESPACE: the program finds
// every prefix itself.
INSTANTIATE_TEST_SUITE_P(
    Every, Corpus, ::testing::Combine(::testing::ValuesIn(everyCorpusDocument()), kBothStores),
    [](const ::testing::TestParamInfo<std::tuple<CorpusCase, Store>>& info) {
      std::string name = std::get<0>(info.param).file;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name + (std::get<1>(info.param) == Store::kFile ? "_File" : "_Server");
    });

}  // namespace

/// The XML names under a message, by a walk of the exported set.
std::set<std::string> messageNames(const json& set) {
  std::map<std::string, const json*> types, elements;
  for (const json& t : set["types"]) types[t["name"]] = &t;
  for (const json& e : set["elements"]) elements[e["name"]] = &e;
  std::set<std::string> names, seen;
  std::vector<std::string> todo{set["messages"][0]["type"]};
  while (!todo.empty()) {
    std::string type = todo.back();
    todo.pop_back();
    if (!types.count(type) || !seen.insert(type).second) continue;
    for (const json& m : (*types[type])["members"]) {
      if (m["class"] == "type") {
        todo.push_back(m["child"]);
        continue;
      }
      const json& e = *elements[m["child"]];
      names.insert(e["secondName"].get<std::string>());
      if (e["type"].is_string()) todo.push_back(e["type"]);
    }
  }
  return names;
}

TEST_P(Import, RecursiveSchemasKeepEveryNameAndNoContainmentCycle) {
  // A shared group cut by a cycle through it, and a group that holds itself
  // (the repository refuses a definition that contains itself).
  struct Case {
    std::string file, root;
    std::set<std::string> names;
  };
  const Case cases[] = {
      {"model/recursive-group.xsd", "r", {"field", "loop", "counter"}},
      // a group reaching itself through an element; back (of type R inside
      // R) is only ever a recursive step
      {"repository/self-group.xsd", "r", {"top", "leaf", "again"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string name = std::filesystem::path(c.file).filename();
    std::filesystem::copy_file(std::string(KOVA_SOURCE_DIR) + "/tests/data/" + c.file,
                               dir_ + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
    std::string parms = writeFile(dir_ + "/cycle.parms", "QEL_DB=" + db_ + "\nMESSAGESET=" + name +
                                                             "\nROOTELEMENT=" + c.root +
                                                             "\n[FILELIST]\n" + name + "\n");
    ProgramRun r = runXsdimport({"-f", parms}, dir_);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(linesWith(r.output, "KOVA9398E").empty()) << r.output;
    json s = exportSet(name);
    ASSERT_TRUE(s.is_object());
    EXPECT_EQ(messageNames(s), c.names);
  }
}
