// Simple types and facets: restriction chains, the precedence of the most
// derived facets, the value rows and their names, lists and unions.
#include "model_test_util.h"

namespace {

struct FacetCase {
  const char* name;
  const char* simpleTypes;  ///< named simple types; the element uses type T
  int32_t dataType;
  const char* values;  ///< valuesOf the element
  uint32_t mask;
  size_t warnings;  ///< KOVA9373W lines
};

class FacetTest : public ModelTest, public ::testing::WithParamInterface<FacetCase> {};

TEST_P(FacetTest, ValueRowsMaskAndDataType) {
  const FacetCase& c = GetParam();
  build(schema(std::string(c.simpleTypes) + R"(
    <xs:element name='r'><xs:complexType><xs:sequence>
      <xs:element name='e' type='T'/></xs:sequence></xs:complexType></xs:element>)"),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t e = elementWithIdent("r_ANON^e");
  ASSERT_GT(e, 0);
  EXPECT_EQ(modelTables.elements[e].dataType, c.dataType);
  EXPECT_EQ(valuesOf(e, true), c.values);
  EXPECT_EQ(modelTables.elements[e].facets, c.mask);
  EXPECT_EQ(linesWith(output, "KOVA9373W").size(), c.warnings) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Facets, FacetTest,
    ::testing::Values(
        FacetCase{"ThreeEnumerations",
                  "<xs:simpleType name='T'><xs:restriction base='xs:string'>"
                  "<xs:enumeration value='red'/><xs:enumeration value='1st'/>"
                  "<xs:enumeration value='a-b'/></xs:restriction></xs:simpleType>",
                  kDtString, "5:red=red 5:_1st=1st 5:a_b=a-b", 0x001, 0},
        FacetCase{"DerivedEnumerationsWin",
                  "<xs:simpleType name='T1'><xs:restriction base='xs:string'>"
                  "<xs:enumeration value='x'/><xs:enumeration "
                  "value='y'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:enumeration value='x'/></xs:restriction></xs:simpleType>",
                  kDtString, "5:x=x", 0x001, 0},
        FacetCase{"BaseEnumerationsApplyWhenDerivedHasNone",
                  "<xs:simpleType name='T1'><xs:restriction base='xs:string'>"
                  "<xs:enumeration value='x'/><xs:enumeration "
                  "value='y'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:maxLength value='1'/></xs:restriction></xs:simpleType>",
                  kDtString, "4:MaxLen1=1 5:x=x 5:y=y", 0x025, 0},
        FacetCase{"UpperBoundsExcludeEachOtherAcrossTheChain",
                  "<xs:simpleType name='T1'><xs:restriction base='xs:decimal'>"
                  "<xs:maxExclusive value='20'/><xs:minInclusive "
                  "value='-1'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:maxInclusive value='99.5'/></xs:restriction></xs:simpleType>",
                  kDtDecimal, "2:MaxInclusive99_5=99.5 1:MinInclusive_1=-1", 0x0D8, 0},
        FacetCase{"FirstUpperBoundOfOneRestrictionWins",
                  "<xs:simpleType name='T'><xs:restriction base='xs:int'>"
                  "<xs:maxExclusive value='10'/><xs:maxInclusive value='20'/>"
                  "<xs:minExclusive value='0'/></xs:restriction></xs:simpleType>",
                  kDtInt, "101:MaxExclusive10=10 100:MinExclusive0=0", 0x0D8, 0},
        FacetCase{"LengthMakesBothBoundsAndHidesBaseLengths",
                  "<xs:simpleType name='T1'><xs:restriction base='xs:string'>"
                  "<xs:minLength value='2'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:length value='5'/></xs:restriction></xs:simpleType>",
                  kDtString, "4:MaxLen5=5 3:MinLen5=5", 0x124, 0},
        FacetCase{"UnsupportedFacetsWarnOncePerOwner",
                  "<xs:simpleType name='T1'><xs:restriction base='xs:decimal'>"
                  "<xs:pattern value='[0-9]+'/><xs:totalDigits "
                  "value='3'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:pattern value='[0-9]'/><xs:whiteSpace value='collapse'/>"
                  "<xs:fractionDigits value='2'/></xs:restriction></xs:simpleType>",
                  kDtDecimal, "", 0xE02, 4},
        FacetCase{"AnonymousBaseIsResolved",
                  "<xs:simpleType name='T'><xs:restriction><xs:simpleType>"
                  "<xs:restriction base='xs:integer'><xs:minInclusive value='1'/></xs:restriction>"
                  "</xs:simpleType><xs:maxInclusive value='9'/></xs:restriction></xs:simpleType>",
                  kDtInteger, "2:MaxInclusive9=9 1:MinInclusive1=1", 0x0D8, 0},
        FacetCase{"RestrictionWithoutAnyBaseIsAnySimpleType",
                  "<xs:simpleType name='T'><xs:restriction/></xs:simpleType>", kDtAnySimpleType, "",
                  0, 0},
        FacetCase{"ListIsString",
                  "<xs:simpleType name='T'><xs:list itemType='xs:int'/></xs:simpleType>", kDtString,
                  "", 0, 0},
        FacetCase{
            "UnionIsString",
            "<xs:simpleType name='T'><xs:union memberTypes='xs:int xs:date'/></xs:simpleType>",
            kDtString, "", 0, 0},
        // Restricting a list or a union: a string with the restriction's facets.
        FacetCase{
            "RestrictedListIsStringWithItsFacets",
            "<xs:simpleType name='L'><xs:annotation/><xs:list itemType='xs:int'/></xs:simpleType>"
            "<xs:simpleType name='T'><xs:restriction base='L'>"
            "<xs:enumeration value='1 2'/><xs:maxLength "
            "value='3'/></xs:restriction></xs:simpleType>",
            kDtString, "5:_1_2=1 2 4:MaxLen3=3", 0x025, 0},
        FacetCase{"RestrictedUnionIsStringWithItsFacets",
                  "<xs:simpleType name='U'><xs:union memberTypes='xs:int xs:date'/></xs:simpleType>"
                  "<xs:simpleType name='T1'><xs:restriction base='U'>"
                  "<xs:enumeration value='7'/></xs:restriction></xs:simpleType>"
                  "<xs:simpleType name='T'><xs:restriction base='T1'>"
                  "<xs:minLength value='1'/></xs:restriction></xs:simpleType>",
                  kDtString, "3:MinLen1=1 5:_7=7", 0x105, 0}),
    [](const ::testing::TestParamInfo<FacetCase>& info) { return std::string(info.param.name); });

TEST_F(ModelTest, EachElementOfASimpleTypeOwnsItsFacets) {
  build(schema(R"(
    <xs:simpleType name='Size'><xs:restriction base='xs:string'>
      <xs:enumeration value='S'/><xs:enumeration value='L'/></xs:restriction></xs:simpleType>
    <xs:complexType name='Dim'><xs:simpleContent><xs:restriction base='Base'>
      <xs:maxInclusive value='7'/></xs:restriction></xs:simpleContent></xs:complexType>
    <xs:complexType name='Base'><xs:simpleContent><xs:extension base='xs:int'/></xs:simpleContent></xs:complexType>
    <xs:element name='r'><xs:complexType><xs:sequence>
      <xs:element name='a' type='Size'/><xs:element name='b' type='Size'/>
      <xs:element name='c' type='Dim'/><xs:element name='d' type='Dim'/>
      <xs:element name='z'><xs:complexType><xs:attribute name='s' type='Size'/></xs:complexType></xs:element>
    </xs:sequence></xs:complexType></xs:element>)"),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^a"), true), "5:S=S 5:L=L");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^b"), true), "5:S=S 5:L=L");
  // One shared type with simple content: only the element that built it owns the rows.
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^c"), true), "2:MaxInclusive7=7");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^d"), true), "");
  EXPECT_EQ(modelTables.types[typeNamed("Dim")].baseType, kDtInt);
  EXPECT_EQ(valuesOf(attributeNamed("s"), false), "5:S=S 5:L=L");
}

TEST_F(ModelTest, SimpleTypeErrors) {
  struct Case {
    const char* types;
    int32_t message;
    const char* construct;
  } cases[] = {
      {"<xs:simpleType name='T'><xs:restriction base='Nowhere'/></xs:simpleType>", 9376, ""},
      {"<xs:simpleType name='T'><xs:restriction base='xs:int'><xs:element name='x'/>"
       "</xs:restriction></xs:simpleType>",
       9366, "restriction"},
  };
  for (const Case& c : cases) {
    freshRun();
    build(schema(std::string(c.types) + "<xs:element name='r' type='T'/>"), "r", false);
    EXPECT_EQ(run.errSw, 1) << c.types;
    auto lines = linesWith(output, "KOVA" + std::to_string(c.message) + "E");
    ASSERT_FALSE(lines.empty()) << c.types << "\n" << output;
    EXPECT_NE(lines[0].find(c.construct), std::string::npos) << lines[0];
  }
}

}  // namespace
