// The five model table reports, printed through the trace printer so that they
// appear only while tracing is on.
#include <cstdlib>

#include "messages.h"
#include "model_tables.h"
#include "name_table.h"
#include "reports.h"

namespace {

const char* text(NameRef ref) { return ref == 0 ? "" : nameAt(ref); }

/// Sign character of an occurrence bound ("-" for -1 and -2).
char sign(int32_t v) { return v < 0 ? '-' : ' '; }

}  // namespace

void dumpElements() {
  const ModelTables& m = modelTables;
  tracePrintf("\nElements Table\n");
  tracePrintf(
      "elem xmlId typ type qelId  Handle   qelTyp Handle   DType    flag name                      "
      "     ident                          XML name\n");
  for (int32_t i = 1; i <= m.elements.count(); ++i) {
    const ElementEntry& e = m.elements[i];
    tracePrintf("%4.4d %5.5d %3.3d %4.4d %6.6d %8.8x %6.6d %8.8x 0x%2.2x %-30.30s %-30.30s %s\n", i,
                e.xmlId, e.dataType, e.typeId, e.qelId, e.handle, e.qelTypeId, e.dataTypeHandle,
                e.flag, text(e.name), text(e.ident), text(e.xmlName));
  }
}

void dumpAttributes() {
  const ModelTables& m = modelTables;
  tracePrintf("\nAttributes Table\n");
  tracePrintf("attr qelId  Handle   Typ DType    Type flag name\n");
  for (int32_t i = 1; i <= m.attributes.count(); ++i) {
    const AttrEntry& a = m.attributes[i];
    tracePrintf("%4.4d %6.6d %8.8x %3.3d %8.8x %4.4d 0x%2.2x %s %s\n", i, a.qelId, a.handle,
                a.dataType, a.dataTypeHandle, a.typeId, a.flag, text(a.name), text(a.xmlName));
  }
}

void dumpTypes() {
  const ModelTables& m = modelTables;
  tracePrintf("\nTypes Table\n");
  tracePrintf("type qelId  handle    elements      attrs    base  comp flag name\n");
  tracePrintf("                     first last  first last\n");
  for (int32_t i = 1; i <= m.types.count(); ++i) {
    const TypeEntry& t = m.types[i];
    tracePrintf("%4.4d %6.6d %8.8x %5.5d %5.5d %5.5d %5.5d %5.5d %1.1d    0x%2.2x %s\n", i, t.qelId,
                t.handle, t.firstElement, t.lastElement, t.firstAttribute, t.lastAttribute,
                t.baseType, t.composition, t.flag, text(t.name));
  }
}

void dumpTypeEntries() {
  const ModelTables& m = modelTables;
  tracePrintf("\nType Entries Table\n");
  tracePrintf("       main             sub-\n");
  tracePrintf("       type  elem  attr type  next  prev  min   max   flags\n");
  for (int32_t i = 1; i <= m.typeEntries.count(); ++i) {
    const TypeEntryEntry& e = m.typeEntries[i];
    tracePrintf("%5.5d %5.5d %5.5d %5.5d %5.5d %5.5d %5.5d %c%4.4d %c%4.4d 0x%2.2x\n", i,
                e.mainTypeId, e.elemId, e.attrId, e.subTypeId, e.next, e.prev, sign(e.minOccurs),
                std::abs(e.minOccurs), sign(e.maxOccurs), std::abs(e.maxOccurs), e.flag);
  }
}

void dumpValues() {
  const ModelTables& m = modelTables;
  tracePrintf("\nValues Table\n");
  tracePrintf(
      "     xmlId qelId  handle   DType    attrId elemId flag role value                          "
      "name\n");
  for (int32_t i = 1; i <= m.values.count(); ++i) {
    const ValueEntry& v = m.values[i];
    tracePrintf("%4.4d %5.5d %6.6d %8.8x %8.8x %5.5d  %5.5d  0x%2.2x %4.4d %-30.30s %s\n", i,
                v.xmlId, v.qelId, v.handle, v.dataTypeHandle, v.attrId, v.elemId, v.flag, v.role,
                text(v.value), text(v.name));
  }
}

void dumpModelTables() {
  dumpElements();
  dumpAttributes();
  dumpTypes();
  dumpTypeEntries();
  dumpValues();
}
