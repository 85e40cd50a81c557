// kova-repo copy: a message set read whole from one repository and written
// into another (file to server, server to file, or between two of a kind).
//
// The library keeps one connection per process, so the set is first read
// into memory, then the source is closed and the destination opened.  The
// destination is written in one transaction, definitions in their creation
// order (a definition can only refer to one made before it), so a failure
// leaves the destination as it was.
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "repo_access.h"
#include "shown_database.h"

namespace kovarepo {
namespace {

struct SetCopy {
  bool finalised = false;
  bool locked = false;
  std::vector<PluginMember> pluginMembers;
  std::vector<Attribute> setAttributes;
  std::map<int32_t, std::vector<Definition>> definitions;  ///< by class, creation order
  std::map<uint32_t, std::vector<Attribute>> attributes;   ///< of definitions and members
  std::map<uint32_t, std::vector<Member>> members;         ///< of types and elements
};

constexpr int32_t kClasses[] = {QEL_CLASS_TYPE, QEL_CLASS_ELEMENT, QEL_CLASS_VALUE,
                                QEL_CLASS_MESSAGE};

SetCopy readSet(uint32_t set) {
  RepositoryView view(set);
  SetCopy c;
  c.finalised = QELIsFinalised(set) != 0;
  c.locked = QELIsLocked(set) != 0;
  c.pluginMembers = view.pluginMembers();
  c.setAttributes = view.attributes(set);
  for (int32_t defClass : kClasses) {
    c.definitions[defClass] = view.definitions(defClass);
    for (const Definition& d : c.definitions[defClass]) {
      c.attributes[d.handle] = view.attributes(d.handle);
      if (defClass == QEL_CLASS_TYPE || defClass == QEL_CLASS_ELEMENT) {
        c.members[d.handle] = view.members(d.handle);
        for (const Member& m : c.members[d.handle])
          c.attributes[m.handle] = view.attributes(m.handle);
      }
    }
  }
  return c;
}

void putText(std::vector<char>& rec, int off, const std::string& s, size_t cap) {
  if (s.size() >= cap) throw std::runtime_error("text too long for its field: " + s);
  std::memcpy(rec.data() + off, s.c_str(), s.size() + 1);
}
template <typename T>
void put(std::vector<char>& rec, int off, T v) {
  std::memcpy(rec.data() + off, &v, sizeof v);
}

/// Writes `c` as the new message set `name` of the connected repository.
void writeSet(const SetCopy& c, const std::string& name) {
  std::vector<char> key(QEL_PROJECT_DETAILS_SIZE, 0);
  check(QELGetDefaultDetails(QEL_CLASS_PROJECT, key.data(), QEL_PROJECT_DETAILS_SIZE),
        "QELGetDefaultDetails");
  putText(key, QEL_OFF_PROJECT_NAME, name, QEL_NAME_SIZE);
  put<int16_t>(key, QEL_OFF_PROJECT_KEY_WORD, 1);
  uint32_t set = 0;
  if (QELFindProject(&set, key.data() + QEL_OFF_PROJECT_NAME, QEL_OPEN_WRITE) == QEL_STATUS_OK)
    throw std::runtime_error("message set " + name + " already exists in the destination");
  check(QELCreateProject(&set, key.data()), "QELCreateProject");
  try {
    // Plug-in members: the new set has its own C, COBOL and WebDav members;
    // every other one (the layers) is added under its name.
    std::map<std::pair<std::string, std::string>, uint32_t> pluginMember;
    RepositoryView fresh(set);
    for (const PluginMember& p : fresh.pluginMembers())
      pluginMember.emplace(std::make_pair(p.plugin, p.member), p.handle);
    for (const PluginMember& p : c.pluginMembers) {
      if (pluginMember.count({p.plugin, p.member})) continue;
      uint32_t plugin = 0, member = 0;
      check(QELFindDefinition(0, QEL_CLASS_PLUGIN, &plugin, p.plugin.c_str()), "QELFindDefinition");
      std::vector<char> rec(QEL_PLUGIN_MEMBER_SIZE, 0);
      check(QELGetDefaultMemberDetails2(set, plugin, QEL_POSITION_APPEND, rec.data(),
                                        QEL_PLUGIN_MEMBER_SIZE),
            "QELGetDefaultMemberDetails2");
      putText(rec, QEL_OFF_MEMBER_NAME, p.member, QEL_NAME_SIZE);
      check(QELInsertMember2(set, plugin, QEL_POSITION_APPEND, rec.data(), &member),
            "QELInsertMember2");
      pluginMember[{p.plugin, p.member}] = member;
    }
    auto setAttributes = [&](uint32_t parent, uint32_t target,
                             const std::vector<Attribute>& attrs) {
      for (const Attribute& a : attrs) {
        std::vector<char> ref(QEL_ATTR_REF_SIZE, 0);
        put<uint32_t>(ref, QEL_OFF_ATTR_PLUGIN, pluginMember.at({a.plugin, a.member}));
        put<int32_t>(ref, QEL_OFF_ATTR_KEY, a.key);
        if (parent)
          check(QELSetMemberAttrValue(parent, target, ref.data(), a.value.c_str()),
                "QELSetMemberAttrValue");
        else
          check(QELSetAttrValue(target, ref.data(), a.value.c_str()), "QELSetAttrValue");
      }
    };

    // Definitions, each class in creation order; the simple types are the
    // new set's own.
    std::map<uint32_t, uint32_t> handle;  // source handle -> new handle
    auto mapped = [&](uint32_t h) { return h ? handle.at(h) : 0u; };
    for (int32_t defClass : kClasses) {
      for (const Definition& d : c.definitions.at(defClass)) {
        uint32_t h = 0;
        if (defClass == QEL_CLASS_TYPE && d.kind == QEL_TYPE_KIND_SIMPLE &&
            QELFindDefinition(set, QEL_CLASS_TYPE, &h, d.name.c_str()) == 0) {
          handle[d.handle] = h;
          continue;
        }
        int size = defClass == QEL_CLASS_TYPE      ? QEL_TYPE_DETAILS_SIZE
                   : defClass == QEL_CLASS_ELEMENT ? QEL_ELEMENT_DETAILS_SIZE
                   : defClass == QEL_CLASS_VALUE   ? QEL_VALUE_DETAILS_SIZE
                                                   : QEL_MESSAGE_DETAILS_SIZE;
        std::vector<char> rec(static_cast<size_t>(size), 0);
        check(QELGetDefaultDetails(defClass, rec.data(), size), "QELGetDefaultDetails");
        putText(rec, QEL_OFF_NAME, d.name, QEL_NAME_SIZE);
        putText(rec, QEL_OFF_SECOND_NAME, d.secondName, QEL_NAME_SIZE);
        int32_t st = 0;
        if (defClass == QEL_CLASS_TYPE) {
          put<int32_t>(rec, QEL_OFF_TYPE_KIND, d.kind);
          put<uint32_t>(rec, QEL_OFF_BASE_TYPE, mapped(d.baseHandle));
          put<int32_t>(rec, QEL_OFF_COMPOSITION, d.composition);
          put<int32_t>(rec, QEL_OFF_CONTENT, d.content);
          st = QELCreateType(set, &h, rec.data());
        } else {
          put<uint32_t>(rec, QEL_OFF_TYPE_HANDLE, mapped(d.typeHandle));
          if (defClass == QEL_CLASS_ELEMENT) {
            st = QELCreateElement(set, &h, rec.data());
          } else if (defClass == QEL_CLASS_VALUE) {
            putText(rec, QEL_OFF_VALUE_TEXT, d.valueText, QEL_VALUE_TEXT_SIZE);
            st = QELCreateValue(set, &h, rec.data());
          } else {
            st = QELCreateMessage(set, &h, rec.data());
          }
        }
        if (st != 0) throw ApiError("QELCreate... of " + d.name, st);
        handle[d.handle] = h;
      }
    }
    // Members of types and values of elements, in their order.
    for (int32_t defClass : {QEL_CLASS_TYPE, QEL_CLASS_ELEMENT}) {
      for (const Definition& d : c.definitions.at(defClass)) {
        uint32_t parent = handle.at(d.handle);
        for (const Member& m : c.members.at(d.handle)) {
          uint32_t child = handle.at(m.child), member = 0;
          bool typeMember = defClass == QEL_CLASS_TYPE;
          int size = typeMember ? QEL_TYPE_MEMBER_SIZE : QEL_VALUE_MEMBER_SIZE;
          std::vector<char> rec(static_cast<size_t>(size), 0);
          check(QELGetDefaultMemberDetails2(parent, child, QEL_POSITION_APPEND, rec.data(), size),
                "QELGetDefaultMemberDetails2");
          if (typeMember) {
            put<int16_t>(rec, QEL_OFF_MEMBER_REPEAT, m.repeat);
            if (!m.minOccurs.empty())
              putText(rec, QEL_OFF_MEMBER_MIN, m.minOccurs, QEL_OCCURS_TEXT_SIZE);
            if (!m.maxOccurs.empty())
              putText(rec, QEL_OFF_MEMBER_MAX, m.maxOccurs, QEL_OCCURS_TEXT_SIZE);
          } else {
            put<int32_t>(rec, QEL_OFF_MEMBER_ROLE, m.role);
          }
          check(QELInsertMember2(parent, child, QEL_POSITION_APPEND, rec.data(), &member),
                "QELInsertMember2");
          if (typeMember) setAttributes(parent, member, c.attributes.at(m.handle));
        }
      }
    }
    for (int32_t defClass : kClasses)
      for (const Definition& d : c.definitions.at(defClass))
        setAttributes(0, handle.at(d.handle), c.attributes.at(d.handle));
    setAttributes(0, set, c.setAttributes);
    if (c.locked) check(QELSetLocked(set, 1), "QELSetLocked");
    if (c.finalised) check(QELSetFinalised(set, 1), "QELSetFinalised");
  } catch (...) {
    QELCloseProject(set, 0);
    throw;
  }
  check(QELCloseProject(set, 1), "QELCloseProject");
}

}  // namespace

void copySet(const std::string& source, const std::string& dest, const std::string& name) {
  // The source is only read: a mistyped name must not leave a new file.
  int32_t st = QELOpenRepository2(source.c_str(), "", "", QEL_OPEN_READ);
  if (st == QEL_STATUS_NO_DATABASE_NAME || st == QEL_STATUS_BAD_DATABASE)
    throw std::runtime_error(shownDatabaseName(source) + ": no repository to copy from");
  check(st, "QELOpenRepository");
  SetCopy copy;
  try {
    uint32_t set = findMessageSet(name);
    if (!set) throw std::runtime_error("message set " + name + " not found in the source");
    copy = readSet(set);
  } catch (...) {
    QELCloseRepository();
    throw;
  }
  QELCloseRepository();
  check(QELOpenRepository(dest.c_str(), "", ""), "QELOpenRepository");
  try {
    writeSet(copy, name);
  } catch (...) {
    QELCloseRepository();
    throw;
  }
  QELCloseRepository();
}

}  // namespace kovarepo
