// Shared helpers of the test suite.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

/// The real schemas the project carries (corpus/ubl-2.5, corpus/iso20022).
std::string corpusDir();
/// The project's top source directory (examples/, tests/data/).
std::string sourceDir();
/// A fresh empty temporary directory, removed at the end of the test program.
std::string makeTempDir();
/// Writes `text` to `path` (creating it); returns `path`.
std::string writeFile(const std::string& path, const std::string& text);
/// Reads a whole file ("" when it cannot be read).
std::string readFile(const std::string& path);

/// What a run of a built program printed and returned.
struct ProgramRun {
  int status = -1;     ///< exit status as the shell sees it (0..255)
  std::string output;  ///< standard output and standard error together
};
/// Runs the built xsdimport with `args` in directory `cwd` ("" for the current one).
ProgramRun runXsdimport(const std::vector<std::string>& args, const std::string& cwd = "");
/// Runs any command line through the shell, capturing its output.
ProgramRun runCommand(const std::string& command);
/// Expects `run` to have ended with `status` after printing `text`.
void expectRun(const ProgramRun& run, int status, const std::string& text);

/// Base fixture: every process-wide structure is reset before each test, and
/// standard output can be captured.
class KovaTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void startCapture();
  std::string stopCapture();

 private:
  bool capturing_ = false;
};

/// `s` quoted for the shell.
std::string shellWord(const std::string& s);

/// A parameter file in `dir` that imports corpus document `corpusFile` (a path
/// under corpusDir()) with root `root` into repository `db`,
/// message set `messageSet`, as a new user writes it: no [NAMESPACEPREFIX]
/// line and no DEFNAMESPACE, and for UBL the common modules as [FILELOCATION]
/// lines.  Returns the file's path;
/// run it from the document's folder (FILEPATH stays empty).
std::string corpusParameterFile(const std::string& dir, const std::string& corpusFile,
                                const std::string& root, const std::string& db,
                                const std::string& messageSet);

/// Lines of `text` that contain `needle`.
std::vector<std::string> linesWith(const std::string& text, const std::string& needle);
