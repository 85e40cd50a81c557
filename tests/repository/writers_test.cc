// Definition writers, identifiers, duplicate registers, and the plug-in
// attributes with the C, COBOL and copy-book name rules.
#include <string>
#include <vector>

#include "writer_fixture.h"

namespace {

using Writers = WriterTest;

TEST_F(Writers, IdentifiersApplyPrefixSuffixAndReplacements) {
  std::strcpy(parms.elemPrefix, "E_");
  parms.parser = 0;
  EXPECT_EQ(makeElementIdent("a:b-c"), "E_a_b_c");
  EXPECT_EQ(makeElementIdent("T^x"), "E_T^x");
  parms.parser = 1;
  EXPECT_EQ(makeElementIdent("a:b-c"), "E_a:b_c");
  std::strcpy(parms.elemSuffix, "-s");
  EXPECT_EQ(makeElementIdent("a"), "E_a_s");

  std::strcpy(parms.typePrefix, "t-");
  std::strcpy(parms.typeSuffix, ":T");
  EXPECT_EQ(makeTypeIdent("ns:A^b-c"), "t_ns_A_b_c_T");
  EXPECT_EQ(makeTypeSecondName("ns:A^b-c"), "ns_A_b_c");

  std::strcpy(parms.valuePrefix, "v-");
  std::strcpy(parms.valueSuffix, "");
  EXPECT_EQ(makeValueIdent("Min-x:S"), "v_Min_x:S");
  EXPECT_EQ(makeValueSecondName("Min-x:S"), "Min_x:S");
}

TEST_F(Writers, ElementAndTypeCarryIdentifierNamesTypeAndKind) {
  openSet();
  std::strcpy(parms.elemPrefix, "E_");
  uint32_t h = createElement("Order^ship-to", "ship-to", stringType(), &id);
  EXPECT_EQ(nameOf(h), "E_Order^ship_to");
  EXPECT_EQ(secondNameOf(h), "ship-to");
  EXPECT_EQ(typeOf(h), stringType());
  EXPECT_EQ(id, detail(h, QEL_OFF_IDENTIFIER));
  EXPECT_EQ(run.totals.elements, 1);

  std::strcpy(parms.typePrefix, "T_");
  uint32_t decimal = getSimpleTypeHandle("DECIMAL");
  uint32_t t = createType("Amount-Type", decimal, kCompChoice, kContentOpen, &id);
  EXPECT_EQ(nameOf(t), "T_Amount_Type");
  EXPECT_EQ(secondNameOf(t), "Amount_Type");
  EXPECT_EQ(detail(t, QEL_OFF_TYPE_KIND), QEL_TYPE_KIND_COMPLEX);
  EXPECT_EQ(detail(t, QEL_OFF_COMPOSITION), kCompChoice);
  EXPECT_EQ(detail(t, QEL_OFF_CONTENT), kContentOpen);
  EXPECT_EQ(static_cast<uint32_t>(detail(t, QEL_OFF_BASE_TYPE)), decimal);
  EXPECT_EQ(detail(createType("Plain", 0, kCompAll, kContentOrdinary, &id), QEL_OFF_BASE_TYPE), 0);
  EXPECT_EQ(run.totals.types, 2);
}

TEST_F(Writers, DuplicateNamesAreReportedAndStillPassedOn) {
  openSet();
  complexType("T");
  element("E");
  EXPECT_EQ(run.errSw, 0);
  // The repository refuses the second definition of each: its status decides.
  std::string out = captured([&] {
    EXPECT_EQ(raisedCode([&] { complexType("T"); }), -48);
    EXPECT_EQ(raisedCode([&] { element("E"); }), -48);
  });
  EXPECT_EQ(linesWith(out, "*****Error - Duplicate type name or key value detected (T)").size(),
            1u);
  EXPECT_EQ(linesWith(out, "*****Error - Duplicate element name or key value detected (E)").size(),
            1u);
}

TEST_F(Writers, DuplicateRegistersKeepEveryName) {
  // Far more names than a fixed pool of 131072 bytes could hold: the last one
  // must still be caught the second time.
  std::string last;
  for (int i = 0; i < 5000; ++i) {
    last = "Name" + std::string(60, 'x') + std::to_string(i);
    checkDupElementName(last);
    checkDupTypeName(last);
    EXPECT_EQ(checkDupMemberKey(last), 0);
  }
  EXPECT_EQ(run.errSw, 0);
  std::string out = captured([&] {
    checkDupElementName(last);
    checkDupTypeName(last);
  });
  EXPECT_EQ(checkDupMemberKey(last), 1);
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(linesWith(out, "Duplicate element name").size(), 1u);
  EXPECT_EQ(linesWith(out, "Duplicate type name").size(), 1u);
}

TEST_F(Writers, RefusedIdentifierRaises9412ForEveryKind) {
  openSet();
  // The library refuses identifiers with blanks in them.
  std::string out = captured([&] {
    EXPECT_EQ(raisedCode([&] { element("bad 1"); }), -62);
    EXPECT_EQ(raisedCode([&] { complexType("bad 2"); }), -62);
    EXPECT_EQ(raisedCode([&] { createValue("bad 3", "v", stringType(), &id); }), -62);
    EXPECT_EQ(raisedCode([&] { CreateMessage("bad 4", "bad 4", stringType()); }), -62);
  });
  std::vector<std::string> lines = linesWith(out, "KOVA9412E");
  for (const char* ident : {"bad 1", "bad 2", "bad 3", "bad 4"}) {
    bool named = false;
    for (const std::string& l : lines) named |= l.find(ident) != std::string::npos;
    EXPECT_TRUE(named) << ident << "\n" << out;
  }
}

TEST_F(Writers, ValueWithTheSameTextAndTypeIsReusedWhateverItsName) {
  // A value already in the message set from an earlier run.
  uint32_t old = 0;
  seedSet({{QEL_PLUGIN_XML, "XML1"}}, [&](uint32_t set) {
    old = define(set, QEL_CLASS_VALUE, "OldName", find(set, QEL_CLASS_TYPE, "STRING"), "RED");
  });
  connectWriter();
  uint32_t integerType = getSimpleTypeHandle("INTEGER");
  EXPECT_EQ(createValue("EnumS", "RED", stringType(), &id), old);
  EXPECT_EQ(id, detail(old, QEL_OFF_IDENTIFIER));
  uint32_t other = createValue("EnumI", "RED", integerType, &id);  // other type: new
  EXPECT_NE(other, old);
  uint32_t blue = createValue("Enum2S", "BLUE", stringType(), &id);
  EXPECT_EQ(createValue("Enum3S", "BLUE", stringType(), &id), blue);  // made in this run
  EXPECT_EQ(run.totals.values, 2);
  EXPECT_EQ(run.totals.valuesReused, 2);
  EXPECT_EQ(valueTextOf(other), "RED");
  EXPECT_EQ(typeOf(other), integerType);
}

TEST_F(Writers, ValueOfATakenNameWithOtherTextOrTypeIsNumbered) {
  openSet();
  uint32_t integerType = getSimpleTypeHandle("INTEGER");
  uint32_t a = createValue("MaxLen", "10", integerType, &id);
  // The name is taken by a value of another text, then of another type.
  uint32_t b = createValue("MaxLen", "20", integerType, &id);
  uint32_t c = createValue("MaxLen", "30", stringType(), &id);
  EXPECT_EQ(std::vector<std::string>({nameOf(a), nameOf(b), nameOf(c)}),
            std::vector<std::string>({"MaxLen", "MaxLen1", "MaxLen2"}));
  EXPECT_EQ(std::vector<std::string>({valueTextOf(b), valueTextOf(c)}),
            std::vector<std::string>({"20", "30"}));
  EXPECT_EQ(typeOf(c), stringType());
  EXPECT_EQ(run.totals.values, 3);

  // A value without a type is an error.
  EXPECT_NE(captured([&] {
              EXPECT_EQ(createValue("x", "1", 0, &id), 0u);
            }).find("*****Error - typeHandle is 0 for value"),
            std::string::npos);
  EXPECT_EQ(run.errSw, 1);
}

TEST_F(Writers, TypeMemberOccurrences) {
  openSet();
  uint32_t type = complexType("T");
  struct Case {
    int32_t minOcc, maxOcc;
    int16_t repeat;
    const char *min, *max;
  };
  const Case cases[] = {{0, -2, 1, "0", ""},
                        {1, 1, 0, "1", "1"},
                        {-1, -1, 0, "", ""},
                        {2, 5, 1, "2", "5"},
                        {0, 0, 0, "0", "0"}};
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "E" + std::to_string(n++);
    SCOPED_TRACE(name);
    uint32_t child = element(name.c_str());
    createTypeMember(type, child, n, QEL_CLASS_ELEMENT, c.minOcc, c.maxOcc, "T", name.c_str());
    uint32_t member = memberFor(type, child);
    ASSERT_NE(member, 0u);
    std::vector<unsigned char> m = memberRecord(type, member);
    int16_t repeat;
    std::memcpy(&repeat, m.data() + QEL_OFF_MEMBER_REPEAT, 2);
    EXPECT_EQ(repeat, c.repeat);
    EXPECT_EQ(getText(m.data(), QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE), c.min);
    EXPECT_EQ(getText(m.data(), QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE), c.max);
  }
  EXPECT_EQ(run.totals.typeMembers, 5);
}

TEST_F(Writers, ExistingElementOfTheWrongKindRaises9418) {
  openSet();
  uint32_t complex = complexType("T");
  element("Complex", complex);
  element("Simple");
  uint32_t h = 0, th = 0;
  int32_t tid = 0;
  findElementByName("Complex", &h, &id, &th, &tid, 0);
  EXPECT_EQ(th, complex);
  findElementByName("Simple", &h, &id, &th, &tid, 1);
  EXPECT_EQ(th, stringType());
  findElementByName("Missing", &h, &id, &th, &tid, 1);
  EXPECT_EQ(h, 0u);
  std::string out = captured([&] {
    EXPECT_EQ(raisedCode([&] { findElementByName("Complex", &h, &id, &th, &tid, 1); }), -68);
    EXPECT_EQ(raisedCode([&] { findElementByName("Simple", &h, &id, &th, &tid, 0); }), -68);
  });
  EXPECT_EQ(linesWith(out, "KOVA9418E").size(), 2u);
}

TEST_F(Writers, TypeNameQuestionAsksTheMessageSet) {
  EXPECT_FALSE(repositoryHasTypeName("T"));  // no message set open
  openSet();
  std::strcpy(parms.typePrefix, "p_");
  complexType("Order-Type");
  EXPECT_TRUE(repositoryHasTypeName("Order-Type"));
  EXPECT_TRUE(repositoryHasTypeName("Order:Type"));  // the same identifier
  EXPECT_FALSE(repositoryHasTypeName("Other"));
}

// ---- plug-in attributes ---------------------------------------------------------------

TEST_F(Writers, LanguageNameRules) {
  // name -> COBOL name, C name, copy-book name
  const char* const cases[][4] = {
      {"order_line.item:x", "ORDER-LINEPITEMCX", "order_linePitemCx", "ORDERLIN.CPY"},
      {"9lives", "CLIVES", "_9lives", "9LIVES.CPY"},
      {"_under", "CUNDER", "_under", "UNDER.CPY"},
      {"abcdefghijklmnopqrstuvwxyz0123", "ABCDEFGHIJKLMNOPQRSTUVWX",
       "abcdefghijklmnopqrstuvwxyz0123", "ABCDEFGH.CPY"},
      {"purchase-order_v2", "PURCHASE-ORDER-V2", "purchase_order_v2", "PURCHASE.CPY"},
      {"a-1", "A-1", "a_1", "A1.CPY"},
      {"ns:a-b.c", "NSCA-BPC", "nsCa_bPc", "NSABC.CPY"},
      // Cut after an underscore or hyphen: no hyphen is left at the end.
      {"xmlns:CatalogueDeletion_2", "XMLNSCCATALOGUEDELETION", "xmlnsCCatalogueDeletion_2",
       "XMLNSCAT.CPY"},
      {"a_", "A", "a_", "A.CPY"},
      // Names COBOL or C cannot take as the plain rules make them.
      {"a-", "A", "a_", "A.CPY"},
      {"一00", "C00", "_00", "00.CPY"},
      {"一", "C", "_", "C.CPY"},
      {"Größe", "GR-E", "Gr__e", "GRE.CPY"},
      {"x y!z", "X-Y-Z", "x_y_z", "XYZ.CPY"},
      {"-9-", "C9", "_9_", "9.CPY"},
      {"abcdefghijklmnopqrstuvwxyz-", "ABCDEFGHIJKLMNOPQRSTUVWX", "abcdefghijklmnopqrstuvwxyz_",
       "ABCDEFGH.CPY"},
  };
  for (const auto& [name, cobol, c, copyBook] : cases) {
    EXPECT_EQ(cobolName(name), cobol) << name;
    EXPECT_EQ(cName(name), c) << name;
    EXPECT_EQ(copyBookName(name), copyBook) << name;
  }
}

TEST_F(Writers, XmlLayerIsAddedOrReusedAndConfigured) {
  for (const char* name : {"XML1", "Wire"}) {
    SCOPED_TRACE(name);
    freshRepository();
    run.totals = Totals{};
    uint32_t set = openSet();
    bool added = std::string(name) == "Wire";
    if (added) std::strcpy(parms.xsiPrefix, "xsi2");
    size_t layers = members(set).size();
    std::string out = captured([&] { EXPECT_EQ(createXMLtab(name), 0); });
    EXPECT_EQ(linesWith(out, "XML Wire format layer Wire successfully added").size(), added);
    EXPECT_EQ(members(set).size(), layers + added);
    ASSERT_EQ(repo.xmlLayers.size(), 1u + added);
    uint32_t layer = repo.xmlLayers.back().handle;
    EXPECT_EQ(layer, pluginMember(set, name));
    const char* nil = added ? "xsi2:nil" : "xsi:nil";
    const std::pair<int32_t, const char*> expected[] = {
        {QEL_XML_KEY_LAYER_NAME, name},      {QEL_XML_KEY_LAYER_OPTION_4, "1"},
        {QEL_XML_KEY_LAYER_OPTION_11, "0"},  {QEL_XML_KEY_LAYER_TEXT_8, ""},
        {QEL_XML_KEY_NIL_TRUE_TEXT, "true"}, {QEL_XML_KEY_NIL_FALSE_TEXT, "false"},
        {QEL_XML_KEY_NIL_OPTION_14, "0"},    {QEL_XML_KEY_NIL_ATTRIBUTE_15, nil},
        {QEL_XML_KEY_NIL_OPTION_16, "0"},    {QEL_XML_KEY_NIL_ATTRIBUTE_17, nil}};
    for (const auto& [key, value] : expected) EXPECT_EQ(attr(set, layer, key), value) << key;
    EXPECT_EQ(run.totals.attributes, 1 /* marker */ + 10);
  }
}

TEST_F(Writers, RefusedAttributeValueRaises9413) {
  openSet();
  uint32_t e = element("E");
  // Too long for the library.
  std::string tooLong = "NOPE" + std::string(300, 'x');
  std::string out = captured([&] {
    EXPECT_EQ(raisedCode([&] {
                createAttribute(tooLong.c_str(), e, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME);
              }),
              -63);
  });
  EXPECT_EQ(linesWith(out, "KOVA9413E").size(), 1u) << out;
  EXPECT_EQ(linesWith(out, tooLong).size(), 1u) << out;
  EXPECT_EQ(attr(e, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME), "<unset>");
}

TEST_F(Writers, MissingRenderValuesAreErrorsWithoutWriting) {
  uint32_t set = openSet();
  uint32_t layer = repo.xmlLayers[0].handle;
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { insertDateFormat(set, "", layer); }, "XML Date format is missing or null"},
      {[&] { insertBinaryRender(set, nullptr, layer); },
       "XML boolean render type is missing or null"},
      {[&] { setXmlRender(set, 1, layer, ""); }, "XML render type is missing or null"},
      {[&] { setXmlMemberName(set, 1, layer, ""); }, "XML name is missing or null"},
  };
  int32_t attributes = run.totals.attributes;
  for (const auto& [call, line] : cases) {
    SCOPED_TRACE(line);
    run.errSw = 0;
    EXPECT_NE(captured(call).find(std::string("*****Error - ") + line), std::string::npos);
    EXPECT_EQ(run.errSw, 1);
  }
  EXPECT_EQ(run.totals.attributes, attributes);
  EXPECT_EQ(run.totals.memberAttributes, 0);
}

TEST_F(Writers, LanguageNamesGoOnlyToRegisteredPlugins) {
  uint32_t set = openSet();
  uint32_t e = element("ship-to");
  EXPECT_NE(captured([&] { insertLanguageNames(e, "ship-to"); }).find("CobolName : SHIP-TO"),
            std::string::npos);
  EXPECT_EQ(attr(e, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "SHIP-TO");
  EXPECT_EQ(attr(e, repo.cPlugin.handle, QEL_C_KEY_NAME), "ship_to");
  // A reserved word of either language is numbered in that language only.
  uint32_t data = element("data"), word = element("int");
  insertLanguageNames(data, "data");
  insertLanguageNames(word, "int");
  EXPECT_EQ(attr(data, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "DATA-1");
  EXPECT_EQ(attr(data, repo.cPlugin.handle, QEL_C_KEY_NAME), "data");
  EXPECT_EQ(attr(word, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "INT");
  EXPECT_EQ(attr(word, repo.cPlugin.handle, QEL_C_KEY_NAME), "int_1");

  // Without a COBOL member only the C name is written (a write through the
  // empty handle would be refused and raise).
  uint32_t cobol = repo.cobolPlugin.handle;
  repo.cobolPlugin = PluginLayer{};
  uint32_t e2 = element("x");
  uint32_t m2 = define(set, QEL_CLASS_MESSAGE, "M2");
  int32_t attributes = run.totals.attributes;
  insertLanguageNames(e2, "x");
  insertMessageCobolNames(m2, "x");
  EXPECT_EQ(run.totals.attributes, attributes + 1);  // the C name only
  EXPECT_EQ(attr(e2, repo.cPlugin.handle, QEL_C_KEY_NAME), "x");
  EXPECT_EQ(attr(e2, cobol, QEL_COBOL_KEY_NAME), "<unset>");
  EXPECT_EQ(attr(m2, cobol, QEL_COBOL_KEY_COPY_BOOK), "<unset>");
}

}  // namespace
