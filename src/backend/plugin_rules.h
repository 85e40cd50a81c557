// What the repository accepts as identifiers, and which attribute keys each
// plug-in defines with the values it can hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qel {

/// The plug-ins every repository registers, in registration order.
enum class PluginKind : int32_t { kNone = 0, kXml, kCwf, kTds, kC, kCobol, kWebDav };
constexpr int kPluginCount = 6;
/// The registered name of a plug-in ("" for kNone).
const char* pluginRegisteredName(PluginKind kind);
/// The plug-in registered as `name`, kNone for any other name.
PluginKind pluginByName(const std::string& name);

/// What an attribute is set on.
enum class AttrTarget { kMessageSet, kDefinition, kTypeMember };

/// The check a plug-in applies to an attribute value beyond its length.
enum class ValueRule { kAny, kCName, kCobolName, kCopyBookName };

/// True when `kind` defines `key` on `target`; *rule receives the value check.
bool findAttributeKey(PluginKind kind, int32_t key, AttrTarget target, ValueRule* rule);
/// The name of `key` of a plug-in (each key is defined on one kind of
/// component only); null when the plug-in defines no such key.
const char* attributeKeyName(PluginKind kind, int32_t key);
/// Every key of every plug-in with its name, in the order of the key table.
struct AttributeKeyName {
  PluginKind plugin;
  int32_t key;
  const char* name;
};
std::vector<AttributeKeyName> attributeKeyNames();

/// True when `value` may be stored under a key with `rule`: at most 254
/// bytes, and a valid name of the language for the name keys.
bool acceptsValue(ValueRule rule, const std::string& value);

/// True for a definition identifier: 1 to 255 bytes, not starting with a
/// digit, without blanks, control or quote characters; "^" and ":" only in
/// element identifiers.
bool isValidIdentifier(const std::string& name, bool element);
/// True for a message set or layer name: 1 to 255 bytes without control
/// characters (blanks and punctuation are allowed).
bool isValidMemberName(const std::string& name);
/// True for a C identifier: a letter or "_", then letters, digits and "_".
bool isValidCName(const std::string& name);
/// True for a COBOL user-defined word: 1 to 30 letters, digits and hyphens,
/// starting with a letter and not ending with a hyphen.
bool isValidCobolName(const std::string& name);
/// True for a copy book name: 1 to 8 letters or digits followed by ".CPY".
bool isValidCopyBookName(const std::string& name);

}  // namespace qel
