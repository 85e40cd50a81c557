// The contract beside the calls: status texts and code names, connections
// that only read, and the SQL views of a repository file.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "backend_test_support.h"

namespace {

// The texts are one table indexed by the status; its ends, and what lies
// beyond them.
TEST(BackendStatusTexts, OneTextPerStatusAndOneForAllOthers) {
  for (int32_t status : {1, 5, -103, -104, -1000000})
    EXPECT_STREQ(QELStatusText(status), "Internal error") << status;
  const std::pair<int32_t, const char*> texts[] = {{0, "Successful completion"},
                                                   {-102, "Plugin Registered Name already exists"}};
  for (const auto& [status, text] : texts) EXPECT_STREQ(QELStatusText(status), text) << status;
}

/// A name the library answers, or "(none)" for a null one.
std::string nameOrNone(const char* name) { return name ? name : "(none)"; }

// The names come from the one table that the views read too; the views test
// reads kinds, compositions, contents, roles and key names back by name.
TEST(BackendNames, CodesAndKeysHaveNamesUnknownOnesNone) {
  const std::pair<int32_t, int32_t> unnamed[] = {
      {QEL_CODES_ROLE, 8}, {QEL_CODES_TYPE_KIND, 2}, {99, 1}};
  for (const auto& [set, code] : unnamed)
    EXPECT_EQ(nameOrNone(QELCodeName(set, code)), "(none)") << set << " " << code;
  const struct {
    const char* plugin;
    int32_t key;
    const char* name;
  } keys[] = {{QEL_PLUGIN_CWF, 1, "memberRender"},
              {QEL_PLUGIN_TDS, 1, nullptr},
              {"No Such Plug-in", 1, nullptr},
              {nullptr, 1, nullptr}};
  for (const auto& k : keys)
    EXPECT_EQ(nameOrNone(QELAttrKeyName(k.plugin, k.key)), nameOrNone(k.name)) << k.key;
  // Within a plug-in, every key from 0 to 200 has a name of its own or none.
  for (const char* plugin :
       {QEL_PLUGIN_XML, QEL_PLUGIN_CWF, QEL_PLUGIN_C, QEL_PLUGIN_COBOL, QEL_PLUGIN_WEBDAV}) {
    std::set<std::string> names;
    int named = 0;
    for (int32_t key = 0; key <= 200; ++key)
      if (const char* n = QELAttrKeyName(plugin, key)) {
        names.insert(n);
        ++named;
      }
    EXPECT_EQ(names.size(), static_cast<size_t>(named)) << plugin;
    EXPECT_GT(named, 0) << plugin;
  }
}

/// The rows of `sql` on the file, columns joined by "|", rows by "\n".
std::string query(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  std::string out;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    out = std::string("error: ") + sqlite3_errmsg(h);
  } else {
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        out += (i ? "|" : "") + std::string(t ? reinterpret_cast<const char*>(t) : "NULL");
      }
      out += "\n";
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return out;
}

// Reading never creates, initialises or changes a file, and refuses every
// change; what is not a repository is named so.
TEST_P(BackendTest, ReadingConnectionChangesNothing) {
  uint32_t set = committedSet("Kept");
  ASSERT_EQ(QELCloseRepository(), 0);
  const bool file = GetParam() == Store::kFile;
  if (!file) {
    // A schema without a repository is not made one by a reader.
    std::string schema, empty = serverTestRepository(&schema);
    EXPECT_EQ(QELOpenRepository2(empty.c_str(), "", "", QEL_OPEN_READ),
              QEL_STATUS_NO_DATABASE_NAME);
    EXPECT_EQ(QELOpenRepository2(empty.c_str(), "", "", QEL_OPEN_READ),
              QEL_STATUS_NO_DATABASE_NAME);
  }
  std::ofstream(dir_ + "/empty.db");
  std::ofstream(dir_ + "/words.db") << "not a database\n";
  const struct {
    std::string file;
    int32_t status;
  } refused[] = {{dir_ + "/empty.db", QEL_STATUS_BAD_DATABASE},
                 {dir_ + "/words.db", QEL_STATUS_BAD_DATABASE},
                 {dir_, QEL_STATUS_CANNOT_CONNECT}};
  for (const auto& r : refused) {
    if (!file) break;
    std::string before = readFile(r.file);  // "" for what cannot be read
    EXPECT_EQ(QELOpenRepository2(r.file.c_str(), "", "", QEL_OPEN_READ), r.status) << r.file;
    EXPECT_EQ(before, readFile(r.file)) << r.file;
  }
  EXPECT_EQ(QELOpenRepository2(db_.c_str(), "", "", 7), QEL_STATUS_NOT_PERMITTED);

  std::string before = file ? readFile(db_) : "";
  ASSERT_EQ(QELOpenRepository2(db_.c_str(), "", "", QEL_OPEN_READ), QEL_STATUS_OK);
  ASSERT_EQ(findSet("Kept", &set), QEL_STATUS_OK);
  EXPECT_EQ(QELOpenProject(set, QEL_OPEN_WRITE), QEL_STATUS_NOT_PERMITTED);
  Record d = setDetails("New");
  uint32_t other = 0;
  EXPECT_EQ(QELCreateProject(&other, d.data()), QEL_STATUS_NOT_PERMITTED);
  ASSERT_EQ(QELOpenProject(set, QEL_OPEN_READ), QEL_STATUS_OK);
  EXPECT_EQ(createType(set, "T", &other), QEL_STATUS_NOT_OPEN_FOR_WRITE);
  EXPECT_EQ(QELCloseProject(set, 1), QEL_STATUS_OK);
  EXPECT_EQ(QELCloseRepository(), QEL_STATUS_OK);
  if (file) {
    EXPECT_EQ(readFile(db_), before);
    EXPECT_FALSE(std::filesystem::exists(db_ + "-journal"));
  }
}

// The views name every class and code, so that a file can be read by name
// from an SQL shell; a file made before the views gets them when it is next
// opened for writing, never when it is read.
TEST_P(BackendTest, ViewsNameClassesCodesAndKeys) {
  if (GetParam() == Store::kServer) GTEST_SKIP() << "the views are the file's, for its SQL shell";
  uint32_t set = createSet("Views"), str = simpleType(set, "STRING");
  uint32_t type = newType(set, "OrderType"), element = newElement(set, "OrderType^id", str);
  newMember(type, element, "1", "", 1);
  newValueMember(element, newValue(set, "Red", "red", str), QEL_ROLE_ENUMERATION);
  newMessage(set, "Order", type);
  Record ref = attrRef(pluginMember(set, QEL_PLUGIN_COBOL), QEL_COBOL_KEY_NAME);
  ASSERT_EQ(QELSetAttrValue(element, ref.data(), "ORDER-ID"), 0);
  commit(set);

  const struct {
    const char* sql;
    const char* rows;
  } cases[] = {
      {"SELECT name, identifier <> '', finalised, locked FROM message_sets", "Views|1|0|0\n"},
      {"SELECT name, type FROM messages", "Order|OrderType\n"},
      {"SELECT name, second_name, type FROM elements", "OrderType^id|OrderType^id|STRING\n"},
      {"SELECT kind_name, composition_name, content_name FROM types WHERE name = 'OrderType'",
       "complex|sequence|ordinary\n"},
      {"SELECT count(*) FROM types WHERE kind_name = 'simple'", "7\n"},
      {"SELECT type, child_class, child, repeat, min_occurs, max_occurs FROM type_members",
       "OrderType|element|OrderType^id|1|1|NULL\n"},
      {"SELECT element, value, value_text, role_name FROM element_values",
       "OrderType^id|Red|red|enumeration\n"},
      {"SELECT name, type, value_text FROM value_definitions", "Red|STRING|red\n"},
      {"SELECT plugin, member FROM plugin_members",
       "C Language Extension|C\n"
       "COBOL Language Extension|COBOL\n"
       "WebDav Plug-in Extension|WebDav\n"},
      {"SELECT component_class, component_name, layer, key_name, value FROM attributes"
       " ORDER BY key_name",
       "element|OrderType^id|COBOL|cobolName|ORDER-ID\n"
       "messageSet|Views|WebDav|lockCount|0\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(query(db_, c.sql), c.rows) << c.sql;
  // The views only read.
  EXPECT_NE(query(db_, "DELETE FROM messages").find("error"), std::string::npos);

  // An older file: views and their mark gone.
  ASSERT_EQ(QELCloseRepository(), 0);
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db_.c_str(), &h), SQLITE_OK);
  std::string drop = "DELETE FROM repository_info WHERE key = 'views';";
  for (const char* v :
       {"attributes", "element_values", "value_definitions", "type_members", "types", "elements",
        "messages", "plugin_members", "message_sets", "attribute_keys", "codes"})
    drop += std::string("DROP VIEW ") + v + ";";
  ASSERT_EQ(sqlite3_exec(h, drop.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(h);
  ASSERT_EQ(QELOpenRepository2(db_.c_str(), "", "", QEL_OPEN_READ), 0);
  ASSERT_EQ(QELCloseRepository(), 0);
  EXPECT_NE(query(db_, "SELECT count(*) FROM messages").find("error"), std::string::npos);
  ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
  EXPECT_EQ(query(db_, "SELECT name FROM messages"), "Order\n");
}

}  // namespace
