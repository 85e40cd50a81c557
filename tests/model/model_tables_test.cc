// Model tables: creation operations, identifiers, growth, the golden reports
// of the worked order example.
#include "model_test_util.h"

namespace {

class ModelTablesTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    modelTables.allocate(4, 4, 4, 4);  // tiny, so that every test grows them
  }
};

// (isIdentifierChar is checked through makeIdentifier.)
TEST(ModelIdentifiers, MakeIdentifierReplacesPrefixesAndCutsToTheBuffer) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      // clang-format off
      {"9lives-x", "_9lives_x"}, {"A_b9", "A_b9"},
      {"99.5", "_99_5"},         {"MinInclusive-1", "MinInclusive_1"},
      {"1st", "_1st"},           {"", ""},
      {"a b:c^d", "a_b_c_d"},    {"\xc3\xa9t\xc3\xa9", "__t__"},
      {std::string(600, 'x'), std::string(kMaxIdentLength, 'x')},
      {std::string(600, '7'), "_" + std::string(kMaxIdentLength - 1, '7')},
      // clang-format on
  };
  for (const Case& c : cases) {
    char out[kMaxIdentLength + 1];
    makeIdentifier(out, sizeof out, c.in.c_str());
    EXPECT_EQ(out, c.out) << "input " << c.in.substr(0, 20);
  }
}

TEST_F(ModelTablesTest, BadTypeOrKindReportsAndLeavesChainsAlone) {
  int32_t t = insertNewType(insertName("T"), kCompUndecided, kContentOrdinary);
  startCapture();
  int32_t key = createTypeEntryEntry(0, kMemberElement, 1);
  std::string out = stopCapture();
  EXPECT_GT(key, 0);
  EXPECT_NE(out.find("KOVA9354E"), std::string::npos) << out;
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(run.returnCode, messageStatus(9354));
  EXPECT_EQ(modelTables.types[t].firstElement, 0);
  EXPECT_EQ(modelTables.typeEntries[key].next, 0);

  startCapture();
  int32_t bad = insertTypeEntryEntry(t, 16, 1);
  out = stopCapture();
  EXPECT_NE(out.find("KOVA9364E"), std::string::npos) << out;
  EXPECT_EQ(modelTables.typeEntries[bad].mainTypeId, t);
  EXPECT_EQ(modelTables.typeEntries[bad].flag, 0);
}

TEST_F(ModelTablesTest, EveryTableGrowsAndKeepsEarlierRows) {
  const int32_t n = 300;  // far beyond the capacity of 4
  for (int32_t i = 1; i <= n; ++i) {
    std::string name = "T" + std::to_string(i);
    EXPECT_EQ(insertNewType(insertName(name), kCompSequence, kContentOrdinary), i);
    EXPECT_EQ(createTypeEntryEntry(1, kMemberElement, i), i);
    EXPECT_EQ(createAttrEntry(insertName(name), insertName(name), kDtString, 1), i);
    EXPECT_EQ(newValueEntry(name.c_str(), kRoleEnumeration), i);
  }
  EXPECT_GE(modelTables.attributes.capacity(), n);
  for (int32_t i = 1; i <= n; ++i) {
    std::string name = "T" + std::to_string(i);
    EXPECT_STREQ(textOf(modelTables.types[i].name), name.c_str());
    EXPECT_STREQ(textOf(modelTables.attributes[i].name), name.c_str());
    EXPECT_STREQ(textOf(modelTables.values[i].name), name.c_str());
    EXPECT_EQ(modelTables.typeEntries[i].elemId, i);
    EXPECT_EQ(modelTables.typeEntries[i].prev, i - 1);
  }
  EXPECT_EQ(modelTables.types[1].lastElement, n);
}

TEST_F(ModelTablesTest, ElementValueWithoutOwnerIsReportedButKept) {
  startCapture();
  int32_t v =
      createElementValue("x y", 5, kRoleEnumeration, 0, kValueOwnerAttribute, insertName("x y"));
  std::string out = stopCapture();
  EXPECT_NE(out.find("KOVA9356E"), std::string::npos);
  EXPECT_STREQ(textOf(modelTables.values[v].name), "x_y");
  EXPECT_EQ(modelTables.values[v].flag, kValueOwnerAttribute);
  EXPECT_EQ(modelTables.values[v].xmlId, 5);
}

TEST_F(ModelTablesTest, ValueNamedByItsStoredTextIsTheSameNameAsOneLookedUp) {
  // A value whose text is already an identifier is named by the text's own
  // NameRef; one that is not gets the identifier form, as without it.
  struct Case {
    const char* text;
    const char* name;
  };
  const Case cases[] = {{"USD", "USD"}, {"1", "_1"}, {"x y", "x_y"}, {"", ""}};
  for (const Case& c : cases) {
    NameRef text = insertName(c.text);
    int32_t v = createElementValue(c.text, 7, kRoleEnumeration, 1, kValueOwnerElement, text, text);
    EXPECT_STREQ(textOf(modelTables.values[v].name), c.name);
    EXPECT_EQ(modelTables.values[v].name, insertName(c.name)) << c.text;
    EXPECT_EQ(modelTables.values[v].value, text);
  }
}

TEST_F(ModelTablesTest, NameRowMapKeepsTheFirstRowOfEveryName) {
  // Names two bytes apart (the closest two names can lie) have rows of their
  // own; the empty name too; a later row of a name is ignored.
  NameRef a = insertName("a");
  NameRef b = insertName("b");
  NameRef far = 0;
  for (int i = 0; i < 5000; ++i) far = insertName("name" + std::to_string(i));
  ASSERT_EQ(b, a + 2);
  NameRowMap map;
  EXPECT_EQ(map.find(a), 0);
  EXPECT_EQ(map.insertFirst(a, 10), 10);
  EXPECT_EQ(map.insertFirst(b, 20), 20);
  EXPECT_EQ(map.insertFirst(far, 30), 30);
  EXPECT_EQ(map.insertFirst(0, 40), 40);
  EXPECT_EQ(map.insertFirst(a, 11), 10);
  EXPECT_EQ(map.insertFirst(0, 41), 40);
  EXPECT_EQ(map.find(a), 10);
  EXPECT_EQ(map.find(b), 20);
  EXPECT_EQ(map.find(far), 30);
  EXPECT_EQ(map.find(0), 40);
  EXPECT_EQ(map.find(far - 8), 0);       // a chunk in use, another name
  EXPECT_EQ(map.find(far + 100000), 0);  // past every chunk
}

TEST(ModelIndexes, FlatIndexKeepsTheFirstRowOfEveryKeyAcrossGrowth) {
  FlatIndex<uint32_t> narrow;
  FlatIndex<uint64_t> wide;
  const uint64_t kHigh = uint64_t{1} << 40;  // keys that differ above 32 bits only
  for (uint32_t k = 0; k < 3000; ++k) {
    ASSERT_EQ(narrow.insertFirst(k * 7, static_cast<int32_t>(k) + 1), static_cast<int32_t>(k) + 1);
    ASSERT_EQ(wide.insertFirst(k * kHigh, static_cast<int32_t>(k) + 1),
              static_cast<int32_t>(k) + 1);
  }
  for (uint32_t k = 0; k < 3000; ++k) {
    EXPECT_EQ(narrow.insertFirst(k * 7, 9999), static_cast<int32_t>(k) + 1);
    EXPECT_EQ(narrow.find(k * 7), static_cast<int32_t>(k) + 1);
    EXPECT_EQ(wide.find(k * kHigh), static_cast<int32_t>(k) + 1);
    EXPECT_EQ(narrow.find(k * 7 + 1), 0);
  }
  EXPECT_EQ(narrow.size(), 3000u);
  EXPECT_EQ(wide.size(), 3000u);
}

TEST_F(ModelTest, IdentifiersOfLocalAndGlobalElements) {
  // The same local name in two types gives two rows; a global element reached
  // twice gives one.
  const char* x = "<xs:element name='x' type='xs:int'/>";
  build(schema(R"(<xs:element name='root'><xs:complexType><xs:sequence>
      <xs:element name='a' type='A'/><xs:element name='b' type='B'/>
      <xs:element ref='g'/><xs:element ref='g' minOccurs='0'/>
    </xs:sequence></xs:complexType></xs:element><xs:element name='g' type='xs:string'/>)" +
               seqType("A", x) + seqType("B", x)),
        "root");
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_GT(elementWithIdent("A^x"), 0);
  EXPECT_GT(elementWithIdent("B^x"), 0);
  EXPECT_EQ(members(modelTables.elements[1].typeId),
            "root_ANON^a[-1..-1] root_ANON^b[-1..-1] g[-1..-1] g[0..-1] |");
  int32_t rows = 0;
  for (int32_t e = 1; e <= modelTables.elements.count(); ++e) {
    if (std::string(textOf(modelTables.elements[e].name)) == "g") ++rows;
  }
  EXPECT_EQ(rows, 1);
}

TEST_F(ModelTest, GlobalElementOfANamespaceGetsCaretIdentifier) {
  createPrefixBlock("urn:po", "po");
  build(schema("<xs:element name='order'><xs:complexType><xs:sequence><xs:element name='n' "
               "type='xs:int'/></xs:sequence><xs:attribute name='lang' form='qualified' "
               "type='xs:string'/></xs:complexType></xs:element>",
               "targetNamespace='urn:po' xmlns:po='urn:po'"),
        "order");
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_STREQ(textOf(modelTables.elements[1].ident), "po^order");
  EXPECT_STREQ(textOf(modelTables.elements[1].xmlName), "po:order");
  EXPECT_STREQ(textOf(modelTables.types[1].name), "po_order_ANON");
  EXPECT_STREQ(textOf(modelTables.elements[2].ident), "po_order_ANON^n");
  int32_t lang = attributeNamed("lang");
  ASSERT_GT(lang, 0);
  EXPECT_STREQ(textOf(modelTables.attributes[lang].ident), "po_lang");
  // completion: the anonymous type's attribute type drops the _ANON suffix
  EXPECT_GT(typeNamed("po_order_attrs"), 0);
}

// The worked order example (order.xsd): the rows of the descent alone, and
// (below) the completed rows.  The whole program's report of the same file is
// checked in corpus_test.cc.
TEST_F(ModelTest, WorkedOrderExampleDescentRows) {
  build(readGolden("order.xsd"), "order", false);
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(reportText(), readGolden("order_descent.report"));
}

TEST_F(ModelTest, EmptyTablesPrintOnlyHeadings) {
  modelTables.allocate(8, 8, 8, 8);
  std::string text = reportText();
  EXPECT_EQ(text.find("0001"), std::string::npos);
  EXPECT_EQ(linesWith(text, "Table").size(), 5u);
}

TEST_F(ModelTest, WorkedOrderExampleCompletedRowsWithEveryTracedOperationExiting) {
  traceOn();
  build(readGolden("order.xsd"), "order");
  traceOff();
  EXPECT_EQ(run.errSw, 0);
  size_t entries = 0, exits = 0;
  for (const std::string& line : linesWith(output, "==")) {
    if (line.rfind("==> ", 0) == 0) ++entries;
  }
  for (const std::string& line : linesWith(output, "<==")) {
    if (line.rfind("<== ", 0) == 0) ++exits;
  }
  EXPECT_GT(entries, 20u);
  EXPECT_EQ(entries, exits) << output;
  EXPECT_FALSE(linesWith(output, "==> processElement").empty());
  EXPECT_FALSE(linesWith(output, "==> createExtraTypes").empty());
  EXPECT_EQ(reportText(), readGolden("order_completed.report"));
  // The reports print nothing while tracing is off.
  startCapture();
  dumpModelTables();
  EXPECT_EQ(stopCapture(), "");
}

}  // namespace
