// xsdimport: imports an XML schema into a message set of the repository.
#include <malloc.h>

#include "run_driver.h"

int main(int argc, char** argv) {
  // No fast bins: an import frees many small blocks between large ones, and
  // each large free would otherwise sweep every small free block left in
  // them, by then scattered over a heap of hundreds of megabytes on a large
  // schema (a fifth of the cache misses of an import of 10,000 types).
  mallopt(M_MXFAST, 0);
  return runImport(argc, argv);
}
