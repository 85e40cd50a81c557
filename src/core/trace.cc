#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <exception>

namespace {
std::string formatted(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}
}  // namespace

TraceScope::TraceScope(const char* name) : name_(name), unwinding_(std::uncaught_exceptions()) {
  if (tracing()) tracePrintf("==> %s\n", name_);
}

TraceScope::TraceScope(const char* name, const char* format, ...)
    : name_(name), unwinding_(std::uncaught_exceptions()) {
  if (!tracing()) return;
  va_list args;
  va_start(args, format);
  std::string details = formatted(format, args);
  va_end(args);
  tracePrintf("==> %s %s\n", name_, details.c_str());
}

TraceScope::~TraceScope() {
  if (!tracing() || std::uncaught_exceptions() != unwinding_) return;
  if (result_.empty()) {
    tracePrintf("<== %s\n", name_);
  } else {
    tracePrintf("<== %s %s\n", name_, result_.c_str());
  }
}

void TraceScope::result(const char* format, ...) {
  if (!tracing()) return;
  va_list args;
  va_start(args, format);
  result_ = formatted(format, args);
  va_end(args);
}
