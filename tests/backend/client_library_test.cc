// The PostgreSQL client library is loaded only when a server repository is
// opened: a program that uses repository files works without it, and one
// that opens a server repository without it is told which library is
// missing.  Run through kova-repo, which is not linked with libpq itself, so
// that what its process loads is only what the back end loads.
#include <fstream>
#include <string>

#include "backend_test_support.h"

namespace {

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
    ProgramRun run = runKovaRepo("list 'postgresql://127.0.0.1:1/kova'", c.libraryDir);
    expectRun(run, 1, "returned -73");
    expectRun(run, 1, "PostgreSQL client library libpq.so.5");
    expectRun(run, 1, c.says);
  }
}

TEST(ClientLibrary, RepositoryFilesNeedNoLibpq) {
  std::string db = makeTempDir() + "/repo.db";
  for (const std::string& dir : {emptyFileDir(), std::string(KOVA_FAKE_LIBPQ_DIR)}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(runKovaRepo("init " + shellWord(db), dir).status, 0);
    expectRun(runKovaRepo("list " + shellWord(db), dir), 0, "MESSAGE SET");
  }
}

}  // namespace
