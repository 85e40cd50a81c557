// The five model tables.  See model_tables.h.
#include "model_tables.h"

ModelTables modelTables;

void ModelTables::allocate(int32_t maxElement, int32_t maxAttribute, int32_t maxType,
                           int32_t maxValue) {
  elements.allocate(maxElement);
  attributes.allocate(maxAttribute);
  types.allocate(maxType);
  typeEntries.allocate(8192);
  values.allocate(maxValue);
}

void ModelTables::reset() { *this = ModelTables{}; }
