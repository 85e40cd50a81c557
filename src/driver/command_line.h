// The command line of xsdimport: options that name the parameter file and
// override its values.
//
// An option is "-" and one letter, matched without regard to case.  A value
// option takes the rest of its argument (-nDB1) or, when the argument is just
// the option, the next argument (-n DB1).  Arguments not beginning with "-"
// are skipped.  The first error ends the scan.
#pragma once

#include <cstdint>
#include <string>

/// One value option: its text and whether it was given.
struct OptionValue {
  bool given = false;
  std::string value;
};

/// What the command line asked for.
struct CommandLine {
  OptionValue parmFile;       ///< -f
  OptionValue filePath;       ///< -l
  OptionValue dbName;         ///< -n
  OptionValue dbUser;         ///< -u
  OptionValue dbPassword;     ///< -p
  OptionValue msgSetName;     ///< -s
  OptionValue xmlTabName;     ///< -x
  OptionValue msgSetFileName; ///< -o
  bool verbose = false;       ///< -v
  bool reportOnly = false;    ///< -r
  bool resetMsgSet = false;   ///< -c
  bool trace = false;         ///< -t
  bool showSchema = false;    ///< -d
};

/// Scans argv[1..argc-1] into `out`.  Returns 0, or the status of the first
/// error after its message was printed (errSw set): 9395 for a value option
/// without a value, 9385 for a value over its length limit, 9396 for an
/// unknown letter.
int32_t scanCommandLine(int argc, char** argv, CommandLine& out);

/// What an argument that is exactly "--help" or "--version" asks for (the
/// first such argument counts); kNone when there is none.  These two whole
/// words are the only long options: any other argument beginning with "--"
/// is an unknown letter as before.
enum class InfoRequest { kNone, kHelp, kVersion };
InfoRequest infoRequested(int argc, char** argv);

/// True when the usage must be shown instead of a run: fewer than two
/// arguments, a first argument whose first or second character is "?", or
/// no parameter file name.
bool usageRequested(int argc, char** argv, const CommandLine& cl);

/// Applies the command-line values over the parameter file's (the -l path
/// is applied by the parameter file reader as it locates each schema file).
void applyCommandLineOverrides(const CommandLine& cl);

/// Records the -l path (with "/" appended) for the parameter file reader.
void setCommandLinePath(const CommandLine& cl);
