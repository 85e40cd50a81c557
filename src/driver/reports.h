// Reports of the internal tables.  The six table reports print through the
// trace printer (only while tracing is on); printTagTotals prints always.
#pragma once

void dumpXmlTags();
void printTagTotals();
void dumpElements();
void dumpAttributes();
void dumpTypes();
void dumpTypeEntries();
void dumpValues();
/// The five model reports, in their fixed order.
void dumpModelTables();
