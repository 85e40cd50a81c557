// Model completion: XML-instance attributes, the _attrs and _SEQ types, the
// default values of attributes, the recursion cut and anonymous names.
#include <cstring>

#include "model_test_util.h"
#include "parameters.h"

namespace {

TEST_F(ModelTest, SequenceTypeTakesItsAttributesTypeAsFirstMember) {
  build(
      schema(
          seqType("Order",
                  "<xs:element name='id' type='xs:int'/><xs:element name='note' type='xs:string'/>",
                  "<xs:attribute name='qty' type='xs:int' default='5'/>"
                  "<xs:attribute name='x' type='xs:int'/>") +
          "<xs:element name='o' type='Order'/>"),
      "o");
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t order = typeNamed("Order"), attrs = typeNamed("Order_attrs");
  ASSERT_GT(attrs, 0);
  EXPECT_EQ(modelTables.types[attrs].composition, kCompAttrAdded);
  EXPECT_EQ(modelTables.types[attrs].typeContent, kContentOrdinary);
  EXPECT_EQ(members(order), "(Order_attrs)[1..1] Order^id[-1..-1] Order^note[-1..-1] |");
  EXPECT_EQ(members(attrs), " | @qty[0..1] @x[0..1]");
  for (int32_t k = modelTables.types[attrs].firstAttribute; k != 0;
       k = modelTables.typeEntries[k].next) {
    EXPECT_EQ(modelTables.typeEntries[k].mainTypeId, attrs);
    EXPECT_EQ(modelTables.attributes[modelTables.typeEntries[k].attrId].typeId, attrs);
  }
  int32_t second = modelTables.typeEntries[modelTables.types[order].firstElement].next;
  EXPECT_EQ(modelTables.typeEntries[second].prev, modelTables.types[order].firstElement);
  EXPECT_EQ(modelTables.elements[1].typeId, order);
  // The attribute's default value; its identifier is its name (no xmlName prefix).
  EXPECT_EQ(valuesOf(attributeNamed("qty"), false), "6:qty_DEF=5");
}

TEST_F(ModelTest, ChoiceTypeIsWrappedInASequenceWithItsAttributes) {
  build(schema(
      R"(<xs:complexType name='Choice1'><xs:choice>
      <xs:element name='a' type='xs:int'/><xs:element name='b' type='xs:int'/>
    </xs:choice><xs:attribute name='k' type='xs:int'/><xs:anyAttribute/></xs:complexType>)" +
      rootSeq("<xs:element name='c1' type='Choice1'/><xs:element name='c2' type='Choice1'/>")));
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t choice = typeNamed("Choice1"), attrs = typeNamed("Choice1_attrs");
  int32_t seq = typeNamed("Choice1_SEQ");
  ASSERT_GT(seq, 0);
  EXPECT_EQ(modelTables.types[attrs].typeContent, kContentOpen);  // anyAttribute
  EXPECT_EQ(members(seq), "(Choice1_attrs)[1..1] (Choice1)[1..1] |");
  EXPECT_EQ(members(choice), "Choice1^a[-1..-1] Choice1^b[-1..-1] |");
  EXPECT_EQ(typeOf("r_ANON^c1"), seq);
  EXPECT_EQ(typeOf("r_ANON^c2"), seq);
}

TEST_F(ModelTest, RootTypeGainsTheInstanceAttributesInOrder) {
  std::strcpy(parms.xsiPrefix, "xsi");
  std::strcpy(parms.schemaLoc, "urn:n n.xsd");
  parms.defNameSpace = insertName("urn:default");
  createPrefixBlock("http://www.w3.org/2001/XMLSchema", "xsd");
  createPrefixBlock("urn:n", "p");
  createPrefixBlock("urn:default", "d");
  build(schema(rootSeq("<xs:element name='a' type='xs:int'/>")));
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_TRUE(modelTables.elements[1].flag & kElemXsiRoot);
  EXPECT_EQ(members(typeNamed("r_attrs")),
            " | @xmlns[1..1] @xmlns:xsi[1..1] @xmlns:p[1..1] @xsi:schemaLocation[1..1]");
  int32_t xsi = attributeNamed("xmlns:xsi");
  EXPECT_STREQ(textOf(modelTables.attributes[xsi].ident), "xmlns_xsi");
  EXPECT_STREQ(textOf(modelTables.attributes[xsi].xmlName), "xmlns:xsi");
  EXPECT_EQ(modelTables.attributes[attributeNamed("xmlns")].xmlName, 0);
  EXPECT_EQ(valuesOf(xsi, false), "6:xmlns_xsi_DEF=http://www.w3.org/2001/XMLSchema-instance");
  EXPECT_EQ(valuesOf(attributeNamed("xsi:schemaLocation"), false),
            "6:xsi_schemaLocation_DEF=urn:n n.xsd");
  EXPECT_EQ(valuesOf(attributeNamed("xmlns"), false), "6:xmlns_DEF=urn:default");
}

TEST_F(ModelTest, SimpleRootGetsATypeOfSimpleContentForTheInstanceAttributes) {
  // A root of simple type, or of no type, is a message like an element with
  // simple content: a type whose base is its data type, holding the
  // instance attributes (none without a namespace or location).
  struct Case {
    const char* declaration;
    bool xsi;
    int32_t baseType;
    int32_t content;
    const char* members;
    int32_t composition;
  } cases[] = {
      {"<xs:element name='r' type='xs:int'/>", true, kDtInt, kContentOrdinary,
       " | @xmlns:xsi[1..1]", kCompAttrAdded},
      {"<xs:element name='r' type='S'/><xs:simpleType name='S'><xs:restriction base='xs:date'>"
       "<xs:enumeration value='2000-01-01'/></xs:restriction></xs:simpleType>",
       true, kDtDate, kContentOrdinary, " | @xmlns:xsi[1..1]", kCompAttrAdded},
      {"<xs:element name='r' type='xs:int'/>", false, kDtInt, kContentOrdinary, " |",
       kCompUndecided},
      // No type at all: anything may stand in it.
      {"<xs:element name='r'/>", true, kDtString, kContentOpen, " | @xmlns:xsi[1..1]",
       kCompAttrAdded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declaration);
    freshRun();
    if (c.xsi) std::strcpy(parms.xsiPrefix, "xsi");
    int32_t root = build(schema(c.declaration));
    ASSERT_GT(root, 0);
    EXPECT_EQ(run.errSw, 0) << output;
    int32_t t = modelTables.elements[root].typeId;
    ASSERT_GT(t, 0);
    EXPECT_STREQ(textOf(modelTables.types[t].name), "r_ANON");
    EXPECT_EQ(modelTables.types[t].baseType, c.baseType);
    EXPECT_EQ(modelTables.types[t].typeContent, c.content);
    EXPECT_EQ(modelTables.types[t].composition, c.composition);
    EXPECT_EQ(members(t), c.members);
  }
}

const std::string kCycle =
    seqType("A", "<xs:element name='b' type='B'/>") +
    seqType("B",
            "<xs:element name='n' type='xs:int'/><xs:element name='a' type='A' minOccurs='0'/>");

TEST_F(ModelTest, CycleOfNamedTypesIsCutAtTheRepeatedTypeOrBelowTheRoot) {
  auto oneWarning = [&](const char* ident, const char* name, const char* path) {
    EXPECT_EQ(run.errSw, 0) << output;
    auto warnings = linesWith(output, "KOVA9381W");
    ASSERT_EQ(warnings.size(), 1u) << output;
    // path text: the type names, each followed by a blank
    EXPECT_EQ(warnings[0], formatNlsMessage(9381, {intInsert(elementWithIdent(ident)),
                                                   textInsert(name), textInsert(path)}));
  };
  build(schema(kCycle + rootSeq("<xs:element name='a' type='A'/>")));
  oneWarning("B^a", "a", "A B ");
  EXPECT_EQ(members(typeNamed("B")), "B^n[-1..-1] (B^a_RECURSE)[0..-1] |");
  int32_t cut = typeNamed("B^a_RECURSE");
  EXPECT_EQ(modelTables.types[cut].typeContent, kContentOpen);
  EXPECT_EQ(modelTables.types[cut].composition, kCompUndecided);
  EXPECT_EQ(members(typeNamed("A")), "A^b[-1..-1] |");
  // A cycle through the root type is cut one level below the root.
  freshRun();
  build(schema(kCycle + "<xs:element name='a' type='A'/>"), "a");
  // The root's own type keeps its member; the copy of A inside B holds the cut.
  oneWarning("A^b", "b", "B A ");
  EXPECT_EQ(members(typeNamed("A")), "A^b[-1..-1] |");
  EXPECT_EQ(members(typeNamed("B")), "B^n[-1..-1] B^a_1[0..-1] |");
  // The copy of element a leads to the cut copy of A.
  EXPECT_EQ(typeOf("B^a_1"), typeNamed("A_V1"));
  EXPECT_EQ(members(typeNamed("A_V1")), "(A^b_RECURSE)[-1..-1] |");
}

TEST_F(ModelTest, SharedTypesAreCheckedOnceAndEveryCycleIsCut) {
  // A diamond of shared types over a cycle: each cycle is cut once, however
  // many paths lead to it.
  std::string body = "<xs:element name='r' type='L0'/>";
  const int levels = 30;  // 2^30 paths: a walk of every path would never end
  for (int i = 0; i < levels; ++i) {
    std::string next = "L" + std::to_string(i + 1);
    body += seqType("L" + std::to_string(i), "<xs:element name='x' type='" + next +
                                                 "'/><xs:element name='y' type='" + next + "'/>");
  }
  body +=
      seqType("L" + std::to_string(levels),
              "<xs:element name='back' type='L" + std::to_string(levels - 1) + "' minOccurs='0'/>");
  build(schema(body));
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(linesWith(output, "KOVA9381W").size(), 1u);
  EXPECT_GT(typeNamed("L30^back_RECURSE"), 0);
}

bool anon0Taken(const char* name) { return std::string(name) == "ANON0"; }

TEST_F(ModelTest, AnonymousNamesCountUpAndSkipTakenNames) {
  modelTables.allocate(16, 16, 16, 16);
  EXPECT_STREQ(textOf(createAnonName()), "ANON0");
  EXPECT_STREQ(textOf(createAnonName()), "ANON1");
  insertNewType(insertName("ANON2"), kCompUndecided, kContentOrdinary);
  EXPECT_STREQ(textOf(createAnonName()), "ANON3");
  run.anonCounter = 0;
  setTypeNameTakenHook(anon0Taken);
  EXPECT_STREQ(textOf(createAnonName()), "ANON1");
  setTypeNameTakenHook(nullptr);
}

}  // namespace
