// The message catalogue: numbered message texts with ordered inserts.
//
// Texts live in the catalogue file KOVAIO01.properties, one "number=text"
// line per message, with {1}, {2}, ... standing for the inserts in order.
// The file is found relative to the running executable, in
// <exe dir>/../configmgr/messages/ (build tree) or
// <exe dir>/../share/kova/configmgr/messages/ (installed tree).  A message
// whose text cannot be found still prints, in a fixed layout that shows the
// number and every insert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// One insert of a catalogue message: a text or a 64-bit integer.
struct RynValue {
  bool isInteger = false;
  std::string text;
  int64_t number = 0;
};

/// Locates and loads the catalogue; returns its path, or "" when none was
/// found (messages then print in the fallback layout).
std::string initialiseCatalogue();

/// Loads the catalogue at `path` instead of the one beside the executable;
/// an empty path unloads it (tests use this).
void loadCatalogue(const std::string& path);

/// Path of the loaded catalogue, "" when none is loaded.
const std::string& cataloguePath();

/// Severity letter of a message number: 'I' information, 'W' warning, 'E' error.
char messageSeverity(int32_t number);

/// The full text of message `number` with its inserts, prefixed (when
/// `withPrefix`) by "KOVA", the number and the severity letter.
std::string formatNlsMessage(int32_t number, const std::vector<RynValue>& inserts,
                             bool withPrefix = true);
