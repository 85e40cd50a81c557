// Attribute decoding: what each XML Schema attribute does to its tag, the
// xmlns definitions table and the prefixes it seeds, built-in type codes; and
// the prefixes the program finds for namespaces without a [NAMESPACEPREFIX]
// line, once every document is read.
#include <string>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"

namespace {

using Decoding = ReaderTest;

const char* const kXsd = "http://www.w3.org/2001/XMLSchema";

TEST_F(Decoding, NamespaceDeclarationsFillTheXmlnsTableAndSeedPrefixes) {
  ASSERT_EQ(parse(schema(xsElement("A", "xmlns:other='urn:n' xmlns:type='urn:n2'"),
                         "xmlns:tns='urn:n' xmlns='urn:d' targetNamespace='urn:n'")),
            0);
  // One entry per declaration, on the tag that made it (in the order of the
  // parser's attribute map, which need not be the document's).
  const GrowTable<XmlnsEntry>& x = tagsTable.xmlns;
  ASSERT_EQ(x.count(), 5);
  struct Row {
    const char* prefix;
    const char* ns;
    int32_t xmlId;
  } rows[] = {{"xs", kXsd, 1},
              {"tns", "urn:n", 1},
              {"", "urn:d", 1},
              {"other", "urn:n", 2},
              {"type", "urn:n2", 2}};
  for (const Row& r : rows) {
    int32_t e = findXmlnsEntry(r.xmlId, r.prefix[0] ? insertName(r.prefix) : 0);
    ASSERT_NE(e, 0) << r.prefix;
    EXPECT_EQ(text(x[e].nameSpace), r.ns) << r.prefix;
    EXPECT_EQ(x[e].xmlId, r.xmlId);
  }
  EXPECT_EQ(text(tag(1).defaultNamespace), "urn:d");
  // The first prefix declared for a namespace wins; a default declaration
  // seeds none.
  EXPECT_EQ(text(findPrefixBlock(insertName("urn:n"))), "tns");
  EXPECT_EQ(text(findPrefixBlock(insertName("urn:n2"))), "type");
  // A prefix spelt like a schema attribute declares a prefix and nothing else.
  EXPECT_EQ(tag(2).type, 0);
  EXPECT_EQ(tag(2).dataType, 0);
  EXPECT_EQ(findPrefixBlock(insertName("urn:d")), 0);
  EXPECT_EQ(fileLists.prefixes.size(), 3u);
  EXPECT_EQ(findXmlnsEntry(2, insertName("tns")), 0);
}

TEST_F(Decoding, BuiltInTypesAreKnownByLocalPartUnlessThePrefixIsAnotherNamespace) {
  std::string doc = schema(
      "<xs:element name=\"a\" type=\"xs:string\"/>"
      "<xs:element name=\"b\" type=\"tns:string\"/>"
      "<xs:element name=\"c\" type=\"string\"/>"
      "<xs:element name=\"d\" type=\"zz:string\"/>"
      "<xs:element name=\"e\" type=\"xs:anyURI\"/>"
      "<xs:element name=\"f\" type=\"tns:MyType\"/>"
      "<xs:element name=\"g\" type=\"xs:timeInstant\"/>"
      // Declarations in scope where the name is written: on the tag itself
      // (after the name among its attributes), or on an enclosing tag.
      "<xs:element name=\"j\" type=\"q:string\" xmlns:q=\"urn:other\"/>"
      "<xs:element name=\"k\" type=\"q:string\" xmlns:q=\"http://www.w3.org/2001/XMLSchema\"/>"
      "<xs:complexType name=\"CT\" xmlns:xs=\"urn:not-xsd\"><xs:sequence>"
      "<xs:element name=\"l\" type=\"xs:string\"/></xs:sequence></xs:complexType>"
      "<xs:simpleType name=\"h\"><xs:restriction base=\"xs:decimal\"/></xs:simpleType>"
      "<xs:simpleType name=\"i\"><xs:restriction base=\"tns:h\"/></xs:simpleType>",
      "xmlns:tns=\"urn:n\" targetNamespace=\"urn:n\"");
  ASSERT_EQ(parse(doc), 0);
  struct Case {
    const char* name;
    int32_t dataType;
    const char* type;
  } cases[] = {
      {"a", kDtString, ""}, {"b", 0, "tns:string"}, {"c", kDtString, ""},      {"d", kDtString, ""},
      {"e", kDtAnyURI, ""}, {"f", 0, "tns:MyType"}, {"g", kDtTimeInstant, ""}, {"j", 0, "q:string"},
      {"k", kDtString, ""}, {"l", 0, "xs:string"},
  };
  for (const Case& c : cases) {
    int32_t id = findTag(kTagElement, c.name);
    ASSERT_NE(id, 0) << c.name;
    EXPECT_EQ(tag(id).dataType, c.dataType) << c.name;
    EXPECT_EQ(text(tag(id).type), c.type) << c.name;
  }
  int32_t h = findTag(kTagSimpleType, "h");
  EXPECT_EQ(tag(tag(h).firstChild).baseDataType, kDtDecimal);
  EXPECT_EQ(tag(tag(h).firstChild).base, 0);
  int32_t i = findTag(kTagSimpleType, "i");
  EXPECT_EQ(tag(tag(i).firstChild).baseDataType, 0);
  EXPECT_EQ(text(tag(tag(i).firstChild).base), "tns:h");
  // From the schema tag, only its own declarations are in scope.
  EXPECT_EQ(getBuiltInType("q:int", 1), kDtInt);
  EXPECT_EQ(getBuiltInType("tns:int", 1), 0);
  EXPECT_EQ(getBuiltInType("xs:int", 1), kDtInt);
  EXPECT_EQ(getBuiltInType("Int", 1), 0);
}

TEST_F(Decoding, OccurrenceValuesDecode) {
  std::string doc = schema(
      "<xs:element name=\"a\" maxOccurs=\"unbounded\" minOccurs=\"0\"/>"
      "<xs:element name=\"b\" maxOccurs=\"*\" minOccurs=\"7\"/>"
      "<xs:element name=\"c\" maxOccurs=\"many\"/>"
      "<xs:element name=\"d\"/>"
      "<xs:element name=\"e\" maxOccurs=\"12x\" minOccurs=\"99999999999\"/>");
  ASSERT_EQ(parse(doc), 0);
  struct Case {
    const char* name;
    int32_t min, max;
  } cases[] = {{"a", 0, -2}, {"b", 7, -2}, {"c", -1, 0}, {"d", -1, -1}, {"e", INT32_MAX, 12}};
  for (const Case& c : cases) {
    int32_t id = findTag(kTagElement, c.name);
    EXPECT_EQ(tag(id).minOccurs, c.min) << c.name;
    EXPECT_EQ(tag(id).maxOccurs, c.max) << c.name;
  }
}

TEST_F(Decoding, FlagAttributesSetTheirBitsAndReportBadValuesOnStarLines) {
  std::string doc = schema(
      "<xs:complexType name=\"m\" mixed=\"true\" abstract=\"TRUE\" block=\"#all\" final=\"#all\"/>"
      "<xs:complexType name=\"n\" mixed=\"1\" abstract=\"false\" block=\"extension restriction\"/>"
      "<xs:element name=\"x\" nillable=\"True\" fixed=\"F\" final=\"restriction\"/>"
      "<xs:element name=\"y\" default=\"D\" block=\"substitution\" final=\"sometimes\"/>"
      "<xs:attribute name=\"r\" use=\"required\"/>"
      "<xs:attribute name=\"s\" use=\"REQUIRED\"/>"
      "<xs:any processContents=\"lax\"/><xs:any processContents=\"maybe\"/>");
  int32_t status = -1;
  std::string out = parseCaptured(doc, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run.errSw, 0);
  int32_t m = findTag(kTagComplexType, "m"), n = findTag(kTagComplexType, "n");
  EXPECT_EQ(tag(m).flags, kTagFlagMixed | kTagFlagAbstract);
  EXPECT_EQ(tag(m).blockFinal, 0x1F);
  EXPECT_EQ(tag(n).flags, 0);
  EXPECT_EQ(tag(n).blockFinal, 0);
  int32_t x = findTag(kTagElement, "x"), y = findTag(kTagElement, "y");
  EXPECT_EQ(tag(x).flags, kTagFlagNillable | kTagFlagFixed);
  EXPECT_EQ(text(tag(x).defaultValue), "F");
  EXPECT_EQ(tag(x).blockFinal, 0x10);
  EXPECT_EQ(tag(y).flags, 0);
  EXPECT_EQ(text(tag(y).defaultValue), "D");
  EXPECT_EQ(tag(y).blockFinal, 0x04);
  EXPECT_EQ(tag(findTag(kTagAttribute, "r")).useFlags, kUseRequired);
  EXPECT_EQ(tag(findTag(kTagAttribute, "s")).useFlags, 0);
  for (const char* line : {"*****Error - value (REQUIRED) for use attribute not recognized",
                           "*****Invalid value found for block attibute - extension restriction",
                           "*****Invalid value found for final attibute - sometimes",
                           "*****Invalid value found for processContents item - maybe"}) {
    EXPECT_EQ(linesWith(out, line).size(), 1u) << line << "\n" << out;
  }
  EXPECT_EQ(tag(tagCount() - 1).processContents, 0x02);
}

TEST_F(Decoding, FormValuesOtherThanQualifiedOrUnqualifiedAreErrors) {
  std::string doc = schema("<xs:element name=\"a\" form=\"unqualified\"/>",
                           "elementFormDefault=\"Qualified\" attributeFormDefault=\"qualified\"");
  int32_t status = 0;
  std::string out = parseCaptured(doc, &status);
  std::vector<std::string> lines = linesWith(out, "KOVA9414E");
  ASSERT_EQ(lines.size(), 1u) << out;
  EXPECT_NE(lines[0].find("elementFormDefault"), std::string::npos);
  EXPECT_NE(lines[0].find("Qualified"), std::string::npos);
  EXPECT_EQ(status, messageStatus(9414));
  EXPECT_EQ(tag(1).formFlags, kFormAttrQualified);
  EXPECT_EQ(tag(2).formFlags, kFormUnqualified);
}

// Unqualified attributes that XML Schema does not have are each reported;
// attributes of other namespaces are ignored, even where their local name is
// one of XML Schema's own.
TEST_F(Decoding, UnknownAttributesAreEachReportedAndForeignOnesIgnored) {
  int32_t status = 0;
  std::string out = parseCaptured(
      schema(xsElement("a",
                       "id='e1' ID='e2' colour='red' type='xs:int' tool:type='tool:Other' "
                       "tool:name='b'"),
             "xmlns:tool='urn:tool' tool:generator='x' xml:lang='en' version='1' shade='dark'"),
      &status);
  std::vector<std::string> lines = linesWith(out, "KOVA9415E");
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_NE(lines[0].find("shade"), std::string::npos);
  EXPECT_NE(lines[1].find("colour"), std::string::npos);
  EXPECT_EQ(status, messageStatus(9415));
  EXPECT_EQ(run.errSw, 1);
  EXPECT_EQ(tagCount(), 2);  // decoding went on
  EXPECT_EQ(text(tag(2).name), "a");
  EXPECT_EQ(tag(2).dataType, kDtInt);
  EXPECT_EQ(tag(2).type, 0);
}

TEST_F(Decoding, ValuesLoseTrailingBlanksAndLocationsGetTheFilePath) {
  std::snprintf(parms.filePath, sizeof parms.filePath, "/schemas/");
  std::string doc = schema(
      "<xs:import namespace=\"urn:x \" schemaLocation=\"x.xsd&#10;\"/>"
      "<xs:element name=\"a\tb&#9;  \" ref=\"r\" substitutionGroup=\"sg\"/>"
      "<xs:element name=\"c\" substitutionGroup=\"sg\"/><xs:element name=\"d\" "
      "substitutionGroup=\"other\"/>"
      "<xs:simpleType name=\"u\"><xs:union memberTypes=\"a b c\"/></xs:simpleType>"
      "<xs:key name=\"k\"><xs:selector xpath=\".//a\"/></xs:key>"
      "<xs:simpleType name=\"t\"><xs:restriction base=\"xs:string\">"
      "<xs:enumeration value=\"V1 \"/></xs:restriction></xs:simpleType>");
  std::string out = parseCaptured(doc);
  EXPECT_EQ(text(tag(2).nameSpace), "urn:x");
  EXPECT_EQ(text(tag(2).schemaLocation), "/schemas/x.xsd");
  EXPECT_EQ(text(tag(3).name), "a b");  // inner blanks stay
  EXPECT_EQ(text(tag(3).ref), "r");
  EXPECT_EQ(text(tag(3).substitutionGroup), "sg");
  // One warning per distinct group.
  EXPECT_EQ(
      linesWith(out, "*****Warning - Substitution Group found - not currently supported").size(),
      2u);
  EXPECT_EQ(text(tag(findTag(kTagSimpleType, "u") + 1).memberTypes), "a b c");
  EXPECT_EQ(text(tag(findTag(kTagKey, "k") + 1).xpath), ".//a");
  EXPECT_EQ(text(tag(tagCount()).value), "V1");
}

class NamespacePrefixes : public ReaderTest {
 protected:
  /// Parses each document as a top-level schema, then settles the prefixes;
  /// keeps what was printed.
  int32_t readAll(const std::vector<std::string>& documents) {
    startCapture();
    for (const std::string& d : documents) parse(d);
    int32_t status = assignNamespacePrefixes();
    output = stopCapture();
    return status;
  }
  std::string xmlNameOf(const std::string& element) const {
    return text(tag(findTag(kTagElement, element)).xmlName);
  }
  std::string output;
};

TEST_F(NamespacePrefixes, MadePrefixesAreShortNamesOfTheNamespace) {
  const NamespacePrefix cases[] = {
      {"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2", "invoice"},
      {"urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2", "csc"},
      {"urn:iso:std:iso:20022:tech:xsd:pain.001.001.10", "pain"},
      {"http://uri.etsi.org/01903/v1.4.1#", "etsi"},
      {"http://example.com/", "example"},
      {"http://www.w3.org/2000/09/xmldsig#", "nsxmldsig"},  // xml... is reserved
      {"urn:iso", "iso"},
      {"urn:x:_private", "ns_private"},
      {"12345", "ns"},
      {"", "ns"},
  };
  for (const NamespacePrefix& c : cases)
    EXPECT_EQ(derivedPrefixBase(c.nameSpace), c.prefix) << c.nameSpace;
}

/// A schema of target namespace `ns` with the namespace `declarations` on
/// its tag, declaring one global element `element`.
struct Doc {
  const char* ns;
  const char* declarations;
  const char* element;
};

std::string doc(const Doc& d) {
  return schema(std::string("<xs:element name=\"") + d.element + "\"/>",
                std::string("targetNamespace=\"") + d.ns + "\" " + d.declarations);
}

TEST_F(NamespacePrefixes, LineAndDefaultNamespaceFirstThenOwnDeclarationThenAnyThenMade) {
  struct Case {
    const char* label;
    const char* element;
    const char* xmlName;
    int lines;  ///< prefixes the program chose (9417)
    std::vector<Doc> documents;
  } cases[] = {
      // clang-format off
      {"a [NAMESPACEPREFIX] line", "G", "given:G", 0,
       {{"urn:given", "xmlns:tns=\"urn:given\"", "G"}}},
      {"DEFNAMESPACE", "D", "D", 0, {{"urn:default", "xmlns:d=\"urn:default\"", "D"}}},
      // Another document declares o2 for urn:two first; urn:two's own schema
      // tag declares two.
      {"the declaration on a schema tag of the namespace", "B", "two:B", 2,
       {{"urn:one", "xmlns:o2=\"urn:two\" xmlns=\"urn:one\"", "A"},
        {"urn:two", "xmlns:two=\"urn:two\"", "B"}}},
      // urn:one declares no prefix for itself; a document read later does.
      {"a declaration anywhere", "A", "uno:A", 2,
       {{"urn:one", "xmlns=\"urn:one\"", "A"},
        {"urn:other", "xmlns:uno=\"urn:one\" xmlns:oth=\"urn:other\"", "O"}}},
      // Both documents call their own namespace tns: the second gets another.
      {"a prefix another namespace holds", "B", "b:B", 2,
       {{"urn:a", "xmlns:tns=\"urn:a\"", "A"}, {"urn:b", "xmlns:tns=\"urn:b\"", "B"}}},
      {"no declaration", "M", "msg:M", 1, {{"urn:iso:std:msg.001.001.01", "", "M"}}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshRun();
    createPrefixBlock("urn:given", "given");
    parms.defNameSpace = insertName("urn:default");
    std::vector<std::string> texts;
    for (const Doc& d : c.documents) texts.push_back(doc(d));
    EXPECT_EQ(readAll(texts), 0) << output;
    EXPECT_EQ(run.errSw, 0) << output;
    EXPECT_EQ(xmlNameOf(c.element), c.xmlName);
    std::vector<std::string> lines = linesWith(output, "KOVA9417I");
    EXPECT_EQ(static_cast<int>(lines.size()), c.lines) << output;
    // Each line names the namespace and the line that pins its prefix.
    std::string prefix = std::string(c.xmlName).substr(0, std::string(c.xmlName).find(':'));
    EXPECT_EQ(linesWith(output, " " + prefix + "\" under [NAMESPACEPREFIX]").empty(), c.lines == 0)
        << output;
  }
}

TEST_F(NamespacePrefixes, ANamespaceThatCanHaveNoPrefixIsNamedOnce) {
  // Every prefix the program could make for urn:iso is another namespace's.
  createPrefixBlock("urn:taken", "iso");
  for (int n = 2; n <= 999; ++n)
    createPrefixBlock(("urn:taken" + std::to_string(n)).c_str(),
                      ("iso" + std::to_string(n)).c_str());
  int32_t status = readAll({schema("<xs:element name=\"A\"/><xs:element name=\"B\"/>",
                                   "targetNamespace=\"urn:iso\" xmlns=\"urn:iso\"")});
  EXPECT_EQ(status, messageStatus(9416));
  std::vector<std::string> lines = linesWith(output, "KOVA9416E");
  ASSERT_EQ(lines.size(), 1u) << output;
  EXPECT_NE(lines[0].find("urn:iso"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("[NAMESPACEPREFIX]"), std::string::npos) << lines[0];
  EXPECT_EQ(run.errSw, 1);
}

}  // namespace
