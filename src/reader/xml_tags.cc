// The XML tags table and the xmlns definitions table.  See xml_tags.h.
#include "xml_tags.h"

TagsTable tagsTable;

void TagsTable::allocate(int32_t maxXml) {
  tags.allocate(maxXml);
  xmlns.allocate(256);
  for (int32_t& c : counters) c = 0;
}

void TagsTable::reset() { *this = TagsTable{}; }
