// Identifier rules and the attribute keys of the registered plug-ins.
#include "plugin_rules.h"

#include <iterator>

namespace qel {
namespace {

const char* const kPluginNames[kPluginCount] = {
    "XML Format Extension", "Custom Wire Format Extension", "Tagged / Delimited Format Extension",
    "C Language Extension", "COBOL Language Extension",     "WebDav Plug-in Extension"};

struct KeyDefinition {
  PluginKind plugin;
  int32_t key;
  AttrTarget target;
  ValueRule rule;
};

// The XML layer keeps its layer settings on the message set, names, date
// formats and binary renders on definitions, and member names and renders
// on type members; the custom wire format its member render; the language
// plug-ins their names; the WebDav plug-in the repository marker and the
// lock count of the message set.
const KeyDefinition kKeys[] = {
    {PluginKind::kXml, 1, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 4, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 8, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 11, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 12, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 13, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 14, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 15, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 16, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 17, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kXml, 30, AttrTarget::kDefinition, ValueRule::kAny},
    {PluginKind::kXml, 31, AttrTarget::kDefinition, ValueRule::kAny},
    {PluginKind::kXml, 32, AttrTarget::kDefinition, ValueRule::kAny},
    {PluginKind::kXml, 100, AttrTarget::kTypeMember, ValueRule::kAny},
    {PluginKind::kXml, 101, AttrTarget::kTypeMember, ValueRule::kAny},
    {PluginKind::kCwf, 1, AttrTarget::kTypeMember, ValueRule::kAny},
    {PluginKind::kCobol, 5, AttrTarget::kDefinition, ValueRule::kCopyBookName},
    {PluginKind::kCobol, 7, AttrTarget::kDefinition, ValueRule::kCobolName},
    {PluginKind::kC, 8, AttrTarget::kDefinition, ValueRule::kCName},
    {PluginKind::kWebDav, 1, AttrTarget::kMessageSet, ValueRule::kAny},
    {PluginKind::kWebDav, 2, AttrTarget::kMessageSet, ValueRule::kAny},
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

const char* pluginRegisteredName(PluginKind kind) {
  int i = static_cast<int>(kind);
  return i >= 1 && i <= kPluginCount ? kPluginNames[i - 1] : "";
}

PluginKind pluginByName(const std::string& name) {
  for (int i = 0; i < kPluginCount; ++i)
    if (name == kPluginNames[i]) return static_cast<PluginKind>(i + 1);
  return PluginKind::kNone;
}

bool findAttributeKey(PluginKind kind, int32_t key, AttrTarget target, ValueRule* rule) {
  for (const KeyDefinition& k : kKeys) {
    if (k.plugin == kind && k.key == key && k.target == target) {
      *rule = k.rule;
      return true;
    }
  }
  return false;
}

bool acceptsValue(ValueRule rule, const std::string& value) {
  if (value.size() > 254) return false;
  switch (rule) {
    case ValueRule::kAny:
      return true;
    case ValueRule::kCName:
      return isValidCName(value);
    case ValueRule::kCobolName:
      return isValidCobolName(value);
    case ValueRule::kCopyBookName:
      return isValidCopyBookName(value);
  }
  return false;
}

bool isValidIdentifier(const std::string& name, bool element) {
  if (name.empty() || name.size() > 255 || isDigit(name[0])) return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '`') return false;
    if (!element && (c == '^' || c == ':')) return false;
  }
  return true;
}

bool isValidMemberName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

bool isValidCName(const std::string& name) {
  if (name.empty() || isDigit(name[0])) return false;
  for (char c : name)
    if (!isLetter(c) && !isDigit(c) && c != '_') return false;
  return true;
}

bool isValidCobolName(const std::string& name) {
  if (name.empty() || name.size() > 30 || !isLetter(name[0]) || name.back() == '-') return false;
  for (char c : name)
    if (!isLetter(c) && !isDigit(c) && c != '-') return false;
  return true;
}

bool isValidCopyBookName(const std::string& name) {
  static const std::string kSuffix = ".CPY";
  if (name.size() <= kSuffix.size() || name.size() > 8 + kSuffix.size()) return false;
  if (name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) return false;
  for (size_t i = 0; i + kSuffix.size() < name.size(); ++i)
    if (!isLetter(name[i]) && !isDigit(name[i])) return false;
  return true;
}

}  // namespace qel
