// The XML tags report and the tag totals.
#include <string>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "reports.h"

namespace {

using TagReports = ReaderTest;

const std::string kData = KOVA_READER_DATA;

// The report of a small schema against its golden file: row 0 all zeros,
// occurrence signs (-0001 not given, -0002 unbounded), the label rules
// (name, ref=, base=), form rules in the XML names.
TEST_F(TagReports, DumpOfASmallSchemaMatchesTheGoldenReport) {
  createPrefixBlock("urn:kova:base", "base");
  std::string text = readFile(kData + "/small.xsd");
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(parse(text, "small.xsd"), 0);
  traceOn();
  startCapture();
  dumpXmlTags();
  std::string out = stopCapture();
  traceOff();
  if (std::getenv("KOVA_UPDATE_GOLDEN") != nullptr) writeFile(kData + "/small_dump.txt", out);
  EXPECT_EQ(out, readFile(kData + "/small_dump.txt"));
}

TEST_F(TagReports, DumpPrintsNothingWithoutTracingButTotalsAlwaysPrint) {
  ASSERT_EQ(parse(readFile(kData + "/small.xsd")), 0);
  startCapture();
  dumpXmlTags();
  printTagTotals();
  std::string out = stopCapture();
  const char* expected =
      "\nTotals\nelement tags found in schema 5\n"
      "schema tags 1\n"
      "attribute tags found in schema 1\n"
      "attributeGroup tags found in schema 0\n"
      "group tags found in schema 0\n"
      "complexType tags found in schema 2\n"
      "simpleType tags found in schema 1\n"
      "complexContent tags found in schema 0\n"
      "simpleContent tags found in schema 1\n"
      "restriction tags found in schema 1\n"
      "extension tags found in schema 1\n\n";
  EXPECT_EQ(out, expected);
}

}  // namespace
