// Times the model phase (element descent, completion, recursion check) over a
// generated schema of N global complex types, for N = 1,000, 10,000 and
// 100,000, and prints the times and the ratio of each size to the one before.
// The model should grow linearly: ten times N at most twelve times the time.
//
// Each type T<i> is a sequence of ten local elements: the first references the
// next type T<i+1> except at the end of a run of 25 types (the element nesting
// of a schema is limited to 50 levels), one has a global simple type with
// three enumerations of its own, one an anonymous simple type with a length
// facet, the others built-in types; each type has two attributes, one of them
// with a default value.  The root element's type holds one element for the
// first type of each run, so that every type is reachable.  The tags are made
// directly in the tags table: the benchmark times the model, not the parser.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "catalogue.h"
#include "model_builder.h"
#include "model_tables.h"
#include "parameters.h"
#include "run_driver.h"
#include "run_state.h"
#include "xml_tags.h"

namespace {

int32_t addTag(int32_t parent, uint8_t kind, const char* tagName) {
  int32_t id = tagsTable.tags.add();
  XmlTag& t = tagsTable.tags[id];
  t.tagName = insertName(tagName);
  t.elemType = kind;
  t.schemaId = 1;
  t.parent = parent;
  t.minOccurs = kOccursNotGiven;
  t.maxOccurs = kOccursNotGiven;
  XmlTag& p = tagsTable.tags[parent];
  if (p.firstChild == 0) {
    p.firstChild = id;
  } else {
    int32_t last = p.lastChild;
    tagsTable.tags[last].nextSibling = id;
    tagsTable.tags[id].prevSibling = last;
  }
  tagsTable.tags[parent].lastChild = id;
  return id;
}

void named(int32_t id, const std::string& name) {
  NameRef ref = insertName(name);
  tagsTable.tags[id].name = ref;
  tagsTable.tags[id].xmlName = ref;
}

constexpr int32_t kRunLength = 25;

/// Builds the schema of `n` types into the tags table; returns the root tag.
int32_t generateSchema(int32_t n) {
  int32_t schema = addTag(0, kTagSchema, "schema");
  int32_t root = addTag(schema, kTagElement, "element");
  named(root, "root");
  int32_t rootType = addTag(root, kTagComplexType, "complexType");
  int32_t rootSequence = addTag(rootType, kTagSequence, "sequence");
  for (int32_t i = 0; i < n; i += kRunLength) {
    int32_t element = addTag(rootSequence, kTagElement, "element");
    named(element, "run" + std::to_string(i));
    tagsTable.tags[element].type = insertName("T" + std::to_string(i));
  }
  for (int32_t i = 0; i < n; ++i) {
    std::string type = "T" + std::to_string(i);
    int32_t complexType = addTag(schema, kTagComplexType, "complexType");
    named(complexType, type);
    int32_t sequence = addTag(complexType, kTagSequence, "sequence");
    for (int32_t e = 0; e < 10; ++e) {
      int32_t element = addTag(sequence, kTagElement, "element");
      named(element, "e" + std::to_string(e));
      XmlTag& t = tagsTable.tags[element];
      if (e == 0 && (i + 1) % kRunLength != 0 && i + 1 < n) {
        t.type = insertName("T" + std::to_string(i + 1));
        t.minOccurs = 0;
      } else if (e == 2) {
        t.type = insertName("Code" + std::to_string(i));
      } else if (e == 3) {
        int32_t simpleType = addTag(element, kTagSimpleType, "simpleType");
        int32_t restriction = addTag(simpleType, kTagRestriction, "restriction");
        tagsTable.tags[restriction].baseDataType = kDtString;
        int32_t length = addTag(restriction, kTagLength, "length");
        tagsTable.tags[length].value = insertName("12");
      } else {
        t.dataType = static_cast<uint8_t>(e % 2 == 0 ? kDtString : kDtDecimal);
        if (e == 9) t.maxOccurs = kOccursUnbounded;
      }
    }
    for (int32_t a = 0; a < 2; ++a) {
      int32_t attribute = addTag(complexType, kTagAttribute, "attribute");
      named(attribute, "a" + std::to_string(a));
      tagsTable.tags[attribute].dataType = kDtString;
      if (a == 0) tagsTable.tags[attribute].useFlags = kUseRequired;
      if (a == 1) tagsTable.tags[attribute].defaultValue = insertName("x");
    }
    int32_t simpleType = addTag(schema, kTagSimpleType, "simpleType");
    named(simpleType, "Code" + std::to_string(i));
    int32_t restriction = addTag(simpleType, kTagRestriction, "restriction");
    tagsTable.tags[restriction].baseDataType = kDtString;
    for (const char* v : {"A", "B", "C"}) {
      int32_t enumeration = addTag(restriction, kTagEnumeration, "enumeration");
      tagsTable.tags[enumeration].value = insertName(v);
    }
  }
  return root;
}

struct Result {
  double seconds = 0;     ///< elapsed (steady clock)
  double cpuSeconds = 0;  ///< CPU time of the process (user + system)
  int32_t elements = 0;
  int32_t types = 0;
  int32_t values = 0;
  long pageFaults = 0;  ///< minor page faults taken during the model phase
};

Result timeModel(int32_t n) {
  resetProcessState();
  initialiseCatalogue();
  tagsTable.allocate(8192);
  modelTables.allocate(8192, 8192, 4096, 8192);
  int32_t root = generateSchema(n);
  struct rusage before;
  getrusage(RUSAGE_SELF, &before);
  timespec cpuStart{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
  auto start = std::chrono::steady_clock::now();
  int32_t rootElem = processElement(root, 0);
  createXsiAttributes(rootElem);
  createExtraTypes();
  resetElementStack();
  if (rootElem > 0) checkRecursion(modelTables.elements[rootElem].typeId);
  auto end = std::chrono::steady_clock::now();
  timespec cpuEnd{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
  struct rusage after;
  getrusage(RUSAGE_SELF, &after);
  Result r;
  r.pageFaults = after.ru_minflt - before.ru_minflt;
  r.seconds = std::chrono::duration<double>(end - start).count();
  r.cpuSeconds = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                 static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) * 1e-9;
  r.elements = modelTables.elements.count();
  r.types = modelTables.types.count();
  r.values = modelTables.values.count();
  if (run.errSw) std::printf("model phase reported an error for N = %d\n", n);
  return r;
}

/// Runs timeModel in a child process, so that every measurement starts from a
/// fresh heap as a real run does (a heap warmed by earlier runs would hide
/// the page faults of the growing tables for the smaller sizes only).
Result timeInFreshProcess(int32_t n) {
  int fds[2];
  if (pipe(fds) != 0) return timeModel(n);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Result r = timeModel(n);
    ssize_t written = write(fds[1], &r, sizeof r);
    _exit(written == sizeof r ? 0 : 1);
  }
  close(fds[1]);
  Result r;
  ssize_t got = read(fds[0], &r, sizeof r);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != sizeof r) r.seconds = -1;
  return r;
}

}  // namespace

/// Without arguments: the three sizes.  With one argument: that size only.
int main(int argc, char** argv) {
  std::vector<int32_t> sizes = {1000, 10000, 100000};
  if (argc > 1) sizes = {std::atoi(argv[1])};
  double previous = 0;
  double previousCpu = 0;
  bool cpuLinear = true;
  bool linear = true;
  std::printf("%8s %10s %10s %9s %9s %10s %11s %7s %7s\n", "N", "elapsed", "cpu", "elements",
              "types", "values", "page faults", "ratio", "cpu");
  for (int32_t n : sizes) {
    Result best;
    for (int repeat = 0; repeat < 5; ++repeat) {
      Result r = timeInFreshProcess(n);
      if (repeat == 0 || r.seconds < best.seconds) best = r;
      if (r.cpuSeconds < best.cpuSeconds) best.cpuSeconds = r.cpuSeconds;
    }
    double ratio = previous > 0 ? best.seconds / previous : 0;
    double cpuRatio = previousCpu > 0 ? best.cpuSeconds / previousCpu : 0;
    if (previous > 0 && ratio > 12.0) linear = false;
    if (previousCpu > 0 && cpuRatio > 12.0) cpuLinear = false;
    std::printf("%8d %10.4f %10.4f %9d %9d %10d %11ld %7.2f %7.2f\n", n, best.seconds,
                best.cpuSeconds, best.elements, best.types, best.values, best.pageFaults, ratio,
                cpuRatio);
    previous = best.seconds;
    previousCpu = best.cpuSeconds;
  }
  std::printf("elapsed: %s\n", linear ? "linear (each tenfold N at most twelve times as long)"
                                      : "NOT linear (a tenfold N more than twelve times as long)");
  std::printf("cpu:     %s\n", cpuLinear
                                   ? "linear (each tenfold N at most twelve times as long)"
                                   : "NOT linear (a tenfold N more than twelve times as long)");
  resetProcessState();
  return linear ? 0 : 1;
}
