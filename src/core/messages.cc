// Catalogue messages and the trace printer.  See messages.h.
#include "messages.h"

#include <cstdarg>
#include <cstdio>

#include "run_state.h"

bool traceSwitch = false;

void NlsMessage::addInsert(const char* text) {
  if (text == nullptr) return;
  RynValue v;
  v.text = text;
  inserts_.push_back(std::move(v));
}

void NlsMessage::addInsert(int32_t value) { addInsert(static_cast<int64_t>(value)); }

void NlsMessage::addInsert(int64_t value) {
  RynValue v;
  v.isInteger = true;
  v.number = value;
  inserts_.push_back(std::move(v));
}

std::string NlsMessage::text() const { return formatNlsMessage(number_, inserts_, true); }

void NlsMessage::printMessage() const {
  std::string s = text();
  std::printf("%s\n", s.c_str());
  std::fflush(stdout);
}

void NlsMessage::resetMessage(int32_t number, bool error) {
  number_ = number;
  inserts_.clear();
  if (error) run.errSw = 1;
}

RynValue textInsert(const char* text) {
  RynValue v;
  v.text = text ? text : "";
  return v;
}

RynValue intInsert(int64_t value) {
  RynValue v;
  v.isInteger = true;
  v.number = value;
  return v;
}

int32_t reportError(int32_t number, std::initializer_list<RynValue> inserts) {
  run.errSw = 1;
  std::string s = formatNlsMessage(number, std::vector<RynValue>(inserts), true);
  std::printf("%s\n", s.c_str());
  std::fflush(stdout);
  return messageStatus(number);
}

void reportInfo(int32_t number, std::initializer_list<RynValue> inserts) {
  std::string s = formatNlsMessage(number, std::vector<RynValue>(inserts), true);
  std::printf("%s\n", s.c_str());
  std::fflush(stdout);
}

void tracePrintf(const char* format, ...) {
  if (!traceSwitch) return;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void progressPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void traceOn() { traceSwitch = true; }
void traceOff() { traceSwitch = false; }
