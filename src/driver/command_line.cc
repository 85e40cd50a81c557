// The command line.  See command_line.h.
#include "command_line.h"

#include <cstring>

#include "messages.h"
#include "parameters.h"
#include "trace.h"

namespace {

struct ValueOption {
  char letter;
  OptionValue CommandLine::*field;
  size_t limit;       ///< longest value in characters
  const char* label;  ///< first insert of message 9395
};

const ValueOption kValueOptions[] = {
    {'f', &CommandLine::parmFile, 255, "parameter file name"},
    {'l', &CommandLine::filePath, 511, "parameter file path"},
    {'n', &CommandLine::dbName, 127, "database name"},
    {'u', &CommandLine::dbUser, 63, "database user name"},
    {'p', &CommandLine::dbPassword, 63, "database password"},
    {'s', &CommandLine::msgSetName, 63, "message set name"},
    {'x', &CommandLine::xmlTabName, 127, "XML tab name"},
    {'o', &CommandLine::msgSetFileName, 255, "message set file name"},
};

struct SwitchOption {
  char letter;
  bool CommandLine::*field;
};

const SwitchOption kSwitchOptions[] = {
    {'v', &CommandLine::verbose}, {'r', &CommandLine::reportOnly}, {'c', &CommandLine::resetMsgSet},
    {'t', &CommandLine::trace},   {'d', &CommandLine::showSchema},
};

char lowerLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

/// Copies `value` into a fixed field of `size` bytes; the caller has checked
/// the length against the option's limit, which is below the field size.
void copyField(char* field, size_t size, const std::string& value) {
  size_t n = value.size() < size ? value.size() : size - 1;
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

}  // namespace

int32_t scanCommandLine(int argc, char** argv, CommandLine& out) {
  TraceScope trace("scanCommandLine", "argc=%d", argc);
  int32_t status = 0;
  for (int i = 1; i < argc && status == 0; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') continue;
    char letter = lowerLetter(arg[1]);
    const ValueOption* valueOption = nullptr;
    for (const ValueOption& o : kValueOptions) {
      if (letter != '\0' && o.letter == letter) valueOption = &o;
    }
    if (valueOption != nullptr) {
      const char* value = nullptr;
      if (std::strlen(arg) > 2) {
        value = arg + 2;
      } else if (i + 1 < argc) {
        value = argv[++i];
      }
      if (value == nullptr) {
        status = reportError(9395, {textInsert(valueOption->label), textInsert(arg + 1)});
      } else if (std::strlen(value) > valueOption->limit) {
        const char* key = letter == 'p' ? "DB_PW" : letter == 'n' ? "QEL_DB" : "";
        status = reportError(9385, {textInsert(shownParmValue(key, value))});
      } else {
        (out.*(valueOption->field)).given = true;
        (out.*(valueOption->field)).value = value;
      }
      continue;
    }
    bool known = false;
    for (const SwitchOption& o : kSwitchOptions) {
      if (letter != '\0' && o.letter == letter) {
        out.*(o.field) = true;
        known = true;
      }
    }
    if (letter == 'i') known = true;  // accepted for compatibility, no effect
    if (!known) status = reportError(9396, {textInsert(arg)});
  }
  trace.result("returned %d", status);
  return status;
}

InfoRequest infoRequested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) return InfoRequest::kHelp;
    if (std::strcmp(argv[i], "--version") == 0) return InfoRequest::kVersion;
  }
  return InfoRequest::kNone;
}

bool usageRequested(int argc, char** argv, const CommandLine& cl) {
  if (argc < 2) return true;
  const char* first = argv[1];
  if (first[0] == '?' || (first[0] != '\0' && first[1] == '?')) return true;
  return !cl.parmFile.given || cl.parmFile.value.empty();
}

void setCommandLinePath(const CommandLine& cl) {
  parms.cmdFilePathGiven = cl.filePath.given ? 1 : 0;
  parms.cmdFilePath[0] = '\0';
  if (!cl.filePath.given) return;
  copyField(parms.cmdFilePath, sizeof(parms.cmdFilePath) - 1, cl.filePath.value);
  size_t n = std::strlen(parms.cmdFilePath);
  if (n > 0 && parms.cmdFilePath[n - 1] != '/' && parms.cmdFilePath[n - 1] != '\\') {
    parms.cmdFilePath[n] = '/';
    parms.cmdFilePath[n + 1] = '\0';
  }
}

void applyCommandLineOverrides(const CommandLine& cl) {
  struct Override {
    const OptionValue& option;
    char* field;
    size_t size;
  };
  const Override overrides[] = {
      {cl.dbName, parms.dbName, sizeof(parms.dbName)},
      {cl.dbUser, parms.dbUser, sizeof(parms.dbUser)},
      {cl.dbPassword, parms.dbPassword, sizeof(parms.dbPassword)},
      {cl.msgSetName, parms.msgSetName, sizeof(parms.msgSetName)},
      {cl.xmlTabName, parms.xmlTabName, sizeof(parms.xmlTabName)},
      {cl.msgSetFileName, parms.msgSetFileName, sizeof(parms.msgSetFileName)},
  };
  for (const Override& o : overrides) {
    if (o.option.given) copyField(o.field, o.size, o.option.value);
  }
  if (cl.verbose) parms.verbose = 1;
  if (cl.reportOnly) parms.reportOnly = 1;
  if (cl.resetMsgSet) parms.resetMsgSet = 1;
  if (cl.showSchema) parms.showSchema = 1;
  if (cl.trace) traceOn();
}
