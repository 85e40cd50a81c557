// The in-memory back end of the writer's unit tests.  See fake_backend.h.
#include "fake_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "qelbeapi.h"

FakeBackend fake;

namespace {

std::string textAt(const std::vector<unsigned char>& d, size_t offset, size_t size) {
  if (d.size() < offset + 1) return "";
  const char* p = reinterpret_cast<const char*>(d.data() + offset);
  return std::string(p, strnlen(p, std::min(size, d.size() - offset)));
}

void putTextAt(std::vector<unsigned char>& d, size_t offset, const std::string& text) {
  std::memcpy(d.data() + offset, text.c_str(), text.size() + 1);
}

// Plug-in member handles of a message set: handle -> (set, index in members).
std::map<uint32_t, std::pair<uint32_t, size_t>> pluginMembers;

int32_t enter(const char* name) {
  fake.calls.push_back(name);
  auto f = fake.failWith.find(name);
  return f == fake.failWith.end() ? 0 : f->second;
}

FakeDefinition* live(uint32_t handle) {
  auto d = fake.defs.find(handle);
  return d == fake.defs.end() || d->second.deleted ? nullptr : &d->second;
}

FakeMember* memberOf(uint32_t parent, uint32_t member) {
  FakeDefinition* p = live(parent);
  if (p == nullptr) return nullptr;
  for (FakeMember& m : p->members)
    if (m.handle == member) return &m;
  return nullptr;
}

std::pair<uint32_t, int32_t> refKey(const void* ref) {
  uint32_t plugin;
  int32_t key;
  std::memcpy(&plugin, static_cast<const unsigned char*>(ref) + QEL_OFF_ATTR_PLUGIN, 4);
  std::memcpy(&key, static_cast<const unsigned char*>(ref) + QEL_OFF_ATTR_KEY, 4);
  return {plugin, key};
}

size_t detailsSize(int32_t defClass) {
  switch (defClass) {
    case QEL_CLASS_PROJECT:
      return QEL_PROJECT_DETAILS_SIZE;
    case QEL_CLASS_PLUGIN:
      return QEL_PLUGIN_DETAILS_SIZE;
    case QEL_CLASS_MESSAGE:
      return QEL_MESSAGE_DETAILS_SIZE;
    case QEL_CLASS_ELEMENT:
      return QEL_ELEMENT_DETAILS_SIZE;
    case QEL_CLASS_TYPE:
      return QEL_TYPE_DETAILS_SIZE;
    case QEL_CLASS_VALUE:
      return QEL_VALUE_DETAILS_SIZE;
    default:
      return 0;
  }
}

uint32_t addDefinition(int32_t defClass, uint32_t set, const void* details) {
  uint32_t h = fake.nextHandle++;
  FakeDefinition& d = fake.defs[h];
  d.defClass = defClass;
  d.id = fake.nextId++;
  d.set = set;
  d.details.assign(detailsSize(defClass), 0);
  if (details != nullptr) std::memcpy(d.details.data(), details, d.details.size());
  std::memcpy(d.details.data() + QEL_OFF_IDENTIFIER, &d.id, 4);
  return h;
}

uint32_t addPluginMember(uint32_t set, uint32_t plugin, const std::string& memberName) {
  FakeMember m;
  m.handle = fake.nextHandle++;
  m.child = plugin;
  m.record.assign(QEL_PLUGIN_MEMBER_SIZE, 0);
  putTextAt(m.record, QEL_OFF_MEMBER_NAME, memberName);
  fake.defs[set].members.push_back(m);
  pluginMembers[m.handle] = {set, fake.defs[set].members.size() - 1};
  return m.handle;
}

int32_t create(const char* call, int32_t defClass, uint32_t set, uint32_t* out,
               const void* details) {
  if (int32_t s = enter(call)) return s;
  std::string name =
      textAt(std::vector<unsigned char>(static_cast<const unsigned char*>(details),
                                        static_cast<const unsigned char*>(details) + 280),
             QEL_OFF_NAME, QEL_NAME_SIZE);
  if (fake.refuseName)
    if (int32_t s = fake.refuseName(name)) return s;
  if (live(set) == nullptr) return -37;
  if (fake.find(set, defClass, name) != 0) return -33;
  *out = addDefinition(defClass, set, details);
  return 0;
}

}  // namespace

std::string FakeDefinition::name() const { return textAt(details, QEL_OFF_NAME, QEL_NAME_SIZE); }
std::string FakeDefinition::secondName() const {
  return textAt(details, QEL_OFF_SECOND_NAME, QEL_NAME_SIZE);
}
uint32_t FakeDefinition::typeHandle() const {
  uint32_t h;
  std::memcpy(&h, details.data() + QEL_OFF_TYPE_HANDLE, 4);
  return h;
}
std::string FakeDefinition::valueText() const {
  return textAt(details, QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE);
}

void FakeBackend::reset() {
  *this = FakeBackend{};
  pluginMembers.clear();
  for (const char* name : {QEL_PLUGIN_XML, QEL_PLUGIN_CWF, QEL_PLUGIN_TDS, QEL_PLUGIN_C,
                           QEL_PLUGIN_COBOL, QEL_PLUGIN_WEBDAV}) {
    uint32_t h = addDefinition(QEL_CLASS_PLUGIN, 0, nullptr);
    putTextAt(defs[h].details, QEL_OFF_NAME, name);
    putTextAt(defs[h].details, QEL_OFF_PLUGIN_NAME, name);
  }
}

uint32_t FakeBackend::addMessageSet(
    const std::string& name, const std::vector<std::pair<std::string, std::string>>& layers) {
  uint32_t set = addDefinition(QEL_CLASS_PROJECT, 0, nullptr);
  putTextAt(defs[set].details, QEL_OFF_PROJECT_NAME, name);
  std::string id = "MS" + std::to_string(defs[set].id);
  putTextAt(defs[set].details, QEL_OFF_PROJECT_ID, id);
  for (const char* simple :
       {"BOOLEAN", "STRING", "DECIMAL", "FLOAT", "INTEGER", "BINARY", "DATETIME"}) {
    uint32_t t = addDefinition(QEL_CLASS_TYPE, set, nullptr);
    putTextAt(defs[t].details, QEL_OFF_NAME, simple);
    int32_t kind = QEL_TYPE_KIND_SIMPLE;
    std::memcpy(defs[t].details.data() + QEL_OFF_TYPE_KIND, &kind, 4);
  }
  for (const auto& [plugin, member] : layers)
    addPluginMember(set, find(0, QEL_CLASS_PLUGIN, plugin), member);
  return set;
}

std::vector<uint32_t> FakeBackend::ofClass(uint32_t set, int32_t defClass) const {
  std::vector<uint32_t> out;
  for (const auto& [h, d] : defs)
    if (!d.deleted && d.set == set && d.defClass == defClass) out.push_back(h);
  return out;
}

uint32_t FakeBackend::find(uint32_t set, int32_t defClass, const std::string& name) const {
  for (const auto& [h, d] : defs)
    if (!d.deleted && d.set == set && d.defClass == defClass && d.name() == name) return h;
  return 0;
}

int FakeBackend::count(const std::string& call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

// ---- the API -------------------------------------------------------------------

extern "C" {

int32_t QELGetAPIReleaseInfo(void* info, const char* release) {
  if (int32_t s = enter("QELGetAPIReleaseInfo")) return s;
  uint32_t size;
  std::memcpy(&size, info, 4);
  return size == 20 && std::strcmp(release, QEL_API_RELEASE) == 0 ? 0 : -77;
}

int32_t QELOpenRepository(const char*, const char*, const char*) {
  if (int32_t s = enter("QELOpenRepository")) return s;
  fake.connected = true;
  return 0;
}

int32_t QELCloseRepository(void) {
  if (int32_t s = enter("QELCloseRepository")) return s;
  fake.connected = false;
  return 0;
}

int32_t QELFindProject(uint32_t* out, const void* key, int32_t) {
  if (int32_t s = enter("QELFindProject")) return s;
  std::string name(static_cast<const char*>(key), strnlen(static_cast<const char*>(key), 256));
  for (const auto& [h, d] : fake.defs) {
    if (d.defClass == QEL_CLASS_PROJECT && !d.deleted &&
        textAt(d.details, QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE) == name) {
      *out = h;
      return 0;
    }
  }
  return -4;
}

int32_t QELCreateProject(uint32_t* out, const void* details) {
  if (int32_t s = enter("QELCreateProject")) return s;
  std::string name =
      textAt(std::vector<unsigned char>(static_cast<const unsigned char*>(details),
                                        static_cast<const unsigned char*>(details) + 304),
             QEL_OFF_PROJECT_NAME, QEL_NAME_SIZE);
  *out = fake.addMessageSet(
      name, {{QEL_PLUGIN_C, "C"}, {QEL_PLUGIN_COBOL, "COBOL"}, {QEL_PLUGIN_WEBDAV, "WebDav"}});
  return 0;
}

int32_t QELOpenProject(uint32_t project, int32_t) {
  if (int32_t s = enter("QELOpenProject")) return s;
  return live(project) ? 0 : -37;
}
int32_t QELIsFinalised(uint32_t) {
  enter("QELIsFinalised");
  return fake.finalised ? 1 : 0;
}
int32_t QELIsLocked(uint32_t) {
  enter("QELIsLocked");
  return fake.locked ? 1 : 0;
}
int32_t QELCloseProject(uint32_t, int32_t commit) {
  if (int32_t s = enter("QELCloseProject")) return s;
  fake.lastCommit = commit;
  return 0;
}

int32_t QELGetDefaultDetails(int32_t defClass, void* buffer, int32_t size) {
  if (int32_t s = enter("QELGetDefaultDetails")) return s;
  if (static_cast<size_t>(size) != detailsSize(defClass)) return -10;
  std::memset(buffer, 0, static_cast<size_t>(size));
  return 0;
}

int32_t QELGetDetails(uint32_t handle, const int32_t*, void* buffer, int32_t size) {
  if (int32_t s = enter("QELGetDetails")) return s;
  auto pm = pluginMembers.find(handle);
  if (pm != pluginMembers.end()) {
    handle = fake.defs[pm->second.first].members[pm->second.second].child;
  }
  FakeDefinition* d = live(handle);
  if (d == nullptr) return -8;
  std::memcpy(buffer, d->details.data(), std::min(d->details.size(), static_cast<size_t>(size)));
  return 0;
}

int32_t QELGetMemberDetails(uint32_t set, uint32_t member, void* buffer, int32_t size) {
  if (int32_t s = enter("QELGetMemberDetails")) return s;
  FakeMember* m = memberOf(set, member);
  if (m == nullptr) return -6;
  std::memcpy(buffer, m->record.data(), std::min(m->record.size(), static_cast<size_t>(size)));
  return 0;
}

int32_t QELGetClass(uint32_t handle, int32_t* out) {
  if (int32_t s = enter("QELGetClass")) return s;
  FakeDefinition* d = live(handle);
  if (d == nullptr) return -8;
  *out = d->defClass;
  return 0;
}

int32_t QELGetIDValue(uint32_t handle, int32_t* out) {
  if (int32_t s = enter("QELGetIDValue")) return s;
  FakeDefinition* d = live(handle);
  if (d == nullptr) return -8;
  *out = d->id;
  return 0;
}

int32_t QELFindDefinition(uint32_t set, int32_t defClass, uint32_t* out, const char* name) {
  if (int32_t s = enter("QELFindDefinition")) return s;
  uint32_t h = fake.find(set, defClass, name);
  if (h == 0) return -4;
  *out = h;
  return 0;
}

int32_t QELGetFirstDefinition(uint32_t set, int32_t defClass, uint32_t* out, int32_t) {
  if (int32_t s = enter("QELGetFirstDefinition")) return s;
  std::vector<uint32_t> all = fake.ofClass(set, defClass);
  if (all.empty()) return -4;
  *out = all.front();
  return 0;
}

int32_t QELGetNextDefinition(uint32_t current, uint32_t set, uint32_t* out, int32_t walk, int32_t) {
  if (int32_t s = enter("QELGetNextDefinition")) return s;
  if (walk == QEL_WALK_PLUGIN_MEMBER) {
    FakeDefinition* d = live(current);
    if (d == nullptr) return -8;
    if (d->members.empty()) return -4;
    *out = d->members.front().handle;
    return 0;
  }
  auto pm = pluginMembers.find(current);
  if (pm != pluginMembers.end()) {
    const FakeDefinition& owner = fake.defs[pm->second.first];
    if (set != pm->second.first) return -6;
    if (pm->second.second + 1 >= owner.members.size()) return -4;
    *out = owner.members[pm->second.second + 1].handle;
    return 0;
  }
  auto it = fake.defs.find(current);
  if (it == fake.defs.end()) return -8;
  for (auto next = std::next(it); next != fake.defs.end(); ++next) {
    if (!next->second.deleted && next->second.set == it->second.set &&
        next->second.defClass == it->second.defClass) {
      *out = next->first;
      return 0;
    }
  }
  return -4;
}

int32_t QELCreateMessage(uint32_t set, uint32_t* out, const void* d) {
  return create("QELCreateMessage", QEL_CLASS_MESSAGE, set, out, d);
}
int32_t QELCreateElement(uint32_t set, uint32_t* out, const void* d) {
  return create("QELCreateElement", QEL_CLASS_ELEMENT, set, out, d);
}
int32_t QELCreateType(uint32_t set, uint32_t* out, const void* d) {
  return create("QELCreateType", QEL_CLASS_TYPE, set, out, d);
}
int32_t QELCreateValue(uint32_t set, uint32_t* out, const void* d) {
  return create("QELCreateValue", QEL_CLASS_VALUE, set, out, d);
}

int32_t QELDelete(uint32_t handle) {
  if (int32_t s = enter("QELDelete")) return s;
  FakeDefinition* d = live(handle);
  if (d == nullptr) return -8;
  d->deleted = true;
  return 0;
}

int32_t QELGetDefaultMemberDetails2(uint32_t parent, uint32_t child, int32_t, void* buffer,
                                    int32_t size) {
  if (int32_t s = enter("QELGetDefaultMemberDetails2")) return s;
  if (live(parent) == nullptr || live(child) == nullptr) return -8;
  std::memset(buffer, 0, static_cast<size_t>(size));
  return 0;
}

int32_t QELInsertMember2(uint32_t parent, uint32_t child, int32_t, const void* record,
                         uint32_t* out) {
  if (int32_t s = enter("QELInsertMember2")) return s;
  FakeDefinition* p = live(parent);
  FakeDefinition* c = live(child);
  if (p == nullptr || c == nullptr) return -8;
  if (p->defClass == QEL_CLASS_PROJECT) {
    std::string name = textAt(std::vector<unsigned char>(static_cast<const unsigned char*>(record),
                                                         static_cast<const unsigned char*>(record) +
                                                             QEL_PLUGIN_MEMBER_SIZE),
                              QEL_OFF_MEMBER_NAME, QEL_NAME_SIZE);
    *out = addPluginMember(parent, child, name);
    return 0;
  }
  if (!fake.allowDuplicateMembers)
    for (const FakeMember& m : p->members)
      if (m.child == child) return -22;
  size_t size = c->defClass == QEL_CLASS_VALUE ? QEL_VALUE_MEMBER_SIZE : QEL_TYPE_MEMBER_SIZE;
  FakeMember m;
  m.handle = fake.nextHandle++;
  m.child = child;
  m.record.assign(static_cast<const unsigned char*>(record),
                  static_cast<const unsigned char*>(record) + size);
  p->members.push_back(m);
  *out = m.handle;
  return 0;
}

int32_t QELRemoveAll(uint32_t handle) {
  if (int32_t s = enter("QELRemoveAll")) return s;
  FakeDefinition* d = live(handle);
  if (d == nullptr) return -8;
  d->members.clear();
  return 0;
}

int32_t QELSetAttrValue(uint32_t component, const void* ref, const char* value) {
  if (int32_t s = enter("QELSetAttrValue")) return s;
  FakeDefinition* d = live(component);
  if (d == nullptr) return -8;
  auto key = refKey(ref);
  if (pluginMembers.count(key.first) == 0) return -82;
  if (fake.refuseValue)
    if (int32_t s = fake.refuseValue(value)) return s;
  d->attrs[key] = value;
  return 0;
}

int32_t QELSetMemberAttrValue(uint32_t parent, uint32_t member, const void* ref,
                              const char* value) {
  if (int32_t s = enter("QELSetMemberAttrValue")) return s;
  FakeMember* m = memberOf(parent, member);
  if (m == nullptr) return -6;
  auto key = refKey(ref);
  if (pluginMembers.count(key.first) == 0) return -82;
  m->attrs[key] = value;
  return 0;
}

int32_t QELGetAttrValue(uint32_t component, const void* ref, char* buffer, int32_t size) {
  if (int32_t s = enter("QELGetAttrValue")) return s;
  FakeDefinition* d = live(component);
  if (d == nullptr) return -8;
  auto key = refKey(ref);
  std::string value;
  auto a = d->attrs.find(key);
  if (a != d->attrs.end()) {
    value = a->second;
  } else if (key.second == 2) {
    value = fake.lockCount;
  } else {
    return -4;
  }
  std::snprintf(buffer, static_cast<size_t>(size), "%s", value.c_str());
  return 0;
}

}  // extern "C"
