// name_table_bench: the cost of the name table as the pool grows.
//
// For one million and for two million distinct names, inserts every name
// into a fresh table and then finds each once, and prints both times and
// their ratio.  The table is meant to cost the same per name whatever its
// size, so doubling the names should roughly double the time.
//
// Usage: name_table_bench [count]   (default 1000000; the second run is twice that)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "name_table.h"
#include "run_state.h"

namespace {

/// Names shaped like those of real schemas: a prefix, a word and a number.
std::vector<std::string> makeNames(int32_t count) {
  static const char* const kWords[] = {"Order", "Party", "Address", "Amount", "Identifier",
                                       "LineItem", "Delivery", "TaxTotal", "Contact", "Note"};
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    names.push_back("cbc:" + std::string(kWords[i % 10]) + "Type" + std::to_string(i));
  }
  return names;
}

/// Seconds to insert all names into a fresh table and find each once.
double timeRun(const std::vector<std::string>& names) {
  nameTable.allocate();
  auto start = std::chrono::steady_clock::now();
  for (const std::string& n : names) insertName(n.c_str());
  int64_t check = 0;
  for (const std::string& n : names) check += findName(n.c_str());
  auto end = std::chrono::steady_clock::now();
  if (check <= 0 || run.errSw) {
    std::fprintf(stderr, "name table failed (errSw=%d)\n", run.errSw);
    std::exit(1);
  }
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int32_t count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  if (count <= 0) count = 1000000;
  std::vector<std::string> small = makeNames(count);
  std::vector<std::string> large = makeNames(count * 2);
  double t1 = timeRun(small);
  std::printf("%d names: insert + find %.3f s (pool %d bytes)\n", count, t1, nameTable.capacity);
  double t2 = timeRun(large);
  std::printf("%d names: insert + find %.3f s (pool %d bytes)\n", count * 2, t2, nameTable.capacity);
  std::printf("ratio %.2f\n", t2 / t1);
  nameTable.release();
  return 0;
}
