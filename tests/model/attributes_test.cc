// Attributes and attribute groups, and the attribute redeclarations of a
// simple content restriction.
#include "model_test_util.h"

namespace {

TEST_F(ModelTest, AttributeUseGivesTheMemberBounds) {
  build(schema(R"(
    <xs:attribute name='g' type='xs:int'/>
    <xs:element name='r'><xs:complexType>
      <xs:attribute name='plain' type='xs:string'/>
      <xs:attribute name='req' type='xs:string' use='required'/>
      <xs:attribute name='opt' type='xs:string' use='optional'/>
      <xs:attribute name='gone' type='xs:string' use='prohibited'/>
      <xs:attribute ref='g' use='required'/>
      <xs:attribute name='untyped'/>
    </xs:complexType></xs:element>)"),
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
  build(schema(R"(
    <xs:element name='r'><xs:complexType>
      <xs:attribute name='version' type='xs:string' fixed='1.0'/>
      <xs:attribute name='lang' type='xs:string' default='en'/>
    </xs:complexType></xs:element>)"),
        "r");
  int32_t version = attributeNamed("version");
  int32_t lang = attributeNamed("lang");
  EXPECT_STREQ(textOf(modelTables.attributes[version].defaultValue), "1.0");
  // role 5 from the fixed value, role 6 from the completion of defaults
  EXPECT_EQ(valuesOf(version, false), "5:_1_0=1.0 6:version_DEF=1.0");
  EXPECT_EQ(valuesOf(lang, false), "6:lang_DEF=en");
}

TEST_F(ModelTest, AttributeGroupsExpandInPlaceAndNest) {
  build(schema(R"(
    <xs:attributeGroup name='inner'><xs:attribute name='b' type='xs:int'/><xs:anyAttribute/></xs:attributeGroup>
    <xs:attributeGroup name='outer'>
      <xs:attribute name='a' type='xs:int'/><xs:attributeGroup ref='inner'/>
      <xs:attribute name='c' type='xs:int'/>
    </xs:attributeGroup>
    <xs:element name='r'><xs:complexType>
      <xs:attribute name='first' type='xs:int'/><xs:attributeGroup ref='outer'/>
    </xs:complexType></xs:element>)"),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(members(1), " | @first[0..1] @a[0..1] @b[0..1] @c[0..1]");
  EXPECT_TRUE(modelTables.types[1].flag & kTypeAnyAttribute);
}

TEST_F(ModelTest, AttributeErrors) {
  struct Case {
    const char* attribute;
    int32_t message;
  } cases[] = {
      {"<xs:attribute ref='missing'/>", 9365},
      {"<xs:attribute type='xs:int'/>", 9367},
      {"<xs:attribute name='a' type='Nope'/>", 9376},
      {"<xs:attributeGroup ref='missing'/>", 9365},
  };
  for (const Case& c : cases) {
    freshRun();
    build(schema(std::string("<xs:element name='r'><xs:complexType>") + c.attribute +
                 "</xs:complexType></xs:element>"),
          "r", false);
    EXPECT_EQ(run.errSw, 1) << c.attribute;
    EXPECT_FALSE(linesWith(output, "KOVA" + std::to_string(c.message) + "E").empty())
        << c.attribute << "\n"
        << output;
  }
}

const char* kCoded = R"(
  <xs:complexType name='Coded'><xs:simpleContent><xs:extension base='xs:string'>
    <xs:attribute name='list' type='xs:string'/>
    <xs:attribute name='version' type='xs:string'/>
  </xs:extension></xs:simpleContent></xs:complexType>)";

TEST_F(ModelTest, SimpleContentRestrictionUpdatesInheritedAttributes) {
  build(schema(std::string(kCoded) + R"(
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
  int32_t version = attributeNamed("version");
  EXPECT_TRUE(modelTables.attributes[version].flag & kAttrProhibited);
  int32_t versionMember = modelTables.typeEntries[modelTables.types[country].firstAttribute].next;
  EXPECT_TRUE(modelTables.typeEntries[versionMember].flag & kMemberProhibited);
  EXPECT_EQ(linesWith(output, "KOVA9373W").size(), 1u) << output;  // the pattern
}

}  // namespace
