// Elements and type resolution: references, abstract and recursive elements,
// nesting depth, default/fixed/nillable values, shared types, name lookup,
// and the faults of a schema that stop the model phase.
#include "model_test_util.h"

namespace {

TEST_F(ModelTest, NamedTypeIsBuiltOnceForEveryElementNamingIt) {
  build(schema(rootSeq("<xs:element name='a' type='P'/><xs:element name='b' type='P'/>") +
               seqType("P", "<xs:element name='x' type='xs:int'/>")));
  int32_t a = elementWithIdent("r_ANON^a"), b = elementWithIdent("r_ANON^b");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(modelTables.elements[a].typeId, modelTables.elements[b].typeId);
  EXPECT_EQ(members(modelTables.elements[a].typeId), "P^x[-1..-1] |");
  EXPECT_EQ(modelTables.types.count(), 2);
}

TEST_F(ModelTest, AbstractElementBecomesEmptySubType) {
  build(schema(rootSeq("<xs:element name='shape' type='xs:string' abstract='true' maxOccurs='3'/>"
                       "<xs:element ref='thing'/>") +
               "<xs:element name='thing' abstract='true' type='xs:string'/>"));
  EXPECT_EQ(run.errSw, 0) << output;
  // The reference is not abstract itself: the global declaration is processed.
  EXPECT_EQ(members(1), "(shape_ABSTRACT)[1..3] thing[-1..-1] |");
  int32_t empty = typeNamed("shape_ABSTRACT");
  EXPECT_EQ(modelTables.types[empty].typeContent, kContentOpen);
  EXPECT_EQ(modelTables.types[empty].composition, kCompUndecided);
  EXPECT_EQ(elementWithIdent("r_ANON^shape"), 0);
}

bool takenRecurseName(const char* name) { return std::string(name) == "Part_RECURSE"; }

TEST_F(ModelTest, RecursiveReferenceIsCutWithAWarningUnderAFreeName) {
  std::string part = schema(R"(<xs:element name='Part'><xs:complexType><xs:sequence>
      <xs:element name='id' type='xs:string'/><xs:element ref='Part' minOccurs='0' maxOccurs='unbounded'/>
    </xs:sequence></xs:complexType></xs:element>)");
  build(part, "Part");
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(linesWith(output, "KOVA9381W").size(), 1u) << output;
  EXPECT_NE(output.find("Part "), std::string::npos);
  // No second element row for the recursive occurrence.
  EXPECT_EQ(members(1), "Part_ANON^id[-1..-1] (Part_RECURSE)[0..-2] |");
  EXPECT_EQ(modelTables.elements.count(), 2);
  // The cut's type name skips names the repository holds.
  freshRun();
  setTypeNameTakenHook(takenRecurseName);
  build(part, "Part");
  setTypeNameTakenHook(nullptr);
  EXPECT_EQ(members(1), "Part_ANON^id[-1..-1] (Part0_RECURSE)[0..-2] |");
}

/// `depth` elements each holding the next in an anonymous sequence.
std::string nested(int depth, const std::string& leaf) {
  std::string open, close;
  for (int i = 1; i <= depth; ++i) {
    open += "<xs:element name='e" + std::to_string(i) + "'><xs:complexType><xs:sequence>";
    close += "</xs:sequence></xs:complexType></xs:element>";
  }
  return open + leaf + close;
}

TEST_F(ModelTest, NestingDeeperThanTheLimitStopsTheRun) {
  const int limit = kMaxElementDepth;
  const std::string leaf = "<xs:element name='leaf' type='xs:string'/>";
  ASSERT_GE(limit, 1000);
  build(schema(nested(limit + 1, leaf)), "e1", false);
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(run.returnCode, messageStatus(9382));
  auto lines = linesWith(output, "KOVA9382E");
  ASSERT_EQ(lines.size(), 1u) << output.substr(0, 2000);
  EXPECT_NE(lines[0].find(std::to_string(limit + 1) + " levels"), std::string::npos)
      << lines[0].substr(0, 200);
  EXPECT_NE(lines[0].find("limit of " + std::to_string(limit)), std::string::npos)
      << lines[0].substr(0, 200);
  std::string last = "e" + std::to_string(limit), before = "e" + std::to_string(limit - 1);
  EXPECT_EQ(elementWithIdent((last + "_ANON^e" + std::to_string(limit + 1)).c_str()), 0);
  EXPECT_GT(elementWithIdent((before + "_ANON^" + last).c_str()), 0);
  freshRun();  // as deep as the limit (the leaf included) is accepted, and checked for recursion
  build(schema(nested(limit - 1, leaf)), "e1");
  EXPECT_EQ(run.errSw, 0) << output.substr(0, 2000);
  EXPECT_GT(elementWithIdent((before + "_ANON^leaf").c_str()), 0);
}

TEST_F(ModelTest, DefaultFixedAndNillableValues) {
  build(schema(rootSeq(R"(<xs:element name='d' type='xs:integer' default='5'/>
      <xs:element name='f' type='xs:integer' fixed='5'/><xs:element name='n' type='xs:string' nillable='true'/>
      <xs:element name='c' default='5'><xs:complexType><xs:sequence>
        <xs:element name='x' type='xs:int'/></xs:sequence></xs:complexType></xs:element>
      <xs:element name='s' default='A' nillable='true'><xs:simpleType>
        <xs:restriction base='xs:string'><xs:enumeration value='A'/></xs:restriction>
      </xs:simpleType></xs:element>)")));
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^d"), true), "6:r_ANON_d_DEF=5");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^f"), true), "6:r_ANON_f_DEF=5 5:r_ANON_f_DEF=5");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^n"), true), "7:nillable=true");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^c"), true), "");
  EXPECT_EQ(valuesOf(elementWithIdent("r_ANON^s"), true), "5:A=A 7:nillable=true 6:r_ANON_s_DEF=A");
}

TEST_F(ModelTest, ElementWithoutTypeOrContentIsSimple) {
  build(schema(rootSeq("<xs:element name='free' maxOccurs='unbounded'/>")));
  EXPECT_EQ(run.errSw, 0) << output;
  int32_t e = elementWithIdent("r_ANON^free");
  ASSERT_GT(e, 0);
  EXPECT_EQ(modelTables.elements[e].dataType, 0);
  EXPECT_EQ(modelTables.elements[e].typeId, 0);
  EXPECT_EQ(members(1), "r_ANON^free[-1..-2] |");
}

// Each faulty schema stops the run with its message; `construct` is named on
// the first line of it.
TEST_F(ModelTest, FaultySchemasStopTheRun) {
  const std::string typedRoot = "<xs:element name='r' type='T'/>";
  struct Case {
    std::string body;
    int32_t message;
    const char* construct = "";
    bool once = false;    ///< exactly one line of the message
    bool status = false;  ///< no later error replaces its status
  } cases[] = {
      // Unresolved names, or names of the wrong kind.
      {"<xs:element name='r' type='Missing'/>", 9376},
      {"<xs:element name='r' type='zz:T'/>", 9379},
      {rootSeq("<xs:element ref='nope'/>"), 9365, "", false, true},
      {rootSeq("<xs:group ref='nope'/>"), 9365, "", false, true},
      // A type name that only an element has is the wrong kind.
      {typedRoot + "<xs:element name='T' type='xs:string'/>", 9366, "", false, true},
      // Complex content of a built-in base other than anyType is not found.
      {"<xs:complexType name='T'><xs:complexContent><xs:restriction base='xs:anySimpleType'>"
       "<xs:sequence><xs:element name='a' type='xs:string'/></xs:sequence>"
       "</xs:restriction></xs:complexContent></xs:complexType>" +
           typedRoot,
       9371, "", false, true},
      // Simple content restricting CDATA.
      {"<xs:complexType name='T'><xs:simpleContent><xs:restriction base='xs:CDATA'/>"
       "</xs:simpleContent></xs:complexType>" +
           typedRoot,
       9419, "", false, true},
      // Restricting an attribute that the base lacks.
      {"<xs:complexType name='C'><xs:simpleContent><xs:extension base='xs:string'>"
       "<xs:attribute name='list' type='xs:string'/></xs:extension></xs:simpleContent>"
       "</xs:complexType><xs:complexType name='T'><xs:simpleContent><xs:restriction base='C'>"
       "<xs:attribute name='other' use='required'/></xs:restriction></xs:simpleContent>"
       "</xs:complexType>" +
           typedRoot,
       9371, "", false, true},
      // Misplaced particles.
      {rootType("<xs:all><xs:element name='a' type='xs:int'/><xs:sequence/></xs:all>"), 9366, "all",
       true},
      {rootType("<xs:sequence><xs:attribute name='a'/></xs:sequence>"), 9366, "sequence", true},
      {rootType("<xs:choice><xs:all/></xs:choice>"), 9366, "choice", true},
      {rootType("<xs:sequence/><xs:element name='a'/>"), 9366, "complexType", true},
      // Attributes.
      {rootType("<xs:attribute ref='missing'/>"), 9365},
      {rootType("<xs:attribute type='xs:int'/>"), 9367},
      {rootSeq("<xs:element type='xs:int'/>"), 9367},
      {rootType("<xs:attribute name='a' type='Nope'/>"), 9376},
      {rootType("<xs:attributeGroup ref='missing'/>"), 9365},
      // Simple types.
      {"<xs:simpleType name='T'><xs:restriction base='Nowhere'/></xs:simpleType>" + typedRoot,
       9376},
      {"<xs:simpleType name='T'><xs:restriction base='xs:int'><xs:element name='x'/>"
       "</xs:restriction></xs:simpleType>" +
           typedRoot,
       9366, "restriction"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    freshRun();
    build(schema(c.body), "r", false);
    EXPECT_EQ(run.errSw, 1);
    EXPECT_EQ(modelTables.stackDepth, 0) << "an error leaves the element stack as it found it";
    if (c.status) {
      EXPECT_EQ(run.returnCode, messageStatus(c.message));
    }
    auto lines = linesWith(output, "KOVA" + std::to_string(c.message) + "E");
    ASSERT_FALSE(lines.empty()) << output;
    if (c.once) {
      EXPECT_EQ(lines.size(), 1u) << output;
    }
    EXPECT_NE(lines[0].find(c.construct), std::string::npos) << lines[0];
  }
}

TEST_F(ModelTest, PrefixedNamesResolveInTheSchemaOfTheirNamespace) {
  // Two documents side by side under the root record, as imports leave them.
  loadSchemaText(
      schema(rootSeq("<xs:element name='x' type='b:T'/><xs:element name='y' type='T'/>") +
                 seqType("T", "<xs:element name='fromA' type='xs:int'/>"),
             "xmlns:a='urn:a' xmlns:b='urn:b' targetNamespace='urn:a'"));
  loadSchemaText(schema(seqType("T", "<xs:element name='fromB' type='xs:int'/>"),
                        "xmlns:b='urn:b' targetNamespace='urn:b'"));
  ASSERT_GT(runModel("r", false), 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  EXPECT_EQ(members(typeOf("a_r_ANON^x")).substr(0, 12), "b:T^fromB[-1");
  EXPECT_EQ(members(typeOf("a_r_ANON^y")).substr(0, 12), "a:T^fromA[-1");
}

TEST_F(ModelTest, APrefixMeansWhatTheDeclarationsWhereItIsWrittenSay) {
  // The documents of prefix-scopes/ bind tns and p differently; see main.xsd.
  ASSERT_GT(loadSchemaFile(dataPath("prefix-scopes/main.xsd")), 0);
  ASSERT_GT(runModel("r", false), 0) << output;
  EXPECT_EQ(run.errSw, 0) << output;
  struct Case {
    const char* element;
    const char* inner;  ///< the member of the type it resolved to
  } cases[] = {{"x", "inA"}, {"s", "inB"}, {"y", "inB"}, {"fromPart", "inB"}};
  for (const Case& c : cases) {
    int32_t e = rowWith(modelTables.elements, &ElementEntry::name, c.element);
    ASSERT_GT(e, 0) << c.element;
    std::string m = members(modelTables.elements[e].typeId);
    EXPECT_NE(m.find(std::string("^") + c.inner + "["), std::string::npos)
        << c.element << ": " << m;
  }
}

/// The first child of `schema`, in document order, named `name` whose kind
/// passes `wanted`: the scan the indexes stand for.
template <typename Pred>
int32_t scanSchema(int32_t schema, NameRef name, Pred wanted) {
  for (int32_t c = tagsTable.tags[schema].firstChild; c != 0; c = tagsTable.tags[c].nextSibling) {
    if (tagsTable.tags[c].name == name && wanted(tagsTable.tags[c].elemType)) return c;
  }
  return 0;
}

TEST_F(ModelTest, IndexedLookupsGiveTheFirstDeclarationInDocumentOrder) {
  // Every name declared several times, by several kinds, in a shuffled order.
  const char* kinds[] = {"element", "complexType", "simpleType",
                         "group",   "attribute",   "attributeGroup"};
  std::string body;
  uint32_t seed = 12345;
  for (int i = 0; i < 400; ++i) {
    seed = seed * 1103515245 + 12345;
    body += std::string("<xs:") + kinds[(seed >> 16) % 6] + " name='N" +
            std::to_string((seed >> 8) % 37) + "'/>";
  }
  int32_t schemaTag = loadSchemaText(schema(body));
  ASSERT_GT(schemaTag, 0);
  int32_t checked = 0;
  for (int n = 0; n < 40; ++n) {  // N37..N39 are never declared
    std::string name = "N" + std::to_string(n);
    NameRef ref = insertName(name);
    startCapture();
    for (uint8_t kind : {kTagElement, kTagGroup, kTagAttribute, kTagAttributeGroup}) {
      int32_t expected = scanSchema(schemaTag, ref, [&](uint8_t k) { return k == kind; });
      EXPECT_EQ(findGlobalByName(ref, schemaTag, kind), expected) << name;
      ++checked;
    }
    int32_t expectedType = scanSchema(
        schemaTag, ref, [](uint8_t k) { return k == kTagComplexType || k == kTagSimpleType; });
    if (expectedType == 0) expectedType = scanSchema(schemaTag, ref, [](uint8_t) { return true; });
    EXPECT_EQ(findTypeIdFromName(schemaTag, ref), expectedType) << name;
    stopCapture();
  }
  EXPECT_EQ(checked, 160);
}

TEST_F(ModelTest, FirstTypeRowOfANameIsReusedAndFoundByTag) {
  modelTables.allocate(4, 4, 4, 4);
  int32_t schemaTag = loadSchemaText(
      schema("<xs:complexType name='A'/><xs:complexType name='B'/><xs:complexType name='A'/>"));
  int32_t first = tagsTable.tags[schemaTag].firstChild;
  int32_t second = tagsTable.tags[first].nextSibling;
  int32_t third = tagsTable.tags[second].nextSibling;
  int32_t a = createTypeEntry(first);
  int32_t b = createTypeEntry(second);
  EXPECT_NE(a, b);
  EXPECT_EQ(createTypeEntry(third), a);  // equal names: the same row
  EXPECT_EQ(findTypeRowForTag(first), a);
  EXPECT_EQ(findTypeRowForTag(second), b);
  EXPECT_EQ(findTypeRowForTag(third), 0);
  EXPECT_EQ(checkForDupTypeName("A"), 1);
  EXPECT_EQ(checkForDupTypeName("C"), 0);
  EXPECT_EQ(checkForDupTypeName("a"), 0);  // names compare exactly
}

TEST_F(ModelTest, PrefixLeadsToTheFirstSchemaOfItsNamespace) {
  loadSchemaText(schema("<xs:element name='r' type='p:T'/>",
                        "xmlns:p='urn:one' xmlns:q='urn:none' xmlns:m='urn:main' "
                        "targetNamespace='urn:main'"));
  int32_t one = loadSchemaText(
      schema("<xs:complexType name='T'/>", "xmlns:p='urn:two' targetNamespace='urn:one'"));
  loadSchemaText(schema("<xs:complexType name='T'/>", "targetNamespace='urn:one'"));
  int32_t r = topElement("r");
  startCapture();
  EXPECT_EQ(findSchemaForPrefix(r, "p"), one);  // first xmlns entry of p, first schema of urn:one
  EXPECT_EQ(findSchemaForPrefix(r, ""), tagsTable.tags[r].parent);
  EXPECT_EQ(findSchemaForPrefix(r, "q"), 0);  // declared, but no schema has the namespace
  EXPECT_EQ(run.errSw, 0);
  EXPECT_EQ(findSchemaForPrefix(r, "zz"), 0);
  std::string out = stopCapture();
  EXPECT_EQ(linesWith(out, "KOVA9379E").size(), 1u) << out;
}

bool xAnon1Taken(const char* name) { return std::string(name) == "x_ANON1"; }

TEST_F(ModelTest, AnonymousTypesOfLikeNamedElementsTakeTheNextFreeNumber) {
  setTypeNameTakenHook(xAnon1Taken);
  std::string particles;
  for (int i = 0; i < 4; ++i) {
    particles += "<xs:element name='p" + std::to_string(i) +
                 "'><xs:complexType><xs:sequence><xs:element name='x'><xs:complexType><xs:sequence>"
                 "<xs:element name='v' type='xs:int'/></xs:sequence></xs:complexType></xs:element>"
                 "</xs:sequence></xs:complexType></xs:element>";
  }
  build(schema(rootSeq(particles)), "r", false);
  setTypeNameTakenHook(nullptr);
  EXPECT_EQ(run.errSw, 0) << output;
  std::vector<std::string> names;
  for (int32_t t = 1; t <= modelTables.types.count(); ++t) {
    std::string name = textOf(modelTables.types[t].name);
    if (name.rfind("x_", 0) == 0) names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"x_ANON", "x_ANON0", "x_ANON2", "x_ANON3"}));
}

TEST_F(ModelTest, IncludedComponentsCountAtThePlaceOfTheirInclude) {
  // The included declaration of x stands before the main document's own
  // (its tags are read later, but its place in the schema is the include's).
  std::string dir = makeTempDir();
  writeFile(dir + "/part.xsd", schema("<xs:element name='x' type='xs:int'/>"));
  writeFile(dir + "/main.xsd",
            schema(rootSeq("<xs:element ref='x'/>") + "<xs:include schemaLocation='part.xsd'/>"
                                                      "<xs:element name='x' type='xs:string'/>"));
  ASSERT_GT(loadSchemaFile(dir + "/main.xsd"), 0);
  ASSERT_GT(runModel("r", false), 0) << output;
  EXPECT_EQ(modelTables.elements[elementWithIdent("x")].dataType, kDtInt);
}

}  // namespace
