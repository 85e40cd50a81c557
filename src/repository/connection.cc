// The conversation with the repository for one run: release check,
// connection, the message set (found or created, refused when finalised,
// locked or in use, emptied on request), its plug-ins and layers, the
// duplicate-message check, and at the end commit or discard, disconnect and
// the message-set file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "messages.h"
#include "model_builder.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"
#include "shown_database.h"

RepositoryConnection repo;

namespace {
// Cuts the message-set file back to the length it had before this run's line.
void takeBackMsgSetLine() {
  if (repo.msgSetFileLength < 0) return;
  if (truncate(repo.msgSetFile.c_str(), repo.msgSetFileLength) != 0) {
    progressPrintf("*****Error - the line of message set %s could not be taken back from %s\n",
                   repo.msgSetName, repo.msgSetFile.c_str());
  }
  repo.msgSetFileLength = -1;
}
}  // namespace

void RepositoryConnection::reset() {
  // The model keeps a pointer to our type-name question; it must not outlive
  // the message set it asks about.
  if (msgSetHandle != 0) setTypeNameTakenHook(nullptr);
  // A run that ended on a repository exception left the connection open: its
  // work is discarded, as the end of the process would discard it, so that a
  // later run in the same process can connect again.
  if (connected) {
    if (msgSetHandle != 0) QELCloseProject(msgSetHandle, 0);
    QELCloseRepository();
  }
  *this = RepositoryConnection{};
}

namespace {

[[noreturn]] void raise(int32_t status) { throw QELDBException(status); }

// Walks every definition of `defClass` in the message set, calling
// `visit(handle)`; the next definition is fetched before the visit, so the
// visit may delete the current one.  A walk that ends with anything other
// than "no further definition" goes to the status check.
template <typename Visit>
void walkClass(int32_t defClass, const char* caller, Visit visit) {
  uint32_t current = 0;
  int32_t status = QELGetFirstDefinition(repo.msgSetHandle, defClass, &current, 0);
  while (status == 0) {
    uint32_t next = 0;
    status = QELGetNextDefinition(current, 0, &next, QEL_WALK_NEXT, 0);
    visit(current);
    current = next;
  }
  if (status != QEL_STATUS_NOT_FOUND)
    chkQELBeapiCode(status, "QELGetFirstDefinition/QELGetNextDefinition", caller);
}

int32_t typeKind(uint32_t handle, const char* caller) {
  unsigned char details[QEL_TYPE_DETAILS_SIZE] = {};
  int32_t defClass = QEL_CLASS_TYPE;
  chkQELBeapiCode(QELGetDetails(handle, &defClass, details, sizeof details), "QELGetDetails",
                  caller);
  return getInt32(details, QEL_OFF_TYPE_KIND);
}

const int32_t kResetClasses[] = {QEL_CLASS_RESERVED_100, QEL_CLASS_RESERVED_101,
                                 QEL_CLASS_RESERVED_105, QEL_CLASS_MESSAGE,
                                 QEL_CLASS_ELEMENT,      QEL_CLASS_VALUE};

}  // namespace

void putText(unsigned char* record, int offset, int size, const char* text) {
  std::memset(record + offset, 0, static_cast<size_t>(size));
  if (text != nullptr) {
    size_t n = strnlen(text, static_cast<size_t>(size) - 1);
    std::memcpy(record + offset, text, n);
  }
}

std::string getText(const unsigned char* record, int offset, int size) {
  const char* p = reinterpret_cast<const char*>(record + offset);
  return std::string(p, strnlen(p, static_cast<size_t>(size)));
}

void putInt32(unsigned char* record, int offset, int32_t value) {
  std::memcpy(record + offset, &value, sizeof value);
}

int32_t getInt32(const unsigned char* record, int offset) {
  int32_t value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

AttrRef::AttrRef(uint32_t pluginHandle, int32_t key) {
  static_assert(sizeof bytes == QEL_ATTR_REF_SIZE);
  std::memcpy(bytes + QEL_OFF_ATTR_PLUGIN, &pluginHandle, sizeof pluginHandle);
  putInt32(bytes, QEL_OFF_ATTR_KEY, key);
}

void chkQELBeapiCode(int32_t status, const char* apiName, const char* callerName) {
  TraceScope trace("chkQELBeapiCode");
  if (status == 0) return;
  reportError(9398, {textInsert(callerName), textInsert(apiName), intInsert(status),
                     textInsert(QELStatusText(status))});
  // A server database explains its failures (the server's reason for a
  // refused connection, a dropped connection, a failed statement).
  char reason[1024];
  if (QELGetLastErrorText(reason, sizeof reason) > 0)
    reportError(9465, {textInsert(shownDatabaseName(repo.dbName)), textInsert(reason)});
  raise(messageStatus(9398));
}

void initializeDatabase() {
  TraceScope trace("initializeDatabase");
  repo.execDate[0] = '\0';
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(repo.execDate, sizeof repo.execDate, "%Y-%m-%d-%H.%M.%S", &local);
  progressPrintf("Execution date and time %s\n", repo.execDate);
}

int32_t checkQELRelease() {
  TraceScope trace("checkQELRelease");
  uint32_t releaseInfo[QEL_RELEASE_INFO_SIZE / sizeof(uint32_t)] = {QEL_RELEASE_INFO_SIZE};
  int32_t status = QELGetAPIReleaseInfo(releaseInfo, QEL_API_RELEASE);
  if (status != 0) reportError(9405);
  return status;
}

int32_t connectToQEL(const char* dbName, const char* user, const char* password) {
  TraceScope trace("connectToQEL");
  // Names that some database libraries read as a temporary database in
  // memory: an import there would report success and keep nothing.
  std::string name = dbName;
  if (name == ":memory:" ||
      (name.rfind("file:", 0) == 0 && name.find("mode=memory") != std::string::npos)) {
    raise(reportError(9453, {textInsert(name)}));
  }
  repo.dbName = dbName;
  int32_t status = QELOpenRepository(dbName, user, password);
  if (status == 0) {
    repo.connected = true;
    progressPrintf("Connection successful %s\n", shownDatabaseName(dbName).c_str());
  } else {
    chkQELBeapiCode(status, "QELOpenRepository", "connectToQEL");
  }
  return 0;
}

int32_t getQELInfo(const char* msgSetName, int32_t reset) {
  TraceScope trace("getQELInfo");
  unsigned char details[QEL_PROJECT_DETAILS_SIZE] = {};
  chkQELBeapiCode(QELGetDefaultDetails(QEL_CLASS_PROJECT, details, sizeof details),
                  "QELGetDefaultDetails", "getQELInfo");
  putText(details, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE, msgSetName);
  int16_t keyWord = 1;
  std::memcpy(details + QEL_OFF_PROJECT_KEY_WORD, &keyWord, sizeof keyWord);
  std::snprintf(repo.msgSetName, sizeof repo.msgSetName, "%s", msgSetName);

  uint32_t handle = 0;
  int32_t status = QELFindProject(&handle, details + QEL_OFF_PROJECT_NAME, QEL_OPEN_WRITE);
  bool created = false;
  if (status == QEL_STATUS_NOT_FOUND || status == QEL_STATUS_NO_PROJECT) {
    int32_t creation = QELCreateProject(&handle, details);
    if (creation == QEL_STATUS_PROJECT_EXISTS) {
      // Another importer created it after the look-up: it is opened as any
      // existing message set.
      status = QELFindProject(&handle, details + QEL_OFF_PROJECT_NAME, QEL_OPEN_WRITE);
    } else {
      if (creation == QEL_STATUS_WRITER_ACTIVE) {
        raise(reportError(9401, {textInsert(msgSetName)}));
      }
      chkQELBeapiCode(creation, "QELCreateProject", "getQELInfo");
      repo.msgSetHandle = handle;
      getPluginHandles();
      created = true;
    }
  }
  if (!created && status == 0) {
    progressPrintf("Message Set already exists\n");
    int32_t opened = QELOpenProject(handle, QEL_OPEN_WRITE);
    // Another importer is writing the repository (the message set, or one
    // it is creating): the set is in use until it ends.
    if (opened == QEL_STATUS_WRITER_ACTIVE) raise(reportError(9401, {textInsert(msgSetName)}));
    chkQELBeapiCode(opened, "QELOpenProject", "getQELInfo");
    repo.msgSetHandle = handle;
    if (QELIsFinalised(handle) != 0) raise(reportError(9403, {textInsert(msgSetName)}));
    if (QELIsLocked(handle) != 0) raise(reportError(9402, {textInsert(msgSetName)}));
    getPluginHandles();
    if (getLockCount() != 0) raise(reportError(9401, {textInsert(msgSetName)}));
    if (reset == 1) resetMessageSet(msgSetName);
  } else if (!created) {
    chkQELBeapiCode(status, "QELFindProject", "getQELInfo");
  }
  setTypeNameTakenHook(repositoryHasTypeName);

  status = createAttribute("QEL", handle, repo.webdavPlugin.handle, QEL_WEBDAV_KEY_MARKER);
  if (status != 0) {
    repo.msgSetId[0] = '\0';
    return status;
  }
  chkQELBeapiCode(QELGetDetails(handle, nullptr, details, sizeof details), "QELGetDetails",
                  "getQELInfo");
  std::string id = getText(details, QEL_OFF_PROJECT_ID, QEL_PROJECT_ID_SIZE);
  std::snprintf(repo.msgSetId, sizeof repo.msgSetId, "%s", id.c_str());
  std::string name = getText(details, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE);
  reportInfo(9404, {textInsert(name), textInsert(repo.msgSetId)});
  return 0;
}

void getPluginHandles() {
  TraceScope trace("getPluginHandles");
  uint32_t member = 0;
  int32_t status = QELGetNextDefinition(repo.msgSetHandle, 0, &member, QEL_WALK_PLUGIN_MEMBER, 0);
  while (status == 0 && member != 0xFFFFFFFFu) {
    unsigned char plugin[QEL_PLUGIN_DETAILS_SIZE] = {};
    unsigned char memberDetails[QEL_PLUGIN_MEMBER_SIZE] = {};
    chkQELBeapiCode(QELGetDetails(member, nullptr, plugin, sizeof plugin), "QELGetDetails",
                    "getPluginHandles");
    chkQELBeapiCode(
        QELGetMemberDetails(repo.msgSetHandle, member, memberDetails, sizeof memberDetails),
        "QELGetMemberDetails", "getPluginHandles");
    std::string pluginName = getText(plugin, QEL_OFF_PLUGIN_NAME, QEL_NAME_SIZE);
    std::string memberName =
        getText(memberDetails, QEL_OFF_MEMBER_NAME, QEL_PLUGIN_MEMBER_SIZE - QEL_OFF_MEMBER_NAME);
    PluginLayer layer{member, 0};
    auto named = [&] {
      layer.name = insertName(memberName);
      return layer;
    };
    if (pluginName == QEL_PLUGIN_C) {
      repo.cPlugin = named();
    } else if (pluginName == QEL_PLUGIN_COBOL) {
      repo.cobolPlugin = named();
    } else if (pluginName == QEL_PLUGIN_WEBDAV) {
      repo.webdavPlugin = named();
    } else if (pluginName == QEL_PLUGIN_XML) {
      repo.xmlLayers.push_back(named());
    } else if (pluginName == QEL_PLUGIN_CWF) {
      repo.cwfLayers.push_back(named());
    } else if (pluginName == QEL_PLUGIN_TDS) {
      repo.tdsLayers.push_back(named());
    }
    uint32_t previous = member;
    status = QELGetNextDefinition(previous, repo.msgSetHandle, &member, QEL_WALK_NEXT, 0);
  }
}

int32_t parseLockCount(const char* text) {
  return static_cast<int32_t>(std::strtol(text, nullptr, 0));
}

int32_t getLockCount() {
  TraceScope trace("getLockCount");
  AttrRef ref(repo.webdavPlugin.handle, QEL_WEBDAV_KEY_LOCK_COUNT);
  char value[QEL_ATTR_VALUE_SIZE + 1] = {};
  chkQELBeapiCode(QELGetAttrValue(repo.msgSetHandle, ref.bytes, value, QEL_ATTR_VALUE_SIZE),
                  "QELGetAttrValue", "getLockCount");
  return parseLockCount(value);
}

int32_t checkDupMessageName(const char* rootName, const char* msgSetName) {
  TraceScope trace("checkDupMessageName");
  std::string messageName = std::string(parms.msgPrefix) + rootName + parms.msgSuffix;
  progressPrintf("Checking for duplicate message %s in MessageSet %s\n", rootName, msgSetName);
  uint32_t handle = 0;
  if (QELFindDefinition(repo.msgSetHandle, QEL_CLASS_MESSAGE, &handle, messageName.c_str()) != 0)
    return 0;
  raise(reportError(9400, {textInsert(rootName), textInsert(msgSetName)}));
}

void resetMessageSet(const char* msgSetName) {
  TraceScope trace("resetMessageSet");
  progressPrintf("Reseting message set name %s\n", msgSetName);
  for (int32_t defClass : kResetClasses) removeMembers(defClass);
  removeTypeMembers();
  for (int32_t defClass : kResetClasses) deleteClass(defClass);
  deleteTypes();
  // Whatever was cached about the message set's content is gone with it.
  repo.valueIndexBuilt = false;
  repo.valuesByText.clear();
}

void removeMembers(int32_t defClass) {
  TraceScope trace("removeMembers");
  walkClass(defClass, "removeMembers", [](uint32_t handle) {
    chkQELBeapiCode(QELRemoveAll(handle), "QELRemoveAll", "removeMembers");
  });
}

void removeTypeMembers() {
  TraceScope trace("removeTypeMembers");
  walkClass(QEL_CLASS_TYPE, "removeTypeMembers", [](uint32_t handle) {
    if (typeKind(handle, "removeTypeMembers") == QEL_TYPE_KIND_SIMPLE) return;
    chkQELBeapiCode(QELRemoveAll(handle), "QELRemoveAll", "removeTypeMembers");
  });
}

void deleteClass(int32_t defClass) {
  TraceScope trace("deleteClass");
  walkClass(defClass, "deleteClass", [](uint32_t handle) {
    chkQELBeapiCode(QELDelete(handle), "QELDelete", "deleteClass");
  });
}

void deleteTypes() {
  TraceScope trace("deleteTypes");
  walkClass(QEL_CLASS_TYPE, "deleteTypes", [](uint32_t handle) {
    if (typeKind(handle, "deleteTypes") == QEL_TYPE_KIND_SIMPLE) return;
    chkQELBeapiCode(QELDelete(handle), "QELDelete", "deleteTypes");
  });
}

void endTransaction(int32_t reportOnly) {
  TraceScope trace("endTransaction");
  int32_t commit = (run.errSw == 0 && reportOnly == 0) ? 1 : 0;
  int32_t closed = QELCloseProject(repo.msgSetHandle, commit);
  // The message-set file names only message sets that were committed.
  if (closed != 0 || commit == 0) takeBackMsgSetLine();
  repo.msgSetFileLength = -1;
  chkQELBeapiCode(closed, "QELCloseProject", "endTransaction");
  chkQELBeapiCode(QELCloseRepository(), "QELCloseRepository", "endTransaction");
  repo.connected = false;
  setTypeNameTakenHook(nullptr);
  // Drop the per-run registers and indexes with the connection.
  repo.elementNames.clear();
  repo.typeNames.clear();
  repo.memberKeys.clear();
  repo.valuesByText.clear();
  repo.writtenValues.clear();
  repo.valueIndexBuilt = false;
}

void witeMsgSetFile(const char* fileName) {
  TraceScope trace("witeMsgSetFile");
  std::FILE* f = std::fopen(fileName, "a");
  if (f == nullptr) raise(reportError(9399, {textInsert(fileName)}));
  struct stat st;
  long before =
      fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long>(st.st_size) : -1;
  bool written = std::fprintf(f, "%s=%s\n", repo.msgSetName, repo.msgSetId) > 0;
  written = std::fflush(f) == 0 && written;
  written = std::fclose(f) == 0 && written;
  repo.msgSetFile = fileName;
  repo.msgSetFileLength = before;
  if (!written) {
    // A line that did not reach the file whole is taken back; the run then
    // ends without committing.
    takeBackMsgSetLine();
    raise(reportError(9399, {textInsert(fileName)}));
  }
}

const char* messageSetIdentifier() { return repo.msgSetId; }
