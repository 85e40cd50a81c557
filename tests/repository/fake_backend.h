// An in-memory stand-in for the repository back end, linked into the writer's
// unit tests in place of the real library.  It keeps definitions, members and
// attributes the way the writer expects to find them again, logs every call,
// and can be told to answer a call with a chosen status.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct FakeMember {
  uint32_t handle = 0;
  uint32_t child = 0;
  std::vector<unsigned char> record;
  std::map<std::pair<uint32_t, int32_t>, std::string> attrs;  ///< (plug-in, key) -> value
};

struct FakeDefinition {
  int32_t defClass = 0;
  int32_t id = 0;
  uint32_t set = 0;  ///< owning message set (0 for plug-ins and sets)
  std::vector<unsigned char> details;
  std::vector<FakeMember> members;
  std::map<std::pair<uint32_t, int32_t>, std::string> attrs;
  bool deleted = false;

  std::string name() const;  ///< text at the name offset
  std::string secondName() const;
  uint32_t typeHandle() const;  ///< word at offset 536
  std::string valueText() const;
};

struct FakeBackend {
  std::map<uint32_t, FakeDefinition> defs;  ///< by handle, in creation order
  uint32_t nextHandle = 0x100;
  int32_t nextId = 1;
  std::vector<std::string> calls;  ///< function names in call order
  /// Status to return instead of the normal answer: function name -> status.
  std::map<std::string, int32_t> failWith;
  /// When set, consulted for create calls: returns a status for a name, or 0.
  std::function<int32_t(const std::string& name)> refuseName;
  /// When set, consulted for QELSetAttrValue: returns a status for a value, or 0.
  std::function<int32_t(const std::string& value)> refuseValue;
  bool finalised = false;
  bool locked = false;
  std::string lockCount = "0";
  bool connected = false;
  int32_t lastCommit = -1;  ///< commit argument of the last QELCloseProject
  bool allowDuplicateMembers = false;

  /// Empties the store and registers the six plug-ins.
  void reset();
  /// Creates message set `name` with the seven simple types and one plug-in
  /// member per name in `layers` (pairs of registered plug-in name, member name).
  uint32_t addMessageSet(const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& layers);
  /// Live (not deleted) definitions of a class in `set`.
  std::vector<uint32_t> ofClass(uint32_t set, int32_t defClass) const;
  /// Handle of the live definition of `defClass` named `name`, 0 when none.
  uint32_t find(uint32_t set, int32_t defClass, const std::string& name) const;
  int count(const std::string& call) const;
};

extern FakeBackend fake;
