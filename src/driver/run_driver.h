// The run driver: one import run from the command line to the return code.
#pragma once

/// Runs one import; returns the run's status (the process exit status).
/// The early exits (usage, unreadable main schema, ...) end the process.
int runImport(int argc, char** argv);

/// Puts every process-wide structure back to its start-up state.
void resetProcessState();
