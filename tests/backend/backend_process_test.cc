// The repository file under more than one process: a writer killed half-way
// leaves the last committed state; a second writer waits, then is refused.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "backend_test_support.h"

namespace {

/// Runs `body(fd)` in a child process, which reports the status byte that
/// `body` answers through a pipe (`body` may write bytes of its own to `fd`
/// first), then waits to be killed or ends without closing.
class ChildWriter {
 public:
  template <typename F>
  explicit ChildWriter(F body) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      QELCloseRepository();  // the parent's connection is not ours to use
      char c = static_cast<char>(body(fds[1]));
      if (write(fds[1], &c, 1) != 1) _exit(3);
      pause();  // until killed
      _exit(0);
    }
    close(fds[1]);
    readFd_ = fds[0];
  }
  /// The next byte the child reports.
  int waitReady() {
    char c = 99;
    return read(readFd_, &c, 1) == 1 ? c : -1;
  }
  void kill() {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(readFd_);
  }

 private:
  pid_t pid_ = 0;
  int readFd_ = -1;
};

/// Connects to `db` and opens message set `set` for writing; 0 when both worked.
int openForWriting(const std::string& db, uint32_t set) {
  if (QELOpenRepository(db.c_str(), "", "") != 0) return 1;
  return QELOpenProject(set, 1) == 0 ? 0 : 2;
}

/// Creates `count` STRING elements "<prefix><n>" in the open set; 0 when all were made.
int createElements(uint32_t set, const std::string& prefix, int count) {
  uint32_t str = 0, e = 0;
  QELFindDefinition(set, QEL_CLASS_TYPE, &str, "STRING");
  for (int i = 0; i < count; ++i)
    if (createElement(set, prefix + std::to_string(i), str, &e) != 0) return 4;
  return 0;
}

TEST_P(BackendTest, WriterKilledWhileFillingANewFileLeavesNoSet) {
  if (GetParam() == Store::kServer) GTEST_SKIP() << "a file's own set-up";
  // A new file is set up and filled in one transaction: killed before its
  // commit, the file holds no set and takes new work as a new file does.
  ASSERT_EQ(QELCloseRepository(), 0);
  std::string db = dir_ + "/new.db";
  ChildWriter child([&](int) {
    if (QELOpenRepository(db.c_str(), "", "") != 0) return 1;
    uint32_t set = createSet("Fresh");
    return set == 0 ? 2 : createElements(set, "Lost", 5000);
  });
  ASSERT_EQ(child.waitReady(), 0);
  child.kill();

  ASSERT_EQ(QELOpenRepository(db.c_str(), "", ""), 0);
  uint32_t h = 0;
  EXPECT_EQ(findSet("Fresh", &h), -4);
  found(0, QEL_CLASS_PLUGIN, QEL_PLUGIN_XML);
  uint32_t set = createSet("Fresh");
  ASSERT_EQ(createElements(set, "Kept", 3), 0);
  commit(set);
}

TEST_P(BackendTest, WriterKilledWhileCommittingLeavesAllOrNothing) {
  const int count = 5000;
  int committed = 0, dropped = 0;
  // -1: the child is left to finish, the control case.
  for (int delayUs : {0, 200, 1000, 3000, 10000, 30000, -1}) {
    uint32_t set = committedSet("Commit" + std::to_string(delayUs + 1));
    ASSERT_EQ(QELCloseRepository(), 0);
    // The child writes `count` elements, a byte when its commit starts, then
    // the commit's outcome.
    ChildWriter child([&](int readyFd) {
      int st = openForWriting(db_, set);
      if (st != 0 || (st = createElements(set, "Batch", count)) != 0) return st;
      if (write(readyFd, "", 1) != 1) return 5;
      return QELCloseProject(set, 1) == 0 ? 0 : 6;
    });
    ASSERT_EQ(child.waitReady(), 0);  // the commit is starting
    if (delayUs >= 0) {
      usleep(static_cast<useconds_t>(delayUs));
    } else {
      ASSERT_EQ(child.waitReady(), 0);  // the commit is done
    }
    child.kill();
    ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
    size_t n = walkNames(set, QEL_CLASS_ELEMENT).size();
    EXPECT_TRUE(n == 0 || n == static_cast<size_t>(count)) << n << " after " << delayUs << "us";
    (n == 0 ? dropped : committed) += 1;
  }
  // Killed at once, nothing is kept; left alone, everything is.  A server
  // commits what it has been sent even when its client dies a moment later,
  // so there only the all-or-nothing part holds.
  if (GetParam() == Store::kFile) {
    EXPECT_GT(dropped, 0);
  }
  EXPECT_GT(committed, 0);
}

TEST_P(BackendTest, SecondWriterWaitsThenIsRefused) {
  uint32_t set = committedSet("Shared");
  ChildWriter child([&](int) { return openForWriting(db_, set); });
  ASSERT_EQ(child.waitReady(), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QELOpenProject(set, 1), -69);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 1.0);   // it waited for the lock ...
  EXPECT_LT(waited, 10.0);  // ... for a bounded time
  // Readers are not refused while the other process writes.
  EXPECT_EQ(walkNames(set, QEL_CLASS_TYPE).size(), 7u);
  child.kill();
  EXPECT_EQ(QELOpenProject(set, 1), 0);
  EXPECT_EQ(QELCloseProject(set, 0), 0);
}

TEST_P(BackendTest, WritersOfDifferentSetsWaitOnlyInAFile) {
  uint32_t first = committedSet("First"), second = committedSet("Second");
  ChildWriter child([&](int) {
    int st = openForWriting(db_, first);
    return st != 0 ? st : createElements(first, "Child", 10);
  });
  ASSERT_EQ(child.waitReady(), 0);
  auto start = std::chrono::steady_clock::now();
  int32_t st = QELOpenProject(second, 1);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (GetParam() == Store::kFile) {
    // The file has one writer at a time.
    EXPECT_EQ(st, -69);
  } else {
    // A server locks message sets, not the repository: no waiting, and a
    // new set can be created meanwhile too.
    EXPECT_EQ(st, 0);
    EXPECT_LT(waited, 1.0);
    EXPECT_EQ(createElements(second, "Parent", 10), 0);
    commit(second);
    committedSet("Third");  // expected to be made
  }
  child.kill();
}

/// The server test URL with its own schema and application name, so that
/// the test can find its connection on the server.
std::string taggedServerRepository(std::string* schema, std::string* tag) {
  std::string url = serverTestRepository(schema);
  *tag = "kova_" + *schema;
  return url + "&application_name=" + *tag;
}

/// Runs one statement on the test server with a connection of its own.
void onServer(const std::string& sql, const std::string& param) {
  PGconn* conn = PQconnectdb(serverTestUrl());
  const char* values[] = {param.c_str()};
  PQclear(PQexecParams(conn, sql.c_str(), 1, nullptr, values, nullptr, nullptr, 0));
  PQfinish(conn);
}

TEST(ServerStore, RefusedConnectionGivesTheServersReasonWithoutThePassword) {
  if (!serverTestUrl()) GTEST_SKIP() << "KOVA_TEST_PG_URL is not set";
  std::string schema;
  std::string url = serverTestRepository(&schema);
  EXPECT_EQ(QELOpenRepository(url.c_str(), "no_such_role_kova", "Hidden42"), -73);
  char reason[1024];
  ASSERT_GT(QELGetLastErrorText(reason, sizeof reason), 0);
  EXPECT_NE(std::strstr(reason, "no_such_role_kova"), nullptr) << reason;
  EXPECT_EQ(std::strstr(reason, "Hidden42"), nullptr) << reason;
  // A schema name that is not a plain name is refused before connecting.
  std::string bad = std::string(serverTestUrl()) + "&schema=Bad;Name";
  EXPECT_EQ(QELOpenRepository(bad.c_str(), "", ""), -73);
  ASSERT_GT(QELGetLastErrorText(reason, sizeof reason), 0);
  EXPECT_NE(std::strstr(reason, "schema="), nullptr) << reason;
}

TEST(ServerStore, DroppedConnectionLeavesTheCommittedState) {
  if (!serverTestUrl()) GTEST_SKIP() << "KOVA_TEST_PG_URL is not set";
  std::string schema, tag;
  std::string url = taggedServerRepository(&schema, &tag);
  ASSERT_EQ(QELOpenRepository(url.c_str(), "", ""), 0);
  uint32_t set = 0;
  Record d = setDetails("Kept");
  ASSERT_EQ(QELCreateProject(&set, d.data()), 0);
  ASSERT_EQ(createElements(set, "Committed", 5), 0);
  ASSERT_EQ(QELCloseProject(set, 1), 0);

  ASSERT_EQ(QELOpenProject(set, 1), 0);
  ASSERT_EQ(createElements(set, "Lost", 3000), 0);
  onServer("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name=$1",
           tag);
  int32_t st = createElements(set, "After", 3000) == 0 ? QELCloseProject(set, 1) : -92;
  EXPECT_EQ(st, -92);
  char reason[1024];
  EXPECT_GT(QELGetLastErrorText(reason, sizeof reason), 0);
  QELCloseProject(set, 0);
  QELCloseRepository();

  ASSERT_EQ(QELOpenRepository(url.c_str(), "", ""), 0);
  uint32_t h = 0;
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_ELEMENT, &h, "Committed4"), 0);
  EXPECT_EQ(QELFindDefinition(set, QEL_CLASS_ELEMENT, &h, "Lost0"), -4);
  QELCloseRepository();
  dropServerTestSchema(schema);
}

}  // namespace
