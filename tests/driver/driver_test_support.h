// Helpers of the driver tests: what a user sees for a catalogue message, the
// arguments a program gets, and a fixture with a folder and captured output.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "messages.h"
#include "test_support.h"

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

/// A fresh folder per test, and what the code under test printed.
class DriverTest : public KovaTest {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    dir_ = makeTempDir();
  }
  bool saw(const std::string& text) const { return output_.find(text) != std::string::npos; }

  std::string dir_;
  std::string output_;
};
