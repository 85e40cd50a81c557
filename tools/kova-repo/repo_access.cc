// Reading a repository through the back-end API.
#include "repo_access.h"

#include <cstdlib>
#include <cstring>

namespace kovarepo {

ApiError::ApiError(const std::string& call, int32_t st)
    : std::runtime_error(call + " returned " + std::to_string(st) + ": " + QELStatusText(st)),
      status(st) {}

void check(int32_t status, const char* call) {
  if (status != 0) throw ApiError(call, status);
}

namespace {

std::vector<char> buffer(int32_t size) { return std::vector<char>(static_cast<size_t>(size), 0); }
template <typename T>
T field(const std::vector<char>& b, int off) {
  T v;
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}
std::string text(const std::vector<char>& b, int off) { return std::string(b.data() + off); }

}  // namespace

RepositoryView::RepositoryView(uint32_t set) : set_(set) {
  uint32_t h = 0;
  int32_t st = QELGetNextDefinition(set, 0, &h, QEL_WALK_PLUGIN_MEMBER, 0);
  while (st == 0) {
    auto plugin = buffer(QEL_PLUGIN_DETAILS_SIZE), member = buffer(QEL_PLUGIN_MEMBER_SIZE);
    check(QELGetDetails(h, nullptr, plugin.data(), QEL_PLUGIN_DETAILS_SIZE), "QELGetDetails");
    check(QELGetMemberDetails(set, h, member.data(), QEL_PLUGIN_MEMBER_SIZE),
          "QELGetMemberDetails");
    pluginMembers_.push_back(
        {h, text(plugin, QEL_OFF_PLUGIN_NAME), text(member, QEL_OFF_MEMBER_NAME)});
    st = QELGetNextDefinition(h, set, &h, QEL_WALK_NEXT, 0);
  }
  if (st != QEL_STATUS_NOT_FOUND) check(st, "QELGetNextDefinition");
}

std::vector<Definition> RepositoryView::definitions(int32_t defClass) const {
  std::vector<Definition> defs;
  uint32_t h = 0;
  int32_t st = QELGetFirstDefinition(set_, defClass, &h, 0);
  while (st == 0) {
    defs.push_back(definition(h));
    st = QELGetNextDefinition(h, set_, &h, QEL_WALK_NEXT, 0);
  }
  if (st != QEL_STATUS_NOT_FOUND) check(st, "QELGetFirstDefinition/QELGetNextDefinition");
  return defs;
}

Definition RepositoryView::definition(uint32_t handle) const {
  auto b = buffer(QEL_PLUGIN_DETAILS_SIZE);  // the largest details record
  check(QELGetDetails(handle, nullptr, b.data(), QEL_PLUGIN_DETAILS_SIZE), "QELGetDetails");
  Definition d;
  d.handle = handle;
  d.defClass = field<int32_t>(b, QEL_OFF_RECORD_CLASS);
  if (d.defClass == QEL_CLASS_PROJECT) {
    d.name = text(b, QEL_OFF_PROJECT_NAME);
  } else {
    d.name = text(b, QEL_OFF_NAME);
    d.secondName = text(b, QEL_OFF_SECOND_NAME);
  }
  if (d.defClass == QEL_CLASS_TYPE) {
    d.kind = field<int32_t>(b, QEL_OFF_TYPE_KIND);
    d.baseHandle = field<uint32_t>(b, QEL_OFF_BASE_TYPE);
    d.composition = field<int32_t>(b, QEL_OFF_COMPOSITION);
    d.content = field<int32_t>(b, QEL_OFF_CONTENT);
  } else {
    d.typeHandle = field<uint32_t>(b, QEL_OFF_TYPE_HANDLE);
    if (d.defClass == QEL_CLASS_VALUE) d.valueText = text(b, QEL_OFF_VALUE_TEXT);
  }
  names_[handle] = d.name;
  return d;
}

std::string RepositoryView::nameOf(uint32_t handle) const {
  if (handle == 0) return "";
  auto it = names_.find(handle);
  if (it != names_.end()) return it->second;
  return definition(handle).name;
}

std::vector<Member> RepositoryView::members(uint32_t parent) const {
  std::vector<Member> list;
  uint32_t h = 0;
  int32_t st = QELGetNextDefinition(parent, 0, &h, QEL_WALK_FIRST_MEMBER, 0);
  while (st == 0) {
    auto b = buffer(QEL_TYPE_MEMBER_SIZE);  // the largest member record
    check(QELGetMemberDetails(parent, h, b.data(), QEL_TYPE_MEMBER_SIZE), "QELGetMemberDetails");
    Member m;
    m.handle = h;
    m.child = field<uint32_t>(b, QEL_OFF_MEMBER_CHILD);
    if (field<int32_t>(b, QEL_OFF_RECORD_CLASS) == QEL_MEMBER_TYPE) {
      m.repeat = field<int16_t>(b, QEL_OFF_MEMBER_REPEAT);
      m.minOccurs = text(b, QEL_OFF_MEMBER_MIN);
      m.maxOccurs = text(b, QEL_OFF_MEMBER_MAX);
    } else {
      m.role = field<int32_t>(b, QEL_OFF_MEMBER_ROLE);
    }
    list.push_back(m);
    st = QELGetNextDefinition(h, 0, &h, QEL_WALK_NEXT, 0);
  }
  if (st != QEL_STATUS_NOT_FOUND) check(st, "QELGetNextDefinition");
  return list;
}

std::vector<Attribute> RepositoryView::attributes(uint32_t component) const {
  std::vector<Attribute> list;
  int32_t cursor = 0;
  char ref[QEL_ATTR_REF_SIZE];
  char value[256];
  int32_t st;
  while ((st = QELGetNextAttrValue(component, &cursor, ref, value, sizeof value)) == 0) {
    uint32_t plugin;
    int32_t key;
    std::memcpy(&plugin, ref + QEL_OFF_ATTR_PLUGIN, sizeof plugin);
    std::memcpy(&key, ref + QEL_OFF_ATTR_KEY, sizeof key);
    Attribute a;
    for (const PluginMember& p : pluginMembers_)
      if (p.handle == plugin) {
        a.plugin = p.plugin;
        a.member = p.member;
      }
    a.key = key;
    a.value = value;
    list.push_back(a);
  }
  if (st != QEL_STATUS_NOT_FOUND) check(st, "QELGetNextAttrValue");
  return list;
}

std::string RepositoryView::attribute(uint32_t component, const std::string& plugin,
                                      int32_t key) const {
  for (const Attribute& a : attributes(component))
    if (a.plugin == plugin && a.key == key) return a.value;
  return "";
}

uint32_t findMessageSet(const std::string& name) {
  std::vector<char> key(QEL_PROJECT_KEY_SIZE, 0);
  if (name.size() >= QEL_NAME_SIZE) return 0;
  std::memcpy(key.data(), name.c_str(), name.size());
  int16_t one = 1;
  std::memcpy(key.data() + QEL_NAME_SIZE, &one, sizeof one);
  uint32_t h = 0;
  int32_t st = QELFindProject(&h, key.data(), QEL_OPEN_READ);
  if (st == QEL_STATUS_NOT_FOUND) return 0;
  check(st, "QELFindProject");
  return h;
}

std::string messageSetIdentifier(uint32_t set) {
  auto b = buffer(QEL_PROJECT_DETAILS_SIZE);
  check(QELGetDetails(set, nullptr, b.data(), QEL_PROJECT_DETAILS_SIZE), "QELGetDetails");
  return text(b, QEL_OFF_PROJECT_ID);
}

long lockCount(const RepositoryView& view) {
  std::string v = view.attribute(view.set(), QEL_PLUGIN_WEBDAV, QEL_WEBDAV_KEY_LOCK_COUNT);
  return std::strtol(v.c_str(), nullptr, 0);
}

}  // namespace kovarepo
