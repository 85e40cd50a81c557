// Model builds of real schemas of the corpus, checked against rows read off
// the schema text by hand.
#include <algorithm>

#include "model_test_util.h"

namespace {

/// A UBL main document: the document's own namespace is the default one; the
/// prefixes of the other namespaces are the program's to find.
TEST_F(ModelTest, UblInvoiceRows) {
  std::string path = corpusDir() + "/ubl-2.5/maindoc/UBL-Invoice-2.5.xsd";
  parms.defNameSpace = insertName("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2");
  ASSERT_NE(loadSchemaFile(path), 0) << path;
  int32_t root = runModel("Invoice");
  ASSERT_GT(root, 0);
  EXPECT_EQ(run.errSw, 0) << output;
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
