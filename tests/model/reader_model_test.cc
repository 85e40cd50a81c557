// The model built from schemas read by the schema reader, in-process, the
// way the run driver does it: the file list read, the main document parsed,
// includes and imports followed, the root found, then the model phase.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model_test_util.h"
#include "schema_files.h"

namespace {

class ReaderModelTest : public ModelTest {
 protected:
  /// Reads `mainFile` in `folder` and builds the model of element `root`;
  /// returns the root's elemId (0 when reading or the model failed).  Sets
  /// readerMissing while the schema reader is a placeholder.
  int32_t readAndBuild(const std::string& folder, const std::string& mainFile, const char* root) {
    std::snprintf(parms.filePath, sizeof parms.filePath, "%s/", folder.c_str());
    std::snprintf(parms.rootElement, sizeof parms.rootElement, "%s", root);
    tagsTable.allocate(parms.maxXml > 0 ? parms.maxXml : 8192);
    modelTables.allocate(8192, 8192, 4096, 8192);
    DataFileBlock* first = fileLists.files.get();
    qualifyFileName(first->fileName, sizeof first->fileName, mainFile.c_str());
    first->length = static_cast<int32_t>(std::filesystem::file_size(first->fileName));
    run.anonCounter = 0;
    startCapture();
    const char* text = readSchemaFiles(first);
    int32_t rootElem = 0;
    if (text != nullptr && run.phasesNotBuilt == 0) {
      while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') ++text;
      int32_t status = parseXMLfile(text, 0, first->fileName);
      if (status == 0 && run.errSw == 0) status = processIncludes();
      int32_t rootTag = run.errSw == 0 ? findRoot(parms.rootElement) : -1;
      if (rootTag > 0 && run.errSw == 0) {
        rootElem = processElement(rootTag, 0);
        createXsiAttributes(rootElem);
        createExtraTypes();
        resetElementStack();
        if (rootElem > 0) checkRecursion(modelTables.elements[rootElem].typeId);
      }
    }
    output = stopCapture();
    readerMissing = run.phasesNotBuilt > 0;
    return rootElem;
  }

  std::string dataDir() const { return KOVA_MODEL_TEST_DATA; }

  bool readerMissing = false;  ///< the schema reader is a placeholder here
};

TEST_F(ReaderModelTest, WorkedOrderExampleFromItsSchemaFile) {
  int32_t root = readAndBuild(dataDir(), "order.xsd", "order");
  if (readerMissing) GTEST_SKIP() << "the schema reader is not built in this checkout";
  ASSERT_GT(root, 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  std::ifstream in(dataDir() + "/order_completed.report");
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(modelReportText(), golden.str());
}

TEST_F(ReaderModelTest, UblInvoice) {
  parms.defNameSpace = insertName("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2");
  // Namespaces whose prefixes no document declares before its schema is read
  // come from the parameter file.
  createPrefixBlock("urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2",
                    "sig");
  createPrefixBlock("http://uri.etsi.org/01903/v1.3.2#", "xades");
  createPrefixBlock("http://uri.etsi.org/01903/v1.4.1#", "xades141");
  int32_t root =
      readAndBuild(sharedDir() + "/corpus/ubl-2.5/maindoc", "UBL-Invoice-2.5.xsd", "Invoice");
  if (readerMissing) GTEST_SKIP() << "the schema reader is not built in this checkout";
  ASSERT_GT(root, 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t invoice = modelTables.elements[root].typeId;
  EXPECT_STREQ(textOf(modelTables.types[invoice].name), "InvoiceType");
  std::string invoiceMembers = members(invoice);
  EXPECT_NE(invoiceMembers.find("ext^UBLExtensions[0..1] cbc^UBLVersionID[0..1] "),
            std::string::npos)
      << invoiceMembers;
  EXPECT_NE(invoiceMembers.find(" cbc^ID[1..1] cbc^CopyIndicator[0..1] cbc^UUID[0..1] "),
            std::string::npos);
  int32_t id = typeNamed("cbc:IDType");
  ASSERT_GT(id, 0);
  EXPECT_EQ(modelTables.types[id].baseType, kDtNormalizedString);
  std::string idMembers = members(id);
  EXPECT_EQ(idMembers.rfind(" | @schemeID[0..1] @schemeName[0..1] @schemeAgencyID[0..1] ", 0), 0u)
      << idMembers;
}

TEST_F(ReaderModelTest, IsoMessages) {
  struct Case {
    const char* folder;
    const char* file;
    const char* namespaceName;
    const char* documentType;
  } cases[] = {
      {"payments_initiation_11", "pain.001.001.10_1.xsd",
       "urn:iso:std:iso:20022:tech:xsd:pain.001.001.10", "CustomerCreditTransferInitiationV10"},
      {"payments_clearing_and_settlement_10", "pacs.008.001.09.xsd",
       "urn:iso:std:iso:20022:tech:xsd:pacs.008.001.09", "FIToFICustomerCreditTransferV09"},
      {"banktocustomer_cash_management_8", "camt.053.001.08.xsd",
       "urn:iso:std:iso:20022:tech:xsd:camt.053.001.08", "BankToCustomerStatementV08"},
  };
  for (const Case& c : cases) {
    resetProcessState();
    initialiseCatalogue();
    parms.defNameSpace = insertName(c.namespaceName);
    int32_t root = readAndBuild(sharedDir() + "/corpus/iso20022/" + c.folder, c.file, "Document");
    if (readerMissing) GTEST_SKIP() << "the schema reader is not built in this checkout";
    ASSERT_GT(root, 0) << c.file << "\n" << output;
    EXPECT_EQ(run.errSw, 0) << c.file << "\n" << output;
    int32_t document = modelTables.elements[root].typeId;
    // Document: the instance attribute type first, then the message element.
    std::string documentMembers = members(document);
    EXPECT_EQ(documentMembers.rfind("(Document_attrs)[1..1] Document^", 0), 0u)
        << c.file << " " << documentMembers;
    int32_t message = modelTables.elements[2].typeId;
    EXPECT_STREQ(textOf(modelTables.types[message].name), c.documentType) << c.file;
  }
}

}  // namespace
