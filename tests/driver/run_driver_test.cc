// The run driver: order of the early steps, statuses, overrides, and the
// program as a user runs it.
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue.h"
#include "messages.h"
#include "driver_test_support.h"
#include "parameters.h"
#include "run_driver.h"
#include "run_state.h"
#include "test_support.h"

namespace {

/// The status a shell shows for a run status (a negative one as 256 + it).
int shellStatus(int32_t status) { return status & 0xff; }

}  // namespace

class RunDriver : public DriverTest {
 protected:
  /// Runs the import in this process; output goes to output_.
  int run(std::vector<std::string> args) {
    Args a(std::move(args));
    startCapture();
    int status = runImport(a.argc(), a.argv());
    output_ = stopCapture();
    return status;
  }

  std::string parmFile(const std::string& text) { return writeFile(dir_ + "/run.parms", text); }
};

TEST_F(RunDriver, BannerThenParameterFileThenNoSchemaFile) {
  std::string path = parmFile("MESSAGESET=SET1\nROOTELEMENT=order\n");
  EXPECT_EQ(run({"-f", path}), -36);
  std::vector<std::string> lines = linesWith(output_, "");
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("XML schema Import Utility V1.00 for KOVA V2.1 (", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].back(), ')');
  EXPECT_TRUE(saw("Processing parameters file " + path + "\n"));
  EXPECT_TRUE(saw(shown(9386) + "\n"));
  EXPECT_FALSE(saw("Accessing QEL database")) << "no repository access without a schema file";
  EXPECT_EQ(::run.errSw, 1);
}

TEST_F(RunDriver, CommandLineOverridesAndDefaultsAfterTheFile) {
  std::string path = parmFile("QEL_DB=FILEDB\nSCHEMA=SCH\nXMLTABNAME=\"\"\n");
  EXPECT_EQ(run({"-nDB1", "-T", "-f", path}), -36);
  EXPECT_STREQ(parms.dbName, "DB1");
  EXPECT_STREQ(parms.dbSchema, "SCH.");
  EXPECT_STREQ(parms.xmlTabName, "XML");
  EXPECT_TRUE(tracing());
  EXPECT_FALSE(saw("==> processParmFile")) << "-t takes effect after the file";
}

TEST_F(RunDriver, CommandLineErrorStillReadsTheFileThenStops) {
  std::string path = parmFile("MESSAGESET=SET1\n");
  EXPECT_EQ(run({"-f", path, "-n"}), -45);
  size_t error = output_.find("KOVA9395E");
  size_t reading = output_.find("Processing parameters file");
  ASSERT_NE(error, std::string::npos);
  ASSERT_NE(reading, std::string::npos);
  EXPECT_LT(error, reading);
  EXPECT_STREQ(parms.msgSetName, "SET1");
  EXPECT_FALSE(saw("KOVA9386E")) << "the run stops right after the file";
}

TEST_F(RunDriver, ParameterFileStatusWinsOverACommandLineError) {
  EXPECT_EQ(run({"-f", dir_ + "/absent.parms", "-q"}), -43);
  EXPECT_TRUE(saw("KOVA9396E"));
}

TEST_F(RunDriver, ErrorWithoutAStatusStillFailsTheRun) {
  std::string path = parmFile("MESSAGESET=\"SET1\n");
  EXPECT_EQ(run({"-f", path}), -8);
  EXPECT_TRUE(saw("***** missing trailing quote"));
}

TEST(ElapsedTime, HundredthsPrintAsSecondsWithTwoDigits) {
  const struct {
    int64_t hundredths;
    const char* text;
  } cases[] = {{507, "5.07"}, {1, "0.01"}, {99, "0.99"}, {100, "1.00"}, {12345, "123.45"}};
  for (const auto& c : cases) EXPECT_EQ(formatElapsed(c.hundredths), c.text);
}

// ---------------------------------------------------------------------------
// The built program, as a user runs it.

class Program : public RunDriver {};

// The status the shell sees and what is printed, and not, for command lines
// that end the run early.
TEST_F(Program, EarlyEndsReachTheShellWithTheirStatus) {
  writeFile(dir_ + "/main.xsd", "<schema/>");
  writeFile(dir_ + "/huge.parms", "MAXELEMENT=2147483647\n[FILELIST]\nmain.xsd\n");
  const std::string banner = "XML schema Import Utility V1.00",
                    usage = "KOVA9397I Usage: ", reading = "Processing parameters file";
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> printed, notPrinted;
  } cases[] = {
      // Usage, with status 1, when no parameter file is named.
      {{}, 1, {usage, "xsdimport"}, {reading}},
      {{"?"}, 1, {usage, "xsdimport"}, {reading}},
      {{"-?"}, 1, {usage, "xsdimport"}, {reading}},
      {{"-n", "DB1"}, 1, {usage, "xsdimport"}, {reading}},
      {{"-q", "-f", "x"}, 1, {usage, "xsdimport"}, {reading}},
      {{"--helpful"}, 1, {usage, "xsdimport"}, {reading}},
      {{"-help"}, 1, {usage, "xsdimport"}, {reading}},
      {{"-f", ""}, 1, {usage, "xsdimport"}, {reading}},
      // --help and --version are whole words: they answer with status 0 and
      // read nothing, wherever they stand.
      {{"-f", "absent.parms", "--help"}, 0, {banner, usage}, {reading}},
      {{"--version"}, 0, {banner}, {usage, reading}},
      // A failing run ends with 256 plus its (negative) status.
      {{"-f", "huge.parms"},
       shellStatus(-44),
       {shown(9394, {"element, attribute, type or name table"})},
       {}},
  };
  for (const auto& c : cases) {
    ProgramRun r = runXsdimport(c.args, dir_);
    SCOPED_TRACE(r.output);
    EXPECT_EQ(r.status, c.status);
    for (const std::string& text : c.printed)
      EXPECT_NE(r.output.find(text), std::string::npos) << text;
    for (const std::string& text : c.notPrinted)
      EXPECT_EQ(r.output.find(text), std::string::npos) << text;
  }
}

TEST_F(Program, CatalogueIsFoundBesideAnInstalledProgramOrFallsBack) {
  namespace fs = std::filesystem;
  // Build an installed layout by hand: bin/xsdimport and share/kova/configmgr/messages.
  ASSERT_FALSE(cataloguePath().empty()) << "the build tree holds the catalogue";
  fs::create_directories(dir_ + "/bin");
  fs::create_directories(dir_ + "/share/kova/configmgr/messages");
  std::string buildBin = fs::path(cataloguePath()).parent_path().parent_path().parent_path().string() + "/bin";
  fs::copy_file(buildBin + "/xsdimport", dir_ + "/bin/xsdimport");
  fs::permissions(dir_ + "/bin/xsdimport", fs::perms::owner_all);
  fs::copy_file(cataloguePath(), dir_ + "/share/kova/configmgr/messages/KOVAIO01.properties");
  expectRun(runCommand("'" + dir_ + "/bin/xsdimport' </dev/null"), 1,
            "KOVA9397I Usage: " + dir_ + "/bin/xsdimport -f");

  fs::remove(dir_ + "/share/kova/configmgr/messages/KOVAIO01.properties");
  ProgramRun bare = runCommand("'" + dir_ + "/bin/xsdimport' -f absent.parms </dev/null");
  EXPECT_EQ(bare.status, shellStatus(-43));
  // Without a catalogue every message still shows its number and inserts.
  std::vector<std::string> line = linesWith(bare.output, "KOVA9393E");
  ASSERT_EQ(line.size(), 1u) << bare.output;
  EXPECT_NE(line[0].find("absent.parms"), std::string::npos);
  EXPECT_NE(line[0].find("open failed"), std::string::npos);
}

TEST_F(Program, ShippedExampleImportsOnceThenFindsItsMessage) {
  namespace fs = std::filesystem;
  fs::create_directories(dir_ + "/examples");
  fs::copy(sourceDir() + "/examples/purchase-order", dir_ + "/examples/purchase-order",
           fs::copy_options::recursive);
  fs::remove(dir_ + "/examples/purchase-order/po-repository.kovadb");
  ProgramRun first = runXsdimport({"-f", "examples/purchase-order/purchase-order.parms"}, dir_);
  ASSERT_EQ(first.status, 0) << first.output;
  // The totals block, in its fixed order, then the success message last.
  const char* order[] = {"items added to tables in repository database examples/purchase-order/po-repository.kovadb",
                         "M_MESSAGE        - 1", "M_ELEMENT        - ", "M_VALUE          - ",
                         "VALUE_MEMBER     - ", "M_TYPE           - ", "TYPE_MEMBER      - ",
                         "M_ATTRIBUTE      - ", "MEMBER_ATTRIBUTE - ",
                         "\nelements reused from existing entries in MessageSet - ",
                         "duplicate values reused in MessageSet   - 0\n",
                         "KOVA9350I"};
  size_t at = 0;
  for (const char* text : order) {
    size_t found = first.output.find(text, at);
    ASSERT_NE(found, std::string::npos) << text << "\n" << first.output;
    at = found;
  }
  EXPECT_NE(first.output.find("root element (purchaseOrder) found as element "), std::string::npos);

  // The message now exists: the second run stops in the repository block.
  ProgramRun second = runXsdimport({"-f", "examples/purchase-order/purchase-order.parms"}, dir_);
  expectRun(second, shellStatus(-50), "KOVA9400E");
  EXPECT_NE(second.output.find("KOVA9351I"), std::string::npos);
  EXPECT_EQ(second.output.find("reading in the schema files"), std::string::npos);

  // A root element that the schema does not declare: 9357 from the search and
  // once more from the driver, then the failure report; storage is released.
  std::string parms = readFile(dir_ + "/examples/purchase-order/purchase-order.parms");
  parms.replace(parms.find("ROOTELEMENT=purchaseOrder"), 25, "ROOTELEMENT=noSuchOrder");
  parms.replace(parms.find("MESSAGESET=PurchaseOrders"), 25, "MESSAGESET=OtherOrders");
  writeFile(dir_ + "/other.parms", parms);
  ProgramRun third = runXsdimport({"-t", "-f", "other.parms"}, dir_);
  EXPECT_EQ(third.status, shellStatus(-8)) << third.output;
  EXPECT_EQ(linesWith(third.output, "KOVA9357E").size(), 2u) << third.output;
  EXPECT_EQ(linesWith(third.output, "KOVA9351I").size(), 1u);
  EXPECT_EQ(linesWith(third.output, "KOVA9358I").size(), 2u);
  EXPECT_NE(third.output.find("\nreleasing storage areas\nreleasing file storage areas\n"), std::string::npos);
}
