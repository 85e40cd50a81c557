// Identifier rules and the attribute keys of the registered plug-ins.
#include "plugin_rules.h"

#include <iterator>

#include "qelbeapi.h"

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
  const char* name;
};

// The XML layer keeps its layer settings on the message set, names, date
// formats and binary renders on definitions, and member names and renders
// on type members; the custom wire format its member render; the language
// plug-ins their names; the WebDav plug-in the repository marker and the
// lock count of the message set.
const KeyDefinition kKeys[] = {
    {PluginKind::kXml, QEL_XML_KEY_LAYER_NAME, AttrTarget::kMessageSet, ValueRule::kAny,
     "layerName"},
    {PluginKind::kXml, QEL_XML_KEY_LAYER_OPTION_4, AttrTarget::kMessageSet, ValueRule::kAny,
     "layerOption4"},
    {PluginKind::kXml, QEL_XML_KEY_LAYER_TEXT_8, AttrTarget::kMessageSet, ValueRule::kAny,
     "layerText8"},
    {PluginKind::kXml, QEL_XML_KEY_LAYER_OPTION_11, AttrTarget::kMessageSet, ValueRule::kAny,
     "layerOption11"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_TRUE_TEXT, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilTrueText"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_FALSE_TEXT, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilFalseText"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_OPTION_14, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilOption14"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_ATTRIBUTE_15, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilAttribute15"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_OPTION_16, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilOption16"},
    {PluginKind::kXml, QEL_XML_KEY_NIL_ATTRIBUTE_17, AttrTarget::kMessageSet, ValueRule::kAny,
     "nilAttribute17"},
    {PluginKind::kXml, QEL_XML_KEY_XML_NAME, AttrTarget::kDefinition, ValueRule::kAny, "xmlName"},
    {PluginKind::kXml, QEL_XML_KEY_DATE_FORMAT, AttrTarget::kDefinition, ValueRule::kAny,
     "dateFormat"},
    {PluginKind::kXml, QEL_XML_KEY_BINARY_RENDER, AttrTarget::kDefinition, ValueRule::kAny,
     "binaryRender"},
    {PluginKind::kXml, QEL_XML_KEY_MEMBER_XML_NAME, AttrTarget::kTypeMember, ValueRule::kAny,
     "memberXmlName"},
    {PluginKind::kXml, QEL_XML_KEY_MEMBER_RENDER, AttrTarget::kTypeMember, ValueRule::kAny,
     "memberRender"},
    {PluginKind::kCwf, QEL_CWF_KEY_MEMBER_RENDER, AttrTarget::kTypeMember, ValueRule::kAny,
     "memberRender"},
    {PluginKind::kCobol, QEL_COBOL_KEY_COPY_BOOK, AttrTarget::kDefinition, ValueRule::kCopyBookName,
     "copyBookName"},
    {PluginKind::kCobol, QEL_COBOL_KEY_NAME, AttrTarget::kDefinition, ValueRule::kCobolName,
     "cobolName"},
    {PluginKind::kC, QEL_C_KEY_NAME, AttrTarget::kDefinition, ValueRule::kCName, "cName"},
    {PluginKind::kWebDav, QEL_WEBDAV_KEY_MARKER, AttrTarget::kMessageSet, ValueRule::kAny,
     "marker"},
    {PluginKind::kWebDav, QEL_WEBDAV_KEY_LOCK_COUNT, AttrTarget::kMessageSet, ValueRule::kAny,
     "lockCount"},
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

const char* attributeKeyName(PluginKind kind, int32_t key) {
  for (const KeyDefinition& k : kKeys)
    if (k.plugin == kind && k.key == key) return k.name;
  return nullptr;
}

std::vector<AttributeKeyName> attributeKeyNames() {
  std::vector<AttributeKeyName> names;
  for (const KeyDefinition& k : kKeys) names.push_back({k.plugin, k.key, k.name});
  return names;
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
