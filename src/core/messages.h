// Catalogue messages, statuses, the repository exception and the trace.
//
// Every place that reports a catalogue error builds an NlsMessage, sets
// run.errSw, adds the inserts in catalogue order, prints it, and hands on the
// status messageStatus(number) = 9350 - number: returned, stored in
// run.returnCode, or carried by a QELDBException (repository layer only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue.h"

/// The status that belongs to a catalogue message: 9350 minus its number.
constexpr int32_t messageStatus(int32_t number) { return 9350 - number; }

/// A catalogue message number with its ordered inserts.
class NlsMessage {
 public:
  explicit NlsMessage(int32_t number) : number_(number) {}

  /// Appends a text insert; a null string appends nothing.
  void addInsert(const char* text);
  void addInsert(const std::string& text) { addInsert(text.c_str()); }
  /// Appends an integer insert (sign-extended to 64 bits).
  void addInsert(int32_t value);
  void addInsert(int64_t value);

  /// Prints the formatted message and a newline on standard output, flushed.
  void printMessage() const;

  /// Sets a new number and drops every insert; sets errSw when `error`.
  void resetMessage(int32_t number, bool error);

  /// The formatted text that printMessage prints (without the newline).
  std::string text() const;

  int32_t number() const { return number_; }

 private:
  int32_t number_;
  std::vector<RynValue> inserts_;
};

/// Ends a repository phase: carries the status of the message printed before
/// it was raised.  Caught only by the run driver's guarded blocks.
class QELDBException {
 public:
  explicit QELDBException(int32_t code) : code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

/// Reports catalogue error `number` with the given inserts: sets errSw, prints
/// and returns messageStatus(number).  The caller decides where the status goes.
int32_t reportError(int32_t number, std::initializer_list<RynValue> inserts = {});
/// Prints warning or information message `number`; errSw is left alone.
void reportInfo(int32_t number, std::initializer_list<RynValue> inserts = {});

/// Insert builders for reportError / reportInfo.
RynValue textInsert(const char* text);
inline RynValue textInsert(const std::string& text) { return textInsert(text.c_str()); }
RynValue intInsert(int64_t value);

/// Prints like printf and flushes, only while tracing is on.
void tracePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void traceOn();
void traceOff();
/// The trace switch, set only through traceOn and traceOff.  Read inline, so
/// that a hot path skips a trace call (and the building of its arguments)
/// for the price of one test.
extern bool traceSwitch;
inline bool tracing() { return traceSwitch; }

/// Prints a progress line like printf and flushes standard output at once.
void progressPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
