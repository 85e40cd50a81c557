// Attributes and attribute groups, the attribute redeclarations of a simple
// content restriction, and the xml prefix.  (Faulty attributes are among the
// faults of elements_test.cc.)
#include "model_test_util.h"

namespace {

TEST_F(ModelTest, AttributeUseGivesTheMemberBounds) {
  build(schema("<xs:attribute name='g' type='xs:int'/>" +
               rootType(R"(<xs:attribute name='plain' type='xs:string'/>
      <xs:attribute name='req' type='xs:string' use='required'/>
      <xs:attribute name='opt' type='xs:string' use='optional'/>
      <xs:attribute name='gone' type='xs:string' use='prohibited'/>
      <xs:attribute ref='g' use='required'/><xs:attribute name='untyped'/>)")),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(members(1),
            " | @plain[0..1] @req[1..1] @opt[0..1] @gone[0..0] @g[1..1] @untyped[0..1]");
  EXPECT_EQ(modelTables.attributes[attributeNamed("g")].dataType, kDtInt);
  EXPECT_EQ(modelTables.attributes[attributeNamed("untyped")].dataType, kDtAnySimpleType);
  // attributes only: composition "all" once the type is complete
  EXPECT_EQ(modelTables.types[1].composition, kCompAll);
}

TEST_F(ModelTest, FixedAttributeValueIsAnEnumerationNamedAfterItsText) {
  build(
      schema(rootType("<xs:attribute name='version' type='xs:string' fixed='1.0'/>"
                      "<xs:attribute name='lang' type='xs:string' default='en'/>")));
  int32_t version = attributeNamed("version");
  EXPECT_STREQ(textOf(modelTables.attributes[version].defaultValue), "1.0");
  // role 5 from the fixed value, role 6 from the completion of defaults
  EXPECT_EQ(valuesOf(version, false), "5:_1_0=1.0 6:version_DEF=1.0");
  EXPECT_EQ(valuesOf(attributeNamed("lang"), false), "6:lang_DEF=en");
}

TEST_F(ModelTest, AttributeGroupsExpandInPlaceAndNest) {
  build(schema(R"(
    <xs:attributeGroup name='inner'><xs:attribute name='b' type='xs:int'/><xs:anyAttribute/></xs:attributeGroup>
    <xs:attributeGroup name='outer'><xs:attribute name='a' type='xs:int'/>
      <xs:attributeGroup ref='inner'/><xs:attribute name='c' type='xs:int'/></xs:attributeGroup>)" +
               rootType("<xs:attribute name='first' type='xs:int'/>"
                        "<xs:attributeGroup ref='outer'/>")),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(members(1), " | @first[0..1] @a[0..1] @b[0..1] @c[0..1]");
  EXPECT_TRUE(modelTables.types[1].flag & kTypeAnyAttribute);
}

TEST_F(ModelTest, SimpleContentRestrictionUpdatesInheritedAttributes) {
  build(schema(R"(<xs:complexType name='Coded'><xs:simpleContent><xs:extension base='xs:string'>
      <xs:attribute name='list' type='xs:string'/><xs:attribute name='version' type='xs:string'/>
    </xs:extension></xs:simpleContent></xs:complexType>
    <xs:complexType name='Country'><xs:simpleContent><xs:restriction base='Coded'>
      <xs:pattern value='[A-Z]{2}'/>
      <xs:attribute name='list' type='xs:token' use='required' fixed='ISO'/>
      <xs:attribute name='version' use='prohibited'/>
    </xs:restriction></xs:simpleContent></xs:complexType>
    <xs:element name='c' type='Country'/>)"),
        "c", false);
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t country = typeNamed("Country");
  EXPECT_EQ(modelTables.types[country].baseType, kDtString);
  EXPECT_EQ(members(country), " | @list[1..1] @version[0..0]");
  int32_t list = attributeNamed("list");
  EXPECT_EQ(modelTables.attributes[list].dataType, kDtToken);
  EXPECT_EQ(valuesOf(list, false), "5:ISO=ISO");
  EXPECT_TRUE(modelTables.attributes[attributeNamed("version")].flag & kAttrProhibited);
  int32_t versionMember = modelTables.typeEntries[modelTables.types[country].firstAttribute].next;
  EXPECT_TRUE(modelTables.typeEntries[versionMember].flag & kMemberProhibited);
  EXPECT_EQ(linesWith(output, "KOVA9373W").size(), 1u) << output;  // the pattern
}

TEST_F(ModelTest, TheXmlPrefixNeedsNoDeclaration) {
  // xml:lang and its kin resolve to the XML namespace: to an xml.xsd that a
  // document imports (the one of the test data), otherwise to built-in string
  // attributes.
  const std::string xmlNs = "http://www.w3.org/XML/1998/namespace";
  struct Case {
    const char* label;
    const char* location;  ///< of an import of the XML namespace, or nullptr
    bool fileLocation;     ///< a [FILELOCATION] line for the XML namespace
    int32_t lang, space, base, id;
    bool builtIn;
  } cases[] = {
      {"built in", nullptr, false, kDtString, kDtString, kDtString, kDtString, true},
      {"imported", "xml.xsd", false, kDtLanguage, kDtNCName, kDtAnyURI, kDtID, false},
      {"given under [FILELOCATION]", nullptr, true, kDtLanguage, kDtNCName, kDtAnyURI, kDtID,
       false},
      // Never fetched: its references do not fail, so no warning for the import.
      {"imported from a network address", "http://www.w3.org/2001/xml.xsd", false, kDtString,
       kDtString, kDtString, kDtString, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshRun();
    std::strcpy(parms.xsiPrefix, "xsi");
    std::string dir = makeTempDir();
    writeFile(dir + "/xml.xsd", readGolden("xml.xsd"));
    if (c.fileLocation) createFileLocBlock(xmlNs.c_str(), (dir + "/xml.xsd").c_str());
    std::string import = c.location == nullptr ? ""
                                               : "<xs:import namespace='" + xmlNs +
                                                     "' schemaLocation='" + c.location + "'/>";
    writeFile(
        dir + "/main.xsd",
        schema(import + rootType("<xs:sequence><xs:element name='t'><xs:complexType>"
                                 "<xs:attributeGroup ref='xml:specialAttrs'/></xs:complexType>"
                                 "</xs:element></xs:sequence><xs:attribute ref='xml:lang' "
                                 "use='required'/><xs:attribute ref='xml:space'/>"),
               "xmlns:xml='" + xmlNs + "' xmlns:m='urn:m' targetNamespace='urn:m'"));
    startCapture();
    int32_t main = loadSchemaFile(dir + "/main.xsd");
    std::string reading = stopCapture();
    ASSERT_GT(main, 0) << reading;
    EXPECT_EQ(linesWith(reading, "KOVA9430I").size(), c.builtIn ? 1u : 0u) << reading;
    EXPECT_EQ(linesWith(reading, "KOVA9424W").size(), 0u) << reading;
    ASSERT_GT(runModel("r"), 0) << output;
    EXPECT_EQ(run.errSw, 0) << output;
    struct Expect {
      const char* name;
      int32_t dataType;
    } expect[] = {{"lang", c.lang}, {"space", c.space}, {"base", c.base}, {"id", c.id}};
    for (const Expect& e : expect) {
      int32_t a = attributeNamed(e.name);
      ASSERT_GT(a, 0) << e.name;
      EXPECT_EQ(modelTables.attributes[a].dataType, e.dataType) << e.name;
      EXPECT_EQ(std::string(textOf(modelTables.attributes[a].xmlName)),
                std::string("xml:") + e.name);
    }
    // The xml prefix is never declared on the instance, whatever the schema wrote.
    EXPECT_EQ(attributeNamed("xmlns:xml"), 0);
    EXPECT_GT(attributeNamed("xmlns:m"), 0);
  }
}

}  // namespace
