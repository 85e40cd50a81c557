// The repository kept in a PostgreSQL database, reached through libpq, which
// is loaded when the first server repository is opened (pq_client.h).  All
// SQL of the server store lives in this file.
//
// The tables are those of the file store (repository_info, definition,
// message_set, member, attribute), created on first use in a schema of their
// own: "kova", or the name given as schema=NAME in the query part of the
// repository's URL.  Every statement is prepared once per connection and
// takes its values as parameters; the only name ever put into SQL text is
// the schema's, and that only as a checked, quoted identifier.
//
// Handles come from a sequence, taken in blocks so that a writer seldom asks
// for one, and so that writers into different message sets never wait for
// each other.  A writer locks the row of its message set (SELECT ... FOR
// UPDATE): a second writer of the same set waits for lock_timeout and is then
// refused as busy.  One server transaction spans one write: a killed client
// or a dropped connection makes the server roll it back.
//
// Round trips dominate the cost of an import, so the write transaction runs
// in libpq's pipeline mode: inserts, updates and deletes are sent without
// waiting for their answers, which arrive together with the answer to the
// next read (or the commit); the inserts of definitions, members and
// attributes are gathered into statements of up to kBatchRows rows each
// (arrays of values, unnested by the server).  A failed write is found then
// and fails that
// read, and the transaction can only be rolled back.  And while a writer
// holds a message set (locked, or created in its transaction) no one else
// can change it, so its definitions and members are read once and kept in
// memory: finds, walks and duplicate checks in it cost no round trip.
#include <libpq-fe.h>
#include <unistd.h>

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "pq_client.h"
#include "qelbeapi.h"
#include "storage.h"

namespace qel {
namespace {

constexpr const char* kFormatMarker = "kova-repository 1";
constexpr const char* kDefaultSchema = "kova";
constexpr const char* kLockTimeout = "2000";  // milliseconds, as the file store's busy timeout
constexpr int64_t kHandleBlock = 1000;
constexpr size_t kBatchRows = 2000;

const char* const kTables[] = {
    "CREATE TABLE repository_info(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE definition("
    " id BIGINT PRIMARY KEY, set_id BIGINT NOT NULL, class INTEGER NOT NULL,"
    " name TEXT NOT NULL, second_name TEXT NOT NULL, type_id BIGINT NOT NULL,"
    " kind INTEGER NOT NULL, base_id BIGINT NOT NULL, composition INTEGER NOT NULL,"
    " content INTEGER NOT NULL, value_text TEXT NOT NULL)",
    "CREATE UNIQUE INDEX definition_name ON definition(set_id, class, name)",
    "CREATE INDEX definition_walk ON definition(set_id, class, id)",
    "CREATE TABLE message_set("
    " id BIGINT PRIMARY KEY, identifier TEXT NOT NULL UNIQUE,"
    " finalised INTEGER NOT NULL, locked INTEGER NOT NULL)",
    "CREATE TABLE member("
    " id BIGINT PRIMARY KEY, set_id BIGINT NOT NULL, parent_id BIGINT NOT NULL,"
    " child_id BIGINT NOT NULL, kind INTEGER NOT NULL, repeat INTEGER NOT NULL,"
    " min_occurs TEXT NOT NULL, max_occurs TEXT NOT NULL, role INTEGER NOT NULL,"
    " name TEXT NOT NULL)",
    "CREATE INDEX member_parent ON member(parent_id, kind, id)",
    "CREATE INDEX member_set ON member(set_id)",
    "CREATE TABLE attribute("
    " component_id BIGINT NOT NULL, plugin_member_id BIGINT NOT NULL, key INTEGER NOT NULL,"
    " value TEXT NOT NULL, ord BIGINT GENERATED ALWAYS AS IDENTITY)",
    "CREATE UNIQUE INDEX attribute_key ON attribute(component_id, plugin_member_id, key)",
    "CREATE INDEX attribute_order ON attribute(component_id, ord)",
    "CREATE SEQUENCE handle_seq START WITH 1 INCREMENT BY 1000",
};

/// The statements of a connection, prepared under these names.
enum Stmt {
  kNextHandles,
  kInsertDefinition,
  kAppendDefinition,
  kHeldDefinitions,
  kHeldMembers,
  kGetDefinition,
  kFindDefinition,
  kNextDefinition,
  kDeleteDefinition,
  kInsertMessageSet,
  kGetMessageSet,
  kUpdateMessageSet,
  kLockMessageSet,
  kDeleteSetAttributes,
  kDeleteSetMembers,
  kDeleteSetDefinitions,
  kDeleteSetRow,
  kInsertMember,
  kGetMember,
  kNextMember,
  kMembersOf,
  kMembersOfAnyKind,
  kDeleteMember,
  kSetAttribute,
  kGetAttribute,
  kNextAttribute,
  kDeleteAttributes,
  kReferenceEdges,
  kDefinitionIds,
  kBatchDefinitions,
  kBatchMembers,
  kBatchAttributes,
  kStmtCount
};

#define KOVA_MEMBER_COLUMNS \
  "SELECT id,set_id,parent_id,child_id,kind,repeat,min_occurs,max_occurs,role,name FROM member"

const char* const kStatements[kStmtCount] = {
    "SELECT nextval('handle_seq')",
    "INSERT INTO definition VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11) ON CONFLICT DO NOTHING",
    "INSERT INTO definition VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11)",
    "SELECT set_id,class,name,second_name,type_id,kind,base_id,composition,content,value_text,id"
    " FROM definition WHERE set_id=$1",
    KOVA_MEMBER_COLUMNS " WHERE set_id=$1",
    "SELECT set_id,class,name,second_name,type_id,kind,base_id,composition,content,value_text"
    " FROM definition WHERE id=$1",
    "SELECT id FROM definition WHERE set_id=$1 AND class=$2 AND name=$3",
    "SELECT id FROM definition WHERE set_id=$1 AND class=$2 AND id>$3 ORDER BY id LIMIT 1",
    "DELETE FROM definition WHERE id=$1",
    "INSERT INTO message_set VALUES($1,$2,$3,$4) ON CONFLICT DO NOTHING",
    "SELECT identifier,finalised,locked FROM message_set WHERE id=$1",
    "UPDATE message_set SET finalised=$1, locked=$2 WHERE id=$3",
    "SELECT id FROM message_set WHERE id=$1 FOR UPDATE",
    "DELETE FROM attribute WHERE component_id IN (SELECT id FROM definition WHERE set_id=$1"
    " UNION ALL SELECT id FROM member WHERE set_id=$1) OR component_id=$1",
    "DELETE FROM member WHERE set_id=$1",
    "DELETE FROM definition WHERE set_id=$1",
    "WITH s AS (DELETE FROM message_set WHERE id=$1) DELETE FROM definition WHERE id=$1",
    "INSERT INTO member VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10)",
    KOVA_MEMBER_COLUMNS " WHERE id=$1",
    "SELECT id FROM member WHERE parent_id=$1 AND kind=$2 AND id>$3 ORDER BY id LIMIT 1",
    KOVA_MEMBER_COLUMNS " WHERE parent_id=$1 AND kind=$2 ORDER BY id",
    KOVA_MEMBER_COLUMNS " WHERE parent_id=$1 ORDER BY kind, id",
    "WITH a AS (DELETE FROM attribute WHERE component_id=$1) DELETE FROM member WHERE id=$1",
    "INSERT INTO attribute(component_id,plugin_member_id,key,value) VALUES($1,$2,$3,$4)"
    " ON CONFLICT (component_id,plugin_member_id,key) DO UPDATE SET value=excluded.value",
    "SELECT value FROM attribute WHERE component_id=$1 AND plugin_member_id=$2 AND key=$3",
    "SELECT ord,plugin_member_id,key,value FROM attribute WHERE component_id=$1 AND ord>$2"
    " ORDER BY ord LIMIT 1",
    "DELETE FROM attribute WHERE component_id=$1",
    "SELECT id, type_id FROM definition WHERE set_id=$1 AND type_id<>0"
    " UNION ALL SELECT id, base_id FROM definition WHERE set_id=$1 AND base_id<>0"
    " UNION ALL SELECT parent_id, child_id FROM member WHERE set_id=$1 AND kind<>1",
    "SELECT id FROM definition WHERE set_id=$1 ORDER BY id",
    "INSERT INTO definition SELECT * FROM unnest($1::bigint[],$2::bigint[],$3::int[],$4::text[],"
    "$5::text[],$6::bigint[],$7::int[],$8::bigint[],$9::int[],$10::int[],$11::text[])",
    "INSERT INTO member SELECT * FROM unnest($1::bigint[],$2::bigint[],$3::bigint[],$4::bigint[],"
    "$5::int[],$6::int[],$7::text[],$8::text[],$9::int[],$10::text[])",
    "INSERT INTO attribute(component_id,plugin_member_id,key,value)"
    " SELECT * FROM unnest($1::bigint[],$2::bigint[],$3::int[],$4::text[])"
    " ON CONFLICT (component_id,plugin_member_id,key) DO UPDATE SET value=excluded.value",
};

/// The text parameters of one statement.
class Params {
 public:
  Params& add(int64_t v) {
    values_.push_back(std::to_string(v));
    return *this;
  }
  Params& add(const std::string& v) {
    values_.push_back(v);
    return *this;
  }
  int count() const { return static_cast<int>(values_.size()); }
  const std::vector<std::string>& values() const { return values_; }
  /// Pointers into the values; valid while this object lives unchanged.
  std::vector<const char*> pointers() const {
    std::vector<const char*> p;
    for (const std::string& v : values_) p.push_back(v.c_str());
    return p;
  }

 private:
  std::vector<std::string> values_;
};

/// Owns one PGresult.
class Result {
 public:
  explicit Result(PGresult* r = nullptr) : r_(r) {}
  Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  Result& operator=(Result&& o) noexcept {
    std::swap(r_, o.r_);
    return *this;
  }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { pq().PQclear(r_); }
  PGresult* get() const { return r_; }
  int rows() const { return pq().PQntuples(r_); }
  int64_t integer(int row, int col) const {
    return std::strtoll(pq().PQgetvalue(r_, row, col), nullptr, 10);
  }
  std::string text(int row, int col) const {
    return std::string(pq().PQgetvalue(r_, row, col),
                       static_cast<size_t>(pq().PQgetlength(r_, row, col)));
  }
  /// Rows a command changed (its tag's count).
  int64_t changed() const { return std::strtoll(pq().PQcmdTuples(r_), nullptr, 10); }
  bool ok() const {
    ExecStatusType s = pq().PQresultStatus(r_);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
  }
  std::string sqlState() const {
    const char* s = pq().PQresultErrorField(r_, PG_DIAG_SQLSTATE);
    return s ? s : "";
  }

 private:
  PGresult* r_;
};

/// A lock that could not be had in time, or a deadlock, makes a busy error.
bool isBusyState(const std::string& state) {
  return state == "55P03" || state == "40P01" || state == "40001";
}

class PgStorage final : public RepositoryStorage {
 public:
  explicit PgStorage(PGconn* conn) : conn_(conn), owner_(getpid()) {}
  ~PgStorage() override {
    // A child process that inherited the connection only lets go of its
    // copy of the socket: finishing it would end its parent's session.
    if (getpid() != owner_) {
      close(pq().PQsocket(conn_));
      return;
    }
    // Ending the connection ends an open transaction without committing it.
    pq().PQfinish(conn_);
  }

  /// Selects the schema, initialising it when it holds no tables; prepares
  /// the statements.  Returns a StorageStatus.
  int32_t open(const std::string& schema, bool readOnly) {
    if (!simple("SELECT set_config('lock_timeout', $1, false)", Params().add(kLockTimeout)))
      return kStoreCannotOpen;
    // A reader's session cannot change anything, whatever is asked of it.
    if (readOnly &&
        !simple("SELECT set_config('default_transaction_read_only', 'on', false)", Params()))
      return kStoreCannotOpen;
    if (!simple("SELECT set_config('search_path', $1, false)", Params().add(quoted(schema))))
      return kStoreCannotOpen;
    int32_t st = checkSchema(schema, readOnly);
    if (st != kStoreOk) return st;
    for (int i = 0; i < kStmtCount; ++i) {
      Result r(pq().PQprepare(conn_, name(i).c_str(), kStatements[i], 0, nullptr));
      if (!r.ok()) {
        error_ = pq().PQerrorMessage(conn_);
        return kStoreFailure;
      }
    }
    return kStoreOk;
  }

  const std::string& error() const { return error_; }

  int32_t beginWrite() override {
    assert(!inWrite_);
    Result r(pq().PQexec(conn_, "BEGIN"));
    if (!r.ok()) throw failure(r);
    inWrite_ = true;
    failed_ = false;
    handleNext_ = handleEnd_ = 0;
    if (pq().PQenterPipelineMode(conn_) != 1) {
      rollback();
      throw StorageError{pq().PQerrorMessage(conn_)};
    }
    return kStoreOk;
  }

  int32_t lockSet(uint32_t setId) override {
    assert(inWrite_);
    try {
      read(kLockMessageSet, Params().add(setId));
      Result defs = read(kHeldDefinitions, Params().add(setId));
      HeldSet& held = held_[setId];
      for (int i = 0; i < defs.rows(); ++i) {
        DefinitionRow row;
        readDefinition(defs, i, &row);
        row.id = static_cast<uint32_t>(defs.integer(i, 10));
        held.add(row);
      }
      for (const MemberRow& m : rowsOfMembers(read(kHeldMembers, Params().add(setId)))) held.add(m);
    } catch (const StorageError& e) {
      rollback();
      return e.busy ? kStoreBusy : kStoreFailure;
    }
    return kStoreOk;
  }

  int32_t commit() override {
    assert(inWrite_);
    try {
      sendBatches();
      sync();
    } catch (const StorageError& e) {
      rollback();
      return e.busy ? kStoreBusy : kStoreFailure;
    }
    if (failed_) {
      rollback();
      return kStoreFailure;
    }
    held_.clear();
    leavePipeline();
    Result r(pq().PQexec(conn_, "COMMIT"));
    inWrite_ = false;
    // COMMIT of a transaction that the server aborted answers ROLLBACK.
    if (!r.ok() || std::strcmp(pq().PQcmdStatus(r.get()), "COMMIT") != 0) {
      error_ = r.ok() ? "the transaction was rolled back" : pq().PQresultErrorMessage(r.get());
      return isBusyState(r.sqlState()) ? kStoreBusy : kStoreFailure;
    }
    return kStoreOk;
  }

  void rollback() override {
    if (!inWrite_) return;
    inWrite_ = false;
    held_.clear();
    for (Batch& b : batches_) {
      b.rows.clear();
      b.attributeRow.clear();
    }
    if (pq().PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) {
      try {
        sync();
      } catch (const StorageError&) {
      }
      leavePipeline();
    }
    pq().PQclear(pq().PQexec(conn_, "ROLLBACK"));
  }

  bool inWrite() const override { return inWrite_; }

  uint32_t allocateHandle() override {
    assert(inWrite_);
    if (handleNext_ == handleEnd_) {
      Result r = read(kNextHandles, Params());
      handleNext_ = r.integer(0, 0);
      handleEnd_ = handleNext_ + kHandleBlock;
      if (handleEnd_ > 0x7fffffff) throw StorageError{"handle space exhausted"};
    }
    return static_cast<uint32_t>(handleNext_++);
  }

  int32_t insertDefinition(const DefinitionRow& r) override {
    writing();
    Params p;
    p.add(r.id).add(r.setId).add(r.defClass).add(r.name).add(r.secondName).add(r.typeId);
    p.add(r.kind).add(r.baseId).add(r.composition).add(r.content).add(r.valueText);
    auto held = held_.find(r.setId);
    if (held == held_.end())
      return read(kInsertDefinition, p).changed() == 0 ? kStoreDuplicate : kStoreOk;
    if (held->second.names.count(nameKey(r.defClass, r.name))) return kStoreDuplicate;
    held->second.add(r);
    write(kAppendDefinition, p);
    return kStoreOk;
  }

  bool getDefinition(uint32_t id, DefinitionRow* r) override {
    for (auto& [setId, held] : held_) {
      auto it = held.definitions.find(id);
      if (it != held.definitions.end()) {
        *r = it->second;
        return true;
      }
    }
    Result s = read(kGetDefinition, Params().add(id));
    if (s.rows() == 0) return false;
    readDefinition(s, 0, r);
    r->id = id;
    return true;
  }

  uint32_t findDefinition(uint32_t setId, int32_t defClass, const std::string& name) override {
    auto held = held_.find(setId);
    if (held != held_.end()) {
      auto it = held->second.names.find(nameKey(defClass, name));
      return it == held->second.names.end() ? 0 : it->second;
    }
    Result s = read(kFindDefinition, Params().add(setId).add(defClass).add(name));
    return s.rows() ? static_cast<uint32_t>(s.integer(0, 0)) : 0;
  }

  uint32_t nextDefinition(uint32_t setId, int32_t defClass, uint32_t afterId) override {
    auto held = held_.find(setId);
    if (held != held_.end()) {
      const std::set<uint32_t>& ids = held->second.byClass[defClass];
      auto it = ids.upper_bound(afterId);
      return it == ids.end() ? 0 : *it;
    }
    Result s = read(kNextDefinition, Params().add(setId).add(defClass).add(afterId));
    return s.rows() ? static_cast<uint32_t>(s.integer(0, 0)) : 0;
  }

  void deleteDefinition(uint32_t id) override {
    writing();
    if (HeldSet* held = holderOf(id)) {
      for (uint32_t member : std::set<uint32_t>(held->children[id])) deleteMember(member);
      held->remove(id);
    } else {
      for (const MemberRow& m : rowsOfMembers(read(kMembersOfAnyKind, Params().add(id))))
        deleteMember(m.id);
    }
    write(kDeleteAttributes, Params().add(id));
    write(kDeleteDefinition, Params().add(id));
  }

  int32_t insertMessageSet(const MessageSetRow& r) override {
    writing();
    Params p;
    p.add(r.id).add(r.identifier).add(r.finalised).add(r.locked);
    if (read(kInsertMessageSet, p).changed() == 0) return kStoreDuplicate;
    held_[r.id];  // new in this transaction: no one else sees it yet
    return kStoreOk;
  }

  bool getMessageSet(uint32_t id, MessageSetRow* r) override {
    Result s = read(kGetMessageSet, Params().add(id));
    if (s.rows() == 0) return false;
    r->id = id;
    r->identifier = s.text(0, 0);
    r->finalised = s.integer(0, 1) != 0;
    r->locked = s.integer(0, 2) != 0;
    return true;
  }

  void updateMessageSet(const MessageSetRow& r) override {
    writing();
    write(kUpdateMessageSet, Params().add(r.finalised).add(r.locked).add(r.id));
  }

  void deleteMessageSet(uint32_t id) override {
    writing();
    held_.erase(id);
    for (int s : {kDeleteSetAttributes, kDeleteSetMembers, kDeleteSetDefinitions, kDeleteSetRow})
      write(s, Params().add(id));
  }

  void insertMember(const MemberRow& r) override {
    writing();
    Params p;
    p.add(r.id).add(r.setId).add(r.parentId).add(r.childId).add(r.kind).add(r.repeat);
    p.add(r.minOccurs).add(r.maxOccurs).add(r.role).add(r.name);
    auto held = held_.find(r.setId);
    if (held != held_.end()) held->second.add(r);
    write(kInsertMember, p);
  }

  bool getMember(uint32_t id, MemberRow* r) override {
    for (auto& [setId, held] : held_) {
      auto it = held.members.find(id);
      if (it != held.members.end()) {
        *r = it->second;
        return true;
      }
    }
    std::vector<MemberRow> rows = rowsOfMembers(read(kGetMember, Params().add(id)));
    if (rows.empty()) return false;
    *r = rows.front();
    return true;
  }

  uint32_t nextMember(uint32_t parentId, int32_t kind, uint32_t afterId) override {
    if (HeldSet* held = holderOf(parentId)) {
      const std::set<uint32_t>& ids = held->children[parentId];
      for (auto it = ids.upper_bound(afterId); it != ids.end(); ++it)
        if (held->members[*it].kind == kind) return *it;
      return 0;
    }
    Result s = read(kNextMember, Params().add(parentId).add(kind).add(afterId));
    return s.rows() ? static_cast<uint32_t>(s.integer(0, 0)) : 0;
  }

  std::vector<MemberRow> membersOf(uint32_t parentId, int32_t kind) override {
    if (HeldSet* held = holderOf(parentId)) {
      std::vector<MemberRow> rows;
      for (uint32_t id : held->children[parentId])
        if (held->members[id].kind == kind) rows.push_back(held->members[id]);
      return rows;
    }
    return rowsOfMembers(read(kMembersOf, Params().add(parentId).add(kind)));
  }

  void deleteMembersOf(uint32_t parentId, int32_t kind) override {
    for (const MemberRow& m : membersOf(parentId, kind)) deleteMember(m.id);
  }

  void deleteMember(uint32_t id) override {
    writing();
    if (HeldSet* held = holderOf(id)) held->remove(id);
    write(kDeleteMember, Params().add(id));
  }

  void setAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                    const std::string& value) override {
    writing();
    write(kSetAttribute, Params().add(componentId).add(pluginMemberId).add(key).add(value));
  }

  bool getAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                    std::string* value) override {
    Result s = read(kGetAttribute, Params().add(componentId).add(pluginMemberId).add(key));
    if (s.rows() == 0) return false;
    *value = s.text(0, 0);
    return true;
  }

  bool nextAttribute(uint32_t componentId, int64_t afterOrder, AttributeRow* row) override {
    Result s = read(kNextAttribute, Params().add(componentId).add(afterOrder));
    if (s.rows() == 0) return false;
    row->order = s.integer(0, 0);
    row->pluginMemberId = static_cast<uint32_t>(s.integer(0, 1));
    row->key = static_cast<int32_t>(s.integer(0, 2));
    row->value = s.text(0, 3);
    return true;
  }

  void deleteAttributesOf(uint32_t componentId) override {
    writing();
    write(kDeleteAttributes, Params().add(componentId));
  }

  std::vector<Edge> referenceEdges(uint32_t setId) override {
    Result s = read(kReferenceEdges, Params().add(setId));
    std::vector<Edge> edges;
    for (int i = 0; i < s.rows(); ++i)
      edges.push_back(
          {static_cast<uint32_t>(s.integer(i, 0)), static_cast<uint32_t>(s.integer(i, 1))});
    return edges;
  }

  std::vector<uint32_t> definitionIds(uint32_t setId) override {
    Result s = read(kDefinitionIds, Params().add(setId));
    std::vector<uint32_t> ids;
    for (int i = 0; i < s.rows(); ++i) ids.push_back(static_cast<uint32_t>(s.integer(i, 0)));
    return ids;
  }

 private:
  static std::string name(int stmt) { return "kova_" + std::to_string(stmt); }

  static std::string nameKey(int32_t defClass, const std::string& name) {
    return std::to_string(defClass) + ':' + name;
  }

  /// A message set this writer holds, as the server will hold it once the
  /// changes sent are applied.
  struct HeldSet {
    std::unordered_map<std::string, uint32_t> names;  ///< nameKey -> definition
    std::unordered_map<uint32_t, DefinitionRow> definitions;
    std::map<int32_t, std::set<uint32_t>> byClass;  ///< definitions of each class, in order
    std::unordered_map<uint32_t, MemberRow> members;
    std::unordered_map<uint32_t, std::set<uint32_t>> children;  ///< parent -> its members, in order

    void add(const DefinitionRow& r) {
      names[nameKey(r.defClass, r.name)] = r.id;
      definitions[r.id] = r;
      byClass[r.defClass].insert(r.id);
    }
    void add(const MemberRow& m) {
      members[m.id] = m;
      children[m.parentId].insert(m.id);
    }
    /// Forgets a definition or a member (not the members of a definition).
    void remove(uint32_t id) {
      auto d = definitions.find(id);
      if (d != definitions.end()) {
        names.erase(nameKey(d->second.defClass, d->second.name));
        byClass[d->second.defClass].erase(id);
        children.erase(id);
        definitions.erase(d);
        return;
      }
      auto m = members.find(id);
      if (m != members.end()) {
        children[m->second.parentId].erase(id);
        members.erase(m);
      }
    }
  };

  /// The held set that a definition, a member or a set itself belongs to.
  HeldSet* holderOf(uint32_t id) {
    for (auto& [setId, held] : held_)
      if (setId == id || held.definitions.count(id) || held.members.count(id)) return &held;
    return nullptr;
  }

  static void readDefinition(const Result& s, int row, DefinitionRow* r) {
    r->setId = static_cast<uint32_t>(s.integer(row, 0));
    r->defClass = static_cast<int32_t>(s.integer(row, 1));
    r->name = s.text(row, 2);
    r->secondName = s.text(row, 3);
    r->typeId = static_cast<uint32_t>(s.integer(row, 4));
    r->kind = static_cast<int32_t>(s.integer(row, 5));
    r->baseId = static_cast<uint32_t>(s.integer(row, 6));
    r->composition = static_cast<int32_t>(s.integer(row, 7));
    r->content = static_cast<int32_t>(s.integer(row, 8));
    r->valueText = s.text(row, 9);
  }

  /// The schema name as a quoted identifier (checked to be a plain name).
  std::string quoted(const std::string& schema) {
    char* q = pq().PQescapeIdentifier(conn_, schema.c_str(), schema.size());
    std::string s = q ? q : "";
    pq().PQfreemem(q);
    return s;
  }

  /// Runs one statement outside the prepared set; false (and error_) on failure.
  bool simple(const char* sql, const Params& p, Result* out = nullptr) {
    std::vector<const char*> v = p.pointers();
    Result r(pq().PQexecParams(conn_, sql, p.count(), nullptr, v.data(), nullptr, nullptr, 0));
    if (!r.ok()) {
      error_ = pq().PQresultErrorMessage(r.get());
      return false;
    }
    if (out) *out = std::move(r);
    return true;
  }

  /// kStoreOk when the schema holds a repository; an empty or missing
  /// schema is made one.  Concurrent first openers are serialised by an
  /// advisory lock on the schema's name.
  int32_t checkSchema(const std::string& schema, bool readOnly) {
    Result r;
    if (!simple("BEGIN", Params()) ||
        !simple("SELECT pg_advisory_xact_lock(hashtext('kova-repository:' || $1))",
                Params().add(schema)) ||
        !simple("SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n"
                " ON n.oid=c.relnamespace WHERE n.nspname=$1",
                Params().add(schema), &r)) {
      pq().PQclear(pq().PQexec(conn_, "ROLLBACK"));
      return kStoreCannotOpen;
    }
    int32_t st = kStoreOk;
    if (r.integer(0, 0) == 0 && readOnly) {
      st = kStoreNotFound;
      error_ = "schema " + schema + " holds no repository";
    } else if (r.integer(0, 0) == 0) {
      bool ok = simple(("CREATE SCHEMA IF NOT EXISTS " + quoted(schema)).c_str(), Params());
      for (const char* sql : kTables) ok = ok && simple(sql, Params());
      ok = ok &&
           simple("INSERT INTO repository_info VALUES('format', $1)", Params().add(kFormatMarker));
      if (!ok) st = kStoreCannotOpen;
    } else {
      Result f;
      if (!simple("SELECT value FROM repository_info WHERE key='format'", Params(), &f) ||
          f.rows() != 1 || f.text(0, 0) != kFormatMarker)
        st = kStoreNotRepository;
    }
    if (st == kStoreOk && !simple("COMMIT", Params())) st = kStoreCannotOpen;
    if (st != kStoreOk) {
      if (error_.empty() && st == kStoreNotRepository)
        error_ = "schema " + schema + " holds tables that are not a repository";
      pq().PQclear(pq().PQexec(conn_, "ROLLBACK"));
    }
    return st;
  }

  void writing() {
    if (!inWrite_ || failed_) throw StorageError{"no write transaction is active"};
  }

  StorageError failure(const Result& r) {
    std::string state = r.get() ? r.sqlState() : "";
    error_ = r.get() ? pq().PQresultErrorMessage(r.get()) : pq().PQerrorMessage(conn_);
    if (pq().PQstatus(conn_) == CONNECTION_BAD) error_ = pq().PQerrorMessage(conn_);
    return StorageError{error_, isBusyState(state)};
  }

  void send(int stmt, const Params& p) {
    std::vector<const char*> v = p.pointers();
    if (pq().PQsendQueryPrepared(conn_, name(stmt).c_str(), p.count(), v.data(), nullptr, nullptr,
                                 0) != 1) {
      failed_ = inWrite_;
      throw StorageError{error_ = pq().PQerrorMessage(conn_)};
    }
  }

  /// A change: in a write transaction it is only sent; its answer is read
  /// with the next read.
  void write(int stmt, const Params& p) {
    if (pq().PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) {
      read(stmt, p);
      return;
    }
    int batch = batchOf(stmt);
    if (batch >= 0) {
      gather(batch, p);
      return;
    }
    sendBatches();
    send(stmt, p);
    ++pending_;
  }

  /// The batch statement that gathers inserts of `stmt`, or -1.
  static int batchOf(int stmt) {
    switch (stmt) {
      case kAppendDefinition:
        return kBatchDefinitions;
      case kInsertMember:
        return kBatchMembers;
      case kSetAttribute:
        return kBatchAttributes;
      default:
        return -1;
    }
  }

  /// Adds one row to a batch; a second value for the same attribute replaces
  /// the first in its place, as the upsert would.
  void gather(int batch, const Params& p) {
    Batch& b = batches_[batch];
    if (batch == kBatchAttributes) {
      const std::vector<std::string>& v = p.values();
      std::string key = v[0] + ':' + v[1] + ':' + v[2];
      auto [it, added] = b.attributeRow.emplace(key, b.rows.size());
      if (!added) {
        b.rows[it->second] = v;
        return;
      }
    }
    b.rows.push_back(p.values());
    if (b.rows.size() >= kBatchRows) sendBatch(batch);
  }

  /// Sends a batch as one statement whose parameters are arrays.
  void sendBatch(int batch) {
    Batch& b = batches_[batch];
    if (b.rows.empty()) return;
    Params arrays;
    for (size_t col = 0; col < b.rows.front().size(); ++col) {
      std::string a = "{";
      for (size_t r = 0; r < b.rows.size(); ++r) {
        if (r) a += ',';
        a += '"';
        for (char c : b.rows[r][col]) {
          if (c == '"' || c == '\\') a += '\\';
          a += c;
        }
        a += '"';
      }
      arrays.add(a + "}");
    }
    b.rows.clear();
    b.attributeRow.clear();
    send(batch, arrays);
    ++pending_;
  }

  void sendBatches() {
    for (int batch : {kBatchDefinitions, kBatchMembers, kBatchAttributes}) sendBatch(batch);
  }

  /// Runs a statement and returns its answer, first collecting the answers
  /// of the changes sent before it.  A failure throws; inside a write
  /// transaction it also marks the transaction failed.
  Result read(int stmt, const Params& p) {
    if (pq().PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) {
      std::vector<const char*> v = p.pointers();
      Result r(
          pq().PQexecPrepared(conn_, name(stmt).c_str(), p.count(), v.data(), nullptr, nullptr, 0));
      if (!r.ok()) throw failure(r);
      return r;
    }
    if (failed_) throw StorageError{"the write transaction has failed"};
    sendBatches();
    send(stmt, p);
    ++pending_;
    std::vector<Result> answers = sync();
    return std::move(answers.back());
  }

  /// Sends a sync point and reads every pending answer up to it.  The first
  /// failure is thrown after all answers are read.
  std::vector<Result> sync() {
    std::vector<Result> answers;
    if (pq().PQpipelineSync(conn_) != 1) {
      failed_ = true;
      throw StorageError{error_ = pq().PQerrorMessage(conn_)};
    }
    bool bad = false;
    StorageError first;
    for (;;) {
      Result r(pq().PQgetResult(conn_));
      if (!r.get()) {
        if (pq().PQstatus(conn_) == CONNECTION_BAD) {
          failed_ = true;
          throw StorageError{error_ = pq().PQerrorMessage(conn_)};
        }
        continue;  // the end of one statement's answers
      }
      ExecStatusType s = pq().PQresultStatus(r.get());
      if (s == PGRES_PIPELINE_SYNC) break;
      if (s == PGRES_PIPELINE_ABORTED) continue;
      if (!r.ok() && !bad) {
        bad = true;
        first = failure(r);
      }
      if (r.ok()) answers.push_back(std::move(r));
    }
    pending_ = 0;
    if (bad) {
      failed_ = true;
      throw first;
    }
    return answers;
  }

  void leavePipeline() {
    if (pq().PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) pq().PQexitPipelineMode(conn_);
  }

  static std::vector<MemberRow> rowsOfMembers(const Result& s) {
    std::vector<MemberRow> rows(static_cast<size_t>(s.rows()));
    for (int i = 0; i < s.rows(); ++i) {
      MemberRow& r = rows[static_cast<size_t>(i)];
      r.id = static_cast<uint32_t>(s.integer(i, 0));
      r.setId = static_cast<uint32_t>(s.integer(i, 1));
      r.parentId = static_cast<uint32_t>(s.integer(i, 2));
      r.childId = static_cast<uint32_t>(s.integer(i, 3));
      r.kind = static_cast<int32_t>(s.integer(i, 4));
      r.repeat = static_cast<int32_t>(s.integer(i, 5));
      r.minOccurs = s.text(i, 6);
      r.maxOccurs = s.text(i, 7);
      r.role = static_cast<int32_t>(s.integer(i, 8));
      r.name = s.text(i, 9);
    }
    return rows;
  }

  PGconn* conn_;
  pid_t owner_;
  std::string error_;
  bool inWrite_ = false;
  bool failed_ = false;
  int pending_ = 0;
  int64_t handleNext_ = 0;
  int64_t handleEnd_ = 0;
  std::unordered_map<uint32_t, HeldSet> held_;  ///< message sets this writer holds, by id
  /// Inserts gathered but not sent yet, by batch statement.
  struct Batch {
    std::vector<std::vector<std::string>> rows;
    std::unordered_map<std::string, size_t> attributeRow;  ///< attribute key -> its row
  };
  Batch batches_[kStmtCount];
};

/// A schema name this store accepts: a plain lower-case SQL name.
bool isPlainName(const std::string& s) {
  if (s.empty() || s.size() > 63) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    bool letter = (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

/// Takes the schema=NAME parameter out of the URL's query part (libpq does
/// not know it); false when it is given more than once.
bool takeSchemaParameter(std::string* url, std::string* schema) {
  size_t q = url->find('?');
  if (q == std::string::npos) return true;
  std::string query = url->substr(q + 1), kept;
  int seen = 0;
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t amp = query.find('&', pos);
    if (amp == std::string::npos) amp = query.size();
    std::string item = query.substr(pos, amp - pos);
    if (item.rfind("schema=", 0) == 0) {
      *schema = item.substr(7);
      ++seen;
    } else if (!item.empty()) {
      kept += (kept.empty() ? "" : "&") + item;
    }
    pos = amp + 1;
  }
  *url = url->substr(0, q) + (kept.empty() ? "" : "?" + kept);
  return seen <= 1;
}

/// Removes every copy of a secret from a text meant for people.
std::string withoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (size_t p; (p = text.find(secret)) != std::string::npos;)
    text.replace(p, secret.size(), "****");
  return text;
}

}  // namespace

bool isServerRepositoryName(const std::string& database) {
  return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<RepositoryStorage> openPgStorage(const std::string& database,
                                                 const std::string& user,
                                                 const std::string& password, bool readOnly,
                                                 int32_t* status, std::string* reason) {
  if (!loadPqClient(reason)) {
    *status = kStoreCannotOpen;
    return nullptr;
  }
  std::string url = database, schema = kDefaultSchema;
  if (!takeSchemaParameter(&url, &schema) || !isPlainName(schema)) {
    *status = kStoreCannotOpen;
    *reason =
        "schema= in the repository URL must name one schema of lower-case letters, digits"
        " and underscores";
    return nullptr;
  }
  // Later entries override earlier ones: the URL may set its own
  // connect_timeout; -u and -p win over a user or password in the URL.
  // Names are UTF-8 whatever the database keeps them in.
  std::vector<const char*> keys = {"connect_timeout", "application_name", "client_encoding",
                                   "dbname"};
  std::vector<const char*> values = {"10", "kova", "UTF8", url.c_str()};
  if (!user.empty()) {
    keys.push_back("user");
    values.push_back(user.c_str());
  }
  if (!password.empty()) {
    keys.push_back("password");
    values.push_back(password.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = pq().PQconnectdbParams(keys.data(), values.data(), 1);
  if (!conn || pq().PQstatus(conn) != CONNECTION_OK) {
    std::string why = conn ? pq().PQerrorMessage(conn) : "out of memory";
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    pq().PQfinish(conn);
    *status = kStoreCannotOpen;
    *reason = withoutSecret(why, password);
    return nullptr;
  }
  // The server's notices ("schema exists, skipping") are not for the user.
  pq().PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  auto storage = std::make_unique<PgStorage>(conn);
  *status = storage->open(schema, readOnly);
  if (*status != kStoreOk) {
    std::string why = storage->error();
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    *reason = withoutSecret(why, password);
    return nullptr;
  }
  return storage;
}

}  // namespace qel
