// The mapping of model rows onto definitions: simple types, roles, letters,
// date templates, exclusive bounds, the six passes and the message.
#include <string>

#include "writer_fixture.h"

namespace {

/// A purchase order: type PurchaseOrder (attributes in PurchaseOrder_attrs)
/// holding an orderDate, two colour elements of one enumerated simple type,
/// a quantity with an exclusive bound and a sub-type.
struct Order {
  int32_t orderType, attrsType, colourType, subType;
  int32_t orderDate, colour1, colour2, quantity, root, data;
  int32_t id, currency;
};

class Mapping : public WriterTest {
 protected:
  /// The simple type `name` of the open message set.
  static uint32_t simple(const char* name) { return find(repo.msgSetHandle, QEL_CLASS_TYPE, name); }

  static Order buildOrder() {
    Order o{};
    o.orderType = addType("PurchaseOrder");
    o.attrsType = addType("PurchaseOrder_attrs");
    o.colourType = addType("Colour", kTypeSimple);
    o.subType = addType("Lines_ANON");
    o.root = addElement("order", "order", o.orderType, 0, "order");
    modelTables.elements[o.root].flag |= kElemXsiRoot;
    o.orderDate = addElement("orderDate", "PurchaseOrder^orderDate", 0, kDtDate, "orderDate");
    o.colour1 = addElement("colour", "PurchaseOrder^colour", o.colourType, kDtString, "colour");
    o.colour2 = addElement("shade", "PurchaseOrder^shade", o.colourType, kDtString);
    o.quantity = addElement("qty", "Lines_ANON^qty", 0, kDtInteger, "qty");
    o.data = addElement("blob", "Lines_ANON^blob", 0, kDtBase64Binary, "blob");
    o.id = addAttribute("id", o.attrsType, kDtString);
    o.currency = addAttribute("currency", o.attrsType, kDtString);
    addMember(o.attrsType, kMemberAttribute, o.id, 1, 1);
    addMember(o.orderType, kMemberAttribute, o.id, 0, 1);
    addMember(o.orderType, kMemberAttribute, o.id, 0, 1);  // listed twice
    addMember(o.orderType, kMemberAttribute, o.currency, 0, 1);
    addMember(o.orderType, kMemberElement, o.orderDate, 1, 1);
    addMember(o.orderType, kMemberElement, o.colour1, 0, -2);
    addMember(o.orderType, kMemberElement, o.colour2, 0, 1);
    addMember(o.orderType, kMemberSubType, o.subType, 1, 1);
    addMember(o.subType, kMemberElement, o.quantity, 1, 1);
    addMember(o.subType, kMemberElement, o.data, 0, 1);
    addMember(o.subType, kMemberSubType, o.attrsType, 1, 1);
    addValue("RED", "RED", kRoleEnumeration, o.colour1);
    addValue("BLUE", "BLUE", kRoleEnumeration, o.colour1);
    addValue("RED", "RED", kRoleEnumeration, o.colour2);
    addValue("MaxInclusive2030_01_01", "2030-01-01", kRoleMaxInclusive, o.orderDate);
    addValue("_2024_01_01", "2024-01-01", kRoleEnumeration, o.orderDate);
    addValue("MinExclusive0", "0", kRoleMinExclusive, o.quantity);
    addValue("currency_DEF", "EUR", kRoleDefault, 0, o.currency);
    return o;
  }

  /// Members of every type and element of `set`.
  static size_t memberCount(uint32_t set) {
    size_t n = 0;
    for (int32_t defClass : {QEL_CLASS_TYPE, QEL_CLASS_ELEMENT})
      for (uint32_t h : ofClass(set, defClass)) n += members(h).size();
    return n;
  }
};

TEST_F(Mapping, SimpleTypesByCodeAndRoleAndTheirLetters) {
  openSet();
  const std::pair<int32_t, const char*> codes[] = {
      {kDtBase64Binary, "BINARY"},   {kDtHexBinary, "BINARY"},
      {kDtBoolean, "BOOLEAN"},       {kDtByte, "INTEGER"},
      {kDtUnsignedShort, "INTEGER"}, {kDtPositiveInteger, "INTEGER"},
      {kDtDate, "DATETIME"},         {kDtGYearMonth, "DATETIME"},
      {kDtYear, "DATETIME"},         {kDtDecimal, "DECIMAL"},
      {kDtDouble, "FLOAT"},          {kDtFloat, "FLOAT"},
      {kDtString, "STRING"},         {kDtAnyURI, "STRING"},
      {kDtDuration, "STRING"},       {0, "STRING"}};
  for (const auto& [code, type] : codes) EXPECT_EQ(dataTypeForCode(code), simple(type)) << code;

  uint32_t owner = simple("DECIMAL");
  for (int32_t role : {1, 2, 5, 6, 100, 101}) EXPECT_EQ(valueTypeForRole(role, owner), owner);
  const std::pair<int32_t, const char*> roles[] = {
      {3, "INTEGER"}, {4, "INTEGER"}, {7, "BOOLEAN"}, {9, "STRING"}};
  for (const auto& [role, type] : roles) EXPECT_EQ(valueTypeForRole(role, owner), simple(type));
  EXPECT_EQ(valueTypeForRole(8, owner), 0u);
  const std::pair<const char*, const char*> letters[] = {
      {"STRING", "S"},  {"INTEGER", "I"},  {"FLOAT", "F"},   {"BINARY", "X"},
      {"BOOLEAN", "B"}, {"DATETIME", "T"}, {"DECIMAL", "D"}, {nullptr, ""}};
  for (const auto& [type, letter] : letters) {
    std::string text = "Enum";
    appendTypeLetter(text, type ? simple(type) : 0x7777);  // no letter for an unknown type
    EXPECT_EQ(text, std::string("Enum") + letter);
  }

  parms.DateStringOnly = 1;
  EXPECT_EQ(dataTypeForCode(kDtDateTime), simple("STRING"));
  EXPECT_EQ(dataTypeForCode(kDtInt), simple("INTEGER"));
  parms.StringOnly = 1;
  for (const auto& [code, type] : codes) EXPECT_EQ(dataTypeForCode(code), simple("STRING")) << code;
}

TEST_F(Mapping, DateTemplates) {
  const std::pair<int32_t, const char*> off[] = {
      {kDtDate, "yyyy-MM-dd"}, {kDtDateTime, ""},          {kDtTime, "HH:mm:ssZZZ"},
      {kDtGDay, "---dd"},      {kDtGMonth, "--MM"},        {kDtGMonthDay, "--MM-dd"},
      {kDtGYear, "yyyy"},      {kDtGYearMonth, "yyyy-MM"}, {kDtString, ""}};
  for (const auto& [code, text] : off) EXPECT_EQ(getDateTemplate(code), text) << code;
  parms.InclTimeFrac = 1;
  EXPECT_EQ(getDateTemplate(kDtDateTime), "yyyy-MM-dd'T'HH:mm:ss.SSSZZZ");
  EXPECT_EQ(getDateTemplate(kDtTime), "HH:mm:ss.SSSZZZ");
  EXPECT_EQ(getDateTemplate(kDtDate), "yyyy-MM-dd");
}

TEST_F(Mapping, ExclusiveBoundsMoveByOneOrAreLeftOut) {
  openSet();
  uint32_t integer = simple("INTEGER");
  struct Case {
    const char* text;
    int16_t role;
    uint32_t type;
    int32_t skip;
    const char* newText;
    int16_t newRole;
    bool message;
  };
  const Case cases[] = {
      {"10", kRoleMinExclusive, integer, 0, "11", kRoleMinInclusive, true},
      {"10", kRoleMinExclusive, simple("STRING"), 0, "10", kRoleMinInclusive, false},
      {"0042", kRoleMaxExclusive, integer, 0, "41", kRoleMaxInclusive, true},
      {"100", kRoleMaxExclusive, integer, 0, "99", kRoleMaxInclusive, true},
      {"0", kRoleMaxExclusive, integer, 0, "-1", kRoleMaxInclusive, true},
      {"99999999999999999999", kRoleMinExclusive, integer, 0, "100000000000000000000",
       kRoleMinInclusive, true},
      {"-5", kRoleMinExclusive, integer, 1, "-5", kRoleMinExclusive, false},
      {"1.5", kRoleMaxExclusive, integer, 1, "1.5", kRoleMaxExclusive, false},
      {"7", kRoleMinInclusive, integer, 0, "7", kRoleMinInclusive, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t v = addValue("B", c.text, c.role, 1);
    std::string out = captured([&] { EXPECT_EQ(adjustExclusiveBound(v, c.type), c.skip); });
    EXPECT_STREQ(nameAt(modelTables.values[v].value), c.newText);
    EXPECT_EQ(modelTables.values[v].role, c.newRole);
    EXPECT_EQ(out.find("KOVA9374W") != std::string::npos, c.message) << out;
    if (c.message) {
      EXPECT_NE(out.find(c.text), std::string::npos) << out;
      EXPECT_NE(out.find(c.newText), std::string::npos) << out;
    }
  }
  EXPECT_EQ(run.errSw, 0);
}

TEST_F(Mapping, SixPassesWriteTheWholeModel) {
  openSet(true);
  Order o = buildOrder();
  uint32_t layer = repo.xmlLayers[0].handle;
  uint32_t cwf = repo.cwfLayers[0].handle;
  std::string out = captured(createQELitems);
  ASSERT_EQ(run.errSw, 0) << out;

  // Pass 1: the simple type row is not a definition.
  const TypeEntry& order = modelTables.types[o.orderType];
  EXPECT_EQ(nameOf(order.handle), "PurchaseOrder");
  EXPECT_EQ(modelTables.types[o.colourType].handle, 0u);
  EXPECT_EQ(run.totals.types, 3);

  // Pass 2: the root (xsi flag) is not written; the others are.
  EXPECT_EQ(modelTables.elements[o.root].handle, 0u);
  const ElementEntry& date = modelTables.elements[o.orderDate];
  uint32_t datetime = simple("DATETIME");
  EXPECT_EQ(date.dataTypeHandle, datetime);
  EXPECT_EQ(attr(date.handle, layer, QEL_XML_KEY_DATE_FORMAT), "yyyy-MM-dd");
  EXPECT_EQ(attr(date.handle, layer, QEL_XML_KEY_XML_NAME), "PurchaseOrder_orderDate");
  EXPECT_EQ(attr(date.handle, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "ORDERDATE");
  EXPECT_EQ(attr(modelTables.elements[o.data].handle, layer, QEL_XML_KEY_BINARY_RENDER), "2");
  EXPECT_EQ(attr(modelTables.elements[o.colour2].handle, layer, QEL_XML_KEY_XML_NAME), "<unset>");

  // Pass 3: attributes as elements named after the owning type.
  const AttrEntry& id = modelTables.attributes[o.id];
  EXPECT_EQ(nameOf(id.handle), "PurchaseOrder^id");
  EXPECT_EQ(attr(id.handle, layer, QEL_XML_KEY_XML_NAME), "PurchaseOrder_id");
  EXPECT_EQ(run.totals.elements, 5 + 2);

  // Pass 4: members in order, the attribute listed twice by one type once.
  std::vector<uint32_t> orderMembers = members(order.handle);
  ASSERT_EQ(orderMembers.size(), 2u + 4u);
  EXPECT_EQ(childOf(order.handle, orderMembers.front()), id.handle);
  EXPECT_NE(memberFor(modelTables.types[o.attrsType].handle, id.handle), 0u);
  uint32_t currency = memberFor(order.handle, modelTables.attributes[o.currency].handle);
  ASSERT_NE(currency, 0u);
  EXPECT_EQ(attr(currency, layer, QEL_XML_KEY_MEMBER_RENDER), "1");
  EXPECT_EQ(attr(currency, layer, QEL_XML_KEY_MEMBER_XML_NAME), "currency");
  EXPECT_EQ(attr(currency, cwf, QEL_CWF_KEY_MEMBER_RENDER), "7");
  uint32_t colour = memberFor(order.handle, modelTables.elements[o.colour1].handle);
  ASSERT_NE(colour, 0u);
  EXPECT_EQ(attr(colour, layer, QEL_XML_KEY_MEMBER_XML_NAME), "colour");
  EXPECT_EQ(attr(colour, cwf, QEL_CWF_KEY_MEMBER_RENDER), "7");
  uint32_t dateMember = memberFor(order.handle, date.handle);
  ASSERT_NE(dateMember, 0u);
  // DATETIME is not rendered as text.
  EXPECT_EQ(attr(dateMember, cwf, QEL_CWF_KEY_MEMBER_RENDER), "<unset>");
  EXPECT_EQ(childOf(order.handle, orderMembers.back()), modelTables.types[o.subType].handle);

  // Pass 5: one RED value shared by both colours; the date bound left out,
  // the date enumeration typed DATETIME; the exclusive bound moved.
  uint32_t red = modelTables.values[1].handle;
  EXPECT_NE(red, 0u);
  EXPECT_EQ(modelTables.values[3].handle, red);
  EXPECT_STREQ(nameAt(modelTables.values[1].name), "REDS");
  EXPECT_NE(memberFor(modelTables.elements[o.colour1].handle, red), 0u);
  EXPECT_NE(memberFor(modelTables.elements[o.colour2].handle, red), 0u);
  EXPECT_EQ(modelTables.values[4].handle, 0u);
  EXPECT_EQ(modelTables.values[5].dataTypeHandle, datetime);
  EXPECT_STREQ(nameAt(modelTables.values[5].name), "_2024_01_01T");
  EXPECT_EQ(valueTextOf(modelTables.values[6].handle), "1");
  EXPECT_EQ(modelTables.values[6].role, kRoleMinInclusive);
  uint32_t quantity = modelTables.elements[o.quantity].handle;
  ASSERT_NE(memberFor(quantity, modelTables.values[6].handle), 0u);
  EXPECT_EQ(roleOf(quantity, modelTables.values[6].handle), kRoleMinInclusive);
  EXPECT_NE(out.find("KOVA9374W"), std::string::npos);
  // Pass 6: the attribute's default.
  uint32_t eur = modelTables.values[7].handle;
  ASSERT_NE(eur, 0u);
  uint32_t currencyElement = modelTables.attributes[o.currency].handle;
  ASSERT_NE(memberFor(currencyElement, eur), 0u);
  EXPECT_EQ(roleOf(currencyElement, eur), kRoleDefault);
  EXPECT_EQ(run.totals.values, 5);
  EXPECT_EQ(run.totals.valueMembers, 6);
}

TEST_F(Mapping, AttributeWithoutOwningEntryStopsTheMapping) {
  openSet();
  int32_t t = addType("T");
  addAttribute("lost", t, kDtString);
  std::string out = captured(createQELitems);
  EXPECT_NE(out.find("KOVA9383E"), std::string::npos);
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(run.returnCode, -33);
  EXPECT_EQ(modelTables.attributes[1].handle, 0u);
}

TEST_F(Mapping, SecondImportReusesTypesElementsAndValues) {
  uint32_t set = openSet();
  buildOrder();
  createQELitems();
  ASSERT_EQ(run.errSw, 0);
  size_t before = memberCount(set);
  int32_t elements = run.totals.elements;
  endTransaction(0);

  // The same model again, as a new run into the same message set.
  repo.reset();
  modelTables.reset();
  modelTables.allocate(16, 16, 16, 16);
  run.totals = Totals{};
  connectToQEL(db_.c_str(), "u", "p");
  ASSERT_EQ(getQELInfo("MS", 0), 0);
  buildOrder();
  parms.verbose = 1;
  std::string out = captured(createQELitems);
  EXPECT_EQ(run.errSw, 0) << out;
  EXPECT_EQ(linesWith(out, "KOVA9360I").size(), 3u);  // every type, reported as reused
  EXPECT_EQ(linesWith(out, "KOVA9361I").size(), 7u);  // elements and attributes
  EXPECT_EQ(linesWith(out, "Created type").size(), 0u);
  EXPECT_EQ(run.totals.typesReused, 3);
  EXPECT_EQ(run.totals.types, 0);
  EXPECT_EQ(run.totals.elementsReused, elements);  // attributes included
  EXPECT_EQ(run.totals.elements, 0);
  EXPECT_EQ(run.totals.values, 0);
  EXPECT_EQ(run.totals.valuesReused, 5);
  EXPECT_EQ(run.totals.valueMembers, 0);
  EXPECT_EQ(linesWith(out, "Value already a member of the element.").size(), 6u);
  EXPECT_EQ(memberCount(set), before);  // no member written twice
}

TEST_F(Mapping, MessageCarriesRootTypeNamesAndXmlName) {
  uint32_t set = openSet();
  std::strcpy(parms.msgPrefix, "m_");
  std::strcpy(parms.rootElement, "order");
  uint32_t type = complexType("PurchaseOrder");
  uint32_t message = buildQELdata(type, "po:order");
  EXPECT_EQ(nameOf(message), "m_order");
  EXPECT_EQ(secondNameOf(message), "order");
  EXPECT_EQ(typeOf(message), type);
  EXPECT_EQ(attr(message, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME), "po:order");
  EXPECT_EQ(attr(message, repo.cobolPlugin.handle, QEL_COBOL_KEY_COPY_BOOK), "ORDER.CPY");
  // ORDER is a reserved word of COBOL: the name is numbered.
  EXPECT_EQ(attr(message, repo.cobolPlugin.handle, QEL_COBOL_KEY_NAME), "ORDER-1");
  EXPECT_EQ(run.totals.messages, 1);
  EXPECT_EQ(ofClass(set, QEL_CLASS_MESSAGE).size(), 1u);

  // The XML name is left out when the root tag is the identifier itself.
  parms.msgPrefix[0] = '\0';
  std::strcpy(parms.rootElement, "invoice");
  uint32_t second = buildQELdata(type, "invoice");
  EXPECT_EQ(attr(second, repo.xmlLayers[0].handle, QEL_XML_KEY_XML_NAME), "<unset>");

  // With errors no message is made.
  run.errSw = 1;
  EXPECT_EQ(buildQELdata(type, "x"), type);
  EXPECT_EQ(ofClass(set, QEL_CLASS_MESSAGE).size(), 2u);
}

}  // namespace
