// Helpers of the driver tests: what a user sees for a catalogue message, and
// the arguments a program gets.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "messages.h"

/// The text of catalogue message `number` with text inserts.
inline std::string shown(int32_t number, std::initializer_list<std::string> inserts = {}) {
  NlsMessage m(number);
  for (const std::string& i : inserts) m.addInsert(i);
  return m.text();
}

/// argv for a list of arguments, argv[0] being "xsdimport".
class Args {
 public:
  explicit Args(std::vector<std::string> args) : strings_(std::move(args)) {
    strings_.insert(strings_.begin(), "xsdimport");
    for (std::string& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};
