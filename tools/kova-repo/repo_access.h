// Reading a repository through the back-end API, for the kova-repo commands.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "qelbeapi.h"

namespace kovarepo {

/// A failing API call: the function's name and its status.
struct ApiError : std::runtime_error {
  ApiError(const std::string& call, int32_t status);
  int32_t status;
};

/// Throws ApiError unless `status` is 0.
void check(int32_t status, const char* call);

/// One plug-in attribute as read back.
struct Attribute {
  std::string plugin;  ///< registered plug-in name
  std::string member;  ///< plug-in member (layer) name
  int32_t key = 0;
  std::string value;
};

/// One definition with the fields the tool shows.
struct Definition {
  uint32_t handle = 0;
  int32_t defClass = 0;
  std::string name;
  std::string secondName;
  uint32_t typeHandle = 0;  ///< element, message, value
  int32_t kind = 0;         ///< type
  uint32_t baseHandle = 0;
  int32_t composition = 0;
  int32_t content = 0;
  std::string valueText;
};

struct Member {
  uint32_t handle = 0;
  uint32_t child = 0;
  int16_t repeat = 0;
  std::string minOccurs;
  std::string maxOccurs;
  int32_t role = 0;
};

/// The plug-in members of a message set: handle to (plug-in, member name).
struct PluginMember {
  uint32_t handle = 0;
  std::string plugin;
  std::string member;
};

class RepositoryView {
 public:
  explicit RepositoryView(uint32_t set);
  uint32_t set() const { return set_; }
  const std::vector<PluginMember>& pluginMembers() const { return pluginMembers_; }
  /// Every definition of a class in creation order.
  std::vector<Definition> definitions(int32_t defClass) const;
  Definition definition(uint32_t handle) const;
  /// The name of a definition, "" for handle 0.
  std::string nameOf(uint32_t handle) const;
  std::vector<Member> members(uint32_t parent) const;
  std::vector<Attribute> attributes(uint32_t component) const;
  /// The first value of `key` of the plug-in `plugin` on `component` ("" when none).
  std::string attribute(uint32_t component, const std::string& plugin, int32_t key) const;

 private:
  uint32_t set_;
  std::vector<PluginMember> pluginMembers_;
  mutable std::map<uint32_t, std::string> names_;
};

/// The message set of that name, or 0.
uint32_t findMessageSet(const std::string& name);
/// The identifier text of a message set.
std::string messageSetIdentifier(uint32_t set);
/// The lock count (WebDav attribute) read as the import reads it.
long lockCount(const RepositoryView& view);

/// Copies message set `name` from repository `source` into `dest`, where it
/// must not exist yet (copy_set.cc).
void copySet(const std::string& source, const std::string& dest, const std::string& name);

}  // namespace kovarepo
