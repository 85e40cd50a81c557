// Model builds of real schemas of the corpus, checked against rows read off
// the schema text by hand.
#include <filesystem>
#include <regex>

#include "model_test_util.h"

namespace {

/// Catalogue error lines ("KOVAnnnnE ...") of an output.
std::vector<std::string> errorLines(const std::string& output) {
  std::vector<std::string> out;
  static const std::regex error("^KOVA[0-9]{4}E");
  for (const std::string& line : linesWith(output, "KOVA")) {
    if (std::regex_search(line, error)) out.push_back(line);
  }
  return out;
}

std::string corpusFile(const std::string& relative) {
  return readFile(sharedDir() + "/corpus/" + relative);
}

/// The value of the first targetNamespace attribute of a schema text.
std::string targetNamespaceOf(const std::string& text) {
  size_t at = text.find("targetNamespace=\"");
  if (at == std::string::npos) return "";
  at += std::strlen("targetNamespace=\"");
  return text.substr(at, text.find('"', at) - at);
}

class IsoModelTest : public ModelTest {
 protected:
  /// ISO 20022 schemas use their target namespace as default namespace
  /// without a prefix: the run names it DEFNAMESPACE, so XML names are bare.
  int32_t buildIso(const std::string& relative) {
    std::string text = corpusFile(relative);
    EXPECT_FALSE(text.empty()) << relative;
    parms.defNameSpace = insertName(targetNamespaceOf(text));
    return build(text, "Document");
  }
};

TEST_F(IsoModelTest, CustomerCreditTransferInitiationBuilds) {
  int32_t root = buildIso("iso20022/payments_initiation_11/pain.001.001.10_1.xsd");
  ASSERT_GT(root, 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_TRUE(errorLines(output).empty()) << output;
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

TEST_F(IsoModelTest, EveryIsoMessageBuildsWithoutError) {
  std::vector<std::string> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(sharedDir() + "/corpus/iso20022")) {
    if (entry.path().extension() == ".xsd") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);
  for (const std::string& file : files) {
    resetProcessState();
    initialiseCatalogue();
    std::string relative = file.substr(sharedDir().size() + std::strlen("/corpus/"));
    int32_t root = buildIso(relative);
    EXPECT_GT(root, 0) << relative;
    EXPECT_EQ(run.errSw, 0) << relative << "\n" << output;
    EXPECT_TRUE(errorLines(output).empty()) << relative;
    EXPECT_GT(modelTables.types.count(), 1) << relative;
  }
}

}  // namespace
