// The trace of a run: entry and exit lines of the traced calls.
//
// A traced call opens a TraceScope: "==> name details" is printed when the
// scope opens and "<== name result" when it closes, unless an exception is
// unwinding it.  Each line looks at the trace switch when it is printed, so
// TRACE=Y met half-way through a call shows the exit of that call.  While
// tracing is off a scope costs one test at each end; its arguments are
// formatted only while tracing is on.
//
// Lines within a call that are neither entry nor exit go through tracePrintf.
#pragma once

#include <string>

#include "messages.h"

class TraceScope {
 public:
  explicit TraceScope(const char* name);
  /// Adds the printf-formatted `format` to the entry line.
  TraceScope(const char* name, const char* format, ...) __attribute__((format(printf, 3, 4)));
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  /// Sets the text of the exit line (the call's result, say).
  void result(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  const char* name_;
  int unwinding_;
  std::string result_;
};
