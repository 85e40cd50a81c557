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

TEST_F(Writers, ElementIsWrittenWithIdentifierSecondNameAndType) {
  openSet();
  std::strcpy(parms.elemPrefix, "E_");
  uint32_t stringType = getSimpleTypeHandle("STRING");
  int32_t id = 0;
  uint32_t h = createElement("Order^ship-to", "ship-to", stringType, &id);
  EXPECT_EQ(nameOf(h), "E_Order^ship_to");
  EXPECT_EQ(secondNameOf(h), "ship-to");
  EXPECT_EQ(typeOf(h), stringType);
  EXPECT_EQ(id, getInt32(details(h).data(), QEL_OFF_IDENTIFIER));
  EXPECT_EQ(run.totals.elements, 1);
}

TEST_F(Writers, DuplicateNamesAreReportedAndStillPassedOn) {
  openSet();
  int32_t id = 0;
  uint32_t stringType = getSimpleTypeHandle("STRING");
  createType("T", 0, kCompSequence, kContentOrdinary, &id);
  createElement("E", "E", stringType, &id);
  EXPECT_EQ(run.errSw, 0);
  startCapture();
  // The repository refuses the second definition of each: its status decides.
  EXPECT_EQ(raisedCode([&] { createType("T", 0, kCompSequence, kContentOrdinary, &id); }), -48);
  EXPECT_EQ(raisedCode([&] { createElement("E", "E", stringType, &id); }), -48);
  std::string out = stopCapture();
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
  startCapture();
  checkDupElementName(last);
  checkDupTypeName(last);
  std::string out = stopCapture();
  EXPECT_EQ(checkDupMemberKey(last), 1);
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(linesWith(out, "Duplicate element name").size(), 1u);
  EXPECT_EQ(linesWith(out, "Duplicate type name").size(), 1u);
}

TEST_F(Writers, RefusedIdentifierRaises9412ForEveryKind) {
  openSet();
  // The library refuses identifiers with blanks in them.
  uint32_t stringType = getSimpleTypeHandle("STRING");
  int32_t id = 0;
  startCapture();
  EXPECT_EQ(raisedCode([&] { createElement("bad 1", "x", stringType, &id); }), -62);
  EXPECT_EQ(raisedCode([&] { createType("bad 2", 0, kCompSequence, kContentOrdinary, &id); }), -62);
  EXPECT_EQ(raisedCode([&] { createValue("bad 3", "v", stringType, &id); }), -62);
  EXPECT_EQ(raisedCode([&] { CreateMessage("bad 4", "bad 4", stringType); }), -62);
  std::string out = stopCapture();
  for (const char* ident : {"bad 1", "bad 2", "bad 3", "bad 4"}) {
    std::vector<std::string> lines = linesWith(out, "KOVA9412E");
    bool named = false;
    for (const std::string& l : lines) named |= l.find(ident) != std::string::npos;
    EXPECT_TRUE(named) << ident << "\n" << out;
  }
}

TEST_F(Writers, TypeCarriesKindCompositionContentAndBase) {
  openSet();
  std::strcpy(parms.typePrefix, "T_");
  uint32_t decimal = getSimpleTypeHandle("DECIMAL");
  int32_t id = 0;
  uint32_t h = createType("Amount-Type", decimal, kCompChoice, kContentOpen, &id);
  uint32_t noBase = createType("Plain", 0, kCompAll, kContentOrdinary, &id);
  std::vector<unsigned char> d = details(h);
  EXPECT_EQ(nameOf(h), "T_Amount_Type");
  EXPECT_EQ(secondNameOf(h), "Amount_Type");
  EXPECT_EQ(getInt32(d.data(), QEL_OFF_TYPE_KIND), QEL_TYPE_KIND_COMPLEX);
  EXPECT_EQ(getInt32(d.data(), QEL_OFF_COMPOSITION), kCompChoice);
  EXPECT_EQ(getInt32(d.data(), QEL_OFF_CONTENT), kContentOpen);
  EXPECT_EQ(static_cast<uint32_t>(getInt32(d.data(), QEL_OFF_BASE_TYPE)), decimal);
  EXPECT_EQ(getInt32(details(noBase).data(), QEL_OFF_BASE_TYPE), 0);
  EXPECT_EQ(run.totals.types, 2);
}

TEST_F(Writers, ValueWithTheSameTextAndTypeIsReusedWhateverItsName) {
  // A value already in the message set from an earlier run.
  uint32_t old = 0;
  seedSet({{QEL_PLUGIN_XML, "XML1"}}, [&](uint32_t set) {
    old = define(set, QEL_CLASS_VALUE, "OldName", find(set, QEL_CLASS_TYPE, "STRING"), "RED");
  });
  connectWriter();
  uint32_t stringType = getSimpleTypeHandle("STRING");
  uint32_t integerType = getSimpleTypeHandle("INTEGER");

  int32_t id = 0;
  EXPECT_EQ(createValue("EnumS", "RED", stringType, &id), old);
  EXPECT_EQ(id, getInt32(details(old).data(), QEL_OFF_IDENTIFIER));
  uint32_t other = createValue("EnumI", "RED", integerType, &id);  // other type: new
  EXPECT_NE(other, old);
  uint32_t blue = createValue("Enum2S", "BLUE", stringType, &id);
  EXPECT_EQ(createValue("Enum3S", "BLUE", stringType, &id), blue);  // made in this run
  EXPECT_EQ(run.totals.values, 2);
  EXPECT_EQ(run.totals.valuesReused, 2);
  EXPECT_EQ(valueTextOf(other), "RED");
  EXPECT_EQ(typeOf(other), integerType);
}

TEST_F(Writers, ValueOfATakenNameWithOtherTextOrTypeIsNumbered) {
  openSet();
  uint32_t stringType = getSimpleTypeHandle("STRING");
  uint32_t integerType = getSimpleTypeHandle("INTEGER");
  int32_t id = 0;
  uint32_t a = createValue("MaxLen", "10", integerType, &id);
  // The name is taken by a value of another text, then of another type.
  uint32_t b = createValue("MaxLen", "20", integerType, &id);
  uint32_t c = createValue("MaxLen", "30", stringType, &id);
  EXPECT_EQ(std::vector<std::string>({nameOf(a), nameOf(b), nameOf(c)}),
            std::vector<std::string>({"MaxLen", "MaxLen1", "MaxLen2"}));
  EXPECT_EQ(std::vector<std::string>({valueTextOf(b), valueTextOf(c)}),
            std::vector<std::string>({"20", "30"}));
  EXPECT_EQ(typeOf(c), stringType);
  EXPECT_EQ(run.totals.values, 3);
}

TEST_F(Writers, ValueWithoutTypeIsAnError) {
  openSet();
  int32_t id = 0;
  startCapture();
  EXPECT_EQ(createValue("x", "1", 0, &id), 0u);
  EXPECT_NE(stopCapture().find("*****Error - typeHandle is 0 for value"), std::string::npos);
  EXPECT_EQ(run.errSw, 1);
}

TEST_F(Writers, TypeMemberOccurrences) {
  openSet();
  int32_t id = 0;
  uint32_t stringType = getSimpleTypeHandle("STRING");
  uint32_t type = createType("T", 0, kCompSequence, kContentOrdinary, &id);
  struct Case {
    int32_t minOcc, maxOcc;
    int16_t repeat;
    const char* min;
    const char* max;
  };
  const Case cases[] = {{0, -2, 1, "0", ""},
                        {1, 1, 0, "1", "1"},
                        {-1, -1, 0, "", ""},
                        {2, 5, 1, "2", "5"},
                        {0, 0, 0, "0", "0"}};
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "E" + std::to_string(n++);
    uint32_t child = createElement(name.c_str(), name.c_str(), stringType, &id);
    createTypeMember(type, child, n, QEL_CLASS_ELEMENT, c.minOcc, c.maxOcc, "T", name.c_str());
    uint32_t member = memberFor(type, child);
    ASSERT_NE(member, 0u) << name;
    std::vector<unsigned char> m = memberRecord(type, member);
    int16_t repeat;
    std::memcpy(&repeat, m.data() + QEL_OFF_MEMBER_REPEAT, 2);
    EXPECT_EQ(repeat, c.repeat) << c.maxOcc;
    EXPECT_EQ(getText(m.data(), QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE), c.min) << c.minOcc;
    EXPECT_EQ(getText(m.data(), QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE), c.max) << c.maxOcc;
  }
  EXPECT_EQ(run.totals.typeMembers, 5);
}

TEST_F(Writers, ValueMemberTwiceIsReportedAndTheRunGoesOn) {
  openSet();
  int32_t id = 0;
  uint32_t stringType = getSimpleTypeHandle("STRING");
  uint32_t element = createElement("E", "E", stringType, &id);
  uint32_t value = createValue("V", "x", stringType, &id);
  createValueMember(value, element, QEL_CLASS_ELEMENT, 1, kRoleEnumeration);
  EXPECT_EQ(getInt32(memberRecord(element, memberFor(element, value)).data(), QEL_OFF_MEMBER_ROLE),
            kRoleEnumeration);
  startCapture();
  EXPECT_EQ(createValueMember(value, element, QEL_CLASS_ELEMENT, 2, kRoleEnumeration), 0u);
  EXPECT_NE(stopCapture().find("Value already a member of the element."), std::string::npos);
  EXPECT_EQ(run.errSw, 0);
  EXPECT_EQ(run.totals.valueMembers, 1);
}

TEST_F(Writers, ExistingElementOfTheWrongKindRaises9418) {
  openSet();
  int32_t id = 0;
  uint32_t complexType = createType("T", 0, kCompSequence, kContentOrdinary, &id);
  uint32_t stringType = getSimpleTypeHandle("STRING");
  createElement("Complex", "Complex", complexType, &id);
  createElement("Simple", "Simple", stringType, &id);
  uint32_t h = 0, th = 0;
  int32_t tid = 0;
  findElementByName("Complex", &h, &id, &th, &tid, 0);
  EXPECT_EQ(th, complexType);
  findElementByName("Simple", &h, &id, &th, &tid, 1);
  EXPECT_EQ(th, stringType);
  findElementByName("Missing", &h, &id, &th, &tid, 1);
  EXPECT_EQ(h, 0u);
  startCapture();
  EXPECT_EQ(raisedCode([&] { findElementByName("Complex", &h, &id, &th, &tid, 1); }), -68);
  EXPECT_EQ(raisedCode([&] { findElementByName("Simple", &h, &id, &th, &tid, 0); }), -68);
  EXPECT_EQ(linesWith(stopCapture(), "KOVA9418E").size(), 2u);
}

TEST_F(Writers, TypeNameQuestionAsksTheMessageSet) {
  EXPECT_FALSE(repositoryHasTypeName("T"));  // no message set open
  openSet();
  std::strcpy(parms.typePrefix, "p_");
  int32_t id = 0;
  createType("Order-Type", 0, kCompSequence, kContentOrdinary, &id);
  EXPECT_TRUE(repositoryHasTypeName("Order-Type"));
  EXPECT_TRUE(repositoryHasTypeName("Order:Type"));  // the same identifier
  EXPECT_FALSE(repositoryHasTypeName("Other"));
}

// ---- plug-in attributes ---------------------------------------------------------------

TEST_F(Writers, LanguageNameRules) {
  struct Case {
    const char* name;
    const char* cobol;
    const char* c;
    const char* copyBook;
  };
  const Case cases[] = {
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
      {"\xE4\xB8\x80"
       "00",
       "C00", "_00", "00.CPY"},
      {"\xE4\xB8\x80", "C", "_", "C.CPY"},
      {"Gr\xC3\xB6\xC3\x9F"
       "e",
       "GR-E", "Gr__e", "GRE.CPY"},
      {"x y!z", "X-Y-Z", "x_y_z", "XYZ.CPY"},
      {"-9-", "C9", "_9_", "9.CPY"},
      {"abcdefghijklmnopqrstuvwxyz-", "ABCDEFGHIJKLMNOPQRSTUVWX", "abcdefghijklmnopqrstuvwxyz_",
       "ABCDEFGH.CPY"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cobolName(c.name), c.cobol) << c.name;
    EXPECT_EQ(cName(c.name), c.c) << c.name;
    EXPECT_EQ(copyBookName(c.name), c.copyBook) << c.name;
  }
}

TEST_F(Writers, XmlLayerIsAddedOrReusedAndConfigured) {
  for (const char* name : {"XML1", "Wire"}) {
    repo.reset();
    db_ = makeTempDir() + "/repository.kovadb";
    run.totals = Totals{};
    uint32_t set = openSet();
    bool added = std::string(name) == "Wire";
    if (added) std::strcpy(parms.xsiPrefix, "xsi2");
    size_t layers = members(set).size();
    startCapture();
    EXPECT_EQ(createXMLtab(name), 0);
    std::string out = stopCapture();
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
    for (const auto& [key, value] : expected)
      EXPECT_EQ(attr(set, layer, key), value) << name << " " << key;
    EXPECT_EQ(run.totals.attributes, 1 /* marker */ + 10) << name;
  }
}

TEST_F(Writers, RefusedAttributeValueRaises9413) {
  openSet();
  int32_t id = 0;
  uint32_t e = createElement("E", "E", getSimpleTypeHandle("STRING"), &id);
  // Too long for the library.
  std::string tooLong = "NOPE" + std::string(300, 'x');
  startCapture();
  EXPECT_EQ(raisedCode([&] {
              createAttribute(tooLong.c_str(), e, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME);
            }),
            -63);
  std::string out = stopCapture();
  EXPECT_EQ(linesWith(out, "KOVA9413E").size(), 1u) << out;
  EXPECT_EQ(linesWith(out, tooLong).size(), 1u) << out;
  EXPECT_EQ(attr(e, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME), "<unset>");
}

TEST_F(Writers, MissingRenderValuesAreErrorsWithoutWriting) {
  uint32_t set = openSet();
  uint32_t layer = repo.xmlLayers[0].handle;
  struct Case {
    std::function<void()> call;
    const char* line;
  };
  const Case cases[] = {
      {[&] { insertDateFormat(set, "", layer); },
       "*****Error - XML Date format is missing or null"},
      {[&] { insertBinaryRender(set, nullptr, layer); },
       "*****Error - XML boolean render type is missing or null"},
      {[&] { setXmlRender(set, 1, layer, ""); }, "*****Error - XML render type is missing or null"},
      {[&] { setXmlMemberName(set, 1, layer, ""); }, "*****Error - XML name is missing or null"},
  };
  int32_t attributes = run.totals.attributes;
  for (const Case& c : cases) {
    run.errSw = 0;
    startCapture();
    c.call();
    EXPECT_NE(stopCapture().find(c.line), std::string::npos) << c.line;
    EXPECT_EQ(run.errSw, 1) << c.line;
  }
  EXPECT_EQ(run.totals.attributes, attributes);
  EXPECT_EQ(run.totals.memberAttributes, 0);
}

TEST_F(Writers, LanguageNamesGoOnlyToRegisteredPlugins) {
  uint32_t set = openSet();
  int32_t id = 0;
  uint32_t e = createElement("ship-to", "ship-to", getSimpleTypeHandle("STRING"), &id);
  startCapture();
  insertLanguageNames(e, "ship-to");
  EXPECT_NE(stopCapture().find("CobolName : SHIP-TO"), std::string::npos);
  EXPECT_EQ(attr(e, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "SHIP-TO");
  EXPECT_EQ(attr(e, repo.cPlugin.handle, QEL_C_KEY_NAME), "ship_to");
  uint32_t message = define(set, QEL_CLASS_MESSAGE, "M");
  insertMessageCobolNames(message, "purchase-order");
  EXPECT_EQ(attr(message, repo.cobolPlugin.handle, QEL_COBOL_KEY_COPY_BOOK), "PURCHASE.CPY");

  // Without a COBOL member only the C name is written (a write through the
  // empty handle would be refused and raise).
  uint32_t cobol = repo.cobolPlugin.handle;
  repo.cobolPlugin = PluginLayer{};
  uint32_t e2 = createElement("x", "x", getSimpleTypeHandle("STRING"), &id);
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
