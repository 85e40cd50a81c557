// Reading real schema sets of the corpus, in-process, as the run driver does:
// the file list read, the main document parsed, includes and imports
// followed, the root element found.
#include <cstring>
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
  // Reads `mainFile` (relative to FILEPATH `folder`) as the run driver does
  // and returns the root element's xmlId.
  int32_t readAll(const std::string& folder, const std::string& mainFile, const std::string& root) {
    std::snprintf(parms.filePath, sizeof parms.filePath, "%s/", folder.c_str());
    std::snprintf(parms.rootElement, sizeof parms.rootElement, "%s", root.c_str());
    DataFileBlock* first = fileLists.files.get();
    qualifyFileName(first->fileName, sizeof first->fileName, mainFile.c_str());
    first->length = static_cast<int32_t>(std::filesystem::file_size(first->fileName));
    startCapture();
    const char* text = readSchemaFiles(first);
    int32_t status = -1;
    int32_t rootId = -1;
    if (text != nullptr) {
      while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') ++text;
      status = parseXMLfile(text, 0, first->fileName);
      if (status == 0 && run.errSw == 0) status = processIncludes();
      if (status == 0 && run.errSw == 0) status = provideXmlNamespace();
      if (status == 0 && run.errSw == 0) status = assignNamespacePrefixes();
      if (run.errSw == 0) rootId = findRoot(parms.rootElement);
    }
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
  std::string folder = corpusDir() + "/ubl-2.5/maindoc";
  // No [NAMESPACEPREFIX] line and no DEFNAMESPACE: each namespace takes the
  // prefix its own schema declares, else one that another declares (xades,
  // declared only by the module that imports it), else one made from its
  // name (the document's own namespace has only a default declaration).
  int32_t root = readAll(folder, "UBL-Invoice-2.5.xsd", "Invoice");
  ASSERT_GT(root, 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(linesWith(output, "E ").size(), 0u) << output;
  EXPECT_EQ(text(tag(root).xmlName), "invoice:Invoice");
  struct Chosen {
    const char* nameSpace;
    const char* prefix;
  } chosen[] = {
      {"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2", "invoice"},
      {"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2", "cac"},
      {"urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2", "csc"},
      {"http://uri.etsi.org/01903/v1.3.2#", "xades"},
      {"http://uri.etsi.org/01903/v1.4.1#", "etsi"},
      {"http://www.w3.org/2000/09/xmldsig#", "ds"},
  };
  for (const Chosen& c : chosen) {
    EXPECT_EQ(text(findPrefixBlock(insertName(c.nameSpace))), c.prefix) << c.nameSpace;
    std::string pin = std::string("\"") + c.nameSpace + " " + c.prefix + "\"";
    EXPECT_EQ(linesWith(output, pin).size(), 1u) << pin;
  }
  EXPECT_EQ(text(tag(root).type), "InvoiceType");
  // Every module of common/ that the invoice reaches, each read once.
  std::set<std::string> expected = {
      "UBL-Invoice-2.5.xsd",
      "UBL-CommonAggregateComponents-2.5.xsd",
      "UBL-CommonBasicComponents-2.5.xsd",
      "UBL-CommonExtensionComponents-2.5.xsd",
      "UBL-QualifiedDataTypes-2.5.xsd",
      "BDNDR-UnqualifiedDataTypes-1.1.xsd",
      "BDNDR-CCTS_CCT_SchemaModule-1.1.xsd",
      "UBL-ExtensionContentDataType-2.5.xsd",
      "UBL-CommonSignatureComponents-2.5.xsd",
      "UBL-SignatureAggregateComponents-2.5.xsd",
      "UBL-SignatureBasicComponents-2.5.xsd",
      "UBL-XAdES01903v132-201601-2.5.xsd",
      "UBL-XAdES01903v141-201601-2.5.xsd",
      "UBL-xmldsig-core-schema-2.5.xsd",
  };
  std::set<std::string> parsed = filesParsed();
  for (const std::string& f : expected) EXPECT_EQ(parsed.count(f), 1u) << f << "\n" << output;
  EXPECT_EQ(linesWith(output, "KOVA9408I").size(), parsed.size()) << "a module was read twice";
  // The signature module imports the signature namespace through
  // UBL-xmldsig1-schema, but the XAdES modules have loaded that namespace
  // from the core schema already, so that import is skipped.
  EXPECT_EQ(parsed.count("UBL-xmldsig1-schema-2.5.xsd"), 0u);
  EXPECT_EQ(parsed.size(), expected.size());
  // A component of an imported module is reachable from its schema at the
  // top level, and a component of the included extension content type stands
  // inside the extension components schema.
  int32_t party = findTag(kTagComplexType, "PartyType");
  ASSERT_NE(party, 0);
  EXPECT_EQ(tag(tag(party).parent).elemType, kTagSchema);
  int32_t extContent = findTag(kTagComplexType, "ExtensionContentType");
  ASSERT_NE(extContent, 0);
  int32_t holder = tag(extContent).parent;
  EXPECT_EQ(text(tag(holder).targetNamespace),
            "urn:oasis:names:specification:ubl:schema:xsd:CommonExtensionComponents-2");
}

TEST_F(CorpusReading, Iso20022MessagesFindDocument) {
  struct Case {
    const char* folder;
    const char* file;
    bool prefixLine;  // a [NAMESPACEPREFIX] line instead of DEFNAMESPACE
  } cases[] = {
      {"payments_initiation_11", "pain.001.001.10_1.xsd", false},
      {"payments_clearing_and_settlement_10", "pacs.008.001.09.xsd", true},
      {"banktocustomer_cash_management_8", "camt.053.001.08.xsd", false},
  };
  for (const Case& c : cases) {
    freshRun();
    std::string folder = corpusDir() + "/iso20022/" + c.folder;
    // The target namespace is the document's default namespace; read it from
    // the file as a user would from its schema tag.
    std::string textOfFile = readFile(folder + "/" + c.file);
    size_t at = textOfFile.find("targetNamespace=\"");
    ASSERT_NE(at, std::string::npos) << c.file;
    at += std::strlen("targetNamespace=\"");
    std::string ns = textOfFile.substr(at, textOfFile.find('"', at) - at);
    if (c.prefixLine) {
      createPrefixBlock(ns.c_str(), "doc");
    } else {
      parms.defNameSpace = insertName(ns);
    }
    int32_t root = readAll(folder, c.file, "Document");
    ASSERT_GT(root, 0) << c.file << "\n" << output;
    EXPECT_EQ(run.errSw, 0) << c.file;
    EXPECT_EQ(text(tag(root).xmlName), c.prefixLine ? "doc:Document" : "Document") << c.file;
    EXPECT_EQ(tag(tag(root).parent).elemType, kTagSchema);
  }
}

}  // namespace
