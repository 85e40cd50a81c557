// Shared helpers of the test suite.  See test_support.h.
#include "test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalogue.h"
#include "run_driver.h"

namespace {
/// The directories makeTempDir() made, removed at the end of the test program.
struct TempDirs : std::vector<std::string> {
  ~TempDirs() {
    std::error_code ec;
    for (const std::string& d : *this) std::filesystem::remove_all(d, ec);
  }
};
TempDirs& tempDirs() {
  static TempDirs dirs;
  return dirs;
}
}  // namespace

std::string shellWord(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string corpusDir() { return KOVA_CORPUS_DIR; }
std::string sourceDir() { return KOVA_SOURCE_DIR; }

std::string makeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kova-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  char* dir = mkdtemp(buf.data());
  if (dir == nullptr) return "";
  tempDirs().push_back(dir);
  return dir;
}

std::string writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ProgramRun runCommand(const std::string& command) {
  ProgramRun result;
  std::string full = command + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (p == nullptr) return result;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) result.output.append(buf, n);
  int status = pclose(p);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void expectRun(const ProgramRun& run, int status, const std::string& text) {
  EXPECT_EQ(run.status, status) << run.output;
  EXPECT_NE(run.output.find(text), std::string::npos) << "no \"" << text << "\" in\n" << run.output;
}

ProgramRun runXsdimport(const std::vector<std::string>& args, const std::string& cwd) {
  // Appends one piece at a time: g++ 12 at -O3 warns falsely (-Wrestrict)
  // about chains of operator+ on temporaries.
  std::string command;
  if (!cwd.empty()) {
    command.append("cd ").append(shellWord(cwd)).append(" && ");
  }
  command.append(shellWord(KOVA_XSDIMPORT_PATH));
  for (const std::string& a : args) command.append(" ").append(shellWord(a));
  command.append(" </dev/null");
  return runCommand(command);
}

void KovaTest::SetUp() {
  resetProcessState();
  initialiseCatalogue();
}

void KovaTest::TearDown() {
  if (capturing_) stopCapture();
  resetProcessState();
}

void KovaTest::startCapture() {
  fflush(stdout);
  ::testing::internal::CaptureStdout();
  capturing_ = true;
}

std::string KovaTest::stopCapture() {
  fflush(stdout);
  capturing_ = false;
  return ::testing::internal::GetCapturedStdout();
}

std::vector<std::string> linesWith(const std::string& text, const std::string& needle) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(needle) != std::string::npos) out.push_back(line);
  }
  return out;
}

std::string corpusParameterFile(const std::string& dir, const std::string& corpusFile,
                                const std::string& root, const std::string& db,
                                const std::string& messageSet) {
  namespace fs = std::filesystem;
  fs::path corpus = fs::path(corpusDir());
  fs::path main = corpus / corpusFile;
  std::string locations;
  if (corpusFile.rfind("ubl-2.5/", 0) == 0) {
    // The common modules import each other by bare file name.
    for (const fs::directory_entry& e : fs::directory_iterator(corpus / "ubl-2.5" / "common")) {
      if (e.path().extension() != ".xsd") continue;
      locations += e.path().filename().string() + " " + e.path().string() + "\n";
    }
  }
  // No [NAMESPACEPREFIX] line and no DEFNAMESPACE: the program finds the
  // prefixes itself.
  return writeFile(dir + "/import.parms",
                   "QEL_DB=" + db + "\nMESSAGESET=" + messageSet + "\nROOTELEMENT=" + root +
                       "\n[FILELIST]\n" + main.filename().string() + "\n" +
                       (locations.empty() ? "" : "[FILELOCATION]\n" + locations));
}
