// The message catalogue.  See catalogue.h.
#include "catalogue.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <string>
#include <unordered_map>

namespace {

struct Catalogue {
  std::string path;
  std::unordered_map<int32_t, std::string> texts;
};

Catalogue& catalogue() {
  static Catalogue c;
  return c;
}

std::string executableDir() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return "";
  buf[n] = '\0';
  std::string p(buf);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "" : p.substr(0, slash);
}

bool fileExists(const std::string& path) {
  std::ifstream f(path);
  return f.good();
}

void appendInsert(std::string& out, const RynValue& v) {
  if (v.isInteger) {
    out += std::to_string(v.number);
  } else {
    out += v.text;
  }
}

}  // namespace

void loadCatalogue(const std::string& path) {
  Catalogue& c = catalogue();
  c.path.clear();
  c.texts.clear();
  if (path.empty()) return;
  std::ifstream in(path);
  if (!in) return;
  c.path = path;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#' || line[start] == '!') continue;
    size_t eq = line.find('=', start);
    if (eq == std::string::npos) continue;
    std::string key = line.substr(start, eq - start);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    char* end = nullptr;
    long number = std::strtol(key.c_str(), &end, 10);
    if (end == key.c_str() || *end != '\0') continue;
    size_t textStart = line.find_first_not_of(" \t", eq + 1);
    c.texts[static_cast<int32_t>(number)] =
        textStart == std::string::npos ? "" : line.substr(textStart);
  }
}

std::string initialiseCatalogue() {
  std::string dir = executableDir();
  const char* candidates[] = {"/../configmgr/messages/KOVAIO01.properties",
                              "/../share/kova/configmgr/messages/KOVAIO01.properties"};
  for (const char* rel : candidates) {
    std::string path = dir + rel;
    if (!dir.empty() && fileExists(path)) {
      loadCatalogue(path);
      return catalogue().path;
    }
  }
  loadCatalogue("");
  return "";
}

const std::string& cataloguePath() { return catalogue().path; }

char messageSeverity(int32_t number) {
  switch (number) {
    case 9350: case 9351: case 9352: case 9358: case 9360: case 9361:
    case 9397: case 9404: case 9406: case 9408: case 9417: case 9430:
      return 'I';
    case 9355: case 9362: case 9373: case 9374: case 9381: case 9384: case 9388: case 9392:
    case 9424:
    case 9435:
      return 'W';
    default:
      return 'E';
  }
}

std::string formatNlsMessage(int32_t number, const std::vector<RynValue>& inserts,
                             bool withPrefix) {
  std::string out;
  if (withPrefix) {
    out = "KOVA" + std::to_string(number) + messageSeverity(number) + " ";
  }
  auto it = catalogue().texts.find(number);
  if (it == catalogue().texts.end()) {
    // No text for this number: show the number and every insert.
    out += "Message " + std::to_string(number) + " (no catalogue text)";
    for (size_t i = 0; i < inserts.size(); ++i) {
      out += i == 0 ? ": " : "; ";
      appendInsert(out, inserts[i]);
    }
    return out;
  }
  const std::string& text = it->second;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') {
      size_t close = text.find('}', i);
      if (close != std::string::npos && close > i + 1) {
        std::string digits = text.substr(i + 1, close - i - 1);
        if (digits.find_first_not_of("0123456789") == std::string::npos) {
          size_t n = std::stoul(digits);
          if (n >= 1 && n <= inserts.size()) appendInsert(out, inserts[n - 1]);
          i = close;
          continue;
        }
      }
    }
    out += text[i];
  }
  return out;
}
