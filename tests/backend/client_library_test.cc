// The PostgreSQL client library is loaded only when a server repository is
// opened: a program that uses repository files works without it, and one
// that opens a server repository without it is told which library is
// missing.  Run through kova-repo, which is not linked with libpq itself, so
// that what its process loads is only what the back end loads.
#include <fstream>
#include <string>

#include "backend_test_support.h"

namespace {

/// Runs kova-repo with `args` (shell words), with `libraryDir` searched
/// first for shared libraries when it is not empty.
ProgramRun runTool(const std::string& libraryDir, const std::string& args) {
  std::string command = std::string(KOVA_REPO_PATH) + " </dev/null " + args;
  if (!libraryDir.empty()) command = "LD_LIBRARY_PATH=" + shellWord(libraryDir) + " " + command;
  return runCommand(command);
}

/// A directory whose libpq.so.5 is an empty file: no library at all.
std::string emptyFileDir() {
  std::string dir = makeTempDir();
  writeFile(dir + "/libpq.so.5", "");
  return dir;
}

TEST(ClientLibrary, ServerRepositoryWithoutAUsableLibpqNamesTheLibrary) {
  struct Case {
    const char* what;
    std::string libraryDir;
    const char* says;
  };
  const Case cases[] = {
      {"not a library", emptyFileDir(), "could not be loaded"},
      {"a library without libpq's functions", KOVA_FAKE_LIBPQ_DIR, "has no function PQ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Nothing listens on port 1: were the library loaded, connecting would
    // fail with another reason.
    ProgramRun run = runTool(c.libraryDir, "list 'postgresql://127.0.0.1:1/kova'");
    expectRun(run, 1, "returned -73");
    expectRun(run, 1, "PostgreSQL client library libpq.so.5");
    expectRun(run, 1, c.says);
  }
}

TEST(ClientLibrary, RepositoryFilesNeedNoLibpq) {
  std::string db = makeTempDir() + "/repo.db";
  for (const std::string& dir : {emptyFileDir(), std::string(KOVA_FAKE_LIBPQ_DIR)}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(runTool(dir, "init " + shellWord(db)).status, 0);
    expectRun(runTool(dir, "list " + shellWord(db)), 0, "MESSAGE SET");
  }
}

}  // namespace
