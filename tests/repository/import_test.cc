// Whole imports into temporary repositories: the built xsdimport runs on a
// parameter file, and the repository is read back with kova-repo export.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "import_fixture.h"

namespace {

/// Each test imports into a new repository on either store, with
/// orders.xsd (an order and an invoice sharing PartyType) in its folder.
class Import : public ImportTest, public ::testing::WithParamInterface<Store> {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    KOVA_SKIP_WITHOUT_STORE(GetParam());
    newRepository(GetParam());
    std::filesystem::copy_file(sourceDir() + "/tests/data/repository/orders.xsd",
                               dir_ + "/orders.xsd");
  }

  /// Imports root `root` of `file` into message set S; `extra` holds further
  /// header lines of the parameter file, `args` further options.
  ProgramRun import(const std::string& root, const std::string& extra = "",
                    std::vector<std::string> args = {}, const std::string& file = "orders.xsd") {
    args.insert(args.begin(), {"-f", parms(root, file, extra)});
    return runXsdimport(args, dir_);
  }

  /// Imports root `root` of a schema of `body`, written as `file`.
  ProgramRun importSchema(const std::string& file, const std::string& body,
                          const std::string& root) {
    writeFile(dir_ + "/" + file, schemaOf(body));
    return import(root, "", {}, file);
  }
};

TEST_P(Import, OrderIsWrittenAndItsTotalsMatchTheRepository) {
  ProgramRun r = import("Order");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("KOVA9350I"), std::string::npos);
  json s = exportSet();
  ASSERT_TRUE(s.is_object());
  json message = named(s["messages"], "Order");
  EXPECT_EQ(message["type"], "OrderType");

  int complexTypes = 0, typeMembers = 0, valueMembers = 0;
  for (const json& t : s["types"]) {
    complexTypes += t["kind"] == 3;
    typeMembers += static_cast<int>(t["members"].size());
  }
  for (const json& e : s["elements"]) valueMembers += static_cast<int>(e["values"].size());
  EXPECT_NE(r.output.find("items added to tables in repository database " + db_),
            std::string::npos);
  const std::pair<const char*, int> totals[] = {
      {"M_MESSAGE", 1},
      {"M_ELEMENT", static_cast<int>(s["elements"].size())},
      {"M_TYPE", complexTypes},
      {"M_VALUE", static_cast<int>(s["values"].size())},
      {"TYPE_MEMBER", typeMembers},
      {"VALUE_MEMBER", valueMembers},
      {"elements reused from existing entries in MessageSet", 0},
      {"duplicate values reused in MessageSet", 0}};
  for (const auto& [label, count] : totals) EXPECT_EQ(total(r.output, label), count) << label;
  EXPECT_GT(total(r.output, "M_ATTRIBUTE"), 0);
  EXPECT_GT(total(r.output, "MEMBER_ATTRIBUTE"), 0);
}

TEST_P(Import, OnlyTheSameDefinitionIsReused) {
  ASSERT_EQ(import("Order").status, 0);
  json before = exportSet();
  const std::string party =
      "<xs:sequence><xs:element name='Name' type='xs:string'/></xs:sequence>"
      "<xs:attribute name='role' type='xs:string' default='buyer'/>";
  // A bill whose PartyType is `partyType`.
  auto bill = [](const std::string& partyType) {
    return anonElement("Bill", "<xs:element name='Payer' type='PartyType'/>") +
           "<xs:complexType name='PartyType'>" + partyType + "</xs:complexType>";
  };
  // Another schema whose PartyType differs from the one the set holds.
  const char* const cases[][3] = {
      {"type='xs:string'/>", "type='xs:string' maxOccurs='2'/>",
       "member 2: occurrences -..2 where the message set has -..-"},
      {"default='buyer'", "default='seller'",
       "values \"seller\" role 6 where the message set has \"buyer\" role 6"},
      {"name='Name' type='xs:string'", "name='Name' type='xs:int'",
       "type INTEGER where the message set has STRING"},
  };
  for (const auto& [from, to, difference] : cases) {
    SCOPED_TRACE(to);
    std::string changed = party;
    changed.replace(changed.find(from), std::strlen(from), to);
    ProgramRun r = importSchema("other.xsd", bill(changed), "Bill");
    EXPECT_EQ(r.status, exitStatus(9350 - 9440)) << r.output;
    std::vector<std::string> refused = linesWith(r.output, "KOVA9440E Type PartyType is already");
    ASSERT_EQ(refused.size(), 1u) << r.output;
    EXPECT_NE(refused[0].find(difference), std::string::npos) << refused[0];
    EXPECT_NE(refused[0].find("TYPEPREFIX"), std::string::npos);
    EXPECT_EQ(exportSet(), before);
  }
  // The same PartyType is taken as it is.
  ProgramRun same = importSchema("same.xsd", bill(party), "Bill");
  ASSERT_EQ(same.status, 0) << same.output;
  EXPECT_EQ(total(same.output, "types reused from existing entries in MessageSet"), 2);
  EXPECT_EQ(total(same.output, "elements reused from existing entries in MessageSet"), 2);
}

TEST_P(Import, SecondRootLeavesNoUnreferencedDefinitions) {
  // P holds an anonymous type and a recursive step; both roots use it.
  const std::string schema =
      anonElement("A", "<xs:element name='p' type='P'/>") +
      anonElement("B", "<xs:element name='q' type='P'/><xs:element name='n' type='xs:int'/>") +
      "<xs:complexType name='P'><xs:sequence>" +
      anonElement("inner", "<xs:element name='x' type='xs:string'/>") +
      "<xs:element name='self' type='P' minOccurs='0'/></xs:sequence></xs:complexType>";
  ASSERT_EQ(importSchema("ab.xsd", schema, "A").status, 0);
  json first = exportSet();
  ProgramRun r = importSchema("ab.xsd", schema, "B");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  EXPECT_EQ(unreachable(s), std::vector<std::string>{});
  // B adds its own type and its two elements; all of P comes from A.
  EXPECT_EQ(s["types"].size(), first["types"].size() + 1);
  EXPECT_EQ(s["elements"].size(), first["elements"].size() + 2);
  EXPECT_EQ(total(r.output, "M_TYPE"), 1);
}

TEST_P(Import, FixedValueIsDefaultAndEnumeration) {
  ProgramRun r = importSchema(
      "fixed.xsd",
      "<xs:element name='F'><xs:complexType><xs:sequence>"
      "<xs:element name='version' type='xs:string' fixed='2.1'/></xs:sequence>"
      "<xs:attribute name='unit' type='xs:string' fixed='kg'/></xs:complexType></xs:element>",
      "F");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(linesWith(r.output, "Value already a member").size(), 0u) << r.output;
  json s = exportSet();
  EXPECT_EQ(valuesOf(s, "F_ANON^version"), (Uses{{5, "2.1"}, {6, "2.1"}}));
  EXPECT_EQ(valuesOf(s, "F^unit"), (Uses{{5, "kg"}, {6, "kg"}}));
}

TEST_P(Import, FailingRunsCommitNothing) {
  // A report-only run into a new message set: the set is never committed.
  expectRun(import("Order", "", {"-r"}), exitStatus(-2), "KOVA9352I");
  EXPECT_TRUE(exportSet().is_null());

  ASSERT_EQ(import("Order").status, 0);
  json before = exportSet();
  // An identifier the repository refuses (a quote in an element suffix).
  expectRun(import("Invoice", "ELEMSUFFIX=_x'y\n"), exitStatus(-62), "KOVA9412E");
  EXPECT_EQ(exportSet(), before);

  // A message-set file that cannot be opened.
  expectRun(import("Invoice", "", {"-o", dir_ + "/missing/dir/sets.txt"}), exitStatus(-49),
            "KOVA9399E");
  EXPECT_EQ(exportSet(), before);

  // A report-only run writes everything, commits nothing and writes no file.
  std::string setsFile = dir_ + "/sets.txt";
  ProgramRun reportOnly = import("Invoice", "", {"-r", "-o", setsFile});
  expectRun(reportOnly, exitStatus(-2), "KOVA9352I");
  EXPECT_GT(total(reportOnly.output, "M_ELEMENT"), 0);
  EXPECT_EQ(exportSet(), before);
  EXPECT_FALSE(std::filesystem::exists(setsFile));
}

TEST_P(Import, MessageSetFileGainsOneLinePerSuccessfulRun) {
  std::string sets = "MSGSETFILENAME=" + dir_ + "/sets.txt\n";
  ASSERT_EQ(import("Order", sets).status, 0);
  ASSERT_EQ(import("Invoice", sets).status, 0);
  ASSERT_NE(import("Invoice", sets).status, 0);  // duplicate
  std::string id = exportSet()["messageSet"]["identifier"];
  EXPECT_EQ(readFile(dir_ + "/sets.txt"), "S=" + id + "\nS=" + id + "\n");
}

TEST_P(Import, PrefixesAndSuffixesNameEveryDefinition) {
  const std::string affixes =
      "MSGPREFIX=M_\nMSGSUFFIX=_m\nELEMPREFIX=E_\nELEMSUFFIX=_e\nTYPEPREFIX=T_\n"
      "TYPESUFFIX=_t\nVALUEPREFIX=V_\nVALUESUFFIX=_v\n";
  ProgramRun r = import("Order", affixes + "PARSER=M\n");
  ASSERT_EQ(r.status, 0) << r.output;
  json s = exportSet();
  json message = named(s["messages"], "M_Order_m");
  EXPECT_EQ(message["secondName"], "Order");
  EXPECT_EQ(message["type"], "T_OrderType_t");
  EXPECT_EQ(attribute(message, "xmlName"), "Order");  // the root tag differs from the identifier
  EXPECT_EQ(named(s["types"], "T_PartyType_t")["secondName"], "PartyType");
  EXPECT_TRUE(named(s["elements"], "E_OrderType^Quantity_e").is_object());
  EXPECT_TRUE(named(s["elements"], "E_OrderType^order_id_e").is_object());
  // The value name carries the prefix and suffix from the mapping and again
  // from the value writer, around the type letter.
  EXPECT_TRUE(named(s["values"], "V_V_openS_v_v").is_object());

  // PARSER X: attributes are not named after their type.
  removeRepository();
  r = import("Order", affixes + "PARSER=X\n");
  ASSERT_EQ(r.status, 0) << r.output;
  s = exportSet();
  EXPECT_TRUE(named(s["elements"], "E_order_id_e").is_object());
  EXPECT_TRUE(named(s["elements"], "E_OrderType^order_id_e").is_null());
}

TEST_P(Import, PasswordsNeverShow) {
  // Given in the parameter file (twice, so that the repeat is reported), on
  // the command line and inside the repository URL; traced and shown.
  std::string db = db_;
  if (GetParam() == Store::kServer) {
    size_t q = db.find('?');
    db = db.substr(0, q) + "?password=UrlSecret7&" + db.substr(q + 1);
  }
  std::string parms =
      writeFile(dir_ + "/pw.parms", parmsText(db, "S", "Order", "orders.xsd",
                                              "TRACE=Y\nDB_PW=FileSecret7\nDB_PW = FileSecret8\n"
                                              "SHOWSCHEMA=Y\n"));
  // A mistyped key is refused with its value, unless it looks like a password's.
  std::string typo =
      writeFile(dir_ + "/typo.parms", "TRACE=Y\nDB_PWD=FileSecret6\n[FILELIST]\norders.xsd\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f", parms},
        {"-f", parms, "-p", "CliSecret7"},
        {"-f", parms, "-p", std::string(70, 'S') + "CliSecret9"},
        {"-f", typo}}) {
    ProgramRun r = runXsdimport(args, dir_);
    EXPECT_NE(r.output.find("DB_PW"), std::string::npos);  // the trace did run
    for (const char* secret : {"FileSecret", "CliSecret", "UrlSecret"})
      EXPECT_EQ(r.output.find(secret), std::string::npos) << secret << " in:\n" << r.output;
  }
}

TEST_P(Import, SelfHoldingGroupKeepsEveryNameAndNoContainmentCycle) {
  // A group reaching itself through an element (the repository refuses a
  // definition that contains itself); back (of type R inside R) is only ever
  // a recursive step.  (A shared group cut by a cycle through it is the
  // loop-group case of the differential corpus test.)
  std::filesystem::copy_file(sourceDir() + "/tests/data/repository/self-group.xsd",
                             dir_ + "/cycle.xsd");
  ProgramRun r = import("r", "", {}, "cycle.xsd");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(linesWith(r.output, "KOVA9398E").empty()) << r.output;
  json s = exportSet();
  ASSERT_TRUE(s.is_object());
  EXPECT_EQ(reachableNames(s, "r"), (std::set<std::string>{"top", "leaf", "again"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, Import, kBothStores, storeName);

TEST(ServerRepository, UnreachableServerGivesItsReasonWithoutThePassword) {
  std::string dir = makeTempDir();
  std::string parms = writeFile(
      dir + "/x.parms", parmsText("postgresql:///kova?host=" + dir + "&port=1&connect_timeout=2",
                                  "S", "R", "s.xsd", "DB_USER=someone\nDB_PW=NotShown5\n"));
  writeFile(dir + "/s.xsd", schemaOf(""));
  ProgramRun r = runXsdimport({"-f", parms}, dir);
  EXPECT_EQ(r.status, 208) << r.output;  // repository call failed: -48
  EXPECT_EQ(linesWith(r.output, "KOVA9398E").size(), 1u) << r.output;
  std::vector<std::string> reason = linesWith(r.output, "KOVA9465E");
  ASSERT_EQ(reason.size(), 1u) << r.output;
  EXPECT_NE(reason[0].find(dir), std::string::npos);             // the repository ...
  EXPECT_NE(reason[0].find("No such file"), std::string::npos);  // ... and the server's reason
  EXPECT_EQ(r.output.find("NotShown5"), std::string::npos) << r.output;
}

// ---- real schemas ---------------------------------------------------------------

/// Imports corpus document `file` with root `root` into message set `set` of
/// repository `db`, the parameter file in `dir`; `extra` holds further
/// header lines.
ProgramRun importCorpus(const std::string& dir, const std::string& file, const std::string& root,
                        const std::string& db, const std::string& set,
                        const std::string& extra = "") {
  std::string parms = corpusParameterFile(dir, file, root, db, set);
  writeFile(parms, extra + readFile(parms));
  return runXsdimport({"-f", parms},
                      (std::filesystem::path(corpusDir()) / file).parent_path().string());
}

/// The roots of the UBL main documents (UBL-<Root>-2.5.xsd), in name order.
std::vector<std::string> ublRoots() {
  std::vector<std::string> roots;
  for (const auto& f : std::filesystem::directory_iterator(corpusDir() + "/ubl-2.5/maindoc")) {
    std::string name = f.path().filename().string();
    if (name.rfind("UBL-", 0) == 0 && f.path().extension() == ".xsd")
      roots.push_back(name.substr(4, name.size() - 4 - std::strlen("-2.5.xsd")));
  }
  std::sort(roots.begin(), roots.end());
  return roots;
}

struct CorpusCase {
  std::string file;  ///< under the corpus directory
  std::string root;
};

[[maybe_unused]] void PrintTo(const CorpusCase& c, std::ostream* os) {
  *os << c.file << " root " << c.root;
}

/// Every UBL main document (root: the document's name) and every ISO 20022
/// message (root Document) of the corpus, read off its folders.
std::vector<CorpusCase> everyCorpusDocument() {
  namespace fs = std::filesystem;
  std::vector<CorpusCase> cases;
  for (const std::string& root : ublRoots())
    cases.push_back({"ubl-2.5/maindoc/UBL-" + root + "-2.5.xsd", root});
  fs::path corpus = fs::path(corpusDir());
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(corpus / "iso20022"))
    if (e.path().extension() == ".xsd")
      cases.push_back({fs::relative(e.path(), corpus).string(), "Document"});
  std::sort(cases.begin(), cases.end(),
            [](const CorpusCase& a, const CorpusCase& b) { return a.file < b.file; });
  return cases;
}

class Corpus : public ImportTest,
               public ::testing::WithParamInterface<std::tuple<CorpusCase, Store>> {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    KOVA_SKIP_WITHOUT_STORE(std::get<1>(GetParam()));
    newRepository(std::get<1>(GetParam()));
  }
};

// Without a single [NAMESPACEPREFIX] line or DEFNAMESPACE: the program finds
// every prefix itself.
TEST_P(Corpus, DocumentImportsIntoAFreshRepository) {
  const CorpusCase& c = std::get<0>(GetParam());
  ProgramRun r = importCorpus(dir_, c.file, c.root, db_, "CORPUS");
  ASSERT_EQ(r.status, 0) << tail(r.output, 4000);
  EXPECT_NE(r.output.find("KOVA9350I"), std::string::npos);
  // The message and its type are in the repository, as the flat export shows.
  json s = exportSet("CORPUS");
  ASSERT_TRUE(s.is_object());
  ASSERT_EQ(s["messages"].size(), 1u);
  EXPECT_EQ(s["messages"][0]["name"], c.root);
  int complexTypes = 0;
  for (const json& t : s["types"]) complexTypes += t["kind"] == 3;
  EXPECT_EQ(linesWith(r.output, "M_TYPE           -").size(), 1u);
  EXPECT_EQ(total(r.output, "M_TYPE"), complexTypes);
}

INSTANTIATE_TEST_SUITE_P(
    Every, Corpus, ::testing::Combine(::testing::ValuesIn(everyCorpusDocument()), kBothStores),
    [](const ::testing::TestParamInfo<std::tuple<CorpusCase, Store>>& info) {
      std::string name = std::get<0>(info.param).file;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name + (std::get<1>(info.param) == Store::kFile ? "_File" : "_Server");
    });

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
// Every main document of UBL in one set: the invoice and credit note that
// share the most first, and a despatch advice whose recursions an invoice
// cuts elsewhere, then the rest in name order.
TEST(CorpusSets, UblDocumentsShareOneSetWithoutUnreferencedDefinitions) {
  std::string dir = makeTempDir(), db = dir + "/repository.kovadb";
  std::vector<std::string> order = {"Invoice", "CreditNote", "DespatchAdvice"};
  for (const std::string& root : ublRoots())
    if (std::find(order.begin(), order.end(), root) == order.end()) order.push_back(root);
  for (const std::string& root : order) {
    ProgramRun r = importCorpus(dir, "ubl-2.5/maindoc/UBL-" + root + "-2.5.xsd", root, db, "UBL");
    ASSERT_EQ(r.status, 0) << root << tail(r.output);
  }
  json s = exportSet(db, "UBL");
  ASSERT_TRUE(s.is_object());
  EXPECT_EQ(s["messages"].size(), order.size());
  std::vector<std::string> orphans = unreachable(s);
  EXPECT_EQ(orphans.size(), 0u) << (orphans.empty() ? "" : orphans.front());
  // Sharing loses nothing: the despatch advice reaches every name it
  // reaches alone.
  std::string alone = makeTempDir(), aloneDb = alone + "/repository.kovadb";
  ASSERT_EQ(importCorpus(alone, "ubl-2.5/maindoc/UBL-DespatchAdvice-2.5.xsd", "DespatchAdvice",
                         aloneDb, "UBL")
                .status,
            0);
  std::set<std::string> own = reachableNames(exportSet(aloneDb, "UBL"), "DespatchAdvice");
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
  std::string shared = makeTempDir(), sharedDb = shared + "/repository.kovadb";
  for (const char* code : {"052", "053", "054"}) {
    std::string file =
        "iso20022/banktocustomer_cash_management_8/camt." + std::string(code) + ".001.08.xsd";
    std::string suffix = "MSGSUFFIX=_camt" + std::string(code) + "\n";
    std::string message = "Document_camt" + std::string(code);
    ProgramRun r = importCorpus(shared, file, "Document", sharedDb, "ISO", suffix);
    ASSERT_EQ(r.status, 0) << file << tail(r.output);
    EXPECT_EQ(linesWith(r.output, "KOVA9350I Message " + message + " ").size(), 1u)
        << tail(r.output, 500);
    // The same message alone in a message set of its own.
    std::string alone = makeTempDir();
    ASSERT_EQ(
        importCorpus(alone, file, "Document", alone + "/repository.kovadb", "ISO", suffix).status,
        0);
    size_t own = messageStructure(exportSet(alone + "/repository.kovadb", "ISO"), message);
    ASSERT_NE(own, 0u);
    EXPECT_EQ(messageStructure(exportSet(sharedDb, "ISO"), message), own) << file;
  }
  json s = exportSet(sharedDb, "ISO");
  EXPECT_EQ(s["messages"].size(), 3u);
  EXPECT_EQ(unreachable(s), std::vector<std::string>{});
}

}  // namespace
