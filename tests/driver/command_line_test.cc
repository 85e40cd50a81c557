// The command line: values in the same or the next argument, limits, errors.
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "messages.h"
#include "driver_test_support.h"
#include "parameters.h"
#include "run_driver.h"
#include "run_state.h"
#include "test_support.h"

namespace {

struct ValueOptionCase {
  const char* letter;
  const char* label;
  size_t limit;
  OptionValue CommandLine::*field;
};

const ValueOptionCase kValueOptions[] = {
    {"f", "parameter file name", 255, &CommandLine::parmFile},
    {"l", "parameter file path", 511, &CommandLine::filePath},
    {"n", "database name", 127, &CommandLine::dbName},
    {"u", "database user name", 63, &CommandLine::dbUser},
    {"p", "database password", 63, &CommandLine::dbPassword},
    {"s", "message set name", 63, &CommandLine::msgSetName},
    {"x", "XML tab name", 127, &CommandLine::xmlTabName},
    {"o", "message set file name", 255, &CommandLine::msgSetFileName},
};

}  // namespace

class CommandLineScan : public DriverTest {
 protected:
  int32_t scan(std::vector<std::string> args) {
    Args a(std::move(args));
    cl_ = CommandLine{};
    startCapture();
    int32_t status = scanCommandLine(a.argc(), a.argv(), cl_);
    output_ = stopCapture();
    return status;
  }
  CommandLine cl_;
};

// Every option with a value: the value in the same or the next argument,
// the value missing, and values at and over the option's limit.
TEST_F(CommandLineScan, EveryValueOption) {
  for (const ValueOptionCase& o : kValueOptions) {
    SCOPED_TRACE(o.letter);
    resetProcessState();
    std::string option = std::string("-") + o.letter;
    EXPECT_EQ(scan({option + "VALUE1"}), 0);
    EXPECT_TRUE((cl_.*(o.field)).given);
    EXPECT_EQ((cl_.*(o.field)).value, "VALUE1");
    std::string upper = std::string("-") + static_cast<char>(o.letter[0] - 'a' + 'A');
    EXPECT_EQ(scan({upper, "VALUE2", "-v"}), 0);
    EXPECT_EQ((cl_.*(o.field)).value, "VALUE2");
    EXPECT_TRUE(cl_.verbose) << "the value argument is consumed, scanning goes on";
    EXPECT_EQ(run.errSw, 0);

    std::string atLimit(o.limit, 'a'), over(o.limit + 1, 'b');
    EXPECT_EQ(scan({option, atLimit}), 0);
    EXPECT_EQ((cl_.*(o.field)).value, atLimit);
    EXPECT_EQ(scan({option + over}), -35);
    // A password too long is reported without showing it.
    std::string reported = std::string(o.letter) == "p" ? "****" : over;
    EXPECT_TRUE(saw(shown(9385, {reported}))) << output_;
    EXPECT_FALSE((cl_.*(o.field)).given);

    resetProcessState();
    EXPECT_EQ(scan({"-v", option}), -45);
    EXPECT_TRUE(saw(shown(9395, {o.label, o.letter}))) << output_;
    EXPECT_EQ(run.errSw, 1);
  }
}

// An unknown letter is refused, and that first error ends the scan.
TEST_F(CommandLineScan, UnknownLettersAreRefused) {
  for (const char* arg : {"-q", "-Z", "-", "-1", "-?x"}) {
    SCOPED_TRACE(arg);
    resetProcessState();
    EXPECT_EQ(scan({arg, "-f", "run.parms", "-w"}), -46);
    EXPECT_TRUE(saw(shown(9396, {arg}))) << output_;
    EXPECT_EQ(linesWith(output_, "KOVA9396E").size(), 1u);
    EXPECT_FALSE(cl_.parmFile.given);
  }
}

// Switches in either case, -i ignored and a stray argument skipped.
TEST_F(CommandLineScan, PathGetsItsSlashAndOverridesWin) {
  Args a({"stray", "-l", "/schemas", "-nDB1", "-u", "me", "-p", "pw", "-s", "SET9", "-x", "TAB", "-o",
          "sets.txt", "-V", "-r", "-C", "-D", "-t", "-i", "-I", "-f", "x"});
  CommandLine cl;
  ASSERT_EQ(scanCommandLine(a.argc(), a.argv(), cl), 0);
  setCommandLinePath(cl);
  EXPECT_STREQ(parms.cmdFilePath, "/schemas/");
  EXPECT_EQ(parms.cmdFilePathGiven, 1);
  std::strcpy(parms.dbName, "FROMFILE");
  applyCommandLineOverrides(cl);
  EXPECT_STREQ(parms.dbName, "DB1");
  EXPECT_STREQ(parms.dbUser, "me");
  EXPECT_STREQ(parms.dbPassword, "pw");
  EXPECT_STREQ(parms.msgSetName, "SET9");
  EXPECT_STREQ(parms.xmlTabName, "TAB");
  EXPECT_STREQ(parms.msgSetFileName, "sets.txt");
  EXPECT_EQ(parms.verbose + parms.reportOnly + parms.resetMsgSet + parms.showSchema, 4);
  EXPECT_TRUE(tracing());
  // The longest path still gets its slash.
  std::string path(511, 'd');
  Args longest({"-l", path});
  ASSERT_EQ(scanCommandLine(longest.argc(), longest.argv(), cl), 0);
  setCommandLinePath(cl);
  EXPECT_EQ(std::string(parms.cmdFilePath), path + "/");
}
