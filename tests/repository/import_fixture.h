// Whole imports through the built programs: schema texts and parameter files
// written into a temporary folder, xsdimport run on them, and the repository
// read back with kova-repo export.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "store_param.h"
#include "test_support.h"

using nlohmann::json;

/// A schema document: `body` inside xs:schema, which carries `attrs` too.
inline std::string schemaOf(const std::string& body, const std::string& attrs = "") {
  return "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'" +
         (attrs.empty() ? "" : " " + attrs) + ">" + body + "</xs:schema>";
}

/// Element `name` of an anonymous complex type whose sequence holds `content`.
inline std::string anonElement(const std::string& name, const std::string& content) {
  return "<xs:element name='" + name + "'><xs:complexType><xs:sequence>" + content +
         "</xs:sequence></xs:complexType></xs:element>";
}

/// A parameter file importing root `root` of `files` (one a line) into
/// message set `set` of repository `db`; header lines `extra` come first.
inline std::string parmsText(const std::string& db, const std::string& set, const std::string& root,
                             const std::string& files, const std::string& extra = "") {
  return extra + "QEL_DB=" + db + "\nMESSAGESET=" + set + "\nROOTELEMENT=" + root +
         "\n[FILELIST]\n" + files + "\n";
}

/// The last `n` characters of a program's output.
inline std::string tail(const std::string& output, size_t n = 3000) {
  return output.substr(output.size() > n ? output.size() - n : 0);
}

/// Message set `set` of repository `db` as kova-repo exports it; null when
/// the export fails.
inline json exportSet(const std::string& db, const std::string& set = "S") {
  ProgramRun r = runCommand(shellWord(KOVA_REPO_TOOL) + " export " + shellWord(db) + " " +
                            shellWord(set) + " 2>/dev/null");
  return r.status == 0 ? json::parse(r.output, nullptr, false) : json();
}

/// The first entry of an exported list named `name`; null when none.
inline json named(const json& list, const std::string& name) {
  for (const json& j : list)
    if (j["name"] == name) return j;
  return json();
}

/// An attribute of an exported definition or member by its key name;
/// "<unset>" when it has none, and never that when the component is missing.
inline std::string attribute(const json& component, const std::string& keyName) {
  if (!component.is_object()) return "<no such component>";
  for (const json& a : component["attributes"])
    if (a["keyName"] == keyName) return a["value"];
  return "<unset>";
}

/// The (role, text) of every value of exported element `element`, sorted.
using Uses = std::vector<std::pair<int, std::string>>;
inline Uses valuesOf(const json& s, const std::string& element) {
  json e = named(s["elements"], element);
  if (!e.is_object()) return {{-1, "<no element " + element + ">"}};
  Uses uses;
  for (const json& v : e["values"]) {
    json value = named(s["values"], v["value"]);
    uses.emplace_back(v["role"].get<int>(), value.is_object() ? value["value"] : "<no value>");
  }
  std::sort(uses.begin(), uses.end());
  return uses;
}

/// The value of a totals line ("M_TYPE           - 4" gives 4 for "M_TYPE");
/// -1 when absent.
inline int total(const std::string& output, const std::string& label) {
  for (const std::string& line : linesWith(output, label + " ")) {
    size_t dash = line.find_first_not_of(' ', line.find(label) + label.size());
    if (line.compare(dash, 2, "- ") == 0) return std::stoi(line.substr(dash + 2));
  }
  return -1;
}

/// Exit status of a run that returns `status` (the shell keeps 8 bits).
inline int exitStatus(int status) { return status & 0xff; }

/// What the messages of an export (or message `message` alone) reach through
/// types, members, bases, element types and element values: "t:", "e:" or
/// "v:" then the definition's name, and "x:" then each reached element's
/// XML name.
inline std::set<std::string> reached(const json& s, const std::string& message = "") {
  std::map<std::string, const json*> types, elements;
  for (const json& t : s["types"]) types[t["name"]] = &t;
  for (const json& e : s["elements"]) elements[e["name"]] = &e;
  std::set<std::string> seen;
  std::vector<std::string> stack;
  for (const json& m : s["messages"])
    if ((message.empty() || m["name"] == message) && m["type"].is_string())
      stack.push_back("t:" + m["type"].get<std::string>());
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
      seen.insert("x:" + e["secondName"].get<std::string>());
      if (e["type"].is_string()) stack.push_back("t:" + e["type"].get<std::string>());
      for (const json& v : e["values"]) seen.insert("v:" + v["value"].get<std::string>());
    }
  }
  return seen;
}

/// Complex types, elements and values of an export that no message reaches.
inline std::vector<std::string> unreachable(const json& s) {
  std::set<std::string> seen = reached(s);
  std::vector<std::string> out;
  for (const auto& [list, key] : {std::pair{"types", "t:"}, {"elements", "e:"}, {"values", "v:"}})
    for (const json& d : s[list])
      if ((key[0] != 't' || d["kind"] == 3) && !seen.count(key + d["name"].get<std::string>()))
        out.push_back(std::string(list) + " " + d["name"].get<std::string>());
  return out;
}

/// The XML names of the elements message `message` of an export reaches.
inline std::set<std::string> reachableNames(const json& s, const std::string& message) {
  std::set<std::string> names;
  for (const std::string& key : reached(s, message))
    if (key[0] == 'x') names.insert(key.substr(2));
  return names;
}

/// A new folder and repository for every test, with the runs in between.
class ImportTest : public KovaTest {
 protected:
  /// The repository is a file in the folder, or with kServer a schema of its
  /// own on the server that KOVA_TEST_PG_URL names.
  void newRepository(Store store) {
    dir_ = makeTempDir();
    db_ = store == Store::kFile ? dir_ + "/repository.kovadb" : serverTestRepository(&schema_);
  }
  void TearDown() override {
    dropServerTestSchema(schema_);
    KovaTest::TearDown();
  }

  /// Writes a parameter file importing root `root` of `file` into message set
  /// S (header lines `extra` first); returns its path.
  std::string parms(const std::string& root, const std::string& file,
                    const std::string& extra = "") {
    return writeFile(dir_ + "/" + root + ".parms", parmsText(db_, "S", root, file, extra));
  }

  /// kova-repo `verb` on the repository, with the arguments `rest` after it.
  ProgramRun tool(const std::string& verb, const std::string& rest = "S") {
    return runCommand(shellWord(KOVA_REPO_TOOL) + " " + verb + " " + shellWord(db_) + " " + rest);
  }

  json exportSet(const std::string& set = "S") const { return ::exportSet(db_, set); }

  /// Empties the repository (the next import creates it anew).
  void removeRepository() {
    if (schema_.empty())
      std::filesystem::remove(db_);
    else
      dropServerTestSchema(schema_);
  }

  std::string dir_, db_, schema_;
};
