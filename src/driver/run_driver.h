// The run driver: one import run from the command line to the return code.
#pragma once

#include <cstdint>
#include <string>

/// Runs one import; returns the run's status (the process exit status).
/// The early exits (usage 1, unreadable main schema 100, model errors 111,
/// first tag not a schema 113) end the process.
int runImport(int argc, char** argv);

/// Puts every process-wide structure back to its start-up state.
void resetProcessState();

/// An elapsed time in hundredths of a second as seconds: 507 gives "5.07".
std::string formatElapsed(int64_t hundredths);
