// kova-repo: inspect and administer a repository from the command line.
//
// Every command connects through the back-end library, does its work and
// disconnects.  The commands that only read (list, show, export) connect for
// reading: they never create or change a file.  The commands that change a
// message set open it for writing and commit when they close it.  A failing
// call prints the API function, the status and its text on standard error,
// and the tool exits with 1.
#include <sqlite3.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "qelbeapi.h"
#include "repo_access.h"
#include "shown_database.h"

using namespace kovarepo;
using nlohmann::ordered_json;

namespace {

/// Thrown for user errors that are not API failures (unknown set, bad word).
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The version the tool reports, and the format version of its JSON output.
constexpr const char* kToolVersion = "1.0";
constexpr int kJsonFormatVersion = 2;

/// What a command does with the repository file.
enum class Access {
  kRead,    ///< only reads: the file must be a repository, and stays as it is
  kChange,  ///< changes a message set: the file must be a repository already
  kCreate,  ///< init: a missing file is created
};

/// The connection for the length of one command.
struct Connection {
  Connection(const std::string& db, Access access) {
    if (access == Access::kChange) {  // a mistyped name must not leave a new file
      open(db, QEL_OPEN_READ);
      QELCloseRepository();
    }
    open(db, access == Access::kRead ? QEL_OPEN_READ : QEL_OPEN_WRITE);
  }
  ~Connection() { QELCloseRepository(); }

 private:
  static void open(const std::string& db, int32_t mode) {
    int32_t st = QELOpenRepository2(db.c_str(), "", "", mode);
    std::string what = db.find("://") == std::string::npos ? " file" : "";
    if (mode == QEL_OPEN_READ && st == QEL_STATUS_NO_DATABASE_NAME)
      throw UsageError(shownDatabaseName(db) + ": no such repository" + what +
                       " (kova-repo init creates one)");
    if (st == QEL_STATUS_BAD_DATABASE)
      throw UsageError(shownDatabaseName(db) + ": not a KOVA repository" + what);
    check(st, "QELOpenRepository");
  }
};

/// The name of a code of one of the library's code sets, or null.
ordered_json codeName(int32_t codeSet, int32_t code) {
  const char* name = QELCodeName(codeSet, code);
  return name ? ordered_json(name) : ordered_json();
}

uint32_t requireSet(const std::string& name) {
  uint32_t set = findMessageSet(name);
  if (!set) throw UsageError("message set " + name + " not found");
  return set;
}

/// Refuses to change a repository file whose pages are damaged: a write
/// would spread the damage.  Names that are not SQLite files are left to the
/// back end.
void checkFileIntegrity(const std::string& db) {
  char header[16] = {};
  std::ifstream in(db, std::ios::binary);
  if (!in.read(header, sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) return;
  sqlite3* handle = nullptr;
  std::string verdict;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(handle, 2000);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(handle, "PRAGMA quick_check", -1, &st, nullptr) == SQLITE_OK) {
      int rc;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const unsigned char* line = sqlite3_column_text(st, 0);
        if (line != nullptr && std::strcmp(reinterpret_cast<const char*>(line), "ok") != 0) {
          verdict = reinterpret_cast<const char*>(line);
          break;
        }
      }
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) verdict = sqlite3_errmsg(handle);
    } else {
      verdict = sqlite3_errmsg(handle);
    }
    sqlite3_finalize(st);
  }
  sqlite3_close_v2(handle);
  if (!verdict.empty()) {
    throw UsageError("repository file " + db + " is damaged (" + verdict +
                     "); nothing was changed");
  }
}

/// Opens a message set for writing, runs `change`, commits.
template <typename F>
void changeSet(const std::string& db, const std::string& name, F change) {
  checkFileIntegrity(db);
  Connection c(db, Access::kChange);
  uint32_t set = requireSet(name);
  check(QELOpenProject(set, QEL_OPEN_WRITE), "QELOpenProject");
  try {
    change(set);
  } catch (...) {
    QELCloseProject(set, 0);
    throw;
  }
  check(QELCloseProject(set, 1), "QELCloseProject");
}

/// Asks on the terminal whether to go on; false for anything but y or yes.
bool confirmed(const std::string& question) {
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

// --- list ------------------------------------------------------------------

/// One row of list: a message set with its flags and counts.
struct SetSummary {
  std::string name;
  std::string identifier;
  bool finalised = false;
  bool locked = false;
  long lockCount = 0;
  size_t messages = 0, elements = 0, types = 0, values = 0;
};

std::vector<SetSummary> summaries() {
  std::vector<SetSummary> rows;
  uint32_t set = 0;
  int32_t st = QELGetFirstDefinition(0, QEL_CLASS_PROJECT, &set, 0);
  while (st == QEL_STATUS_OK) {
    RepositoryView view(set);
    rows.push_back(
        {view.nameOf(set), messageSetIdentifier(set), QELIsFinalised(set) == 1,
         QELIsLocked(set) == 1, lockCount(view), view.definitions(QEL_CLASS_MESSAGE).size(),
         view.definitions(QEL_CLASS_ELEMENT).size(), view.definitions(QEL_CLASS_TYPE).size(),
         view.definitions(QEL_CLASS_VALUE).size()});
    st = QELGetNextDefinition(set, 0, &set, QEL_WALK_NEXT, 0);
  }
  if (st != QEL_STATUS_NOT_FOUND) check(st, "QELGetNextDefinition");
  return rows;
}

void listSetsJson(const std::string& db) {
  Connection c(db, Access::kRead);
  ordered_json sets = ordered_json::array();
  for (const SetSummary& s : summaries())
    sets.push_back({{"name", s.name},
                    {"identifier", s.identifier},
                    {"finalised", s.finalised},
                    {"locked", s.locked},
                    {"lockCount", s.lockCount},
                    {"messages", s.messages},
                    {"elements", s.elements},
                    {"types", s.types},
                    {"values", s.values}});
  ordered_json out = {{"formatVersion", kJsonFormatVersion}, {"messageSets", sets}};
  std::cout << out.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
}

void listSets(const std::string& db) {
  Connection c(db, Access::kRead);
  std::printf("%-30s %-15s %-9s %-6s %-9s %8s %8s %6s %6s\n", "MESSAGE SET", "IDENTIFIER",
              "FINALISED", "LOCKED", "LOCKCOUNT", "MESSAGES", "ELEMENTS", "TYPES", "VALUES");
  for (const SetSummary& s : summaries())
    std::printf("%-30s %-15s %-9s %-6s %9ld %8zu %8zu %6zu %6zu\n", s.name.c_str(),
                s.identifier.c_str(), s.finalised ? "yes" : "no", s.locked ? "yes" : "no",
                s.lockCount, s.messages, s.elements, s.types, s.values);
}

// --- show ------------------------------------------------------------------

std::string occurrences(const Member& m) {
  std::string min = m.minOccurs.empty() ? "-" : m.minOccurs;
  std::string max = !m.maxOccurs.empty() ? m.maxOccurs : m.repeat ? "*" : "-";
  return "[" + min + ".." + max + "]";
}

/// One complex type whose members are being printed.
struct ShowFrame {
  std::vector<Member> members;
  size_t next = 0;
  int depth = 0;
};

// Prints the members of `root` and, below each, the members of its type.
// Each complex type is expanded once, where it first occurs; a later
// occurrence (also one inside the type itself) only refers back to it, so
// the output grows with the size of the message set and not with the number
// of paths through it.  The stack of open types is kept in a vector, so a
// deep nesting cannot overflow the call stack.
void showTree(const RepositoryView& view, uint32_t root, std::set<uint32_t>& shown) {
  std::vector<ShowFrame> stack;
  auto open = [&](uint32_t type, int depth) {
    shown.insert(type);
    stack.push_back(ShowFrame{view.members(type), 0, depth});
  };
  open(root, 1);
  while (!stack.empty()) {
    ShowFrame& frame = stack.back();
    if (frame.next == frame.members.size()) {
      stack.pop_back();
      continue;
    }
    const Member m = frame.members[frame.next++];
    const int depth = frame.depth;  // `frame` dangles once a type is opened
    std::string indent(static_cast<size_t>(depth) * 2, ' ');
    Definition child = view.definition(m.child);
    uint32_t expand = 0;
    std::string seen;
    if (child.defClass == QEL_CLASS_ELEMENT) {
      std::string xml = view.attribute(m.handle, QEL_PLUGIN_XML, QEL_XML_KEY_MEMBER_XML_NAME);
      if (xml.empty()) xml = view.attribute(child.handle, QEL_PLUGIN_XML, QEL_XML_KEY_XML_NAME);
      std::string typeName = view.nameOf(child.typeHandle);
      bool complex =
          child.typeHandle && view.definition(child.typeHandle).kind != QEL_TYPE_KIND_SIMPLE;
      if (complex && shown.count(child.typeHandle)) {
        seen = " (type " + typeName + ", shown above)";
      } else if (complex) {
        expand = child.typeHandle;
      }
      std::printf("%selement %s %s type %s%s%s\n", indent.c_str(), child.name.c_str(),
                  occurrences(m).c_str(), typeName.c_str(),
                  xml.empty() ? "" : (" xml \"" + xml + "\"").c_str(), seen.c_str());
      for (const Member& v : view.members(child.handle)) {
        Definition value = view.definition(v.child);
        std::printf("%s  value %s = \"%s\" role %d\n", indent.c_str(), value.name.c_str(),
                    value.valueText.c_str(), v.role);
      }
    } else {
      if (shown.count(child.handle)) {
        seen = " (shown above)";
      } else {
        expand = child.handle;
      }
      std::printf("%stype %s %s%s\n", indent.c_str(), child.name.c_str(), occurrences(m).c_str(),
                  seen.c_str());
    }
    if (expand) open(expand, depth + 1);
  }
}

void showSet(const std::string& db, const std::string& name, const std::string& message) {
  Connection c(db, Access::kRead);
  RepositoryView view(requireSet(name));
  bool shown = false;
  for (const Definition& m : view.definitions(QEL_CLASS_MESSAGE)) {
    if (!message.empty() && m.name != message) continue;
    shown = true;
    std::printf("message %s type %s\n", m.name.c_str(), view.nameOf(m.typeHandle).c_str());
    std::set<uint32_t> shown;  // per message: each tree reads on its own
    if (m.typeHandle) showTree(view, m.typeHandle, shown);
  }
  if (!shown)
    throw UsageError(message.empty() ? "message set " + name + " holds no message"
                                     : "message " + message + " not found in " + name);
}

// --- export ----------------------------------------------------------------

ordered_json keyName(const Attribute& a) {
  const char* name = QELAttrKeyName(a.plugin.c_str(), a.key);
  return name ? ordered_json(name) : ordered_json();
}

ordered_json attributesJson(const std::vector<Attribute>& attrs) {
  ordered_json list = ordered_json::array();
  for (const Attribute& a : attrs)
    list.push_back({{"plugin", a.plugin},
                    {"member", a.member},
                    {"key", a.key},
                    {"keyName", keyName(a)},
                    {"value", a.value}});
  return list;
}

ordered_json textOrNull(const std::string& s) {
  return s.empty() ? ordered_json() : ordered_json(s);
}

ordered_json nameOrNull(const RepositoryView& view, uint32_t h) {
  return h ? ordered_json(view.nameOf(h)) : ordered_json();
}

void exportSet(const std::string& db, const std::string& name) {
  Connection c(db, Access::kRead);
  RepositoryView view(requireSet(name));
  uint32_t set = view.set();
  ordered_json out;
  out["formatVersion"] = kJsonFormatVersion;
  out["messageSet"] = {{"name", view.nameOf(set)},
                       {"identifier", messageSetIdentifier(set)},
                       {"finalised", QELIsFinalised(set) != 0},
                       {"locked", QELIsLocked(set) != 0},
                       {"lockCount", lockCount(view)}};
  ordered_json plugins = ordered_json::array();
  for (const PluginMember& p : view.pluginMembers())
    plugins.push_back({{"plugin", p.plugin}, {"member", p.member}});
  out["plugins"] = plugins;
  out["setAttributes"] = attributesJson(view.attributes(set));

  ordered_json types = ordered_json::array();
  for (const Definition& t : view.definitions(QEL_CLASS_TYPE)) {
    ordered_json members = ordered_json::array();
    for (const Member& m : view.members(t.handle)) {
      Definition child = view.definition(m.child);
      members.push_back({{"class", codeName(QEL_CODES_CLASS, child.defClass)},
                         {"child", child.name},
                         {"repeat", m.repeat != 0},
                         {"minOccurs", textOrNull(m.minOccurs)},
                         {"maxOccurs", textOrNull(m.maxOccurs)},
                         {"attributes", attributesJson(view.attributes(m.handle))}});
    }
    types.push_back({{"name", t.name},
                     {"secondName", t.secondName},
                     {"kind", t.kind},
                     {"kindName", codeName(QEL_CODES_TYPE_KIND, t.kind)},
                     {"baseType", nameOrNull(view, t.baseHandle)},
                     {"composition", t.composition},
                     {"compositionName", codeName(QEL_CODES_COMPOSITION, t.composition)},
                     {"content", t.content},
                     {"contentName", codeName(QEL_CODES_CONTENT, t.content)},
                     {"members", members},
                     {"attributes", attributesJson(view.attributes(t.handle))}});
  }
  out["types"] = types;

  ordered_json elements = ordered_json::array();
  for (const Definition& e : view.definitions(QEL_CLASS_ELEMENT)) {
    ordered_json values = ordered_json::array();
    for (const Member& v : view.members(e.handle))
      values.push_back({{"value", view.nameOf(v.child)},
                        {"role", v.role},
                        {"roleName", codeName(QEL_CODES_ROLE, v.role)}});
    elements.push_back({{"name", e.name},
                        {"secondName", e.secondName},
                        {"type", nameOrNull(view, e.typeHandle)},
                        {"attributes", attributesJson(view.attributes(e.handle))},
                        {"values", values}});
  }
  out["elements"] = elements;

  ordered_json values = ordered_json::array();
  for (const Definition& v : view.definitions(QEL_CLASS_VALUE))
    values.push_back({{"name", v.name},
                      {"secondName", v.secondName},
                      {"type", nameOrNull(view, v.typeHandle)},
                      {"value", v.valueText}});
  out["values"] = values;

  ordered_json messages = ordered_json::array();
  for (const Definition& m : view.definitions(QEL_CLASS_MESSAGE))
    messages.push_back({{"name", m.name},
                        {"secondName", m.secondName},
                        {"type", nameOrNull(view, m.typeHandle)},
                        {"attributes", attributesJson(view.attributes(m.handle))}});
  out["messages"] = messages;
  // Names are stored as given; bytes that are not UTF-8 are shown as U+FFFD
  // so that the output stays JSON.
  std::cout << out.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
}

// --- changes ---------------------------------------------------------------

void addLayer(const std::string& db, const std::string& name, const std::string& kind,
              const std::string& layer) {
  const char* plugin = kind == "xml"   ? QEL_PLUGIN_XML
                       : kind == "cwf" ? QEL_PLUGIN_CWF
                       : kind == "tds" ? QEL_PLUGIN_TDS
                                       : nullptr;
  if (!plugin) throw UsageError("layer kind must be xml, cwf or tds, not " + kind);
  changeSet(db, name, [&](uint32_t set) {
    uint32_t p = 0, member = 0;
    check(QELFindDefinition(0, QEL_CLASS_PLUGIN, &p, plugin), "QELFindDefinition");
    char record[QEL_PLUGIN_MEMBER_SIZE];
    check(QELGetDefaultMemberDetails2(set, p, QEL_POSITION_APPEND, record, sizeof record),
          "QELGetDefaultMemberDetails2");
    if (layer.size() >= QEL_NAME_SIZE) throw UsageError("layer name too long");
    std::memcpy(record + QEL_OFF_MEMBER_NAME, layer.c_str(), layer.size() + 1);
    check(QELInsertMember2(set, p, QEL_POSITION_APPEND, record, &member), "QELInsertMember2");
  });
  std::printf("Layer %s (%s) added to %s\n", layer.c_str(), plugin, name.c_str());
}

void setInUse(const std::string& db, const std::string& name, long count) {
  changeSet(db, name, [&](uint32_t set) {
    RepositoryView view(set);
    uint32_t webdav = 0;
    for (const PluginMember& p : view.pluginMembers())
      if (p.plugin == QEL_PLUGIN_WEBDAV && !webdav) webdav = p.handle;
    if (!webdav) throw UsageError("message set " + name + " has no WebDav plug-in member");
    char ref[QEL_ATTR_REF_SIZE] = {};
    int32_t key = QEL_WEBDAV_KEY_LOCK_COUNT;
    std::memcpy(ref + QEL_OFF_ATTR_PLUGIN, &webdav, sizeof webdav);
    std::memcpy(ref + QEL_OFF_ATTR_KEY, &key, sizeof key);
    check(QELSetAttrValue(set, ref, std::to_string(count).c_str()), "QELSetAttrValue");
  });
  std::printf("Lock count of %s set to %ld\n", name.c_str(), count);
}

/// Deletes a message set: with --yes at once, on a terminal after asking,
/// and otherwise not at all.
void deleteSet(const std::string& db, const std::string& name, bool yes) {
  if (!yes) {
    {
      Connection c(db, Access::kRead);
      requireSet(name);
    }
    if (!isatty(STDIN_FILENO))
      throw UsageError("delete removes message set " + name +
                       " with everything in it; give --yes to confirm when not on a terminal");
    if (!confirmed("Delete message set " + name + " in " + db + " with everything in it?")) {
      std::printf("Message set %s kept\n", name.c_str());
      return;
    }
  }
  changeSet(db, name, [&](uint32_t h) { check(QELDeleteProject(h), "QELDeleteProject"); });
  std::printf("Message set %s deleted\n", name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Inspect and administer a KOVA message-set repository."};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("kova-repo ") + kToolVersion);
  std::string db, set, message, kind, layer;
  long count = 0;
  bool json = false, yes = false;

  auto withDb = [&](CLI::App* cmd) {
    cmd->add_option("DB", db, "repository file, or postgresql://host[:port]/dbname[?params]")
        ->required();
  };
  auto withSet = [&](CLI::App* cmd) {
    withDb(cmd);
    cmd->add_option("SET", set, "message set name")->required();
  };

  CLI::App* init =
      app.add_subcommand("init", "create a repository file (or check an existing one)");
  withDb(init);
  CLI::App* list = app.add_subcommand("list", "list the message sets with flags and counts");
  withDb(list);
  list->add_flag("--json", json, "write the list as JSON");
  CLI::App* show = app.add_subcommand("show", "print the messages of a message set as trees");
  withSet(show);
  show->add_option("MESSAGE", message, "only this message");
  CLI::App* exp = app.add_subcommand("export", "write a message set as JSON on standard output");
  withSet(exp);
  CLI::App* lock = app.add_subcommand("lock", "mark a message set locked");
  withSet(lock);
  CLI::App* unlock = app.add_subcommand("unlock", "clear the locked mark of a message set");
  withSet(unlock);
  CLI::App* finalise = app.add_subcommand("finalise", "mark a message set finalised");
  withSet(finalise);
  CLI::App* inUse = app.add_subcommand("in-use", "set the lock count of a message set");
  withSet(inUse);
  inUse->add_option("N", count, "lock count")->required()->check(CLI::NonNegativeNumber);
  CLI::App* addLayerCmd = app.add_subcommand("add-layer", "add a wire-format layer");
  withSet(addLayerCmd);
  addLayerCmd->add_option("KIND", kind, "xml, cwf or tds")
      ->required()
      ->check(CLI::IsMember({"xml", "cwf", "tds"}));
  addLayerCmd->add_option("NAME", layer, "layer name")->required();
  CLI::App* del = app.add_subcommand("delete", "delete a message set with everything in it");
  withSet(del);
  del->add_flag("-y,--yes", yes, "delete without asking");

  std::string dest;
  CLI::App* copy = app.add_subcommand("copy", "copy a message set into another repository");
  copy->add_option("SOURCE", db, "repository to copy from")->required();
  copy->add_option("DEST", dest, "repository to copy into (the set must not be there)")
      ->required();
  copy->add_option("SET", set, "message set name")->required();

  // A first word that is no command is named, with the commands there are.
  std::string names;
  bool known = false;
  for (const CLI::App* cmd : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + cmd->get_name();
    known = known || (argc > 1 && cmd->get_name() == argv[1]);
  }
  if (argc > 1 && argv[1][0] != '-' && !known) {
    std::fprintf(stderr, "kova-repo: unknown command %s; the commands are %s\n", argv[1],
                 names.c_str());
    return static_cast<int>(CLI::ExitCodes::ExtrasError);
  }

  CLI11_PARSE(app, argc, argv);

  try {
    if (*init) {
      Connection c(db, Access::kCreate);
      std::printf("Repository %s ready\n", shownDatabaseName(db).c_str());
    } else if (*list) {
      json ? listSetsJson(db) : listSets(db);
    } else if (*show) {
      showSet(db, set, message);
    } else if (*exp) {
      exportSet(db, set);
    } else if (*lock || *unlock) {
      changeSet(db, set,
                [&](uint32_t h) { check(QELSetLocked(h, *lock ? 1 : 0), "QELSetLocked"); });
      std::printf("Message set %s %s\n", set.c_str(), *lock ? "locked" : "unlocked");
    } else if (*finalise) {
      changeSet(db, set, [&](uint32_t h) { check(QELSetFinalised(h, 1), "QELSetFinalised"); });
      std::printf("Message set %s finalised\n", set.c_str());
    } else if (*inUse) {
      setInUse(db, set, count);
    } else if (*addLayerCmd) {
      addLayer(db, set, kind, layer);
    } else if (*copy) {
      copySet(db, dest, set);
      std::printf("Message set %s copied\n", set.c_str());
    } else if (*del) {
      deleteSet(db, set, yes);
    }
  } catch (const std::runtime_error& e) {  // usage errors and copy's own
    std::fprintf(stderr, "kova-repo: %s\n", e.what());
    char reason[1024];
    if (QELGetLastErrorText(reason, sizeof reason) > 0)
      std::fprintf(stderr, "kova-repo: the repository database reports: %s\n", reason);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kova-repo: %s\n", e.what());
    return 1;
  }
  return 0;
}
