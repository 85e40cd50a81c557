// The run driver.
#include "run_driver.h"

#include <cstdio>

#include "catalogue.h"
#include "messages.h"
#include "run_state.h"
#include "model_tables.h"
#include "xml_tags.h"

void resetProcessState() {
  resetRunState();
  tagsTable.reset();
  modelTables.reset();
}

int runImport(int, char**) {
  initialiseCatalogue();
  std::printf("XML schema Import Utility V1.00 for KOVA V2.1 (%s)\n", __DATE__);
  return 1;
}
