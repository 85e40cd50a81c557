// Simple types and facets: restriction chains, the precedence of the most
// derived facets, the value rows and their names, lists and unions.
#include "model_test_util.h"

namespace {

/// Simple type `name` restricting `base` by `facets`.
std::string restricted(const char* name, const char* base, const char* facets) {
  return std::string("<xs:simpleType name='") + name + "'><xs:restriction base='" + base + "'>" +
         facets + "</xs:restriction></xs:simpleType>";
}

struct FacetCase {
  const char* name;
  std::string simpleTypes;  ///< named simple types; the element uses type T
  int32_t dataType;
  const char* values;  ///< valuesOf the element
  uint32_t mask;
  size_t warnings;  ///< KOVA9373W lines
};

class FacetTest : public ModelTest, public ::testing::WithParamInterface<FacetCase> {};

TEST_P(FacetTest, ValueRowsMaskAndDataType) {
  const FacetCase& c = GetParam();
  build(schema(c.simpleTypes + rootSeq("<xs:element name='e' type='T'/>")), "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t e = elementWithIdent("r_ANON^e");
  ASSERT_GT(e, 0);
  EXPECT_EQ(modelTables.elements[e].dataType, c.dataType);
  EXPECT_EQ(valuesOf(e, true), c.values);
  EXPECT_EQ(modelTables.elements[e].facets, c.mask);
  EXPECT_EQ(linesWith(output, "KOVA9373W").size(), c.warnings) << output;
}

const char* kXY = "<xs:enumeration value='x'/><xs:enumeration value='y'/>";

INSTANTIATE_TEST_SUITE_P(
    Facets, FacetTest,
    ::testing::Values(
        FacetCase{"ThreeEnumerations",
                  restricted("T", "xs:string",
                             "<xs:enumeration value='red'/><xs:enumeration value='1st'/>"
                             "<xs:enumeration value='a-b'/>"),
                  kDtString, "5:red=red 5:_1st=1st 5:a_b=a-b", 0x001, 0},
        FacetCase{"DerivedEnumerationsWin",
                  restricted("T1", "xs:string", kXY) +
                      restricted("T", "T1", "<xs:enumeration value='x'/>"),
                  kDtString, "5:x=x", 0x001, 0},
        FacetCase{
            "BaseEnumerationsApplyWhenDerivedHasNone",
            restricted("T1", "xs:string", kXY) + restricted("T", "T1", "<xs:maxLength value='1'/>"),
            kDtString, "4:MaxLen1=1 5:x=x 5:y=y", 0x025, 0},
        FacetCase{"UpperBoundsExcludeEachOtherAcrossTheChain",
                  restricted("T1", "xs:decimal",
                             "<xs:maxExclusive value='20'/><xs:minInclusive value='-1'/>") +
                      restricted("T", "T1", "<xs:maxInclusive value='99.5'/>"),
                  kDtDecimal, "2:MaxInclusive99_5=99.5 1:MinInclusive_1=-1", 0x0D8, 0},
        FacetCase{"FirstUpperBoundOfOneRestrictionWins",
                  restricted("T", "xs:int",
                             "<xs:maxExclusive value='10'/><xs:maxInclusive value='20'/>"
                             "<xs:minExclusive value='0'/>"),
                  kDtInt, "101:MaxExclusive10=10 100:MinExclusive0=0", 0x0D8, 0},
        FacetCase{"LengthMakesBothBoundsAndHidesBaseLengths",
                  restricted("T1", "xs:string", "<xs:minLength value='2'/>") +
                      restricted("T", "T1", "<xs:length value='5'/>"),
                  kDtString, "4:MaxLen5=5 3:MinLen5=5", 0x124, 0},
        FacetCase{"UnsupportedFacetsWarnOncePerOwner",
                  restricted("T1", "xs:decimal",
                             "<xs:pattern value='[0-9]+'/><xs:totalDigits value='3'/>") +
                      restricted("T", "T1",
                                 "<xs:pattern value='[0-9]'/><xs:whiteSpace value='collapse'/>"
                                 "<xs:fractionDigits value='2'/>"),
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
            "<xs:simpleType name='L'><xs:annotation/><xs:list itemType='xs:int'/></xs:simpleType>" +
                restricted("T", "L", "<xs:enumeration value='1 2'/><xs:maxLength value='3'/>"),
            kDtString, "5:_1_2=1 2 4:MaxLen3=3", 0x025, 0},
        FacetCase{
            "RestrictedUnionIsStringWithItsFacets",
            "<xs:simpleType name='U'><xs:union memberTypes='xs:int xs:date'/></xs:simpleType>" +
                restricted("T1", "U", "<xs:enumeration value='7'/>") +
                restricted("T", "T1", "<xs:minLength value='1'/>"),
            kDtString, "3:MinLen1=1 5:_7=7", 0x105, 0}),
    [](const ::testing::TestParamInfo<FacetCase>& info) { return std::string(info.param.name); });

TEST_F(ModelTest, EachElementOfASimpleTypeOwnsItsFacets) {
  build(schema(restricted("Size", "xs:string",
                          "<xs:enumeration value='S'/><xs:enumeration value='L'/>") +
               R"(<xs:complexType name='Dim'><xs:simpleContent><xs:restriction base='Base'>
      <xs:maxInclusive value='7'/></xs:restriction></xs:simpleContent></xs:complexType>
    <xs:complexType name='Base'><xs:simpleContent><xs:extension base='xs:int'/></xs:simpleContent></xs:complexType>)" +
               rootSeq(R"(<xs:element name='a' type='Size'/><xs:element name='b' type='Size'/>
      <xs:element name='c' type='Dim'/><xs:element name='d' type='Dim'/>
      <xs:element name='z'><xs:complexType><xs:attribute name='s' type='Size'/></xs:complexType></xs:element>)")),
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

}  // namespace
