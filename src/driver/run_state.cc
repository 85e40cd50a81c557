// Run-wide state.  See run_state.h.
#include "run_state.h"

#include "messages.h"
#include "name_table.h"
#include "parameters.h"

RunState run;

void resetRunState() {
  run.reset();
  parms.reset();
  fileLists.reset();
  nameTable.allocate();
  traceOff();
}
