// The repository kept in one SQLite 3 file.  All SQL of the back end lives in
// this file.
//
// Tables: repository_info (format marker and the next free handle),
// definition (message sets, plug-ins and the definitions of every message set,
// one handle space), message_set (identifier and flags of a message set),
// member and attribute.  Creation order is handle order, because handles are
// handed out in increasing order and never reused.
//
// The write transaction is SQLite's own (BEGIN IMMEDIATE ... COMMIT), in the
// default rollback-journal mode: a process killed at any moment leaves a hot
// journal that the next opener rolls back, so the file keeps its last
// committed state.  Commits are synchronous=EXTRA: the journal's removal is
// synced too, so a commit that has returned survives a power loss.  A second
// writer waits up to kBusyTimeoutMs for the lock.
//
// Members, the attributes of components made in the current write, and the
// definitions the caller knows to be free of duplicates (those of a message
// set made in the current write) are gathered and inserted kGatherRows at a
// time, one statement for many rows: most of what a single-row insert costs
// is the statement's, not the row's.  Whatever is gathered goes in before
// anything reads, deletes or inserts one by one, and before the transaction
// ends; a failure of a gathered insert (an I/O error) is reported by the call
// that sends it, and the write can then only be rolled back.
//
// A new file is not set up in a commit of its own: its tables (and whatever
// the API layer adds with commitLater, the plug-ins) stay pending in the open
// transaction, the caller's writes run inside it under a savepoint, and the
// first commit makes all of it durable at once.  Closed without a commit, the
// file is left empty, as it was.
#include "storage_sqlite.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cassert>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "code_names.h"
#include "plugin_rules.h"
#include "qelbeapi.h"
#include "storage.h"

namespace qel {
namespace {

constexpr int kBusyTimeoutMs = 2000;
constexpr int kGatherRows = 32;
constexpr const char* kFormatMarker = "kova-repository 1";
/// The release of the read-only views; a file with another (or none) gets
/// them made again when it is opened for writing.
constexpr const char* kViewsRelease = "1";

const char* const kSchema = R"sql(
CREATE TABLE repository_info(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE definition(
  id INTEGER PRIMARY KEY,
  set_id INTEGER NOT NULL,
  class INTEGER NOT NULL,
  name TEXT NOT NULL,
  second_name TEXT NOT NULL,
  type_id INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  base_id INTEGER NOT NULL,
  composition INTEGER NOT NULL,
  content INTEGER NOT NULL,
  value_text TEXT NOT NULL);
CREATE UNIQUE INDEX definition_name ON definition(set_id, class, name);
CREATE INDEX definition_walk ON definition(set_id, class);
CREATE TABLE message_set(
  id INTEGER PRIMARY KEY,
  identifier TEXT NOT NULL UNIQUE,
  finalised INTEGER NOT NULL,
  locked INTEGER NOT NULL);
CREATE TABLE member(
  id INTEGER PRIMARY KEY,
  set_id INTEGER NOT NULL,
  parent_id INTEGER NOT NULL,
  child_id INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  repeat INTEGER NOT NULL,
  min_occurs TEXT NOT NULL,
  max_occurs TEXT NOT NULL,
  role INTEGER NOT NULL,
  name TEXT NOT NULL);
CREATE INDEX member_parent ON member(parent_id, kind);
CREATE TABLE attribute(
  component_id INTEGER NOT NULL,
  plugin_member_id INTEGER NOT NULL,
  key INTEGER NOT NULL,
  value TEXT NOT NULL);
CREATE UNIQUE INDEX attribute_key ON attribute(component_id, plugin_member_id, key);
)sql";

/// An SQL text literal.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string num(int64_t v) { return std::to_string(v); }

/// The name of a code of one set, as an SQL expression over `column`.
std::string codeNameOf(const char* codeSet, const std::string& column) {
  return "(SELECT name FROM codes WHERE code_set=" + quoted(codeSet) + " AND code=" + column + ")";
}

/// The read-only views that name the classes and codes of the tables, so that
/// the file can be queried by name from an SQL shell.  Built from the
/// library's own tables of names; dropped and made again as one.
std::string viewsSql() {
  const char* const kViews[] = {
      "attributes", "element_values", "value_definitions", "type_members",   "types", "elements",
      "messages",   "plugin_members", "message_sets",      "attribute_keys", "codes"};
  std::string sql;
  for (const char* v : kViews) sql += std::string("DROP VIEW IF EXISTS ") + v + ";\n";
  sql += "CREATE VIEW codes(code_set, code, name) AS VALUES ";
  bool first = true;
  for (const CodeName& c : codeNames()) {
    sql += (first ? "" : ", ") + std::string("(") + quoted(codeSetName(c.codeSet)) + ", " +
           num(c.code) + ", " + quoted(c.name) + ")";
    first = false;
  }
  sql += ";\nCREATE VIEW attribute_keys(plugin, key, name) AS VALUES ";
  first = true;
  for (const AttributeKeyName& k : attributeKeyNames()) {
    sql += (first ? "" : ", ") + std::string("(") + quoted(pluginRegisteredName(k.plugin)) + ", " +
           num(k.key) + ", " + quoted(k.name) + ")";
    first = false;
  }
  sql += ";\n";
  const std::string set = "JOIN definition s ON s.id = d.set_id";
  sql +=
      "CREATE VIEW message_sets AS SELECT d.id AS handle, d.name, m.identifier,"
      " m.finalised, m.locked FROM definition d JOIN message_set m ON m.id = d.id"
      " WHERE d.class = " +
      num(QEL_CLASS_PROJECT) + ";\n";
  sql +=
      "CREATE VIEW plugin_members AS SELECT m.id AS handle, s.name AS message_set,"
      " p.name AS plugin, m.name AS member FROM member m JOIN definition s ON s.id = m.set_id"
      " JOIN definition p ON p.id = m.child_id WHERE m.kind = " +
      num(QEL_MEMBER_PLUGIN) + ";\n";
  // Messages, elements and values: named definitions with the type they have.
  struct TypedView {
    const char* view;
    int32_t defClass;
    const char* more;  // columns after the type
  };
  for (const TypedView& v :
       {TypedView{"messages", QEL_CLASS_MESSAGE, ""}, TypedView{"elements", QEL_CLASS_ELEMENT, ""},
        TypedView{"value_definitions", QEL_CLASS_VALUE, ", d.value_text"}})
    sql += std::string("CREATE VIEW ") + v.view +
           " AS SELECT d.id AS handle, s.name AS message_set,"
           " d.name, d.second_name, t.name AS type" +
           v.more + " FROM definition d " + set +
           " LEFT JOIN definition t ON t.id = d.type_id WHERE d.class = " + num(v.defClass) + ";\n";
  sql +=
      "CREATE VIEW types AS SELECT d.id AS handle, s.name AS message_set, d.name,"
      " d.second_name, d.kind, " +
      codeNameOf("typeKind", "d.kind") +
      " AS kind_name,"
      " b.name AS base_type, d.composition, " +
      codeNameOf("composition", "d.composition") + " AS composition_name, d.content, " +
      codeNameOf("content", "d.content") + " AS content_name FROM definition d " + set +
      " LEFT JOIN definition b ON b.id = d.base_id WHERE d.class = " + num(QEL_CLASS_TYPE) + ";\n";
  sql +=
      "CREATE VIEW type_members AS SELECT m.id AS handle, s.name AS message_set,"
      " p.name AS type, " +
      codeNameOf("class", "c.class") +
      " AS child_class,"
      " c.name AS child, m.repeat, NULLIF(m.min_occurs, '') AS min_occurs,"
      " NULLIF(m.max_occurs, '') AS max_occurs FROM member m JOIN definition s ON s.id = m.set_id"
      " JOIN definition p ON p.id = m.parent_id JOIN definition c ON c.id = m.child_id"
      " WHERE m.kind = " +
      num(QEL_MEMBER_TYPE) + ";\n";
  sql +=
      "CREATE VIEW element_values AS SELECT m.id AS handle, s.name AS message_set,"
      " p.name AS element, c.name AS value, c.value_text, m.role, " +
      codeNameOf("role", "m.role") +
      " AS role_name FROM member m"
      " JOIN definition s ON s.id = m.set_id JOIN definition p ON p.id = m.parent_id"
      " JOIN definition c ON c.id = m.child_id WHERE m.kind = " +
      num(QEL_MEMBER_VALUE) + ";\n";
  // A component is a message set, a definition, or a type member (named
  // "type/child").
  sql +=
      "CREATE VIEW attributes AS SELECT a.component_id AS component,"
      " COALESCE(" +
      codeNameOf("class", "d.class") + ", " + codeNameOf("memberKind", "tm.kind") +
      ") AS component_class,"
      " COALESCE(d.name, tp.name || '/' || tc.name) AS component_name,"
      " p.name AS plugin, pm.name AS layer, a.key,"
      " (SELECT name FROM attribute_keys k WHERE k.plugin = p.name AND k.key = a.key)"
      " AS key_name, a.value FROM attribute a"
      " JOIN member pm ON pm.id = a.plugin_member_id JOIN definition p ON p.id = pm.child_id"
      " LEFT JOIN definition d ON d.id = a.component_id"
      " LEFT JOIN member tm ON tm.id = a.component_id"
      " LEFT JOIN definition tp ON tp.id = tm.parent_id"
      " LEFT JOIN definition tc ON tc.id = tm.child_id;\n";
  sql += "INSERT OR REPLACE INTO repository_info VALUES('views', " + quoted(kViewsRelease) + ");\n";
  return sql;
}

/// A prepared statement, kept for the life of the connection.  Bind, step,
/// read columns; reset() readies it for the next use.
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }

  void prepare(sqlite3* db, const char* sql) {
    db_ = db;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
      throw StorageError{sqlite3_errmsg(db)};
  }
  Statement& bind(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& bind(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  /// Binds without a copy: `v` must outlive the statement's step.
  Statement& bindRef(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    return *this;
  }
  /// True when a row is ready; false when done.  Throws on errors.
  bool step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw StorageError{msg, rc == SQLITE_BUSY || rc == SQLITE_LOCKED};
  }
  /// Runs a statement that returns no rows; answers the SQLite result code
  /// (SQLITE_DONE or SQLITE_CONSTRAINT) instead of throwing for constraints.
  int execute() {
    int rc = sqlite3_step(stmt_);
    int ext = sqlite3_extended_errcode(db_);
    std::string msg = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    if (rc == SQLITE_DONE || rc == SQLITE_CONSTRAINT) return rc;
    (void)ext;
    throw StorageError{msg, rc == SQLITE_BUSY || rc == SQLITE_LOCKED};
  }
  int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
  std::string text(int col) const {
    const unsigned char* t = sqlite3_column_text(stmt_, col);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
  }
  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

/// Resets a statement when the scope that stepped it ends.
struct ResetOnExit {
  Statement& s;
  ~ResetOnExit() { s.reset(); }
};

class SqliteStorage final : public RepositoryStorage {
 public:
  explicit SqliteStorage(sqlite3* db) : db_(db) {}
  ~SqliteStorage() override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    // The statements are finalised after this body: close_v2 waits for them.
    sqlite3_close_v2(db_);
  }

  /// Checks the format marker, initialising an empty database unless
  /// `readOnly`; brings the views up to date (not when `readOnly`); prepares
  /// the statements.  Returns a StorageStatus.
  int32_t open(bool readOnly) {
    readOnly_ = readOnly;
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 0);
    // Before checkFormat, which may leave a transaction open: the level
    // cannot change inside one.  A file that is no database refuses it too,
    // and checkFormat says so.
    bool durable =
        sqlite3_exec(db_, "PRAGMA synchronous=EXTRA", nullptr, nullptr, nullptr) == SQLITE_OK;
    int32_t st = checkFormat();
    if (st != kStoreOk) return st;
    if (!durable) return kStoreFailure;
    if (!readOnly) updateViews();
    exec("PRAGMA cache_size=-65536");
    prepareStatements();
    return kStoreOk;
  }

  int32_t beginWrite() override {
    assert(!inWrite_ && gatheredDefinitions_.empty() && gatheredMembers_.empty() &&
           gatheredAttributes_.empty());
    if (pending_ && sqlite3_get_autocommit(db_)) pending_ = false;  // SQLite dropped it
    int rc = sqlite3_exec(db_, pending_ ? "SAVEPOINT write" : "BEGIN IMMEDIATE", nullptr, nullptr,
                          nullptr);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return kStoreBusy;
    if (rc != SQLITE_OK) return kStoreFailure;
    inWrite_ = true;
    savepoint_ = pending_;
    Statement& s = getInfo_;
    ResetOnExit r{s};
    s.bind(1, std::string("next_handle"));
    nextHandle_ = s.step() ? static_cast<uint32_t>(std::stoul(s.text(0))) : 1;
    firstHandle_ = nextHandle_;
    return kStoreOk;
  }

  int32_t commit() override {
    assert(inWrite_);
    if (sqlite3_get_autocommit(db_)) {  // SQLite already rolled it back
      inWrite_ = savepoint_ = pending_ = lostRows_ = false;
      return kStoreFailure;
    }
    if (!insertGatheredBeforeEnd()) return kStoreFailure;
    saveNextHandle();
    // COMMIT ends the savepoint too, and with it what was pending.
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_BUSY) return kStoreBusy;  // still open: the caller may retry or roll back
    if (rc != SQLITE_OK) {
      rollback();
      return kStoreFailure;
    }
    inWrite_ = savepoint_ = pending_ = false;
    return kStoreOk;
  }

  int32_t commitLater() override {
    assert(inWrite_);
    if (sqlite3_get_autocommit(db_)) {
      inWrite_ = savepoint_ = pending_ = lostRows_ = false;
      return kStoreFailure;
    }
    if (!insertGatheredBeforeEnd()) return kStoreFailure;
    saveNextHandle();
    if (savepoint_) exec("RELEASE write");
    inWrite_ = savepoint_ = false;
    pending_ = true;
    return kStoreOk;
  }

  void rollback() override {
    gatheredDefinitions_.clear();
    gatheredMembers_.clear();
    gatheredAttributes_.clear();
    lostRows_ = false;
    if (!inWrite_) return;
    // Only the caller's write goes; what is pending stays.
    if (savepoint_ && !sqlite3_get_autocommit(db_)) {
      sqlite3_exec(db_, "ROLLBACK TO write; RELEASE write", nullptr, nullptr, nullptr);
    } else {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (sqlite3_get_autocommit(db_)) pending_ = false;
    inWrite_ = savepoint_ = false;
  }

  bool inWrite() const override { return inWrite_; }

  uint32_t allocateHandle() override {
    assert(inWrite_);
    if (nextHandle_ >= 0x7fffffffu) throw StorageError{"handle space exhausted"};
    return nextHandle_++;
  }

  int32_t insertDefinition(const DefinitionRow& r) override {
    writing();
    // After the gathered ones: a name is taken by whichever came first.
    insertGatheredDefinitionsIfAny();
    bindRow(insertDefinition_, 0, r);
    return insertDefinition_.execute() == SQLITE_CONSTRAINT ? kStoreDuplicate : kStoreOk;
  }

  void insertNewDefinition(const DefinitionRow& r) override {
    writing();
    gatheredDefinitions_.push_back(r);
    if (gatheredDefinitions_.size() == kGatherRows)
      sendGathered(&SqliteStorage::insertGatheredDefinitions);
  }

  bool getDefinition(uint32_t id, DefinitionRow* r) override {
    insertGatheredDefinitionsIfAny();
    Statement& s = getDefinition_;
    ResetOnExit reset{s};
    s.bind(1, id);
    if (!s.step()) return false;
    r->id = id;
    r->setId = static_cast<uint32_t>(s.integer(0));
    r->defClass = static_cast<int32_t>(s.integer(1));
    r->name = s.text(2);
    r->secondName = s.text(3);
    r->typeId = static_cast<uint32_t>(s.integer(4));
    r->kind = static_cast<int32_t>(s.integer(5));
    r->baseId = static_cast<uint32_t>(s.integer(6));
    r->composition = static_cast<int32_t>(s.integer(7));
    r->content = static_cast<int32_t>(s.integer(8));
    r->valueText = s.text(9);
    return true;
  }

  uint32_t findDefinition(uint32_t setId, int32_t defClass, const std::string& name) override {
    insertGatheredDefinitionsIfAny();
    Statement& s = findDefinition_;
    ResetOnExit reset{s};
    s.bind(1, setId).bind(2, defClass).bindRef(3, name);
    return s.step() ? static_cast<uint32_t>(s.integer(0)) : 0;
  }

  uint32_t nextDefinition(uint32_t setId, int32_t defClass, uint32_t afterId) override {
    insertGatheredDefinitionsIfAny();
    Statement& s = nextDefinition_;
    ResetOnExit reset{s};
    s.bind(1, setId).bind(2, defClass).bind(3, afterId);
    return s.step() ? static_cast<uint32_t>(s.integer(0)) : 0;
  }

  void deleteDefinition(uint32_t id) override {
    writing();
    insertGathered();
    for (const MemberRow& m : membersOfAnyKind(id)) deleteMember(m.id);
    deleteAttributesOf(id);
    deleteDefinition_.bind(1, id).execute();
  }

  int32_t insertMessageSet(const MessageSetRow& r) override {
    writing();
    Statement& s = insertMessageSet_;
    s.bind(1, r.id).bind(2, r.identifier).bind(3, r.finalised).bind(4, r.locked);
    return s.execute() == SQLITE_CONSTRAINT ? kStoreDuplicate : kStoreOk;
  }

  bool getMessageSet(uint32_t id, MessageSetRow* r) override {
    Statement& s = getMessageSet_;
    ResetOnExit reset{s};
    s.bind(1, id);
    if (!s.step()) return false;
    r->id = id;
    r->identifier = s.text(0);
    r->finalised = s.integer(1) != 0;
    r->locked = s.integer(2) != 0;
    return true;
  }

  void updateMessageSet(const MessageSetRow& r) override {
    writing();
    updateMessageSet_.bind(1, r.finalised).bind(2, r.locked).bind(3, r.id).execute();
  }

  void deleteMessageSet(uint32_t id) override {
    writing();
    insertGathered();
    for (Statement& s : deleteSet_) s.bind(1, id).execute();
  }

  void insertMember(const MemberRow& r) override {
    writing();
    gatheredMembers_.push_back(r);
    if (gatheredMembers_.size() == kGatherRows) sendGathered(&SqliteStorage::insertGatheredMembers);
  }

  bool getMember(uint32_t id, MemberRow* r) override {
    insertGathered();
    Statement& s = getMember_;
    ResetOnExit reset{s};
    s.bind(1, id);
    if (!s.step()) return false;
    readMember(s, r);
    return true;
  }

  uint32_t nextMember(uint32_t parentId, int32_t kind, uint32_t afterId) override {
    insertGathered();
    Statement& s = nextMember_;
    ResetOnExit reset{s};
    s.bind(1, parentId).bind(2, kind).bind(3, afterId);
    return s.step() ? static_cast<uint32_t>(s.integer(0)) : 0;
  }

  std::vector<MemberRow> membersOf(uint32_t parentId, int32_t kind) override {
    insertGathered();
    Statement& s = membersOf_;
    ResetOnExit reset{s};
    s.bind(1, parentId).bind(2, kind);
    std::vector<MemberRow> rows;
    while (s.step()) {
      rows.emplace_back();
      readMember(s, &rows.back());
    }
    return rows;
  }

  void deleteMembersOf(uint32_t parentId, int32_t kind) override {
    for (const MemberRow& m : membersOf(parentId, kind)) deleteMember(m.id);
  }

  void deleteMember(uint32_t id) override {
    writing();
    insertGathered();
    deleteAttributesOf(id);
    deleteMember_.bind(1, id).execute();
  }

  void setAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                    const std::string& value) override {
    writing();
    // A component made in this write has only the attributes this write gave
    // it: a plain insert, gathered, which meets a conflict only when one is
    // set twice.  A second value replaces a gathered first in its place.
    if (componentId >= firstHandle_) {
      for (GatheredAttribute& a : gatheredAttributes_) {
        if (a.componentId == componentId && a.pluginMemberId == pluginMemberId && a.key == key) {
          a.value = value;
          return;
        }
      }
      gatheredAttributes_.push_back({componentId, pluginMemberId, key, value});
      if (gatheredAttributes_.size() == kGatherRows)
        sendGathered(&SqliteStorage::insertGatheredAttributes);
      return;
    }
    upsertAttribute(componentId, pluginMemberId, key, value);
  }

  bool getAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                    std::string* value) override {
    insertGathered();
    Statement& s = getAttribute_;
    ResetOnExit reset{s};
    s.bind(1, componentId).bind(2, pluginMemberId).bind(3, key);
    if (!s.step()) return false;
    *value = s.text(0);
    return true;
  }

  bool nextAttribute(uint32_t componentId, int64_t afterOrder, AttributeRow* row) override {
    insertGathered();
    Statement& s = nextAttribute_;
    ResetOnExit reset{s};
    s.bind(1, componentId).bind(2, afterOrder);
    if (!s.step()) return false;
    row->order = s.integer(0);
    row->pluginMemberId = static_cast<uint32_t>(s.integer(1));
    row->key = static_cast<int32_t>(s.integer(2));
    row->value = s.text(3);
    return true;
  }

  void deleteAttributesOf(uint32_t componentId) override {
    writing();
    insertGathered();
    deleteAttributes_.bind(1, componentId).execute();
  }

  std::vector<Edge> referenceEdges(uint32_t setId) override {
    insertGathered();
    std::vector<Edge> edges;
    Statement& s = referenceEdges_;
    ResetOnExit reset{s};
    s.bind(1, setId);
    while (s.step())
      edges.push_back({static_cast<uint32_t>(s.integer(0)), static_cast<uint32_t>(s.integer(1))});
    return edges;
  }

  std::vector<uint32_t> definitionIds(uint32_t setId) override {
    insertGathered();
    std::vector<uint32_t> ids;
    Statement& s = definitionIds_;
    ResetOnExit reset{s};
    s.bind(1, setId);
    while (s.step()) ids.push_back(static_cast<uint32_t>(s.integer(0)));
    return ids;
  }

 private:
  struct GatheredAttribute {
    uint32_t componentId;
    uint32_t pluginMemberId;
    int32_t key;
    std::string value;
  };

  /// Inserts what is gathered (see the top of this file).
  void insertGathered() {
    insertGatheredDefinitionsIfAny();
    if (!gatheredMembers_.empty()) sendGathered(&SqliteStorage::insertGatheredMembers);
    if (!gatheredAttributes_.empty()) sendGathered(&SqliteStorage::insertGatheredAttributes);
  }

  /// Inserts what is gathered as the write ends.  False (the write rolled
  /// back) when rows the caller was told were written are not all in:
  /// committing would store half a model.
  bool insertGatheredBeforeEnd() {
    try {
      insertGathered();
    } catch (const StorageError&) {
    }
    if (!lostRows_) return true;
    rollback();
    return false;
  }

  /// Runs one of the inserts of gathered rows.  When it fails the rows are
  /// lost, and so is the write: it can only be rolled back.
  void sendGathered(void (SqliteStorage::*insert)()) {
    try {
      (this->*insert)();
    } catch (const StorageError&) {
      lostRows_ = true;
      throw;
    }
  }

  /// Like writing(), for what was gathered: nothing goes in outside the
  /// write transaction (gathered rows are then lost with it).
  void writingGathered() {
    if (inWrite_ && !sqlite3_get_autocommit(db_)) return;
    gatheredDefinitions_.clear();
    gatheredMembers_.clear();
    gatheredAttributes_.clear();
    throw StorageError{"no write transaction is active"};
  }

  /// Inserts the gathered definitions only (all that a read of definitions needs).
  void insertGatheredDefinitionsIfAny() {
    if (!gatheredDefinitions_.empty()) sendGathered(&SqliteStorage::insertGatheredDefinitions);
  }

  // The columns of each kind of row, from parameter `at` + 1 on.
  static void bindRow(Statement& s, int at, const DefinitionRow& r) {
    s.bind(at + 1, r.id).bind(at + 2, r.setId).bind(at + 3, r.defClass).bindRef(at + 4, r.name);
    s.bindRef(at + 5, r.secondName).bind(at + 6, r.typeId).bind(at + 7, r.kind);
    s.bind(at + 8, r.baseId).bind(at + 9, r.composition).bind(at + 10, r.content);
    s.bindRef(at + 11, r.valueText);
  }
  static void bindRow(Statement& s, int at, const MemberRow& r) {
    s.bind(at + 1, r.id).bind(at + 2, r.setId).bind(at + 3, r.parentId);
    s.bind(at + 4, r.childId).bind(at + 5, r.kind).bind(at + 6, r.repeat);
    s.bindRef(at + 7, r.minOccurs).bindRef(at + 8, r.maxOccurs).bind(at + 9, r.role);
    s.bindRef(at + 10, r.name);
  }
  static void bindRow(Statement& s, int at, const GatheredAttribute& a) {
    s.bind(at + 1, a.componentId).bind(at + 2, a.pluginMemberId).bind(at + 3, a.key);
    s.bindRef(at + 4, a.value);
  }

  /// Takes the gathered `rows` and inserts them: a full gathering as one
  /// statement of `many`, fewer rows one at a time with `one`.  Answers the
  /// rows; `sent` is false when an insert met a conflict (with `many`,
  /// rows before the conflicting one are in).
  template <typename Row>
  std::vector<Row> insertRows(std::vector<Row>& gathered, Statement& many, Statement& one,
                              int columns, bool* sent) {
    writingGathered();
    std::vector<Row> rows;
    rows.swap(gathered);
    *sent = true;
    if (rows.size() == kGatherRows) {
      for (size_t i = 0; i < rows.size(); ++i)
        bindRow(many, static_cast<int>(i) * columns, rows[i]);
      *sent = many.execute() == SQLITE_DONE;
    } else {
      for (const Row& r : rows) {
        bindRow(one, 0, r);
        if (one.execute() != SQLITE_DONE) *sent = false;
      }
    }
    return rows;
  }

  void insertGatheredDefinitions() {
    bool sent = false;
    insertRows(gatheredDefinitions_, insertDefinitions_, insertDefinition_, 11, &sent);
    if (!sent) throw StorageError{"definition name taken"};
  }

  void insertGatheredMembers() {
    bool sent = false;
    insertRows(gatheredMembers_, insertMembers_, insertMember_, 10, &sent);
    if (!sent) throw StorageError{"member handle taken"};
  }

  void insertGatheredAttributes() {
    bool sent = false;
    std::vector<GatheredAttribute> rows =
        insertRows(gatheredAttributes_, insertAttributes_, insertAttribute_, 4, &sent);
    if (sent) return;
    // Only a value set again after an earlier insertion conflicts.  The rows
    // then go in one by one, each set where it conflicts: those already in
    // are set again to the same value.
    for (const GatheredAttribute& a : rows) {
      bindRow(insertAttribute_, 0, a);
      if (insertAttribute_.execute() != SQLITE_DONE)
        upsertAttribute(a.componentId, a.pluginMemberId, a.key, a.value);
    }
  }

  void upsertAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                       const std::string& value) {
    setAttribute_.bind(1, componentId).bind(2, pluginMemberId).bind(3, key).bindRef(4, value);
    setAttribute_.execute();
  }

  /// An INSERT of `rows` rows of `columns` values each.  OR FAIL: a
  /// conflict keeps the rows before it instead of undoing the statement, so
  /// SQLite keeps no statement journal.  Under the savepoint of a new file's
  /// first write that journal is never cut short and grows with every page
  /// the write touches (to 380 MB in a temporary file on 10,000 types).
  static std::string multiRowInsert(const char* table, int columns, int rows) {
    std::string sql = std::string("INSERT OR FAIL INTO ") + table + " VALUES";
    for (int r = 0, n = 0; r < rows; ++r) {
      sql += r ? ",(" : "(";
      for (int c = 0; c < columns; ++c) sql += (c ? ",?" : "?") + std::to_string(++n);
      sql += ")";
    }
    return sql;
  }

  /// Every change goes through here first: a change outside the write
  /// transaction, or after SQLite rolled it back on its own (disk full, I/O
  /// error), would be committed at once, so it is refused instead.
  void writing() {
    if (!inWrite_ || sqlite3_get_autocommit(db_))
      throw StorageError{"no write transaction is active"};
  }

  void exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "";
      sqlite3_free(err);
      throw StorageError{msg};
    }
  }

  /// kStoreOk for a repository (an empty database is made one).
  int32_t checkFormat() {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    int64_t tables = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) return kStoreNotRepository;
    if (rc == SQLITE_BUSY) return kStoreBusy;
    if (rc != SQLITE_ROW) return kStoreCannotOpen;
    if (tables == 0) return readOnly_ ? kStoreNotRepository : initialise();
    std::string format;
    rc = sqlite3_prepare_v2(db_, "SELECT value FROM repository_info WHERE key='format'", -1, &st,
                            nullptr);
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      format = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return format == kFormatMarker ? kStoreOk : kStoreNotRepository;
  }

  /// Creates the tables of a new repository in a transaction left pending
  /// (see commitLater).  Another process may have initialised it meanwhile:
  /// checked again under the lock.
  int32_t initialise() {
    // Pages of 16 KiB make the indexes of a large model shallower: an import
    // of 10,000 types costs 7% less CPU, UBL-Invoice 2%.  Only an empty file
    // takes it; an existing repository keeps its page size.
    sqlite3_exec(db_, "PRAGMA page_size=16384", nullptr, nullptr, nullptr);
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_BUSY) return kStoreBusy;
    if (rc != SQLITE_OK) return kStoreCannotOpen;
    sqlite3_stmt* st = nullptr;
    int64_t tables = -1;
    if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      tables = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    if (tables != 0) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return checkFormat();
    }
    std::string sql = std::string(kSchema) + "INSERT INTO repository_info VALUES('format','" +
                      kFormatMarker + "'),('next_handle','1');" + viewsSql();
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return kStoreCannotOpen;
    }
    pending_ = true;
    return kStoreOk;
  }

  /// Makes the views again when the file's are of another release or
  /// missing (a file written before they existed).  They only read the
  /// tables, so a file that gets them stays readable by any release of the
  /// library; when another process holds the write lock the file is left as
  /// it is and the views are made on a later opening.
  void updateViews() {
    sqlite3_stmt* st = nullptr;
    std::string release;
    if (sqlite3_prepare_v2(db_, "SELECT value FROM repository_info WHERE key='views'", -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      release = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    if (release == kViewsRelease) return;
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return;
    if (sqlite3_exec(db_, viewsSql().c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void prepareStatements() {
    getInfo_.prepare(db_, "SELECT value FROM repository_info WHERE key=?1");
    setInfo_.prepare(db_, "INSERT OR REPLACE INTO repository_info VALUES(?1,?2)");
    insertDefinition_.prepare(db_,
                              "INSERT INTO definition VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11)");
    getDefinition_.prepare(db_,
                           "SELECT set_id,class,name,second_name,type_id,kind,base_id,"
                           "composition,content,value_text FROM definition WHERE id=?1");
    findDefinition_.prepare(db_,
                            "SELECT id FROM definition WHERE set_id=?1 AND class=?2 AND name=?3");
    nextDefinition_.prepare(db_,
                            "SELECT id FROM definition WHERE set_id=?1 AND class=?2 AND id>?3"
                            " ORDER BY id LIMIT 1");
    deleteDefinition_.prepare(db_, "DELETE FROM definition WHERE id=?1");
    insertMessageSet_.prepare(db_, "INSERT INTO message_set VALUES(?1,?2,?3,?4)");
    getMessageSet_.prepare(db_, "SELECT identifier,finalised,locked FROM message_set WHERE id=?1");
    updateMessageSet_.prepare(db_, "UPDATE message_set SET finalised=?1, locked=?2 WHERE id=?3");
    insertMember_.prepare(db_, "INSERT INTO member VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
    getMember_.prepare(db_, std::string(kMemberColumns).append(" WHERE id=?1").c_str());
    nextMember_.prepare(db_,
                        "SELECT id FROM member WHERE parent_id=?1 AND kind=?2 AND id>?3"
                        " ORDER BY id LIMIT 1");
    membersOf_.prepare(
        db_,
        std::string(kMemberColumns).append(" WHERE parent_id=?1 AND kind=?2 ORDER BY id").c_str());
    deleteMember_.prepare(db_, "DELETE FROM member WHERE id=?1");
    insertAttribute_.prepare(db_, "INSERT INTO attribute VALUES(?1,?2,?3,?4)");
    insertDefinitions_.prepare(db_, multiRowInsert("definition", 11, kGatherRows).c_str());
    insertMembers_.prepare(db_, multiRowInsert("member", 10, kGatherRows).c_str());
    insertAttributes_.prepare(db_, multiRowInsert("attribute", 4, kGatherRows).c_str());
    setAttribute_.prepare(db_,
                          "INSERT INTO attribute VALUES(?1,?2,?3,?4) ON CONFLICT"
                          "(component_id,plugin_member_id,key) DO UPDATE SET value=excluded.value");
    getAttribute_.prepare(db_,
                          "SELECT value FROM attribute WHERE component_id=?1"
                          " AND plugin_member_id=?2 AND key=?3");
    nextAttribute_.prepare(db_,
                           "SELECT rowid,plugin_member_id,key,value FROM attribute"
                           " WHERE component_id=?1 AND rowid>?2 ORDER BY rowid LIMIT 1");
    deleteAttributes_.prepare(db_, "DELETE FROM attribute WHERE component_id=?1");
    referenceEdges_.prepare(
        db_,
        "SELECT id, type_id FROM definition WHERE set_id=?1 AND type_id<>0"
        " UNION ALL SELECT id, base_id FROM definition WHERE set_id=?1 AND base_id<>0"
        " UNION ALL SELECT parent_id, child_id FROM member WHERE set_id=?1 AND kind<>1");
    definitionIds_.prepare(db_, "SELECT id FROM definition WHERE set_id=?1 ORDER BY id");
    const char* const deleteSet[] = {
        "DELETE FROM attribute WHERE component_id IN (SELECT id FROM definition WHERE set_id=?1"
        " UNION ALL SELECT id FROM member WHERE set_id=?1) OR component_id=?1",
        "DELETE FROM member WHERE set_id=?1", "DELETE FROM definition WHERE set_id=?1",
        "DELETE FROM message_set WHERE id=?1", "DELETE FROM definition WHERE id=?1"};
    for (size_t i = 0; i < std::size(deleteSet); ++i) deleteSet_[i].prepare(db_, deleteSet[i]);
  }

  void saveNextHandle() {
    setInfo_.bind(1, std::string("next_handle")).bind(2, std::to_string(nextHandle_));
    setInfo_.execute();
  }

  std::vector<MemberRow> membersOfAnyKind(uint32_t parentId) {
    std::vector<MemberRow> all;
    for (int32_t kind : {QEL_MEMBER_PLUGIN, QEL_MEMBER_TYPE, QEL_MEMBER_VALUE}) {
      std::vector<MemberRow> some = membersOf(parentId, kind);
      all.insert(all.end(), some.begin(), some.end());
    }
    return all;
  }

  static void readMember(const Statement& s, MemberRow* r) {
    r->id = static_cast<uint32_t>(s.integer(0));
    r->setId = static_cast<uint32_t>(s.integer(1));
    r->parentId = static_cast<uint32_t>(s.integer(2));
    r->childId = static_cast<uint32_t>(s.integer(3));
    r->kind = static_cast<int32_t>(s.integer(4));
    r->repeat = static_cast<int32_t>(s.integer(5));
    r->minOccurs = s.text(6);
    r->maxOccurs = s.text(7);
    r->role = static_cast<int32_t>(s.integer(8));
    r->name = s.text(9);
  }

  static constexpr const char* kMemberColumns =
      "SELECT id,set_id,parent_id,child_id,kind,repeat,min_occurs,max_occurs,role,name FROM member";

  sqlite3* db_;
  bool readOnly_ = false;
  bool inWrite_ = false;
  bool pending_ = false;    ///< a transaction holds changes for the next commit
  bool savepoint_ = false;  ///< the caller's write runs under savepoint "write"
  bool lostRows_ = false;   ///< a gathered insert failed: the write cannot commit
  uint32_t nextHandle_ = 0;
  uint32_t firstHandle_ = UINT32_MAX;  ///< the first handle given out in this write
  Statement getInfo_, setInfo_;
  Statement insertDefinition_, getDefinition_, findDefinition_, nextDefinition_, deleteDefinition_;
  Statement insertMessageSet_, getMessageSet_, updateMessageSet_;
  Statement insertMember_, getMember_, nextMember_, membersOf_, deleteMember_;
  Statement insertAttribute_, setAttribute_, getAttribute_, nextAttribute_, deleteAttributes_;
  Statement referenceEdges_, definitionIds_, deleteSet_[5];
  Statement insertDefinitions_, insertMembers_, insertAttributes_;  ///< kGatherRows rows at a time
  std::vector<DefinitionRow> gatheredDefinitions_;
  std::vector<MemberRow> gatheredMembers_;
  std::vector<GatheredAttribute> gatheredAttributes_;
};

}  // namespace

namespace {

std::unique_ptr<RepositoryStorage> openFile(const std::string& path, bool readOnly,
                                            int32_t* status) {
  struct stat st;
  if (readOnly && ::stat(path.c_str(), &st) != 0) {
    *status = kStoreNotFound;
    return nullptr;
  }
  sqlite3* db = nullptr;
  // The name is always a file name.  SQLite would take ":memory:" and, as
  // built here, "file:" URIs (mode=memory) as a database that keeps nothing.
  std::string file = path;
  if (file == ":memory:" || file.rfind("file:", 0) == 0) file.insert(0, "./");
  // The connection is only ever used by one thread at a time (the API's one
  // connection per process): no mutex around every call.
  int flags = SQLITE_OPEN_NOMUTEX |
              (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    *status = kStoreCannotOpen;
    return nullptr;
  }
  auto storage = std::make_unique<SqliteStorage>(db);
  try {
    *status = storage->open(readOnly);
  } catch (const StorageError&) {
    *status = kStoreFailure;
  }
  if (*status != kStoreOk) return nullptr;
  return storage;
}

}  // namespace

std::unique_ptr<RepositoryStorage> openSqliteStorage(const std::string& path, int32_t* status) {
  return openFile(path, false, status);
}

std::unique_ptr<RepositoryStorage> openSqliteStorageForReading(const std::string& path,
                                                               int32_t* status) {
  return openFile(path, true, status);
}

}  // namespace qel
