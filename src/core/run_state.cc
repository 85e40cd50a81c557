// Run-wide state.  See run_state.h.
#include "run_state.h"

#include "messages.h"
#include "name_table.h"

RunState run;

void resetRunState() {
  run.reset();
  nameTable.allocate();
  traceOff();
}
