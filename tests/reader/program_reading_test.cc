// The built program reading real schema sets: parameter file in, the reading
// phase's progress lines and messages out.
#include <string>

#include "reader_fixture.h"

namespace {

// Catalogue errors printed ("KOVAnnnnE ...").
size_t catalogueErrors(const std::string& output) {
  size_t n = 0;
  for (const std::string& line : linesWith(output, "KOVA")) {
    if (line.size() > 9 && line.compare(0, 4, "KOVA") == 0 && line[8] == 'E') ++n;
  }
  return n;
}

class ProgramReading : public ::testing::Test {
 protected:
  void SetUp() override { dir = makeTempDir(); }

  ProgramRun run(const std::string& parms) {
    writeFile(dir + "/run.parms", parms);
    return runXsdimport({"-f", "run.parms"}, dir);
  }

  std::string dir;
};
using CorpusProgramReading = ProgramReading;

TEST_F(CorpusProgramReading, UblInvoiceRootIsFoundWithEveryModuleRead) {
  ProgramRun r =
      run("QEL_DB=run.kovadb\nMESSAGESET=UBL\nROOTELEMENT=Invoice\n"
          "FILEPATH=" +
          corpusDir() +
          "/ubl-2.5/maindoc\n"
          "DEFNAMESPACE=urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\n"
          "[NAMESPACEPREFIX]\n"
          "urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2 sig\n"
          "http://uri.etsi.org/01903/v1.3.2# xades\n"
          "http://uri.etsi.org/01903/v1.4.1# xades141\n"
          "[FILELIST]\nUBL-Invoice-2.5.xsd\n");
  EXPECT_EQ(linesWith(r.output, "root element (Invoice) found as element 5").size(), 1u)
      << r.output;
  EXPECT_EQ(linesWith(r.output, "KOVA9408I").size(), 14u) << r.output;
  EXPECT_EQ(catalogueErrors(r.output), 0u) << r.output;
  EXPECT_EQ(linesWith(r.output, "schema tags 14").size(), 1u) << r.output;
}

TEST_F(ProgramReading, AMissingIncludeStopsTheRunBeforeTheRoot) {
  writeFile(dir + "/main.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
            "<xs:include schemaLocation=\"gone.xsd\"/><xs:element name=\"A\"/></xs:schema>");
  ProgramRun r = run("QEL_DB=run.kovadb\nMESSAGESET=S\nROOTELEMENT=A\n[FILELIST]\nmain.xsd\n");
  EXPECT_EQ(linesWith(r.output, "KOVA9363E Schema file gone.xsd").size(), 1u) << r.output;
  EXPECT_EQ(r.output.find("root element (A)"), std::string::npos) << r.output;
  EXPECT_NE(r.status, 0);
}

TEST_F(ProgramReading, ShowSchemaWithTraceReportsTheTagsBeforeAndAfterIncludes) {
  writeFile(dir + "/main.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
            "<xs:include schemaLocation=\"part.xsd\"/></xs:schema>");
  writeFile(dir + "/part.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element "
            "name=\"P\"/></xs:schema>");
  ProgramRun r =
      run("QEL_DB=run.kovadb\nMESSAGESET=S\nROOTELEMENT=P\nSHOWSCHEMA=Y\nTRACE=Y\n"
          "[FILELIST]\nmain.xsd\n");
  EXPECT_EQ(linesWith(r.output, "XML Tags Table").size(), 2u) << r.output;
  EXPECT_EQ(linesWith(r.output, "root element (P) found as element 4").size(), 1u) << r.output;
}

}  // namespace
