// Run-wide state of one import: error switch, return code, totals, timing.
//
// One instance for the process (`run`).  errSw only ever goes from 0 to 1
// during a run; resetRunState() puts it back to its start-up state, so that each
// test starts clean.
#pragma once

#include <chrono>
#include <cstdint>

/// Counts of repository items, printed in the totals block at the end.
struct Totals {
  int32_t messages = 0;
  int32_t elements = 0;
  int32_t values = 0;
  int32_t valueMembers = 0;
  int32_t types = 0;
  int32_t typeMembers = 0;
  int32_t attributes = 0;
  int32_t memberAttributes = 0;
  int32_t elementsReused = 0;
  int32_t typesReused = 0;
  int32_t valuesReused = 0;
  int32_t duplicateElementsReused = 0;  ///< never incremented; always prints 0
  int32_t duplicateValuesReused = 0;    ///< never incremented; always prints 0
};

struct RunState {
  int32_t errSw = 0;       ///< the error switch: 1 once any error was reported
  int32_t returnCode = 0;  ///< the run's status (9350 - message number on error)
  std::chrono::steady_clock::time_point start{};  ///< taken at start-up
  bool started = false;                            ///< start was taken
  Totals totals;
  int32_t anonCounter = 0;  ///< anonymous type name counter (ANON%d)

  void reset() { *this = RunState{}; }
};

/// The process-wide run state.
extern RunState run;

/// Resets the run state, the trace switch and the name table (freshly
/// allocated).  Each subsystem has its own reset for its tables
/// (resetOptions(), tagsTable.reset(), modelTables.reset(), ...);
/// resetProcessState() of the run driver calls them all.
void resetRunState();
