// Content models and derivation: nested groups, wildcards, named groups,
// complex restriction and extension with the regrouping of two content models.
// (Misplaced particles are among the faults of elements_test.cc.)
#include "model_test_util.h"

namespace {

TEST_F(ModelTest, NestedGroupsBecomeAnonymousSubTypesWithTheirBounds) {
  build(schema(rootSeq(R"(<xs:element name='a' type='xs:int'/>
      <xs:sequence><xs:element name='b' type='xs:int'/></xs:sequence>
      <xs:choice minOccurs='0' maxOccurs='unbounded'><xs:element name='c' type='xs:int'/><xs:any/>
      </xs:choice>)")));
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(members(1), "r_ANON^a[-1..-1] (ANON0)[1..1] (ANON1)[0..-2] |");
  int32_t inner = typeNamed("ANON0"), choice = typeNamed("ANON1");
  EXPECT_EQ(modelTables.types[inner].composition, kCompSequence);
  EXPECT_EQ(members(inner), "ANON0^b[-1..-1] |");
  EXPECT_EQ(modelTables.types[choice].composition, kCompChoice);
  EXPECT_EQ(modelTables.types[choice].typeContent, kContentOpen);
  EXPECT_EQ(members(choice), "ANON1^c[-1..-1] |");
  EXPECT_EQ(modelTables.types[1].typeContent, kContentOrdinary);
}

TEST_F(ModelTest, NamedGroupIsBuiltOnceAndEachReferenceKeepsItsBounds) {
  build(schema(
      R"(
    <xs:group name='G'><xs:sequence><xs:element name='g1' type='xs:int'/></xs:sequence></xs:group>
    <xs:group name='Empty'><xs:annotation><xs:documentation>none</xs:documentation></xs:annotation></xs:group>)" +
      rootSeq(
          R"(<xs:element name='a'><xs:complexType><xs:group ref='G'/></xs:complexType></xs:element>
      <xs:element name='b'><xs:complexType><xs:sequence>
        <xs:group ref='G' maxOccurs='unbounded'/><xs:group ref='Empty'/>
      </xs:sequence></xs:complexType></xs:element>)")));
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t a = typeOf("r_ANON^a"), b = typeOf("r_ANON^b");
  EXPECT_EQ(members(a), "(G)[-1..-1] |");
  EXPECT_EQ(modelTables.types[a].composition, kCompSequence);  // only a group: decided at the end
  EXPECT_EQ(members(b), "(G)[-1..-2] |");
  EXPECT_EQ(modelTables.types[typeNamed("Empty")].composition, kCompUndecided);
  int32_t groups = 0;
  for (int32_t t = 1; t <= modelTables.types.count(); ++t) {
    if (std::string(textOf(modelTables.types[t].name)) == "G") ++groups;
  }
  EXPECT_EQ(groups, 1);
}

const std::string kAddress = seqType(
    "Address",
    "<xs:element name='street' type='xs:string'/><xs:element name='city' type='xs:string'/>",
    "<xs:attribute name='kind' type='xs:string'/>");

/// Complex type `name` deriving by `how` from `base` with `content`.
std::string derived(const char* name, const char* how, const char* base, const char* content) {
  return std::string("<xs:complexType name='") + name + "'><xs:complexContent><xs:" + how +
         " base='" + base + "'>" + content + "</xs:" + how +
         "></xs:complexContent></xs:complexType>";
}

struct DerivedCase {
  const char* label;
  std::string types;  ///< declarations added to kAddress; element addr has type `root`
  const char* root;
  struct Expect {
    const char* type;
    const char* members;
    int32_t composition;  ///< -1: not checked
  };
  std::vector<Expect> expect;
  const char* absent;  ///< a type that must not be made, or nullptr
};

TEST_F(ModelTest, ComplexContentDerivationsRegroupTheParticles) {
  const char* zipSequence = "<xs:sequence><xs:element name='zip' type='xs:string'/></xs:sequence>";
  const DerivedCase cases[] = {
      {"extending a sequence by a choice regroups both parts",
       derived("USAddress", "extension", "Address",
               "<xs:choice><xs:element name='zip' type='xs:string'/><xs:element name='postcode' "
               "type='xs:string'/></xs:choice><xs:attribute name='state' type='xs:string'/>"),
       "USAddress",
       {{"USAddress", "(ANON0)[1..1] (ANON1)[1..1] | @kind[0..1] @state[0..1]", kCompSequence},
        {"ANON0", "USAddress^street[-1..-1] USAddress^city[-1..-1] |", kCompSequence},
        {"ANON1", "USAddress^zip[-1..-1] USAddress^postcode[-1..-1] |", kCompChoice}},
       nullptr},
      {"extending a sequence by a sequence keeps one chain",
       derived("USAddress", "extension", "Address", zipSequence),
       "USAddress",
       {{"USAddress",
         "USAddress^street[-1..-1] USAddress^city[-1..-1] USAddress^zip[-1..-1] | @kind[0..1]",
         -1}},
       "ANON0"},
      {"extending with attributes only keeps the base particles",
       derived("Tagged", "extension", "Address",
               "<xs:attribute name='tag' type='xs:string' use='required'/>"),
       "Tagged",
       {{"Tagged", "Tagged^street[-1..-1] Tagged^city[-1..-1] | @kind[0..1] @tag[1..1]",
         kCompSequence}},
       nullptr},
      // The wrapper starts as a choice and takes the composition of what it holds.
      {"extending a derived base wraps the base content",
       derived("US", "extension", "Address", zipSequence) +
           derived("Boxed", "extension", "US",
                   "<xs:sequence><xs:element name='box' type='xs:string'/></xs:sequence>"),
       "Boxed",
       {{"Boxed", "(ANON0)[1..1] Boxed^box[-1..-1] |", -1},
        {"ANON0", "ANON0^street[-1..-1] ANON0^city[-1..-1] ANON0^zip[-1..-1] | @kind[0..1]",
         kCompSequence}},
       nullptr},
      {"a complex restriction holds only what it declares",
       derived("Short", "restriction", "Address",
               "<xs:sequence><xs:element name='street' type='xs:string'/></xs:sequence>"),
       "Short",
       {{"Short", "Short^street[-1..-1] |", -1}},
       nullptr},
      // anyType has nothing to inherit: restriction and extension of it are
      // the plain type their content declares.
      {"a restriction of anyType is the type it declares",
       derived("Plain", "restriction", "xs:anyType",
               "<xs:sequence><xs:element name='p' type='xs:string'/></xs:sequence>"
               "<xs:attribute name='at' type='xs:int'/>"),
       "Plain",
       {{"Plain", "Plain^p[-1..-1] | @at[0..1]", kCompSequence}},
       "ANON0"},
      {"an extension of anyType is the type it declares",
       derived("Plain", "extension", "xs:anyType",
               "<xs:choice><xs:element name='p' type='xs:string'/>"
               "<xs:element name='q' type='xs:int'/></xs:choice>"),
       "Plain",
       {{"Plain", "Plain^p[-1..-1] Plain^q[-1..-1] |", kCompChoice}},
       "ANON0"},
  };
  for (const DerivedCase& c : cases) {
    SCOPED_TRACE(c.label);
    freshRun();
    build(schema(kAddress + c.types + "<xs:element name='addr' type='" + c.root + "'/>"), "addr",
          false);
    EXPECT_EQ(run.errSw, 0) << output;
    for (const DerivedCase::Expect& e : c.expect) {
      int32_t t = typeNamed(e.type);
      ASSERT_GT(t, 0) << e.type;
      EXPECT_EQ(members(t), e.members) << e.type;
      if (e.composition >= 0) {
        EXPECT_EQ(modelTables.types[t].composition, e.composition) << e.type;
      }
      // Moved members name their new owner and the chains are cut cleanly.
      for (int32_t k = modelTables.types[t].firstElement; k != 0;
           k = modelTables.typeEntries[k].next) {
        EXPECT_EQ(modelTables.typeEntries[k].mainTypeId, t) << e.type;
      }
      EXPECT_EQ(modelTables.typeEntries[modelTables.types[t].firstElement].prev, 0);
    }
    if (c.absent) {
      EXPECT_EQ(typeNamed(c.absent), 0);
    }
  }
}

TEST_F(ModelTest, SimpleContentExtensionOfABuiltInType) {
  build(schema(R"(<xs:complexType name='Amount'><xs:simpleContent><xs:extension base='xs:decimal'>
      <xs:attribute name='currency' type='xs:string' use='required'/>
    </xs:extension></xs:simpleContent></xs:complexType>
    <xs:complexType name='Price'><xs:simpleContent><xs:extension base='Amount'>
      <xs:attribute name='net' type='xs:boolean'/>
    </xs:extension></xs:simpleContent></xs:complexType>)" +
               rootSeq("<xs:element name='a' type='Amount'/><xs:element name='p' type='Price'/>")),
        "r", false);
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t amount = typeNamed("Amount"), price = typeNamed("Price");
  EXPECT_EQ(modelTables.types[amount].baseType, kDtDecimal);
  EXPECT_EQ(members(amount), " | @currency[1..1]");
  EXPECT_EQ(modelTables.types[price].baseType, kDtDecimal);
  // The extension's own attributes first, then the inherited ones.
  EXPECT_EQ(members(price), " | @net[0..1] @currency[1..1]");
}

}  // namespace
