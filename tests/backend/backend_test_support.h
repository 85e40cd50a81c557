// Helpers of the back-end tests: a fresh repository per test, and records
// filled at the published offsets as the repository writer fills them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "qelbeapi.h"
#include "store_param.h"
#include "test_support.h"

/// A byte record of a fixed size with typed access at offsets.
class Record {
 public:
  explicit Record(int32_t size) : bytes_(static_cast<size_t>(size), 0) {}
  void* data() { return bytes_.data(); }
  int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
  void setText(int off, const std::string& s) {
    std::memcpy(&bytes_[off], s.c_str(), s.size() + 1);
  }
  std::string text(int off) const { return std::string(&bytes_[off]); }
  template <typename T>
  void set(int off, T v) {
    std::memcpy(&bytes_[off], &v, sizeof v);
  }
  template <typename T>
  T get(int off) const {
    T v;
    std::memcpy(&v, &bytes_[off], sizeof v);
    return v;
  }

 private:
  std::vector<char> bytes_;
};

/// An attribute reference {plug-in member, key}.
Record attrRef(uint32_t pluginMember, int32_t key);
/// Default message set details named `name`.
Record setDetails(const std::string& name);
/// The details record (`size` bytes) of definition `h`, expected to be read.
Record details(uint32_t h, int32_t size);
/// The value of attribute `ref` of a component, or "status <n>" when the
/// library answers status n.
std::string attrValue(uint32_t component, Record& ref);
/// Runs kova-repo with `args` (shell words), standard error included, with
/// no terminal on standard input and `libraryDir`, when given, searched
/// first for shared libraries.
ProgramRun runKovaRepo(const std::string& args, const std::string& libraryDir = "");

/// Creates element `name` of type `type` in message set `set` as the writer
/// does; the library's status.
int32_t createElement(uint32_t set, const std::string& name, uint32_t type, uint32_t* out);

/// The handle that `call` writes, the call expected to succeed.
template <typename Call>
uint32_t made(Call call, const std::string& what) {
  uint32_t h = 0;
  EXPECT_EQ(call(&h), 0) << what;
  return h;
}

/// Each test starts with a newly created repository, connected, and ends
/// disconnected; it runs once on a file and once on a server database.
class BackendTest : public ::testing::TestWithParam<Store> {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Creates a message set (left open for writing); its handle.
  uint32_t createSet(const std::string& name);
  /// Creates a message set and commits it; its handle.
  uint32_t committedSet(const std::string& name);
  /// Commits and closes a message set, expected to work.
  void commit(uint32_t set) { EXPECT_EQ(QELCloseProject(set, 1), 0); }
  int32_t findSet(const std::string& name, uint32_t* handle);

  // The writer's calls, answering their status.
  int32_t createType(uint32_t set, const std::string& name, uint32_t* out, uint32_t base = 0,
                     int32_t kind = QEL_TYPE_KIND_COMPLEX);
  int32_t createValue(uint32_t set, const std::string& name, const std::string& text, uint32_t type,
                      uint32_t* out);
  int32_t createMessage(uint32_t set, const std::string& name, uint32_t type, uint32_t* out);
  int32_t insertTypeMember(uint32_t type, uint32_t child, const std::string& min,
                           const std::string& max, int16_t repeat, uint32_t* out);
  int32_t insertValueMember(uint32_t element, uint32_t value, int32_t role, uint32_t* out);
  int32_t addLayer(uint32_t set, const char* plugin, const std::string& name, uint32_t* out);

  // The same calls expected to succeed, answering the new handle.
  uint32_t newType(uint32_t set, const std::string& name, uint32_t base = 0) {
    return made([&](uint32_t* h) { return createType(set, name, h, base); }, name);
  }
  uint32_t newElement(uint32_t set, const std::string& name, uint32_t type) {
    return made([&](uint32_t* h) { return createElement(set, name, type, h); }, name);
  }
  uint32_t newValue(uint32_t set, const std::string& name, const std::string& text, uint32_t type) {
    return made([&](uint32_t* h) { return createValue(set, name, text, type, h); }, name);
  }
  uint32_t newMessage(uint32_t set, const std::string& name, uint32_t type) {
    return made([&](uint32_t* h) { return createMessage(set, name, type, h); }, name);
  }
  uint32_t newMember(uint32_t type, uint32_t child, const std::string& min = "1",
                     const std::string& max = "1", int16_t repeat = 0) {
    return made([&](uint32_t* h) { return insertTypeMember(type, child, min, max, repeat, h); },
                "type member");
  }
  uint32_t newValueMember(uint32_t element, uint32_t value, int32_t role) {
    return made([&](uint32_t* h) { return insertValueMember(element, value, role, h); },
                "value member");
  }
  uint32_t newLayer(uint32_t set, const char* plugin, const std::string& name) {
    return made([&](uint32_t* h) { return addLayer(set, plugin, name, h); }, name);
  }

  /// The definition of class `defClass` named `name`, expected to be found.
  uint32_t found(uint32_t set, int32_t defClass, const char* name);
  /// The handle of the simple type `name` of a message set.
  uint32_t simpleType(uint32_t set, const char* name) { return found(set, QEL_CLASS_TYPE, name); }
  /// The plug-in member of the message set registered as `plugin` (first one).
  uint32_t pluginMember(uint32_t set, const char* plugin);
  /// Names of every definition of a class in walk order.
  std::vector<std::string> walkNames(uint32_t set, int32_t defClass);
  /// Closes the repository and opens it again (the open set is discarded).
  void reconnect();

  std::string dir_;
  std::string db_;      ///< the repository: a file, or a server URL
  std::string schema_;  ///< server: the test's own schema
};
