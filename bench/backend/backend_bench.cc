// backend_bench: writes one large message set in one transaction, as an
// import of a big schema would, and reports the time.
//
// At scale 1: 20,000 types, 100,000 elements, 120,000 type members and
// 300,000 attribute values (an XML name and a C name per element, an XML
// name per member for 100,000 members), then the commit.  Every fifth
// element is typed by the next type, so the types nest 20,000 deep and the
// containment check works on a long chain.  The run is repeated at smaller
// scales to show how the time grows, and once more with the types created
// in reverse order (inner types first), which the containment check must
// handle as cheaply.
//
// Usage: backend_bench [scale...]   (default: 0.25 0.5 1)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qelbeapi.h"

namespace {

void check(int32_t st, const char* what) {
  if (st != 0) {
    std::fprintf(stderr, "%s failed with status %d\n", what, st);
    std::exit(1);
  }
}

double since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

struct Counts {
  int types, elements, members, attributes;
};

double runOnce(double scale, const std::string& path, bool reversed) {
  const int nTypes = static_cast<int>(20000 * scale);
  const int nElements = nTypes * 5;
  unlink(path.c_str());
  check(QELOpenRepository(path.c_str(), "", ""), "QELOpenRepository");
  auto start = std::chrono::steady_clock::now();

  std::vector<char> d(QEL_PROJECT_DETAILS_SIZE);
  QELGetDefaultDetails(QEL_CLASS_PROJECT, d.data(), QEL_PROJECT_DETAILS_SIZE);
  std::strcpy(d.data() + QEL_OFF_PROJECT_NAME, "Bench");
  uint32_t set = 0, str = 0, c = 0, xml = 0, xmlPlugin = 0;
  check(QELCreateProject(&set, d.data()), "QELCreateProject");
  check(QELFindDefinition(set, QEL_CLASS_TYPE, &str, "STRING"), "QELFindDefinition");
  check(QELFindDefinition(0, QEL_CLASS_PLUGIN, &xmlPlugin, QEL_PLUGIN_XML), "QELFindDefinition");
  char pm[QEL_PLUGIN_MEMBER_SIZE];
  QELGetDefaultMemberDetails2(set, xmlPlugin, -1, pm, sizeof pm);
  std::strcpy(pm + QEL_OFF_MEMBER_NAME, "XML1");
  check(QELInsertMember2(set, xmlPlugin, -1, pm, &xml), "QELInsertMember2");
  for (int32_t st = QELGetNextDefinition(set, 0, &c, QEL_WALK_PLUGIN_MEMBER, 0); st == 0;
       st = QELGetNextDefinition(c, set, &c, QEL_WALK_NEXT, 0)) {
    char p[QEL_PLUGIN_DETAILS_SIZE];
    QELGetDetails(c, nullptr, p, sizeof p);
    if (std::strcmp(p + QEL_OFF_PLUGIN_NAME, QEL_PLUGIN_C) == 0) break;
  }

  std::vector<uint32_t> types(static_cast<size_t>(nTypes)),
      elements(static_cast<size_t>(nElements));
  std::vector<char> t(QEL_TYPE_DETAILS_SIZE), e(QEL_ELEMENT_DETAILS_SIZE);
  for (int n = 0; n < nTypes; ++n) {
    int i = reversed ? nTypes - 1 - n : n;
    QELGetDefaultDetails(QEL_CLASS_TYPE, t.data(), QEL_TYPE_DETAILS_SIZE);
    std::snprintf(t.data() + QEL_OFF_NAME, QEL_NAME_SIZE, "Type%d", i);
    std::snprintf(t.data() + QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, "Type%d", i);
    int32_t composition = 6;
    std::memcpy(t.data() + QEL_OFF_COMPOSITION, &composition, 4);
    check(QELCreateType(set, &types[static_cast<size_t>(i)], t.data()), "QELCreateType");
  }
  double tTypes = since(start);
  for (int k = 0; k < nElements; ++k) {
    QELGetDefaultDetails(QEL_CLASS_ELEMENT, e.data(), QEL_ELEMENT_DETAILS_SIZE);
    std::snprintf(e.data() + QEL_OFF_NAME, QEL_NAME_SIZE, "Type%d^elem%d", k / 5, k);
    std::snprintf(e.data() + QEL_OFF_SECOND_NAME, QEL_NAME_SIZE, "elem%d", k);
    uint32_t type =
        (k % 5 == 4 && k / 5 + 1 < nTypes) ? types[static_cast<size_t>(k / 5 + 1)] : str;
    std::memcpy(e.data() + QEL_OFF_TYPE_HANDLE, &type, 4);
    check(QELCreateElement(set, &elements[static_cast<size_t>(k)], e.data()), "QELCreateElement");
  }
  double tElements = since(start);
  char ref[QEL_ATTR_REF_SIZE] = {};
  auto setRef = [&ref](uint32_t plugin, int32_t key) {
    std::memcpy(ref + QEL_OFF_ATTR_PLUGIN, &plugin, 4);
    std::memcpy(ref + QEL_OFF_ATTR_KEY, &key, 4);
  };
  char name[64];
  int attributes = 0, members = 0;
  for (int k = 0; k < nElements; ++k) {
    std::snprintf(name, sizeof name, "elem%d", k);
    setRef(xml, 30);
    check(QELSetAttrValue(elements[static_cast<size_t>(k)], ref, name), "QELSetAttrValue");
    setRef(c, 8);
    check(QELSetAttrValue(elements[static_cast<size_t>(k)], ref, name), "QELSetAttrValue");
    attributes += 2;
  }
  double tAttrs = since(start);
  std::vector<char> m(QEL_TYPE_MEMBER_SIZE);
  const int memberAttrs = nElements;
  for (int i = 0; i < nTypes; ++i) {
    for (int j = 0; j < 6; ++j) {
      int k = j < 5 ? 5 * i + j : (5 * (i + 1)) % nElements;
      uint32_t parent = types[static_cast<size_t>(i)], child = elements[static_cast<size_t>(k)];
      QELGetDefaultMemberDetails2(parent, child, -1, m.data(), QEL_TYPE_MEMBER_SIZE);
      std::strcpy(m.data() + QEL_OFF_MEMBER_MIN, "0");
      int16_t repeat = j == 5;
      std::memcpy(m.data() + QEL_OFF_MEMBER_REPEAT, &repeat, 2);
      if (!repeat) std::strcpy(m.data() + QEL_OFF_MEMBER_MAX, "1");
      uint32_t member = 0;
      check(QELInsertMember2(parent, child, -1, m.data(), &member), "QELInsertMember2");
      if (members++ < memberAttrs) {
        setRef(xml, 100);
        std::snprintf(name, sizeof name, "m%d", members);
        check(QELSetMemberAttrValue(parent, member, ref, name), "QELSetMemberAttrValue");
        ++attributes;
      }
    }
  }
  double tMembers = since(start);
  check(QELCloseProject(set, 1), "QELCloseProject");
  double total = since(start);
  check(QELCloseRepository(), "QELCloseRepository");
  std::printf(
      "%sscale %.2f: %d types, %d elements, %d members, %d attribute values: "
      "types %.2fs, elements %.2fs, attributes %.2fs, members %.2fs, commit %.2fs, total %.2fs\n",
      reversed ? "reversed types, " : "", scale, nTypes, nElements, members, attributes, tTypes,
      tElements - tTypes, tAttrs - tElements, tMembers - tAttrs, total - tMembers, total);
  unlink(path.c_str());
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<double> scales;
  for (int i = 1; i < argc; ++i) scales.push_back(std::atof(argv[i]));
  if (scales.empty()) scales = {0.25, 0.5, 1.0};
  std::string path = "/tmp/kova_backend_bench_" + std::to_string(getpid()) + ".db";
  double first = 0, firstScale = 0;
  for (double s : scales) {
    double t = runOnce(s, path, false);
    if (first == 0) {
      first = t;
      firstScale = s;
    } else {
      std::printf("  time per unit of scale: %.2fs (%.2fx the first run's)\n", t / s,
                  (t / s) / (first / firstScale));
    }
  }
  runOnce(scales.back(), path, true);
  return 0;
}
