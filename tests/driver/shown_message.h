// What a user sees for a catalogue message, for the driver tests.
#pragma once

#include <initializer_list>
#include <string>

#include "messages.h"

/// The text of catalogue message `number` with text inserts.
inline std::string shown(int32_t number, std::initializer_list<std::string> inserts = {}) {
  NlsMessage m(number);
  for (const std::string& i : inserts) m.addInsert(i);
  return m.text();
}
