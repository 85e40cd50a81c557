// Helpers of the back-end tests.
#include "backend_test_support.h"

Record attrRef(uint32_t pluginMember, int32_t key) {
  Record r(QEL_ATTR_REF_SIZE);
  r.set<uint32_t>(QEL_OFF_ATTR_PLUGIN, pluginMember);
  r.set<int32_t>(QEL_OFF_ATTR_KEY, key);
  return r;
}

Record setDetails(const std::string& name) {
  Record d(QEL_PROJECT_DETAILS_SIZE);
  EXPECT_EQ(QELGetDefaultDetails(QEL_CLASS_PROJECT, d.data(), d.size()), 0);
  d.setText(QEL_OFF_PROJECT_NAME, name);
  return d;
}

Record details(uint32_t h, int32_t size) {
  Record d(size);
  EXPECT_EQ(QELGetDetails(h, nullptr, d.data(), d.size()), 0) << h;
  return d;
}

std::string attrValue(uint32_t component, Record& ref) {
  char buf[255];
  int32_t st = QELGetAttrValue(component, ref.data(), buf, sizeof buf);
  return st == 0 ? std::string(buf) : "status " + std::to_string(st);
}

ProgramRun runKovaRepo(const std::string& args, const std::string& libraryDir) {
  std::string command = std::string(KOVA_REPO_PATH) + " </dev/null " + args;
  if (!libraryDir.empty()) command = "LD_LIBRARY_PATH=" + shellWord(libraryDir) + " " + command;
  return runCommand(command);
}

void BackendTest::SetUp() {
  KOVA_SKIP_WITHOUT_STORE(GetParam());
  dir_ = makeTempDir();
  db_ = GetParam() == Store::kFile ? dir_ + "/repo.db" : serverTestRepository(&schema_);
  ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
}

void BackendTest::TearDown() {
  QELCloseRepository();
  dropServerTestSchema(schema_);
}

INSTANTIATE_TEST_SUITE_P(Stores, BackendTest, kBothStores, storeName);

void BackendTest::reconnect() {
  ASSERT_EQ(QELCloseRepository(), 0);
  ASSERT_EQ(QELOpenRepository(db_.c_str(), "", ""), 0);
}

namespace {
/// Default details of a definition class with both names set to `name`.
Record named(int32_t defClass, int32_t size, const std::string& name) {
  Record d(size);
  QELGetDefaultDetails(defClass, d.data(), d.size());
  d.setText(QEL_OFF_NAME, name);
  d.setText(QEL_OFF_SECOND_NAME, name);
  return d;
}
}  // namespace

uint32_t BackendTest::createSet(const std::string& name) {
  Record d = setDetails(name);
  uint32_t h = 0;
  EXPECT_EQ(QELCreateProject(&h, d.data()), 0);
  return h;
}

uint32_t BackendTest::committedSet(const std::string& name) {
  uint32_t set = createSet(name);
  commit(set);
  return set;
}

int32_t BackendTest::findSet(const std::string& name, uint32_t* handle) {
  Record d = setDetails(name);
  d.set<int16_t>(QEL_OFF_PROJECT_KEY_WORD, 1);
  return QELFindProject(handle, static_cast<char*>(d.data()) + QEL_OFF_PROJECT_NAME, 1);
}

int32_t BackendTest::createType(uint32_t set, const std::string& name, uint32_t* out, uint32_t base,
                                int32_t kind) {
  Record d = named(QEL_CLASS_TYPE, QEL_TYPE_DETAILS_SIZE, name);
  d.setText(QEL_OFF_SECOND_NAME, name.substr(0, 200) + "_second");
  d.set<int32_t>(QEL_OFF_TYPE_KIND, kind);
  d.set<int32_t>(QEL_OFF_COMPOSITION, 6);
  d.set<int32_t>(QEL_OFF_CONTENT, 1);
  if (base) d.set<uint32_t>(QEL_OFF_BASE_TYPE, base);
  return QELCreateType(set, out, d.data());
}

int32_t createElement(uint32_t set, const std::string& name, uint32_t type, uint32_t* out) {
  Record d = named(QEL_CLASS_ELEMENT, QEL_ELEMENT_DETAILS_SIZE, name);
  d.set<uint32_t>(QEL_OFF_TYPE_HANDLE, type);
  return QELCreateElement(set, out, d.data());
}

int32_t BackendTest::createValue(uint32_t set, const std::string& name, const std::string& text,
                                 uint32_t type, uint32_t* out) {
  Record d = named(QEL_CLASS_VALUE, QEL_VALUE_DETAILS_SIZE, name);
  d.setText(QEL_OFF_VALUE_TEXT, text);
  d.set<uint32_t>(QEL_OFF_TYPE_HANDLE, type);
  return QELCreateValue(set, out, d.data());
}

int32_t BackendTest::createMessage(uint32_t set, const std::string& name, uint32_t type,
                                   uint32_t* out) {
  Record d = named(QEL_CLASS_MESSAGE, QEL_MESSAGE_DETAILS_SIZE, name);
  d.set<uint32_t>(QEL_OFF_TYPE_HANDLE, type);
  return QELCreateMessage(set, out, d.data());
}

int32_t BackendTest::insertTypeMember(uint32_t type, uint32_t child, const std::string& min,
                                      const std::string& max, int16_t repeat, uint32_t* out) {
  Record m(QEL_TYPE_MEMBER_SIZE);
  int32_t st = QELGetDefaultMemberDetails2(type, child, -1, m.data(), m.size());
  if (st != 0) return st;
  m.set<int16_t>(QEL_OFF_MEMBER_REPEAT, repeat);
  if (!min.empty()) m.setText(QEL_OFF_MEMBER_MIN, min);
  if (!max.empty()) m.setText(QEL_OFF_MEMBER_MAX, max);
  return QELInsertMember2(type, child, -1, m.data(), out);
}

int32_t BackendTest::insertValueMember(uint32_t element, uint32_t value, int32_t role,
                                       uint32_t* out) {
  Record m(QEL_VALUE_MEMBER_SIZE);
  int32_t st = QELGetDefaultMemberDetails2(element, value, -1, m.data(), m.size());
  if (st != 0) return st;
  m.set<int32_t>(QEL_OFF_MEMBER_ROLE, role);
  return QELInsertMember2(element, value, -1, m.data(), out);
}

int32_t BackendTest::addLayer(uint32_t set, const char* plugin, const std::string& name,
                              uint32_t* out) {
  uint32_t p = 0;
  int32_t st = QELFindDefinition(0, QEL_CLASS_PLUGIN, &p, plugin);
  if (st != 0) return st;
  Record m(QEL_PLUGIN_MEMBER_SIZE);
  if ((st = QELGetDefaultMemberDetails2(set, p, -1, m.data(), m.size())) != 0) return st;
  m.setText(QEL_OFF_MEMBER_NAME, name);
  return QELInsertMember2(set, p, -1, m.data(), out);
}

uint32_t BackendTest::found(uint32_t set, int32_t defClass, const char* name) {
  uint32_t h = 0;
  EXPECT_EQ(QELFindDefinition(set, defClass, &h, name), 0) << name;
  return h;
}

uint32_t BackendTest::pluginMember(uint32_t set, const char* plugin) {
  uint32_t h = 0;
  for (int32_t st = QELGetNextDefinition(set, 0, &h, QEL_WALK_PLUGIN_MEMBER, 0); st == 0;
       st = QELGetNextDefinition(h, set, &h, QEL_WALK_NEXT, 0)) {
    if (details(h, QEL_PLUGIN_DETAILS_SIZE).text(QEL_OFF_PLUGIN_NAME) == plugin) return h;
  }
  return 0;
}

std::vector<std::string> BackendTest::walkNames(uint32_t set, int32_t defClass) {
  std::vector<std::string> names;
  uint32_t h = 0;
  int32_t st = QELGetFirstDefinition(set, defClass, &h, 0);
  while (st == 0) {
    Record d(QEL_PLUGIN_DETAILS_SIZE);  // the largest details record
    EXPECT_EQ(QELGetDetails(h, &defClass, d.data(), d.size()), 0);
    names.push_back(d.text(QEL_OFF_NAME));
    st = QELGetNextDefinition(h, 0, &h, QEL_WALK_NEXT, 0);
  }
  EXPECT_EQ(st, -4);
  return names;
}
