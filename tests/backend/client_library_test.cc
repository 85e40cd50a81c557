// The PostgreSQL client library is loaded only when a server repository is
// opened: a program that uses repository files works without it, and one
// that opens a server repository without it is told which library is
// missing.  Run through kova-repo, which is not linked with libpq itself, so
// that what its process loads is only what the back end loads.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "backend_test_support.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;
};

/// Runs kova-repo with `args` (shell words), standard error included, with
/// `libraryDir` searched first for shared libraries when it is not empty.
ToolRun runTool(const std::string& libraryDir, const std::string& args) {
  std::string cmd = std::string(KOVA_REPO_PATH) + " </dev/null " + args + " 2>&1";
  if (!libraryDir.empty()) cmd = "LD_LIBRARY_PATH='" + libraryDir + "' " + cmd;
  ToolRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.output.append(buf, n);
  int st = pclose(p);
  run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return run;
}

/// A directory whose libpq.so.5 is an empty file: no library at all.
std::string emptyFileDir() {
  std::string dir = backendTempDir();
  std::ofstream(dir + "/libpq.so.5").flush();
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
    // Nothing listens on port 1: were the library loaded, connecting would
    // fail with another reason.
    ToolRun run = runTool(c.libraryDir, "list 'postgresql://127.0.0.1:1/kova'");
    EXPECT_EQ(run.status, 1) << c.what << "\n" << run.output;
    EXPECT_NE(run.output.find("returned -73"), std::string::npos) << c.what << "\n" << run.output;
    EXPECT_NE(run.output.find("PostgreSQL client library libpq.so.5"), std::string::npos)
        << c.what << "\n"
        << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.what << "\n" << run.output;
  }
}

TEST(ClientLibrary, RepositoryFilesNeedNoLibpq) {
  std::string db = backendTempDir() + "/repo.db";
  for (const std::string& dir : {emptyFileDir(), std::string(KOVA_FAKE_LIBPQ_DIR)}) {
    ToolRun init = runTool(dir, "init '" + db + "'");
    EXPECT_EQ(init.status, 0) << dir << "\n" << init.output;
    ToolRun list = runTool(dir, "list '" + db + "'");
    EXPECT_EQ(list.status, 0) << dir << "\n" << list.output;
    EXPECT_NE(list.output.find("MESSAGE SET"), std::string::npos) << list.output;
  }
}

TEST(ClientLibrary, ServerRepositoryLoadsLibpqWhenOpened) {
  if (!serverTestUrl()) GTEST_SKIP() << "KOVA_TEST_PG_URL is not set";
  std::string schema;
  std::string url = serverTestRepository(&schema);
  ToolRun init = runTool("", "init '" + url + "'");
  EXPECT_EQ(init.status, 0) << init.output;
  ToolRun list = runTool("", "list '" + url + "'");
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find("MESSAGE SET"), std::string::npos) << list.output;
  dropServerTestSchema(schema);
}

}  // namespace
