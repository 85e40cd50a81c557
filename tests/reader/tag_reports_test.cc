// The XML tags report and the tag totals.
#include <string>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "reports.h"

namespace {

using TagReports = ReaderTest;

const std::string kData = KOVA_READER_DATA;

// The report of a small schema, compared line by line with its golden file.
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

TEST_F(TagReports, RowsShowOccurrenceSignsAndTheLabelRules) {
  ASSERT_EQ(parse(readFile(kData + "/small.xsd")), 0);
  traceOn();
  startCapture();
  dumpXmlTags();
  std::string out = stopCapture();
  traceOff();
  // Row 0 is the root record: all zeros and an empty label.
  std::vector<std::string> root = linesWith(out, "0000 0000 0001 0001 0000 0000 00000");
  ASSERT_EQ(root.size(), 1u) << out;
  EXPECT_NE(root[0].find(" 00  0000  0000 "), std::string::npos) << root[0];  // zero-filled
  std::vector<std::string> ref = linesWith(out, "ref=ord:Line");
  ASSERT_EQ(ref.size(), 1u);
  EXPECT_NE(ref[0].find(" -0001 -0002 "), std::string::npos) << ref[0];
  std::vector<std::string> id = linesWith(out, " Id ");
  ASSERT_EQ(id.size(), 1u);
  EXPECT_NE(id[0].find("  0001 -0001 "), std::string::npos) << id[0];
  EXPECT_EQ(linesWith(out, "base=ord:Base").size(), 1u);
}

}  // namespace
