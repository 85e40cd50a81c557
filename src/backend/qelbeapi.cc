// The repository back-end API: the C functions of qelbeapi.h over a
// RepositoryStorage.
//
// This layer owns the connection of the process (one repository, at most one
// open message set), checks every argument and record against the
// repository's rules and answers with the API's statuses; the storage only
// stores.  Components are cached by handle for the length of one write
// transaction, and the containment graph of the open message set is kept in
// memory so that the check for a type containing itself costs little.
#include "qelbeapi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <memory_resource>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "containment_graph.h"
#include "handle_map.h"
#include "plugin_rules.h"
#include "storage.h"
#include "storage_sqlite.h"

#define QEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace qel {
namespace {

// Statuses this library answers, short names for those of qelbeapi.h.
enum : int32_t {
  kOk = QEL_STATUS_OK,
  kFailure = QEL_STATUS_FAILURE,
  kNotProject = QEL_STATUS_NOT_PROJECT,
  kBadClass = QEL_STATUS_BAD_CLASS,
  kNotFound = QEL_STATUS_NOT_FOUND,
  kBadWalk = QEL_STATUS_BAD_WALK,
  kNotChild = QEL_STATUS_NOT_CHILD,
  kBadHandle = QEL_STATUS_BAD_HANDLE,
  kBadBuffer = QEL_STATUS_BAD_BUFFER,
  kBadDetails = QEL_STATUS_BAD_DETAILS,
  kBadMember = QEL_STATUS_BAD_MEMBER,
  kBadType = QEL_STATUS_BAD_TYPE,
  kAlreadyMember = QEL_STATUS_ALREADY_MEMBER,
  kCircular = QEL_STATUS_CIRCULAR,
  kBadCategory = QEL_STATUS_BAD_CATEGORY,
  kNotValidFor = QEL_STATUS_NOT_VALID_FOR,
  kBadIdentifier = QEL_STATUS_BAD_IDENTIFIER,
  kDuplicate = QEL_STATUS_DUPLICATE,
  kProjectExists = QEL_STATUS_PROJECT_EXISTS,
  kBadProject = QEL_STATUS_BAD_PROJECT,
  kBadName = QEL_STATUS_BAD_NAME,
  kNotPermitted = QEL_STATUS_NOT_PERMITTED,
  kProjectOpen = QEL_STATUS_PROJECT_OPEN,
  kProjectNotOpen = QEL_STATUS_PROJECT_NOT_OPEN,
  kNotOpenForWrite = QEL_STATUS_NOT_OPEN_FOR_WRITE,
  kFinalised = QEL_STATUS_FINALISED,
  kReferenced = QEL_STATUS_REFERENCED,
  kBadDatabase = QEL_STATUS_BAD_DATABASE,
  kNoProject = QEL_STATUS_NO_PROJECT,
  kWriterActive = QEL_STATUS_WRITER_ACTIVE,
  kCannotConnect = QEL_STATUS_CANNOT_CONNECT,
  kNoDatabaseName = QEL_STATUS_NO_DATABASE_NAME,
  kReadOnly = QEL_STATUS_READ_ONLY,
  kBadRelease = QEL_STATUS_BAD_RELEASE,
  kUndefinedKey = QEL_STATUS_UNDEFINED_KEY,
  kBadValue = QEL_STATUS_BAD_VALUE,
  kBadPlugin = QEL_STATUS_BAD_PLUGIN,
  kDatabaseError = QEL_STATUS_DATABASE_ERROR,
  kBadBase = QEL_STATUS_BAD_BASE,
  kBadComposition = QEL_STATUS_BAD_COMPOSITION,
  kBadContent = QEL_STATUS_BAD_CONTENT,
  kBadRole = QEL_STATUS_BAD_ROLE,
  kBadMinOccurs = QEL_STATUS_BAD_MIN_OCCURS,
  kBadMaxOccurs = QEL_STATUS_BAD_MAX_OCCURS,
  kBadRepeat = QEL_STATUS_BAD_REPEAT,
  kRoleTaken = QEL_STATUS_ROLE_TAKEN,
};

const char* const kSimpleTypes[] = {"BOOLEAN", "STRING", "DECIMAL", "FLOAT",
                                    "INTEGER", "BINARY", "DATETIME"};

/// What the API layer needs to know of a handle without reading its row.
struct Component {
  int32_t defClass = 0;  ///< definition class; 0 for a member
  uint32_t setId = 0;    ///< owning message set (0 for sets and plug-ins)
  int32_t kind = 0;      ///< type: kind word
  int32_t memberKind = 0;
  uint32_t parentId = 0;  ///< member: parent and child
  uint32_t childId = 0;
  PluginKind plugin = PluginKind::kNone;  ///< plug-in, or plug-in member's plug-in
};

/// A value member as the checks of a new one need it.
struct ValueMember {
  uint32_t child = 0;
  int32_t role = 0;
};

/// A string hash that also takes string views, so that a find needs no key of
/// the map's own string type.
struct KeyHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

/// The connection of the process.
struct Connection {
  std::unique_ptr<RepositoryStorage> store;
  bool readOnly = false;  ///< opened with QEL_OPEN_READ: nothing may change
  std::string lastError;  ///< the database's explanation of the last failure
  uint32_t openSet = 0;
  bool writable = false;
  bool setDeleted = false;
  bool finalised = false;
  bool locked = false;
  HandleMap<Component> cache;
  ContainmentGraph graph;
  bool graphLoaded = false;
  /// A new file's set-up (tables and plug-ins) waits for the first commit;
  /// closing the connection without one commits it alone.
  bool setupPending = false;
  /// The value members of the elements that this write has inserted values
  /// into, read from the storage once per element and then kept up to date,
  /// so that an insert does not read its element's members back.
  std::unordered_map<uint32_t, std::vector<ValueMember>> valueMembers;
  /// The first handle made by this write (handles only grow): a component
  /// from here on had no members before it.
  uint32_t firstNew = UINT32_MAX;
  /// The open set was created by this write, so nobody else can have added
  /// to it: `newNames` holds every definition in it, and a find needs no
  /// read of the storage.  Keyed by newNameKey().  Its nodes and keys live
  /// in `newNamesArena`, released at once when the set closes.
  bool setIsNew = false;
  std::pmr::monotonic_buffer_resource newNamesArena;
  std::pmr::unordered_map<std::pmr::string, uint32_t, KeyHash, std::equal_to<>> newNames{
      &newNamesArena};

  void dropNewNames() {
    newNames = decltype(newNames)(&newNamesArena);
    newNamesArena.release();
  }

  void endSet() {
    openSet = 0;
    writable = setDeleted = finalised = locked = setIsNew = false;
    dropNewNames();
    cache.clear();
    graph.clear();
    graphLoaded = false;
    valueMembers.clear();
    firstNew = UINT32_MAX;
  }
};

Connection g;

// --- Records --------------------------------------------------------------

int32_t detailsSize(int32_t defClass) {
  switch (defClass) {
    case QEL_CLASS_PROJECT:
      return QEL_PROJECT_DETAILS_SIZE;
    case QEL_CLASS_PLUGIN:
      return QEL_PLUGIN_DETAILS_SIZE;
    case QEL_CLASS_MESSAGE:
      return QEL_MESSAGE_DETAILS_SIZE;
    case QEL_CLASS_ELEMENT:
      return QEL_ELEMENT_DETAILS_SIZE;
    case QEL_CLASS_TYPE:
      return QEL_TYPE_DETAILS_SIZE;
    case QEL_CLASS_VALUE:
      return QEL_VALUE_DETAILS_SIZE;
    default:
      return 0;
  }
}

int32_t memberSize(int32_t memberKind) {
  switch (memberKind) {
    case QEL_MEMBER_PLUGIN:
      return QEL_PLUGIN_MEMBER_SIZE;
    case QEL_MEMBER_TYPE:
      return QEL_TYPE_MEMBER_SIZE;
    case QEL_MEMBER_VALUE:
      return QEL_VALUE_MEMBER_SIZE;
    default:
      return 0;
  }
}

/// Classes a message set may be asked about (finds and walks).
bool isSetClass(int32_t c) { return c >= 100 && c <= 106; }

template <typename T>
T getField(const void* rec, int off) {
  T v;
  std::memcpy(&v, static_cast<const char*>(rec) + off, sizeof v);
  return v;
}
template <typename T>
void putField(void* rec, int off, T v) {
  std::memcpy(static_cast<char*>(rec) + off, &v, sizeof v);
}
/// Reads a NUL-terminated text of at most cap - 1 bytes; false when unterminated.
bool getText(const void* rec, int off, int cap, std::string* out) {
  const char* p = static_cast<const char*>(rec) + off;
  const void* nul = std::memchr(p, 0, static_cast<size_t>(cap));
  if (!nul) return false;
  out->assign(p, static_cast<const char*>(nul));
  return true;
}
void putText(void* rec, int off, int cap, const std::string& s) {
  size_t n = std::min(s.size(), static_cast<size_t>(cap - 1));
  char* p = static_cast<char*>(rec) + off;
  std::memcpy(p, s.data(), n);
  std::memset(p + n, 0, static_cast<size_t>(cap) - n);
}

/// A decimal occurrence count, or the empty text for "not given".
bool isOccursText(const std::string& s) {
  if (s.empty()) return true;
  if (s.size() > 10) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return std::stoll(s) <= INT32_MAX;
}

bool isKnownRole(int32_t role) {
  return (role >= QEL_ROLE_MIN_INCLUSIVE && role <= QEL_ROLE_NILLABLE) || role == QEL_ROLE_STRING ||
         role == QEL_ROLE_MIN_EXCLUSIVE || role == QEL_ROLE_MAX_EXCLUSIVE;
}
/// Roles an element holds at most one value of; enumerations are many.
bool isSingleRole(int32_t role) { return role != QEL_ROLE_ENUMERATION; }

// --- Components -----------------------------------------------------------

/// The component named by `handle`, or null when it names nothing.
const Component* lookup(uint32_t handle) {
  if (handle == 0 || !g.store) return nullptr;
  if (const Component* cached = g.cache.find(handle)) return cached;
  Component c;
  DefinitionRow d;
  MemberRow m;
  if (g.store->getDefinition(handle, &d)) {
    c.defClass = d.defClass;
    c.setId = d.setId;
    c.kind = d.kind;
    if (d.defClass == QEL_CLASS_PLUGIN) c.plugin = pluginByName(d.name);
  } else if (g.store->getMember(handle, &m)) {
    c.setId = m.setId;
    c.memberKind = m.kind;
    c.parentId = m.parentId;
    c.childId = m.childId;
    if (m.kind == QEL_MEMBER_PLUGIN) {
      const Component* p = lookup(m.childId);
      if (p) c.plugin = p->plugin;
    }
  } else {
    return nullptr;
  }
  return &g.cache.set(handle, c, false);
}

/// The message set a component belongs to (a set belongs to itself).
uint32_t setOf(uint32_t handle, const Component& c) {
  return c.defClass == QEL_CLASS_PROJECT ? handle : c.setId;
}

/// 0 when `set` is the message set open for writing; with `content` also
/// refuses a finalised or locked message set.
int32_t requireWritable(uint32_t set, bool content) {
  if (!g.store) return kCannotConnect;
  if (g.openSet == 0) return kProjectNotOpen;
  if (set != g.openSet || !g.writable) return kNotOpenForWrite;
  if (g.setDeleted) return kNoProject;
  if (content && g.finalised) return kFinalised;
  if (content && g.locked) return kReadOnly;
  return kOk;
}

void ensureGraph() {
  if (g.graphLoaded) return;
  g.graph.load(g.store->definitionIds(g.openSet), g.store->referenceEdges(g.openSet));
  g.graphLoaded = true;
}

/// The value members of element `parent`, known or read once.
std::vector<ValueMember>& valueMembersOf(uint32_t parent) {
  auto it = g.valueMembers.find(parent);
  if (it != g.valueMembers.end()) return it->second;
  std::vector<ValueMember>& known = g.valueMembers[parent];
  if (parent < g.firstNew)
    for (const MemberRow& m : g.store->membersOf(parent, QEL_MEMBER_VALUE))
      known.push_back({m.childId, m.role});
  return known;
}

/// Starts the write transaction of `set` (already validated as a set).
int32_t beginSet(uint32_t set, bool write) {
  g.endSet();
  if (write) {
    int32_t st = g.store->beginWrite();
    if (st == kStoreOk) st = g.store->lockSet(set);
    if (st != kStoreOk) return st == kStoreBusy ? kWriterActive : kDatabaseError;
  }
  MessageSetRow row;
  if (!g.store->getMessageSet(set, &row)) {
    if (write) g.store->rollback();
    return kBadHandle;
  }
  g.openSet = set;
  g.writable = write;
  g.finalised = row.finalised;
  g.locked = row.locked;
  return kOk;
}

std::string base36(uint64_t v, size_t width) {
  static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string s(width, '0');
  for (size_t i = width; i-- > 0 && v > 0; v /= 36) s[i] = digits[v % 36];
  return s;
}

/// The key of a definition of a new set in Connection::newNames.
std::string newNameKey(int32_t defClass, const std::string& name) {
  return std::string(1, static_cast<char>(defClass - 99)) + name;
}

/// Inserts a definition row with a new handle, caches it and records its
/// references in the containment graph.
int32_t addDefinition(DefinitionRow& row, uint32_t* out) {
  if (g.setIsNew && row.setId == g.openSet) {
    auto [it, added] = g.newNames.emplace(newNameKey(row.defClass, row.name), 0);
    if (!added) return kDuplicate;
    try {
      row.id = it->second = g.store->allocateHandle();
      g.store->insertNewDefinition(row);
    } catch (...) {
      g.newNames.erase(it);
      throw;
    }
  } else {
    row.id = g.store->allocateHandle();
    int32_t st = g.store->insertDefinition(row);
    if (st == kStoreDuplicate)
      return row.defClass == QEL_CLASS_PROJECT ? kProjectExists : kDuplicate;
  }
  Component c;
  c.defClass = row.defClass;
  c.setId = row.setId;
  c.kind = row.kind;
  g.cache.set(row.id, c, true);
  g.firstNew = std::min(g.firstNew, row.id);
  if (g.graphLoaded && row.setId != 0) {
    g.graph.addNode(row.id);
    if (row.typeId) g.graph.addEdgeFromNew(row.id, row.typeId);
    if (row.baseId) g.graph.addEdgeFromNew(row.id, row.baseId);
  }
  if (out) *out = row.id;
  return kOk;
}

uint32_t addMember(MemberRow& row) {
  row.id = g.store->allocateHandle();
  g.store->insertMember(row);
  g.firstNew = std::min(g.firstNew, row.id);
  Component c;
  c.setId = row.setId;
  c.memberKind = row.kind;
  c.parentId = row.parentId;
  c.childId = row.childId;
  if (row.kind == QEL_MEMBER_PLUGIN) c.plugin = lookup(row.childId)->plugin;
  g.cache.set(row.id, c, true);
  return row.id;
}

/// Adds the plug-in member of `plugin` named `name` to the open set.
int32_t addPluginMember(uint32_t set, PluginKind plugin, const std::string& name, uint32_t* out) {
  uint32_t pluginId = g.store->findDefinition(0, QEL_CLASS_PLUGIN, pluginRegisteredName(plugin));
  if (pluginId == 0) return kFailure;
  MemberRow m;
  m.setId = set;
  m.parentId = set;
  m.childId = pluginId;
  m.kind = QEL_MEMBER_PLUGIN;
  m.name = name;
  *out = addMember(m);
  return kOk;
}

/// Registers any plug-in a repository lacks (a new repository lacks all),
/// pending until the connection's first commit.
int32_t registerPlugins() {
  bool missing = false;
  for (int i = 1; i <= kPluginCount; ++i)
    if (!g.store->findDefinition(0, QEL_CLASS_PLUGIN,
                                 pluginRegisteredName(static_cast<PluginKind>(i))))
      missing = true;
  if (!missing) return kOk;
  int32_t st = g.store->beginWrite();
  if (st != kStoreOk) return st == kStoreBusy ? kWriterActive : kDatabaseError;
  for (int i = 1; i <= kPluginCount; ++i) {
    const char* name = pluginRegisteredName(static_cast<PluginKind>(i));
    if (g.store->findDefinition(0, QEL_CLASS_PLUGIN, name)) continue;
    DefinitionRow row;
    row.defClass = QEL_CLASS_PLUGIN;
    row.name = row.secondName = name;
    addDefinition(row, nullptr);
  }
  // Durable with the first commit of the connection: a new file is set up and
  // filled in one commit, and left empty when none follows.
  st = g.store->commitLater();
  g.cache.clear();
  if (st != kStoreOk) {
    g.store->rollback();
    return st == kStoreBusy ? kWriterActive : kDatabaseError;
  }
  g.setupPending = true;
  return kOk;
}

/// The common part of the four create calls.
int32_t createDefinition(int32_t defClass, uint32_t set, uint32_t* out, const void* details) {
  if (int32_t st = requireWritable(set, true)) return st;
  if (!details || !out) return kBadBuffer;
  DefinitionRow row;
  row.setId = set;
  row.defClass = defClass;
  if (!getText(details, QEL_OFF_NAME, QEL_NAME_SIZE, &row.name) ||
      !isValidIdentifier(row.name, defClass == QEL_CLASS_ELEMENT))
    return kBadIdentifier;
  if (!getText(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, &row.secondName)) return kBadName;
  auto checkType = [set](uint32_t h, bool required) -> int32_t {
    if (h == 0) return required ? kBadType : kOk;
    const Component* t = lookup(h);
    if (!t) return kBadHandle;
    if (t->defClass != QEL_CLASS_TYPE || t->setId != set) return kBadType;
    return kOk;
  };
  if (defClass == QEL_CLASS_TYPE) {
    row.kind = getField<int32_t>(details, QEL_OFF_TYPE_KIND);
    row.baseId = getField<uint32_t>(details, QEL_OFF_BASE_TYPE);
    row.composition = getField<int32_t>(details, QEL_OFF_COMPOSITION);
    row.content = getField<int32_t>(details, QEL_OFF_CONTENT);
    if (row.kind != QEL_TYPE_KIND_SIMPLE && row.kind != QEL_TYPE_KIND_COMPLEX) return kBadCategory;
    if (row.baseId && checkType(row.baseId, true) != kOk) return kBadBase;
    if (row.composition < QEL_COMPOSITION_NONE || row.composition > QEL_COMPOSITION_SEQUENCE)
      return kBadComposition;
    if (row.content < QEL_CONTENT_NONE || row.content > QEL_CONTENT_OPEN) return kBadContent;
  } else {
    row.typeId = getField<uint32_t>(details, QEL_OFF_TYPE_HANDLE);
    if (int32_t st = checkType(row.typeId, defClass == QEL_CLASS_VALUE)) return st;
    if (defClass == QEL_CLASS_VALUE &&
        !getText(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE, &row.valueText))
      return kBadDetails;
  }
  return addDefinition(row, out);
}

/// Which member a parent and child make; 0 when they make none.
int32_t memberKindFor(const Component& parent, const Component& child) {
  if (parent.defClass == QEL_CLASS_PROJECT && child.defClass == QEL_CLASS_PLUGIN)
    return QEL_MEMBER_PLUGIN;
  if (parent.defClass == QEL_CLASS_TYPE &&
      (child.defClass == QEL_CLASS_ELEMENT || child.defClass == QEL_CLASS_TYPE))
    return QEL_MEMBER_TYPE;
  if (parent.defClass == QEL_CLASS_ELEMENT && child.defClass == QEL_CLASS_VALUE)
    return QEL_MEMBER_VALUE;
  return 0;
}

/// Checks an attribute reference against a component of `set` and the
/// target kind; *key and *rule receive the key and its value rule.
int32_t checkAttrRef(uint32_t set, AttrTarget target, const void* attrRef, PluginKind* plugin,
                     uint32_t* pluginMember, int32_t* key, ValueRule* rule) {
  if (!attrRef) return kBadBuffer;
  *pluginMember = getField<uint32_t>(attrRef, QEL_OFF_ATTR_PLUGIN);
  *key = getField<int32_t>(attrRef, QEL_OFF_ATTR_KEY);
  const Component* p = lookup(*pluginMember);
  if (!p || p->memberKind != QEL_MEMBER_PLUGIN || p->setId != set) return kBadPlugin;
  *plugin = p->plugin;
  if (!findAttributeKey(p->plugin, *key, target, rule)) return kUndefinedKey;
  return kOk;
}

/// The target and message set of a component that carries attributes.
int32_t attrTargetOf(uint32_t handle, const Component& c, AttrTarget* target, uint32_t* set) {
  if (c.defClass == QEL_CLASS_PROJECT) {
    *target = AttrTarget::kMessageSet;
  } else if (c.defClass >= QEL_CLASS_MESSAGE && c.defClass <= QEL_CLASS_VALUE) {
    *target = AttrTarget::kDefinition;
  } else if (c.memberKind == QEL_MEMBER_TYPE) {
    *target = AttrTarget::kTypeMember;
  } else {
    return kNotValidFor;
  }
  *set = setOf(handle, c);
  return kOk;
}

int32_t setAttribute(uint32_t component, const Component& c, AttrTarget target, uint32_t set,
                     const void* attrRef, const char* value) {
  PluginKind plugin;
  uint32_t pluginMember;
  int32_t key;
  ValueRule rule;
  if (int32_t st = requireWritable(set, false)) return st;
  if (int32_t st = checkAttrRef(set, target, attrRef, &plugin, &pluginMember, &key, &rule))
    return st;
  // The lock bookkeeping of the WebDav plug-in stays writable on a
  // finalised or locked message set; everything else does not.
  bool bookkeeping = plugin == PluginKind::kWebDav && target == AttrTarget::kMessageSet;
  if (!bookkeeping)
    if (int32_t st = requireWritable(set, true)) return st;
  if (!value || !acceptsValue(rule, value)) return kBadValue;
  (void)c;
  g.store->setAttribute(component, pluginMember, key, value);
  return kOk;
}

/// Runs an API body, turning storage failures into statuses so that no
/// exception crosses the C boundary.
template <typename F>
int32_t guarded(F body) {
  try {
    return body();
  } catch (const StorageError& e) {
    g.lastError = e.what;
    return e.busy ? kWriterActive : kDatabaseError;
  } catch (const std::bad_alloc&) {
    return kFailure;
  } catch (...) {
    return kFailure;
  }
}

}  // namespace
}  // namespace qel

using namespace qel;

// --- Release and connection -----------------------------------------------

QEL_EXPORT int32_t QELGetAPIReleaseInfo(void* releaseInfo, const char* requiredRelease) {
  if (!releaseInfo || getField<uint32_t>(releaseInfo, QEL_OFF_RECORD_SIZE) < QEL_RELEASE_INFO_SIZE)
    return kBadBuffer;
  putField<uint32_t>(releaseInfo, QEL_OFF_RELEASE_MAJOR, 2);
  putField<uint32_t>(releaseInfo, QEL_OFF_RELEASE_MINOR, 60);
  putField<uint32_t>(releaseInfo, 12, 0);
  putField<uint32_t>(releaseInfo, 16, 0);
  if (!requiredRelease) return kBadRelease;
  unsigned major = 0, minor = 0;
  char extra = 0;
  if (std::sscanf(requiredRelease, "%u.%u%c", &major, &minor, &extra) != 2) return kBadRelease;
  // Releases 2.x up to this one are served; later ones and other majors not.
  return major == 2 && minor <= 60 ? kOk : kBadRelease;
}

QEL_EXPORT int32_t QELOpenRepository(const char* database, const char* user, const char* password) {
  return QELOpenRepository2(database, user, password, QEL_OPEN_WRITE);
}

QEL_EXPORT int32_t QELOpenRepository2(const char* database, const char* user, const char* password,
                                      int32_t mode) {
  return guarded([&]() -> int32_t {
    g.lastError.clear();
    if (mode != QEL_OPEN_READ && mode != QEL_OPEN_WRITE) return kNotPermitted;
    if (!database || !*database) return kNoDatabaseName;
    // A new connection replaces an old one as if its process had ended:
    // whatever it left uncommitted is discarded.
    if (g.store) {
      g.store->rollback();
      g.endSet();
      g.store.reset();
    }
    g.setupPending = false;
    int32_t st = kStoreOk;
    g.readOnly = mode == QEL_OPEN_READ;
    // A repository file has no users of its own; a server database has.
    if (isServerRepositoryName(database))
      g.store = openPgStorage(database, user ? user : "", password ? password : "", g.readOnly, &st,
                              &g.lastError);
    else
      g.store = g.readOnly ? openSqliteStorageForReading(database, &st)
                           : openSqliteStorage(database, &st);
    if (!g.store) {
      switch (st) {
        case kStoreNotFound:
          return kNoDatabaseName;
        case kStoreNotRepository:
          return kBadDatabase;
        case kStoreBusy:
          return kWriterActive;
        case kStoreCannotOpen:
          return kCannotConnect;
        default:
          return kDatabaseError;
      }
    }
    g.endSet();
    if (g.readOnly) return kOk;
    st = registerPlugins();
    if (st != kOk) g.store.reset();
    return st;
  });
}

QEL_EXPORT int32_t QELGetLastErrorText(char* buffer, int32_t size) {
  if (buffer && size > 0) {
    size_t n = std::min(g.lastError.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, g.lastError.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(g.lastError.size());
}

QEL_EXPORT int32_t QELCloseRepository(void) {
  return guarded([&]() -> int32_t {
    if (!g.store) return kNotPermitted;
    g.store->rollback();  // a message set still open is discarded
    g.endSet();
    int32_t st = kOk;
    if (g.setupPending) {  // a new file stays a repository
      st = g.store->beginWrite();
      if (st == kStoreOk) st = g.store->commit();
      st = st == kStoreOk ? kOk : st == kStoreBusy ? kWriterActive : kDatabaseError;
      g.setupPending = false;
    }
    g.store.reset();
    return st;
  });
}

// --- Message sets -----------------------------------------------------------

QEL_EXPORT int32_t QELFindProject(uint32_t* outHandle, const void* projectKey, int32_t mode) {
  (void)mode;
  return guarded([&]() -> int32_t {
    if (!g.store) return kCannotConnect;
    if (!outHandle || !projectKey) return kBadBuffer;
    *outHandle = 0;
    std::string name;
    if (!getText(projectKey, 0, QEL_NAME_SIZE, &name)) return kBadName;
    if (getField<int16_t>(projectKey, QEL_NAME_SIZE) != 1) return kBadDetails;
    uint32_t h = g.store->findDefinition(0, QEL_CLASS_PROJECT, name);
    if (!h) return kNotFound;
    *outHandle = h;
    return kOk;
  });
}

QEL_EXPORT int32_t QELCreateProject(uint32_t* outHandle, const void* projectDetails) {
  return guarded([&]() -> int32_t {
    if (!g.store) return kCannotConnect;
    if (!outHandle || !projectDetails) return kBadBuffer;
    if (g.readOnly) return kNotPermitted;
    if (g.openSet) return kProjectOpen;
    DefinitionRow row;
    row.defClass = QEL_CLASS_PROJECT;
    if (!getText(projectDetails, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE, &row.name) ||
        !isValidMemberName(row.name))
      return kBadName;
    row.secondName = row.name;
    int32_t st = g.store->beginWrite();
    if (st != kStoreOk) return st == kStoreBusy ? kWriterActive : kDatabaseError;
    g.endSet();
    uint32_t set = 0;
    if ((st = addDefinition(row, &set)) != kOk) {
      g.store->rollback();
      g.cache.clear();
      return st;
    }
    MessageSetRow ms;
    ms.id = set;
    ms.identifier = "KS" + base36(set, 6) + base36(static_cast<uint64_t>(std::time(nullptr)), 7);
    if (g.store->insertMessageSet(ms) != kStoreOk) {
      g.store->rollback();
      g.cache.clear();
      return kDuplicate;
    }
    g.openSet = set;
    g.writable = true;
    g.setIsNew = true;
    g.graph.clear();
    g.graphLoaded = true;
    for (const char* name : kSimpleTypes) {
      DefinitionRow t;
      t.setId = set;
      t.defClass = QEL_CLASS_TYPE;
      t.name = t.secondName = name;
      t.kind = QEL_TYPE_KIND_SIMPLE;
      t.composition = QEL_COMPOSITION_EMPTY;
      t.content = QEL_CONTENT_ORDINARY;
      addDefinition(t, nullptr);
    }
    uint32_t member = 0;
    addPluginMember(set, PluginKind::kC, "C", &member);
    addPluginMember(set, PluginKind::kCobol, "COBOL", &member);
    addPluginMember(set, PluginKind::kWebDav, "WebDav", &member);
    g.store->setAttribute(set, member, QEL_WEBDAV_KEY_LOCK_COUNT, "0");
    *outHandle = set;
    return kOk;
  });
}

QEL_EXPORT int32_t QELOpenProject(uint32_t project, int32_t mode) {
  return guarded([&]() -> int32_t {
    if (!g.store) return kCannotConnect;
    if (g.openSet) return kProjectOpen;
    if (mode != QEL_OPEN_READ && mode != QEL_OPEN_WRITE) return kNotPermitted;
    if (mode == QEL_OPEN_WRITE && g.readOnly) return kNotPermitted;
    const Component* c = lookup(project);
    if (!c) return kBadHandle;
    if (c->defClass != QEL_CLASS_PROJECT) return kNotProject;
    return beginSet(project, mode == QEL_OPEN_WRITE);
  });
}

static int32_t projectFlag(uint32_t project, bool finalised) {
  return guarded([&]() -> int32_t {
    if (!g.store) return kCannotConnect;
    const Component* c = lookup(project);
    if (!c) return kBadHandle;
    if (c->defClass != QEL_CLASS_PROJECT) return kNotProject;
    MessageSetRow row;
    if (!g.store->getMessageSet(project, &row)) return kBadHandle;
    return finalised ? row.finalised : row.locked;
  });
}

QEL_EXPORT int32_t QELIsFinalised(uint32_t project) { return projectFlag(project, true); }
QEL_EXPORT int32_t QELIsLocked(uint32_t project) { return projectFlag(project, false); }

QEL_EXPORT int32_t QELCloseProject(uint32_t project, int32_t commit) {
  return guarded([&]() -> int32_t {
    if (!g.store) return kCannotConnect;
    if (g.openSet == 0 || project != g.openSet) return kProjectNotOpen;
    if (g.writable) {
      if (commit == 1) {
        int32_t st = g.store->commit();
        if (st == kStoreBusy) return kWriterActive;  // still open: retry or discard
        if (st != kStoreOk) {
          g.endSet();
          return kDatabaseError;
        }
        g.setupPending = false;
      } else {
        g.store->rollback();
      }
    }
    g.endSet();
    return kOk;
  });
}

// --- Details ------------------------------------------------------------------

QEL_EXPORT int32_t QELGetDefaultDetails(int32_t defClass, void* buffer, int32_t size) {
  int32_t need = detailsSize(defClass);
  if (need == 0) return kBadClass;
  if (!buffer || size < need) return kBadBuffer;
  std::memset(buffer, 0, static_cast<size_t>(need));
  putField<int32_t>(buffer, QEL_OFF_RECORD_SIZE, need);
  putField<int32_t>(buffer, QEL_OFF_RECORD_CLASS, defClass);
  if (defClass == QEL_CLASS_PROJECT) putField<int16_t>(buffer, QEL_OFF_PROJECT_KEY_WORD, 1);
  if (defClass == QEL_CLASS_TYPE) {
    putField<int32_t>(buffer, QEL_OFF_TYPE_KIND, QEL_TYPE_KIND_COMPLEX);
    putField<int32_t>(buffer, QEL_OFF_COMPOSITION, QEL_COMPOSITION_EMPTY);
    putField<int32_t>(buffer, QEL_OFF_CONTENT, QEL_CONTENT_ORDINARY);
  }
  return kOk;
}

QEL_EXPORT int32_t QELGetDetails(uint32_t handle, const int32_t* defClass, void* buffer,
                                 int32_t size) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(handle);
    if (!c) return kBadHandle;
    uint32_t id = handle;
    // A plug-in member answers with the details of its plug-in.
    if (c->memberKind == QEL_MEMBER_PLUGIN)
      id = c->childId;
    else if (c->memberKind != 0)
      return kNotValidFor;
    DefinitionRow d;
    if (!g.store->getDefinition(id, &d)) return kBadHandle;
    if (defClass && *defClass != d.defClass) return kBadClass;
    int32_t need = detailsSize(d.defClass);
    if (!buffer || size < need) return kBadBuffer;
    std::memset(buffer, 0, static_cast<size_t>(need));
    putField<int32_t>(buffer, QEL_OFF_RECORD_SIZE, need);
    putField<int32_t>(buffer, QEL_OFF_RECORD_CLASS, d.defClass);
    putField<uint32_t>(buffer, QEL_OFF_RECORD_SET, d.setId);
    putField<int32_t>(buffer, QEL_OFF_IDENTIFIER, static_cast<int32_t>(d.id));
    switch (d.defClass) {
      case QEL_CLASS_PROJECT: {
        MessageSetRow ms;
        g.store->getMessageSet(d.id, &ms);
        putText(buffer, QEL_OFF_PROJECT_ID, QEL_PROJECT_ID_SIZE, ms.identifier);
        putText(buffer, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE, d.name);
        putField<int16_t>(buffer, QEL_OFF_PROJECT_KEY_WORD, 1);
        break;
      }
      case QEL_CLASS_PLUGIN:
        putText(buffer, QEL_OFF_NAME, QEL_NAME_SIZE, d.name);
        putText(buffer, QEL_OFF_PLUGIN_NAME, QEL_NAME_SIZE, d.name);
        break;
      case QEL_CLASS_TYPE:
        putText(buffer, QEL_OFF_NAME, QEL_NAME_SIZE, d.name);
        putText(buffer, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, d.secondName);
        putField<int32_t>(buffer, QEL_OFF_TYPE_KIND, d.kind);
        putField<uint32_t>(buffer, QEL_OFF_BASE_TYPE, d.baseId);
        putField<int32_t>(buffer, QEL_OFF_COMPOSITION, d.composition);
        putField<int32_t>(buffer, QEL_OFF_CONTENT, d.content);
        break;
      default:
        putText(buffer, QEL_OFF_NAME, QEL_NAME_SIZE, d.name);
        putText(buffer, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, d.secondName);
        putField<uint32_t>(buffer, QEL_OFF_TYPE_HANDLE, d.typeId);
        if (d.defClass == QEL_CLASS_VALUE)
          putText(buffer, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE, d.valueText);
        break;
    }
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetMemberDetails(uint32_t set, uint32_t member, void* buffer, int32_t size) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(member);
    if (!c) return kBadHandle;
    if (c->memberKind == 0) return kNotValidFor;
    if (c->parentId != set) return kNotChild;
    MemberRow m;
    if (!g.store->getMember(member, &m)) return kBadHandle;
    int32_t need = memberSize(m.kind);
    if (!buffer || size < need) return kBadBuffer;
    std::memset(buffer, 0, static_cast<size_t>(need));
    putField<int32_t>(buffer, QEL_OFF_RECORD_SIZE, need);
    putField<int32_t>(buffer, QEL_OFF_RECORD_CLASS, m.kind);
    putField<uint32_t>(buffer, QEL_OFF_MEMBER_PARENT, m.parentId);
    putField<uint32_t>(buffer, QEL_OFF_MEMBER_CHILD, m.childId);
    if (m.kind == QEL_MEMBER_PLUGIN) {
      putText(buffer, QEL_OFF_MEMBER_NAME, QEL_NAME_SIZE, m.name);
    } else if (m.kind == QEL_MEMBER_TYPE) {
      putField<int16_t>(buffer, QEL_OFF_MEMBER_REPEAT, static_cast<int16_t>(m.repeat));
      putText(buffer, QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE, m.minOccurs);
      putText(buffer, QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE, m.maxOccurs);
    } else {
      putField<int32_t>(buffer, QEL_OFF_MEMBER_ROLE, m.role);
    }
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetClass(uint32_t handle, int32_t* outClass) {
  return guarded([&]() -> int32_t {
    if (!outClass) return kBadBuffer;
    const Component* c = lookup(handle);
    if (!c) return kBadHandle;
    if (c->memberKind != 0) return kNotValidFor;
    *outClass = c->defClass;
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetIDValue(uint32_t handle, int32_t* outId) {
  return guarded([&]() -> int32_t {
    if (!outId) return kBadBuffer;
    if (!lookup(handle)) return kBadHandle;
    *outId = static_cast<int32_t>(handle);
    return kOk;
  });
}

// --- Finds and walks --------------------------------------------------------

/// Checks the (set, class) pair of a find or a first-of-class walk.
static int32_t checkScope(uint32_t set, int32_t defClass) {
  if (!g.store) return kCannotConnect;
  if (set == 0)
    return defClass == QEL_CLASS_PROJECT || defClass == QEL_CLASS_PLUGIN ? kOk : kBadClass;
  const Component* c = lookup(set);
  if (!c) return kBadHandle;
  if (c->defClass != QEL_CLASS_PROJECT) return kBadProject;
  return isSetClass(defClass) ? kOk : kBadClass;
}

QEL_EXPORT int32_t QELFindDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle,
                                     const char* name) {
  return guarded([&]() -> int32_t {
    if (!outHandle) return kBadBuffer;
    *outHandle = 0;
    if (int32_t st = checkScope(set, defClass)) return st;
    if (!name) return kBadName;
    uint32_t h = 0;
    if (g.setIsNew && set == g.openSet) {
      auto it = g.newNames.find(std::string_view(newNameKey(defClass, name)));
      if (it != g.newNames.end()) h = it->second;
    } else {
      h = g.store->findDefinition(set, defClass, name);
    }
    if (!h) return kNotFound;
    *outHandle = h;
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetFirstDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle,
                                         int32_t reserved) {
  (void)reserved;
  return guarded([&]() -> int32_t {
    if (!outHandle) return kBadBuffer;
    *outHandle = 0;
    if (int32_t st = checkScope(set, defClass)) return st;
    uint32_t h = g.store->nextDefinition(set, defClass, 0);
    if (!h) return kNotFound;
    *outHandle = h;
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetNextDefinition(uint32_t current, uint32_t set, uint32_t* outHandle,
                                        int32_t walkType, int32_t reserved) {
  (void)reserved;
  return guarded([&]() -> int32_t {
    if (!outHandle) return kBadBuffer;
    *outHandle = 0;
    if (!g.store) return kCannotConnect;
    const Component* c = lookup(current);
    if (!c) return kBadHandle;
    uint32_t h = 0;
    switch (walkType) {
      case QEL_WALK_PLUGIN_MEMBER:
        if (c->defClass != QEL_CLASS_PROJECT) return kNotProject;
        h = g.store->nextMember(current, QEL_MEMBER_PLUGIN, 0);
        break;
      case QEL_WALK_FIRST_MEMBER: {
        int32_t kind = c->defClass == QEL_CLASS_PROJECT   ? QEL_MEMBER_PLUGIN
                       : c->defClass == QEL_CLASS_TYPE    ? QEL_MEMBER_TYPE
                       : c->defClass == QEL_CLASS_ELEMENT ? QEL_MEMBER_VALUE
                                                          : 0;
        if (kind) h = g.store->nextMember(current, kind, 0);
        break;
      }
      case QEL_WALK_NEXT:
        if (c->memberKind != 0) {
          h = g.store->nextMember(c->parentId, c->memberKind, current);
        } else {
          if (set != 0 && set != c->setId) return kBadProject;
          h = g.store->nextDefinition(c->setId, c->defClass, current);
        }
        break;
      default:
        return kBadWalk;
    }
    if (!h) return kNotFound;
    *outHandle = h;
    return kOk;
  });
}

// --- Definitions ------------------------------------------------------------

QEL_EXPORT int32_t QELCreateMessage(uint32_t set, uint32_t* outHandle, const void* details) {
  return guarded([&] { return createDefinition(QEL_CLASS_MESSAGE, set, outHandle, details); });
}
QEL_EXPORT int32_t QELCreateElement(uint32_t set, uint32_t* outHandle, const void* details) {
  return guarded([&] { return createDefinition(QEL_CLASS_ELEMENT, set, outHandle, details); });
}
QEL_EXPORT int32_t QELCreateType(uint32_t set, uint32_t* outHandle, const void* details) {
  return guarded([&] { return createDefinition(QEL_CLASS_TYPE, set, outHandle, details); });
}
QEL_EXPORT int32_t QELCreateValue(uint32_t set, uint32_t* outHandle, const void* details) {
  return guarded([&] { return createDefinition(QEL_CLASS_VALUE, set, outHandle, details); });
}

QEL_EXPORT int32_t QELDelete(uint32_t handle) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(handle);
    if (!c) return kBadHandle;
    Component comp = *c;
    if (comp.memberKind == QEL_MEMBER_PLUGIN || comp.defClass == QEL_CLASS_PROJECT ||
        comp.defClass == QEL_CLASS_PLUGIN)
      return kNotValidFor;
    if (int32_t st = requireWritable(comp.setId, true)) return st;
    ensureGraph();
    if (comp.memberKind != 0) {
      g.graph.removeEdge(comp.parentId, comp.childId);
      g.store->deleteMember(handle);
      g.cache.erase(handle);
      g.valueMembers.erase(comp.parentId);
      return kOk;
    }
    if (g.graph.isContained(handle)) return kReferenced;
    for (int32_t kind : {QEL_MEMBER_TYPE, QEL_MEMBER_VALUE})
      for (const MemberRow& m : g.store->membersOf(handle, kind)) g.cache.erase(m.id);
    g.graph.removeNode(handle);
    g.store->deleteDefinition(handle);
    g.setIsNew = false;  // finds read the storage again: deletions are rare
    g.dropNewNames();
    g.cache.erase(handle);
    g.valueMembers.erase(handle);
    return kOk;
  });
}

// --- Members ----------------------------------------------------------------

QEL_EXPORT int32_t QELGetDefaultMemberDetails2(uint32_t parent, uint32_t child, int32_t position,
                                               void* buffer, int32_t size) {
  (void)position;
  return guarded([&]() -> int32_t {
    const Component* p = lookup(parent);
    const Component* c = lookup(child);
    if (!p || !c) return kBadHandle;
    int32_t kind = memberKindFor(*p, *c);
    if (kind == 0) return kNotValidFor;
    int32_t need = memberSize(kind);
    if (!buffer || size < need) return kBadBuffer;
    std::memset(buffer, 0, static_cast<size_t>(need));
    putField<int32_t>(buffer, QEL_OFF_RECORD_SIZE, need);
    putField<int32_t>(buffer, QEL_OFF_RECORD_CLASS, kind);
    putField<uint32_t>(buffer, QEL_OFF_MEMBER_PARENT, parent);
    putField<uint32_t>(buffer, QEL_OFF_MEMBER_CHILD, child);
    return kOk;
  });
}

QEL_EXPORT int32_t QELInsertMember2(uint32_t parent, uint32_t child, int32_t position,
                                    const void* memberRecord, uint32_t* outMember) {
  return guarded([&]() -> int32_t {
    const Component* pc = lookup(parent);
    const Component* cc = lookup(child);
    if (!pc || !cc) return kBadHandle;
    Component p = *pc, c = *cc;
    int32_t kind = memberKindFor(p, c);
    if (kind == 0) return kNotValidFor;
    uint32_t set = setOf(parent, p);
    if (int32_t st = requireWritable(set, true)) return st;
    if (position != -1) return kNotPermitted;  // members are appended
    if (!memberRecord || !outMember) return kBadBuffer;
    MemberRow m;
    m.setId = set;
    m.parentId = parent;
    m.childId = child;
    m.kind = kind;
    if (kind == QEL_MEMBER_PLUGIN) {
      if (!getText(memberRecord, QEL_OFF_MEMBER_NAME, QEL_NAME_SIZE, &m.name)) return kBadMember;
      if (!isValidMemberName(m.name)) return kBadName;
      for (const MemberRow& other : g.store->membersOf(set, QEL_MEMBER_PLUGIN))
        if (other.name == m.name) return kDuplicate;
      *outMember = addMember(m);
      return kOk;
    }
    if (c.setId != set) return kNotValidFor;
    if (kind == QEL_MEMBER_TYPE) {
      int16_t repeat = getField<int16_t>(memberRecord, QEL_OFF_MEMBER_REPEAT);
      if (repeat != 0 && repeat != 1) return kBadRepeat;
      m.repeat = repeat;
      if (!getText(memberRecord, QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE, &m.minOccurs) ||
          !isOccursText(m.minOccurs))
        return kBadMinOccurs;
      if (!getText(memberRecord, QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE, &m.maxOccurs) ||
          !isOccursText(m.maxOccurs))
        return kBadMaxOccurs;
      if (!m.minOccurs.empty() && !m.maxOccurs.empty() &&
          std::stoll(m.minOccurs) > std::stoll(m.maxOccurs))
        return kBadMaxOccurs;
    } else {
      m.role = getField<int32_t>(memberRecord, QEL_OFF_MEMBER_ROLE);
      if (!isKnownRole(m.role)) return kBadRole;
      // One value may stand in several roles of an element (a fixed value is
      // its default and its only enumeration; a range may start and end at
      // one value), but in each role once.
      for (const ValueMember& other : valueMembersOf(parent)) {
        if (other.child == child && other.role == m.role) return kAlreadyMember;
        if (other.role == m.role && isSingleRole(m.role)) return kRoleTaken;
      }
    }
    ensureGraph();
    if (!g.graph.addEdge(parent, child)) return kCircular;
    *outMember = addMember(m);
    if (kind == QEL_MEMBER_VALUE) g.valueMembers[parent].push_back({child, m.role});
    return kOk;
  });
}

QEL_EXPORT int32_t QELRemoveAll(uint32_t handle) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(handle);
    if (!c) return kBadHandle;
    if (c->memberKind != 0 || c->defClass < QEL_CLASS_MESSAGE) return kNotValidFor;
    if (int32_t st = requireWritable(c->setId, true)) return st;
    ensureGraph();
    for (int32_t kind : {QEL_MEMBER_TYPE, QEL_MEMBER_VALUE}) {
      for (const MemberRow& m : g.store->membersOf(handle, kind)) {
        g.graph.removeEdge(handle, m.childId);
        g.cache.erase(m.id);
      }
      g.store->deleteMembersOf(handle, kind);
    }
    g.valueMembers.erase(handle);
    return kOk;
  });
}

// --- Plug-in attributes -------------------------------------------------------

QEL_EXPORT int32_t QELSetAttrValue(uint32_t component, const void* attrRef, const char* value) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(component);
    if (!c) return kBadHandle;
    if (c->memberKind != 0) return kNotValidFor;
    AttrTarget target;
    uint32_t set;
    if (int32_t st = attrTargetOf(component, *c, &target, &set)) return st;
    return setAttribute(component, *c, target, set, attrRef, value);
  });
}

QEL_EXPORT int32_t QELSetMemberAttrValue(uint32_t parent, uint32_t member, const void* attrRef,
                                         const char* value) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(member);
    if (!c) return kBadHandle;
    if (c->memberKind == 0) return kNotValidFor;
    if (c->parentId != parent) return kNotChild;
    AttrTarget target;
    uint32_t set;
    if (int32_t st = attrTargetOf(member, *c, &target, &set)) return st;
    return setAttribute(member, *c, target, set, attrRef, value);
  });
}

QEL_EXPORT int32_t QELGetAttrValue(uint32_t component, const void* attrRef, char* buffer,
                                   int32_t size) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(component);
    if (!c) return kBadHandle;
    AttrTarget target;
    uint32_t set;
    if (int32_t st = attrTargetOf(component, *c, &target, &set)) return st;
    PluginKind plugin;
    uint32_t pluginMember;
    int32_t key;
    ValueRule rule;
    if (int32_t st = checkAttrRef(set, target, attrRef, &plugin, &pluginMember, &key, &rule))
      return st;
    if (!buffer || size <= 0) return kBadBuffer;
    std::string value;
    if (!g.store->getAttribute(component, pluginMember, key, &value)) return kNotFound;
    if (value.size() + 1 > static_cast<size_t>(size)) return kBadBuffer;
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return kOk;
  });
}

// --- Administration and inspection -----------------------------------------

static int32_t setProjectFlag(uint32_t project, bool finalised, int32_t on) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(project);
    if (!c) return kBadHandle;
    if (c->defClass != QEL_CLASS_PROJECT) return kNotProject;
    if (int32_t st = requireWritable(project, false)) return st;
    MessageSetRow row;
    if (!g.store->getMessageSet(project, &row)) return kBadHandle;
    (finalised ? row.finalised : row.locked) = on != 0;
    g.store->updateMessageSet(row);
    g.finalised = row.finalised;
    g.locked = row.locked;
    return kOk;
  });
}

QEL_EXPORT int32_t QELSetFinalised(uint32_t project, int32_t finalised) {
  return setProjectFlag(project, true, finalised);
}
QEL_EXPORT int32_t QELSetLocked(uint32_t project, int32_t locked) {
  return setProjectFlag(project, false, locked);
}

QEL_EXPORT int32_t QELDeleteProject(uint32_t project) {
  return guarded([&]() -> int32_t {
    const Component* c = lookup(project);
    if (!c) return kBadHandle;
    if (c->defClass != QEL_CLASS_PROJECT) return kNotProject;
    if (int32_t st = requireWritable(project, false)) return st;
    g.store->deleteMessageSet(project);
    g.setIsNew = false;
    g.dropNewNames();
    g.cache.clear();
    g.valueMembers.clear();
    g.graph.clear();
    g.graphLoaded = false;
    g.setDeleted = true;
    return kOk;
  });
}

QEL_EXPORT int32_t QELGetNextAttrValue(uint32_t component, int32_t* cursor, void* attrRef,
                                       char* buffer, int32_t size) {
  return guarded([&]() -> int32_t {
    if (!cursor || !attrRef || !buffer || size <= 0) return kBadBuffer;
    if (!lookup(component)) return kBadHandle;
    AttributeRow row;
    if (!g.store->nextAttribute(component, *cursor, &row)) return kNotFound;
    if (row.value.size() + 1 > static_cast<size_t>(size)) return kBadBuffer;
    std::memset(attrRef, 0, QEL_ATTR_REF_SIZE);
    putField<uint32_t>(attrRef, QEL_OFF_ATTR_PLUGIN, row.pluginMemberId);
    putField<int32_t>(attrRef, QEL_OFF_ATTR_KEY, row.key);
    std::memcpy(buffer, row.value.c_str(), row.value.size() + 1);
    *cursor = static_cast<int32_t>(row.order);
    return kOk;
  });
}
