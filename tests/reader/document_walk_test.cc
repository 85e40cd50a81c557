// The document walk: what a schema text becomes in the XML tags table.
#include <chrono>
#include <clocale>
#include <string>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"

namespace {

using Walk = ReaderTest;

// Prologue nodes, comments, processing instructions and annotation subtrees
// (foreign content included) give no tags and are not counted.
TEST_F(Walk, OnlySchemaComponentsMakeTagsAndTheSchemaIsTagOne) {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a comment -->\n<?tool hint?>\n" +
      schema(
          "<!-- inside --><xs:annotation><xs:documentation><p:element xmlns:p=\"urn:other\">text"
          "</p:element></xs:documentation><xs:appinfo><xs:element "
          "name=\"Hidden\"/><foo/></xs:appinfo>"
          "</xs:annotation><xs:element name=\"A\" type=\"xs:string\"><xs:annotation>"
          "<xs:documentation>d</xs:documentation></xs:annotation></xs:element><?pi x?>");
  int32_t status = -1;
  std::string out = parseCaptured(doc, &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(tagCount(), 2);
  EXPECT_EQ(tag(1).elemType, kTagSchema);
  EXPECT_EQ(tag(1).schemaId, 1);
  EXPECT_EQ(tag(2).schemaId, 1);
  EXPECT_EQ(children(0), (std::vector<std::string>{"schema:"}));
  EXPECT_EQ(children(1), (std::vector<std::string>{"element:A"}));
  EXPECT_EQ(tagsTable.counters[kCountElement], 1);
  EXPECT_EQ(out.find("KOVA9411"), std::string::npos);
  EXPECT_EQ(run.errSw, 0);
}

TEST_F(Walk, TagsAreKnownByLocalNameWhateverThePrefix) {
  std::string doc =
      "<schema xmlns=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:foo=\"urn:foo\">"
      "<xs:element name=\"A\"/><xsd:element name=\"B\"/><element name=\"C\"/>"
      "<foo:element name=\"D\"/></schema>";
  ASSERT_EQ(parse(doc), 0);
  ASSERT_EQ(tagCount(), 5);
  const char* prefixes[] = {"xs", "xsd", "", "foo"};
  for (int32_t i = 2; i <= 5; ++i) {
    EXPECT_EQ(tag(i).elemType, kTagElement) << i;
    EXPECT_EQ(text(tag(i).tagPrefix), prefixes[i - 2]) << i;
    EXPECT_EQ(text(tag(i).tagName), "element");
  }
  EXPECT_EQ(tag(1).tagPrefix, 0);
}

TEST_F(Walk, UnknownTagNamesStayWithKindZeroAndAreEachReported) {
  std::string doc =
      schema("<xs:Element name=\"A\"/><xs:complextype name=\"T\"/><xs:element name=\"B\"/>");
  int32_t status = 0;
  std::string out = parseCaptured(doc, &status);
  EXPECT_EQ(linesWith(out, "KOVA9411E").size(), 2u);
  EXPECT_EQ(status, messageStatus(9411));
  EXPECT_EQ(run.errSw, 1);
  ASSERT_EQ(tagCount(), 4);
  EXPECT_EQ(tag(2).elemType, kTagUnknown);
  EXPECT_EQ(text(tag(2).tagName), "Element");
  EXPECT_EQ(tag(3).elemType, kTagUnknown);
  EXPECT_EQ(tag(4).elemType, kTagElement);
  EXPECT_EQ(children(1).size(), 3u);
}

TEST_F(Walk, DeepNestingAndLongSiblingChainsDoNotExhaustTheStack) {
  std::string open, close;
  for (int i = 0; i < 3000; ++i) {
    open += "<xs:sequence>";
    close += "</xs:sequence>";
  }
  std::string siblings;
  for (int i = 0; i < 20000; ++i) siblings += "<xs:element name=\"e\"/>";
  ASSERT_EQ(parse(schema("<xs:group name=\"G\">" + open + close + "</xs:group>" + siblings)), 0);
  EXPECT_EQ(tagCount(), 1 + 1 + 3000 + 20000);
  EXPECT_EQ(tag(tagCount()).parent, 1);
  EXPECT_EQ(tag(3002).parent, 3001);
}

TEST_F(Walk, AnEarlierErrorMakesEveryLaterParseReturnNonZero) {
  parseCaptured(schema("<xs:bogus/>"));
  ASSERT_EQ(tagsTable.parseStatus, messageStatus(9411));
  int32_t status = 0;
  parseCaptured(schema("<xs:element name=\"Fine\"/>"), &status);
  EXPECT_EQ(status, messageStatus(9411));
  EXPECT_NE(findTag(kTagElement, "Fine"), 0);  // the good document was still read
}

TEST_F(Walk, NonAsciiNamesKeepTheirUtf8BytesWhateverTheLocale) {
  std::setlocale(LC_ALL, "C");
  const std::string grosse = std::string("Gr\xC3\xB6\xC3\x9F") + "e";
  ASSERT_EQ(parse(schema(xsElement(grosse, "type='Ma\xC3\x9F'") +
                         "<xs:complexType name='\xE5\x90\x8D\xE5\x89\x8D'/>" +
                         xsElement("Sym\xF0\x9F\x98\x80"))),
            0);
  EXPECT_EQ(text(tag(2).name), grosse);
  EXPECT_EQ(text(tag(2).xmlName), grosse);
  EXPECT_EQ(text(tag(2).type), "Ma\xC3\x9F");
  EXPECT_EQ(text(tag(3).name), "\xE5\x90\x8D\xE5\x89\x8D");
  EXPECT_EQ(text(tag(4).name), "Sym\xF0\x9F\x98\x80");
}

// Form rules of the XML names, in one schema with a target namespace whose
// prefix comes from its own declaration.
TEST_F(Walk, XmlNamesFollowTheFormRules) {
  std::string doc = schema(
      "<xs:element name='Glob'><xs:complexType><xs:sequence><xs:element name='loc'/>"
      "<xs:element name='unq' form='unqualified'/><xs:element ref='tns:Glob'/></xs:sequence>"
      "<xs:attribute name='att'/><xs:attribute name='qatt' form='qualified'/></xs:complexType>"
      "</xs:element><xs:attribute name='gatt'/><xs:complexType name='CT'/><xs:simpleType "
      "name='ST'/>",
      "xmlns:tns='urn:t' targetNamespace='urn:t' elementFormDefault='qualified'");
  ASSERT_EQ(parse(doc), 0);
  struct Case {
    int32_t kind;
    const char* name;
    const char* xmlName;
  } cases[] = {
      {kTagElement, "Glob", "tns:Glob"},   {kTagElement, "loc", "tns:loc"},
      {kTagElement, "unq", "unq"},         {kTagAttribute, "att", "att"},
      {kTagAttribute, "qatt", "tns:qatt"}, {kTagAttribute, "gatt", "tns:gatt"},
      {kTagComplexType, "CT", "tns:CT"},   {kTagSimpleType, "ST", "tns:ST"},
  };
  for (const Case& c : cases) {
    int32_t id = findTag(c.kind, c.name);
    ASSERT_NE(id, 0) << c.name;
    EXPECT_EQ(text(tag(id).xmlName), c.xmlName) << c.name;
  }
  // A local element with a ref and no name: the prefix and the colon alone.
  int32_t refTag = findTag(kTagElement, "");
  ASSERT_NE(refTag, 0);
  EXPECT_EQ(text(tag(refTag).xmlName), "tns:");
  // The anonymous complex type under Glob is a type: qualified, but nameless.
  EXPECT_EQ(run.errSw, 0);
}

TEST_F(Walk, UnqualifiedSchemaAndMissingNamespaceGiveBareNames) {
  ASSERT_EQ(parse(schema("<xs:element name='G'><xs:complexType><xs:sequence><xs:element name='l'/>"
                         "<xs:element ref='G'/></xs:sequence></xs:complexType></xs:element>")),
            0);
  EXPECT_EQ(text(tag(findTag(kTagElement, "G")).xmlName), "G");
  EXPECT_EQ(text(tag(findTag(kTagElement, "l")).xmlName), "l");
  EXPECT_EQ(tag(findTag(kTagElement, "")).xmlName, 0);
}

// A DOCTYPE never stops a schema document: nothing is fetched from a network
// address (a fetch of the .invalid host could only fail, with an error of its
// own), external entities resolve to local files only, the grammar it names is
// neither read (here or missing) nor validated against, nor are the external
// parameter entities of its internal subset; internal entities still expand.
TEST_F(Walk, DoctypesFetchNothingValidateNothingAndStillExpandTheirEntities) {
  std::string dir = makeTempDir();
  writeFile(dir + "/part.ent", "<element name=\"FromFile\"/>");
  writeFile(dir + "/schema.dtd",
            "<!ELEMENT schema (element*)>\n<!ELEMENT element EMPTY>\n"
            "<!ATTLIST element name CDATA #REQUIRED>\n<!ENTITY fromDtd 'X'>\n");
  const std::string head = "<schema xmlns=\"http://www.w3.org/2001/XMLSchema\"";
  const std::string refToA = head + "><element name=\"&nm;\"/><element ref=\"A\"/></schema>";
  const struct {
    std::string doc;
    std::vector<std::string> children;
    const char* targetNamespace;
    const char* firstXmlName;
  } cases[] = {
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE schema PUBLIC \"-//W3C//DTD XMLSchema 200102//EN\" "
       "\"http://kova.invalid/2001/XMLSchema.dtd\" [\n"
       "  <!ATTLIST schema xmlns:ds CDATA #FIXED \"urn:sig\">\n  <!ENTITY dsig 'urn:sig'>\n]>\n" +
           head + " targetNamespace=\"&dsig;\"><element name=\"Signature\"/></schema>",
       {"element:Signature"},
       "urn:sig",
       "ds:Signature"},
      {"<!DOCTYPE schema SYSTEM \"http://kova.invalid/schema.dtd\" [\n"
       "  <!ENTITY local SYSTEM \"part.ent\">\n"
       "  <!ENTITY remote SYSTEM \"http://kova.invalid/part.ent\">\n]>\n" +
           head + ">&local;&remote;<element name=\"Own\"/></schema>",
       {"element:FromFile", "element:Own"},
       "",
       "FromFile"},
      {"<!DOCTYPE schema SYSTEM \"schema.dtd\" [<!ENTITY nm 'A'>]>\n" + refToA,
       {"element:A", "element:ref=A"},
       "",
       "A"},
      {"<!DOCTYPE schema PUBLIC \"-//W3C//DTD XMLSCHEMA 200102//EN\" \"XMLSchema.dtd\" [\n"
       "  <!ENTITY % xs-datatypes PUBLIC 'datatypes' 'datatypes.dtd'>\n  %xs-datatypes;\n"
       "  <!ENTITY nm 'A'>\n]>\n" +
           refToA,
       {"element:A", "element:ref=A"},
       "",
       "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc);
    freshRun();
    createPrefixBlock("urn:sig", "ds");
    startCapture();
    int32_t status = parseXMLfile(c.doc.c_str(), 0, (dir + "/main.xsd").c_str());
    std::string out = stopCapture();
    EXPECT_EQ(status, 0) << out;
    ASSERT_EQ(tagCount(), 1 + static_cast<int32_t>(c.children.size()));
    EXPECT_EQ(children(1), c.children);
    EXPECT_EQ(text(tag(1).targetNamespace), c.targetNamespace);
    EXPECT_EQ(text(tag(2).xmlName), c.firstXmlName);
  }
}

// Documents that do not parse: one error with what went wrong, no tags, a
// failed run, in bounded time.
TEST_F(Walk, DocumentsThatDoNotParseReportOnceAndAddNoTags) {
  std::string utf16 = "\xFF\xFE";  // text is taken up to its first NUL
  for (char c : schema("<xs:element name=\"A\"/>")) {
    utf16 += c;
    utf16 += '\0';
  }
  utf16 += std::string(4, '\0');
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE schema [\n<!ENTITY l0 \"ha\">\n";
  for (int i = 1; i <= 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">\n";
  }
  laughs += "]>\n<schema xmlns=\"http://www.w3.org/2001/XMLSchema\" version=\"&l10;\"/>";
  const struct {
    std::string doc;
    const char* detail;  ///< on one line of the output
  } cases[] = {
      {"<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n  <xs:element name=\"A\">\n"
       "  </xs:elemnt>\n</xs:schema>\n",
       "in main.xsd at line 3, column"},
      {utf16, "16-bit encoding"},
      {laughs, "KOVA9422E"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    freshRun();
    auto start = std::chrono::steady_clock::now();
    int32_t status = 0;
    std::string out = parseCaptured(c.doc, &status);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(linesWith(out, "KOVA9422E").size(), 1u) << out;
    EXPECT_EQ(linesWith(out, c.detail).size(), 1u) << out;
    EXPECT_EQ(linesWith(out, "KOVA9408").size(), 0u);
    EXPECT_EQ(status, messageStatus(9422));
    EXPECT_EQ(run.errSw, 1);
    EXPECT_EQ(tagCount(), 0);
    EXPECT_LT(seconds, 20.0);
  }
}

}  // namespace
