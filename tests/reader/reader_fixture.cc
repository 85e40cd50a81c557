// Fixture of the schema reading tests.  See reader_fixture.h.
#include "reader_fixture.h"

#include "name_table.h"
#include "run_driver.h"
#include "run_state.h"

void ReaderTest::SetUp() {
  KovaTest::SetUp();
  tagsTable.allocate(512);
}

void ReaderTest::freshRun() {
  resetProcessState();
  tagsTable.allocate(512);
}

int32_t ReaderTest::parse(const std::string& text, const std::string& fileName) {
  return parseXMLfile(text.c_str(), 0, fileName.c_str());
}

std::string ReaderTest::parseCaptured(const std::string& text, int32_t* status) {
  startCapture();
  int32_t s = parse(text);
  if (status != nullptr) *status = s;
  return stopCapture();
}

std::string ReaderTest::text(NameRef ref) { return nameAt(ref); }

std::vector<std::string> ReaderTest::children(int32_t parent) const {
  std::vector<std::string> out;
  int32_t prev = 0;
  for (int32_t c = tag(parent).firstChild; c != 0; c = tag(c).nextSibling) {
    EXPECT_EQ(tag(c).prevSibling, prev) << "back link of tag " << c;
    // A schema tag under the root record keeps its import tag as parent.
    if (parent != 0) {
      EXPECT_EQ(tag(c).parent, parent) << "parent of tag " << c;
    }
    std::string label = text(tag(c).name);
    if (label.empty() && tag(c).ref != 0) label = "ref=" + text(tag(c).ref);
    out.push_back(text(tag(c).tagName) + ":" + label);
    prev = c;
  }
  EXPECT_EQ(tag(parent).lastChild, prev) << "last child of tag " << parent;
  return out;
}

int32_t ReaderTest::findTag(int32_t kind, const std::string& name) const {
  for (int32_t i = 1; i <= tagCount(); ++i) {
    if (tag(i).elemType == kind && text(tag(i).name) == name) return i;
  }
  return 0;
}

// The parser library leaks a few bytes of its own whenever a document's
// DOCTYPE brings in a DTD (seen with a plain parser and handler too); the leak
// checker of the sanitizer build is told so, and nothing else.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:xercesc_3_2::XMLScanner::scanProlog\n";
}
