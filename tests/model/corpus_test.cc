// Model builds of real schemas of the corpus, checked against rows read off
// the schema text by hand.
#include <algorithm>
#include <filesystem>

#include "model_test_util.h"

namespace {

class CorpusIsoModel : public ModelTest {
 protected:
  /// ISO 20022 schemas use their target namespace as default namespace
  /// without a prefix: the run names it DEFNAMESPACE, so XML names are bare.
  int32_t buildIso(const std::string& relative) {
    std::string text = readFile(corpusDir() + "/" + relative);
    EXPECT_FALSE(text.empty()) << relative;
    parms.defNameSpace = insertName(targetNamespaceOf(text));
    return build(text, "Document");
  }
  /// What the customer credit transfer initiation becomes, read off its text.
  void checkCreditTransfer(int32_t root) {
    SCOPED_TRACE("pain.001.001.10");
    ASSERT_GT(root, 0);
    // Document: sequence of CstmrCdtTrfInitn; its type a sequence of GrpHdr,
    // PmtInf (1..unbounded) and SplmtryData (0..unbounded).
    int32_t document = modelTables.elements[root].typeId;
    EXPECT_STREQ(textOf(modelTables.types[document].name), "Document");
    int32_t initiation = typeNamed("CustomerCreditTransferInitiationV10");
    ASSERT_GT(initiation, 0);
    EXPECT_EQ(members(initiation),
              "CustomerCreditTransferInitiationV10^GrpHdr[-1..-1] "
              "CustomerCreditTransferInitiationV10^PmtInf[1..-2] "
              "CustomerCreditTransferInitiationV10^SplmtryData[0..-2] |");
    // AccountIdentification4Choice: a choice of IBAN and Othr.
    int32_t account = typeNamed("AccountIdentification4Choice");
    ASSERT_GT(account, 0);
    EXPECT_EQ(modelTables.types[account].composition, kCompChoice);
    // An amount with simple content: decimal with its required currency.
    int32_t amount = typeNamed("ActiveOrHistoricCurrencyAndAmount");
    ASSERT_GT(amount, 0);
    EXPECT_EQ(modelTables.types[amount].baseType, kDtDecimal);
    EXPECT_EQ(members(amount), " | @Ccy[1..1]");
  }
};

TEST_F(CorpusIsoModel, EveryIsoMessageBuildsWithoutError) {
  std::vector<std::string> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(corpusDir() + "/iso20022")) {
    if (entry.path().extension() == ".xsd") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);
  int looked = 0;
  for (const std::string& file : files) {
    freshRun();
    std::string relative = file.substr(corpusDir().size() + std::strlen("/"));
    int32_t root = buildIso(relative);
    EXPECT_GT(root, 0) << relative;
    EXPECT_EQ(run.errSw, 0) << relative << "\n" << output;
    EXPECT_TRUE(catalogueErrors(output).empty()) << relative;
    EXPECT_GT(modelTables.types.count(), 1) << relative;
    if (relative == "iso20022/payments_initiation_11/pain.001.001.10_1.xsd") {
      checkCreditTransfer(root);
      ++looked;
    }
  }
  EXPECT_EQ(looked, 1);
}

class CorpusUblModel : public ModelTest {
 protected:
  /// A UBL main document: the document's own namespace is the default one.
  int32_t buildUbl(const std::string& document, const char* root) {
    std::string path = corpusDir() + "/ubl-2.5/maindoc/" + document;
    parms.defNameSpace = insertName(targetNamespaceOf(readFile(path)));
    // The prefixes of the other namespaces are the program's to find.
    EXPECT_NE(loadSchemaFile(path), 0) << path;
    return runModel(root);
  }
  /// What the invoice becomes, read off its text.
  void checkInvoice(int32_t root) {
    SCOPED_TRACE("Invoice");
    ASSERT_GT(root, 0);
    int32_t invoice = modelTables.elements[root].typeId;
    EXPECT_STREQ(textOf(modelTables.types[invoice].name), "InvoiceType");
    // The instance attributes went to InvoiceType_attrs, first in the sequence,
    // then the references of the schema text with their own bounds.
    std::string invoiceMembers = members(invoice);
    EXPECT_EQ(invoiceMembers.rfind("(InvoiceType_attrs)[1..1] ext^UBLExtensions[0..1] "
                                   "cbc^UBLVersionID[0..1] cbc^CustomizationID[0..1] ",
                                   0),
              0u)
        << invoiceMembers;
    EXPECT_NE(invoiceMembers.find(" cbc^ID[1..1] cbc^CopyIndicator[0..1] cbc^UUID[0..1] "),
              std::string::npos);
    // cbc:IDType restricts udt:IdentifierType, which restricts the core
    // IdentifierType: a normalizedString extended by seven scheme attributes.
    int32_t id = typeNamed("cbc:IDType");
    ASSERT_GT(id, 0);
    EXPECT_EQ(modelTables.types[id].baseType, kDtNormalizedString);
    std::string idMembers = members(id);
    EXPECT_EQ(idMembers.rfind(" | @schemeID[0..1] @schemeName[0..1] @schemeAgencyID[0..1] ", 0), 0u)
        << idMembers;
    EXPECT_EQ(std::count(idMembers.begin(), idMembers.end(), '@'), 7);
    // An extension's content is a wildcard.
    int32_t content = typeNamed("ext:ExtensionContentType");
    ASSERT_GT(content, 0);
    EXPECT_EQ(modelTables.types[content].typeContent, kContentOpen);
    EXPECT_EQ(modelTables.types[content].firstElement, 0);
    // UBL's aggregates refer to each other in cycles: they are cut, not followed.
    EXPECT_FALSE(linesWith(output, "KOVA9381W").empty());
    EXPECT_GT(typeNamed("cac:Shipment_RECURSE"), 0);
  }
};

TEST_F(CorpusUblModel, EveryMainDocumentBuildsWithoutError) {
  std::vector<std::string> documents;
  for (const auto& entry : std::filesystem::directory_iterator(corpusDir() + "/ubl-2.5/maindoc")) {
    documents.push_back(entry.path().filename().string());
  }
  std::sort(documents.begin(), documents.end());
  ASSERT_GT(documents.size(), 60u);
  int looked = 0;
  for (const std::string& document : documents) {
    // UBL-<Root>-2.5.xsd
    std::string root = document.substr(4, document.size() - 4 - std::strlen("-2.5.xsd"));
    freshRun();
    int32_t rootElem = buildUbl(document, root.c_str());
    EXPECT_GT(rootElem, 0) << document;
    EXPECT_EQ(run.errSw, 0) << document << "\n" << output;
    EXPECT_TRUE(catalogueErrors(output).empty()) << document;
    if (root == "Invoice") {
      checkInvoice(rootElem);
      ++looked;
    }
  }
  EXPECT_EQ(looked, 1);
}

TEST(ModelProgram, ShowSchemaPrintsTheModelOfTheOrderExample) {
  // The whole program with -d (reports) and -t (trace): the model phase of
  // the run prints the five model reports of the completed model.
  std::string dir = makeTempDir();
  std::string data = KOVA_MODEL_TEST_DATA;
  std::string parms = "QEL_DB=" + dir + "/order.kovadb\nMESSAGESET=Orders\nROOTELEMENT=order\n";
  writeFile(dir + "/order.parms", parms + "FILEPATH=" + data + "/\n[FILELIST]\norder.xsd\n");
  ProgramRun run = runXsdimport({"-f", dir + "/order.parms", "-d", "-t"}, dir);
  EXPECT_NE(run.output.find(readGolden("order_completed.report")), std::string::npos) << run.output;
  // The model phase itself reported nothing (the run driver ends the run
  // with this line when it did).
  EXPECT_EQ(run.output.find("Errors detected processing message"), std::string::npos) << run.output;
}

}  // namespace
