// kova-repo show over whole imports of real schemas: every complex type
// reachable from the message is expanded exactly once, with all its members,
// and every later use of it refers back.
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct ShowCase {
  const char* file;  ///< under the corpus directory
  const char* root;
};

void PrintTo(const ShowCase& c, std::ostream* os) { *os << c.file << " root " << c.root; }

class CorpusKovaRepoShow : public KovaTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(CorpusKovaRepoShow, PrintsEachReachableTypeOnceWithAllItsMembers) {
  fs::path corpus = fs::path(corpusDir());
  fs::path main = corpus / GetParam().file;
  std::string dir = makeTempDir(), db = dir + "/repository.kovadb";
  std::string parms = corpusParameterFile(dir, GetParam().file, GetParam().root, db, "SHOW");
  ProgramRun imported = runXsdimport({"-f", parms}, main.parent_path().string());
  ASSERT_EQ(imported.status, 0) << imported.output.substr(0, 4000);

  // What the repository holds, flat.
  ProgramRun exported =
      runCommand(shellWord(KOVA_REPO_PATH) + " export " + shellWord(db) + " SHOW 2>/dev/null");
  ASSERT_EQ(exported.status, 0);
  json set = json::parse(exported.output);
  std::map<std::string, const json*> typeNamed;
  std::map<std::string, std::string> typeOfElement;
  for (const json& t : set["types"]) typeNamed[t["name"]] = &t;
  for (const json& e : set["elements"])
    typeOfElement[e["name"]] = e["type"].is_null() ? "" : e["type"].get<std::string>();
  auto isComplex = [&](const std::string& type) {
    return typeNamed.count(type) && (*typeNamed[type])["kind"] != 1;
  };
  std::string rootType = set["messages"][0]["type"];

  // The complex types reachable from the message.
  std::set<std::string> reachable{rootType};
  std::vector<std::string> work{rootType};
  while (!work.empty()) {
    std::string type = work.back();
    work.pop_back();
    for (const json& m : (*typeNamed[type])["members"]) {
      std::string child = m["child"];
      std::string next = m["class"] == "element" ? typeOfElement[child] : child;
      if (isComplex(next) && reachable.insert(next).second) work.push_back(next);
    }
  }

  // A timeout turns a tree that never ends into a failure (status 124).
  ProgramRun shown = runCommand("timeout 120 " + shellWord(KOVA_REPO_PATH) + " show " +
                                shellWord(db) + " SHOW " + GetParam().root + " 2>&1");
  ASSERT_EQ(shown.status, 0) << shown.output.substr(0, 2000);
  std::istringstream lines(shown.output);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  ASSERT_EQ(line, std::string("message ") + GetParam().root + " type " + rootType);

  // Walk the printed tree: a stack of the types being expanded, by depth.
  std::map<std::string, int> expansions{{rootType, 1}};
  std::map<std::string, size_t> membersPrinted;
  std::vector<std::string> open{rootType};  // open[d-1]: the type printed at depth d
  size_t references = 0;
  while (std::getline(lines, line)) {
    size_t indent = line.find_first_not_of(' ');
    ASSERT_TRUE(indent != std::string::npos && indent % 2 == 0) << line;
    size_t depth = indent / 2;
    std::istringstream words(line.substr(indent));
    std::string kind, name, occurs, word, type;
    words >> kind >> name >> occurs;
    if (kind == "value") continue;
    ASSERT_TRUE(depth >= 1 && depth <= open.size()) << line;
    open.resize(depth);
    ++membersPrinted[open.back()];
    if (kind == "element") {
      words >> word >> type;
      ASSERT_EQ(word, "type") << line;
      EXPECT_EQ(typeOfElement[name], type) << line;
    } else {
      ASSERT_EQ(kind, "type") << line;
      type = name;
    }
    if (!isComplex(type)) continue;
    // an element line ends "(type T, shown above)", a type line "(shown above)"
    bool refersBack = line.find("shown above)") != std::string::npos;
    if (refersBack) {
      ++references;
      EXPECT_TRUE(expansions.count(type)) << "refers to a type not shown before: " << line;
      if (kind == "element") {
        EXPECT_NE(line.find("(type " + type + ", shown above)"), std::string::npos) << line;
      }
    } else {
      EXPECT_EQ(++expansions[type], 1) << "expanded again: " << line;
      open.push_back(type);
    }
  }

  // Each reachable type expanded once, with exactly its members below it.
  std::set<std::string> expanded;
  for (const auto& [type, count] : expansions) expanded.insert(type);
  EXPECT_EQ(expanded, reachable);
  for (const std::string& type : reachable)
    EXPECT_EQ(membersPrinted[type], (*typeNamed[type])["members"].size()) << type;
  // Real documents share their types.
  EXPECT_GT(references, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, CorpusKovaRepoShow,
    ::testing::Values(ShowCase{"ubl-2.5/maindoc/UBL-Invoice-2.5.xsd", "Invoice"},
                      ShowCase{"iso20022/payments_initiation_11/pain.001.001.10_1.xsd",
                               "Document"}),
    [](const ::testing::TestParamInfo<ShowCase>& info) {
      return std::string(info.index == 0 ? "UblInvoice" : "Pain001");
    });

}  // namespace
