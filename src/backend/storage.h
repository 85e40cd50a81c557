// The storage layer of the repository back end.
//
// Everything the API layer keeps lives behind this narrow interface: message
// sets, plug-ins, definitions, members and plug-in attributes, each row named
// by a handle from one handle space.  The API layer validates and decides; a
// storage only stores, finds and walks, and owns the write transaction.  The
// SQLite storage (storage_sqlite.cc) keeps a repository in a file; the
// PostgreSQL storage (storage_pg.cc) keeps one in a server database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qelbeapi.h"

namespace qel {

/// One definition: message set (class 1, set 0), plug-in (class 2, set 0),
/// message, element, type or value of a message set.
struct DefinitionRow {
  uint32_t id = 0;
  uint32_t setId = 0;
  int32_t defClass = 0;
  std::string name;
  std::string secondName;
  uint32_t typeId = 0;  ///< element, message, value: its type
  int32_t kind = 0;     ///< type: kind word
  uint32_t baseId = 0;  ///< type: base type
  int32_t composition = 0;
  int32_t content = 0;
  std::string valueText;  ///< value: the value text
};

/// The parts of a message set that are not a definition's.
struct MessageSetRow {
  uint32_t id = 0;
  std::string identifier;
  bool finalised = false;
  bool locked = false;
};

/// One member: plug-in member of a message set, member of a type, or value
/// of an element.
struct MemberRow {
  uint32_t id = 0;
  uint32_t setId = 0;
  uint32_t parentId = 0;
  uint32_t childId = 0;
  int32_t kind = 0;  ///< QEL_MEMBER_PLUGIN, _TYPE or _VALUE
  int32_t repeat = 0;
  std::string minOccurs;
  std::string maxOccurs;
  int32_t role = 0;
  std::string name;  ///< plug-in member: the layer name
};

/// One plug-in attribute value, in the order it was first set.
struct AttributeRow {
  int64_t order = 0;
  uint32_t pluginMemberId = 0;
  int32_t key = 0;
  std::string value;
};

/// A reference edge between two components of one message set.
struct Edge {
  uint32_t from = 0;
  uint32_t to = 0;
};

/// Storage answers: 0 success, otherwise one of these (the API layer maps
/// them onto its statuses).
enum StorageStatus : int32_t {
  kStoreOk = QEL_STATUS_OK,
  kStoreNotFound = QEL_STATUS_NOT_FOUND,
  kStoreDuplicate = QEL_STATUS_DUPLICATE,
  kStoreBusy = QEL_STATUS_WRITER_ACTIVE,
  kStoreNotRepository = QEL_STATUS_BAD_DATABASE,
  kStoreCannotOpen = QEL_STATUS_CANNOT_CONNECT,
  kStoreFailure = QEL_STATUS_DATABASE_ERROR,
};

/// A failure of the database underneath (disk full, corrupt file); the API
/// layer turns it into status -92, or -69 when `busy`: another process held
/// the repository locked for longer than the busy timeout.
struct StorageError {
  std::string what;
  bool busy = false;
};

class RepositoryStorage {
 public:
  virtual ~RepositoryStorage() = default;

  // Transactions.  Every change happens inside beginWrite ... commit or
  // rollback; reads may happen at any time.
  /// Starts the write transaction; kStoreBusy when another writer holds the
  /// repository for longer than the busy timeout.
  virtual int32_t beginWrite() = 0;
  /// Within the write transaction, claims message set `setId` for this
  /// writer; kStoreBusy (the transaction rolled back) when another writer
  /// holds it for longer than the busy timeout.  A store whose beginWrite
  /// already excludes every other writer has nothing to do here.
  virtual int32_t lockSet(uint32_t setId) {
    (void)setId;
    return kStoreOk;
  }
  virtual int32_t commit() = 0;
  /// Ends the write transaction like commit(), but its changes become durable
  /// only with the next commit(): until then they stay pending (visible to
  /// this connection, the write lock kept), a later rollback() keeps them,
  /// and a storage closed without a later commit drops them.  Setting up a
  /// new repository this way costs no durable commit of its own.
  virtual int32_t commitLater() { return commit(); }
  virtual void rollback() = 0;
  virtual bool inWrite() const = 0;
  /// A new handle, never given out before in this repository (write only).
  virtual uint32_t allocateHandle() = 0;

  // Definitions (message sets and plug-ins included).
  /// kStoreDuplicate when (setId, defClass, name) is taken.
  virtual int32_t insertDefinition(const DefinitionRow& row) = 0;
  /// Inserts a definition whose (setId, defClass, name) the caller knows to
  /// be free; a store may hold it back and send it with others.
  virtual void insertNewDefinition(const DefinitionRow& row) {
    if (insertDefinition(row) != kStoreOk) throw StorageError{"definition name taken"};
  }
  virtual bool getDefinition(uint32_t id, DefinitionRow* row) = 0;
  /// The id of the definition named `name`, 0 when none.
  virtual uint32_t findDefinition(uint32_t setId, int32_t defClass, const std::string& name) = 0;
  /// The first definition of the class after `afterId` in creation order, 0 at the end.
  virtual uint32_t nextDefinition(uint32_t setId, int32_t defClass, uint32_t afterId) = 0;
  virtual void deleteDefinition(uint32_t id) = 0;

  // Message sets.
  virtual int32_t insertMessageSet(const MessageSetRow& row) = 0;
  virtual bool getMessageSet(uint32_t id, MessageSetRow* row) = 0;
  virtual void updateMessageSet(const MessageSetRow& row) = 0;
  /// Removes the message set with every definition, member and attribute in it.
  virtual void deleteMessageSet(uint32_t id) = 0;

  // Members.
  virtual void insertMember(const MemberRow& row) = 0;
  virtual bool getMember(uint32_t id, MemberRow* row) = 0;
  /// The first member of `parentId` after `afterId` in creation order, 0 at the end.
  virtual uint32_t nextMember(uint32_t parentId, int32_t kind, uint32_t afterId) = 0;
  /// The members of `parentId` of one kind (children and roles), in creation order.
  virtual std::vector<MemberRow> membersOf(uint32_t parentId, int32_t kind) = 0;
  /// Deletes the members of `parentId` of the given kind, with their attributes.
  virtual void deleteMembersOf(uint32_t parentId, int32_t kind) = 0;
  virtual void deleteMember(uint32_t id) = 0;

  // Attributes.
  virtual void setAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                            const std::string& value) = 0;
  virtual bool getAttribute(uint32_t componentId, uint32_t pluginMemberId, int32_t key,
                            std::string* value) = 0;
  /// The attribute of `componentId` that follows `afterOrder`; false at the end.
  virtual bool nextAttribute(uint32_t componentId, int64_t afterOrder, AttributeRow* row) = 0;
  virtual void deleteAttributesOf(uint32_t componentId) = 0;

  /// Every reference edge of a message set: element, message and value to
  /// their type, type to its base, parent to child of type and value members.
  virtual std::vector<Edge> referenceEdges(uint32_t setId) = 0;
  /// Every definition id of a message set.
  virtual std::vector<uint32_t> definitionIds(uint32_t setId) = 0;
};

/// Opens (creating and initialising when needed) the SQLite repository file
/// `path`.  On failure returns null and sets *status to kStoreCannotOpen,
/// kStoreNotRepository, kStoreBusy or kStoreFailure.
std::unique_ptr<RepositoryStorage> openSqliteStorage(const std::string& path, int32_t* status);

/// True for a repository on a server: postgresql://host[:port]/dbname[?params].
bool isServerRepositoryName(const std::string& database);

/// Connects to the PostgreSQL repository `database` (a libpq URL; its query
/// may add schema=NAME) as `user` with `password` (empty: libpq's own
/// sources), creating its tables on first use; with `readOnly` nothing is
/// created or changed (kStoreNotFound when the schema holds no repository).
/// On failure returns null, sets *status (kStoreCannotOpen,
/// kStoreNotRepository, kStoreNotFound, kStoreFailure) and *reason to the
/// server's explanation, which never holds the password; when libpq itself
/// cannot be loaded, kStoreCannotOpen with a reason that names it.
std::unique_ptr<RepositoryStorage> openPgStorage(const std::string& database,
                                                 const std::string& user,
                                                 const std::string& password, bool readOnly,
                                                 int32_t* status, std::string* reason);

}  // namespace qel
