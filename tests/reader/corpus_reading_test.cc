// Reading a real schema set of the corpus, in-process, as the run driver does
// (the file list read, the main document parsed, includes and imports
// followed, the root element found), and the built program's report of the
// tags it read.
#include <filesystem>
#include <set>
#include <string>

#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"
#include "schema_files.h"

namespace {

class CorpusReading : public ReaderTest {
 protected:
  // Reads the schema set of `path` as the run driver does (FILEPATH its
  // folder) and returns the xmlId of root element `root`, -1 when none.
  int32_t readAll(const std::string& path, const char* root) {
    startCapture();
    int32_t rootId = loadSchemaFile(path) != 0 && run.errSw == 0 ? findRoot(root) : -1;
    output = stopCapture();
    return rootId;
  }

  // Files read, as the "parsed" messages name them.
  std::set<std::string> filesParsed() const {
    std::set<std::string> files;
    for (const std::string& line : linesWith(output, "KOVA9408I")) {
      std::string path = line.substr(line.find("file ") + 5);
      path = path.substr(0, path.rfind(" was parsed"));
      files.insert(std::filesystem::path(path).filename().string());
    }
    return files;
  }

  std::string output;
};

TEST_F(CorpusReading, UblInvoiceFindsItsRootWithEveryModuleRead) {
  // No [NAMESPACEPREFIX] line and no DEFNAMESPACE: each namespace takes the
  // prefix its own schema declares, else one that another declares (xades,
  // declared only by the module that imports it), else one made from its
  // name (the document's own namespace has only a default declaration).
  int32_t root = readAll(corpusDir() + "/ubl-2.5/maindoc/UBL-Invoice-2.5.xsd", "Invoice");
  ASSERT_GT(root, 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(linesWith(output, "E ").size(), 0u) << output;
  EXPECT_EQ(text(tag(root).xmlName), "invoice:Invoice");
  const NamespacePrefix chosen[] = {
      {"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2", "invoice"},
      {"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2", "cac"},
      {"urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2", "csc"},
      {"http://uri.etsi.org/01903/v1.3.2#", "xades"},
      {"http://uri.etsi.org/01903/v1.4.1#", "etsi"},
      {"http://www.w3.org/2000/09/xmldsig#", "ds"},
  };
  for (const NamespacePrefix& c : chosen) {
    EXPECT_EQ(text(findPrefixBlock(insertName(c.nameSpace))), c.prefix) << c.nameSpace;
    std::string pin = std::string("\"") + c.nameSpace + " " + c.prefix + "\"";
    EXPECT_EQ(linesWith(output, pin).size(), 1u) << pin;
  }
  EXPECT_EQ(text(tag(root).type), "InvoiceType");
  // Every module of common/ that the invoice reaches, each read once.
  std::set<std::string> expected = {"BDNDR-UnqualifiedDataTypes-1.1.xsd",
                                    "BDNDR-CCTS_CCT_SchemaModule-1.1.xsd"};
  for (const char* module :
       {"Invoice", "CommonAggregateComponents", "CommonBasicComponents",
        "CommonExtensionComponents", "QualifiedDataTypes", "ExtensionContentDataType",
        "CommonSignatureComponents", "SignatureAggregateComponents", "SignatureBasicComponents",
        "XAdES01903v132-201601", "XAdES01903v141-201601", "xmldsig-core-schema"}) {
    expected.insert(std::string("UBL-") + module + "-2.5.xsd");
  }
  // The signature module imports the signature namespace through
  // UBL-xmldsig1-schema, but the XAdES modules have loaded that namespace
  // from the core schema already, so that import is skipped.
  EXPECT_EQ(filesParsed(), expected) << output;
  EXPECT_EQ(linesWith(output, "KOVA9408I").size(), expected.size()) << "a module was read twice";
  // A component of an imported module is reachable from its schema at the
  // top level, and a component of the included extension content type stands
  // inside the extension components schema.
  int32_t party = findTag(kTagComplexType, "PartyType");
  int32_t extContent = findTag(kTagComplexType, "ExtensionContentType");
  ASSERT_NE(party, 0);
  ASSERT_NE(extContent, 0);
  EXPECT_EQ(tag(tag(party).parent).elemType, kTagSchema);
  EXPECT_EQ(text(tag(tag(extContent).parent).targetNamespace),
            "urn:oasis:names:specification:ubl:schema:xsd:CommonExtensionComponents-2");
}

// The built program on a schema set of an include.
TEST(ProgramReading, ShowSchemaWithTraceReportsTheTagsBeforeAndAfterIncludes) {
  std::string dir = makeTempDir();
  writeFile(dir + "/main.xsd", schema("<xs:include schemaLocation=\"part.xsd\"/>"));
  writeFile(dir + "/part.xsd", schema("<xs:element name=\"P\"/>"));
  writeFile(dir + "/run.parms",
            "QEL_DB=run.kovadb\nMESSAGESET=S\nROOTELEMENT=P\nSHOWSCHEMA=Y\nTRACE=Y\n"
            "[FILELIST]\nmain.xsd\n");
  ProgramRun r = runXsdimport({"-f", "run.parms"}, dir);
  EXPECT_EQ(linesWith(r.output, "XML Tags Table").size(), 2u) << r.output;
  EXPECT_EQ(linesWith(r.output, "root element (P) found as element 4").size(), 1u) << r.output;
}

}  // namespace
