// Schema files: the file list, includes spliced into place, imports moved to
// the top level, file locations, and the root element.
#include "schema_files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"

namespace {

class SchemaFiles : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    dir = makeTempDir() + "/";
  }

  void file(const std::string& name, const std::string& text) { writeFile(dir + name, text); }

  // Parses main.xsd of the folder with FILEPATH set to it, then follows its
  // includes and imports; returns processIncludes' result.
  int32_t readMain(bool withFilePath = true) {
    if (withFilePath) std::snprintf(parms.filePath, sizeof parms.filePath, "%s", dir.c_str());
    std::string text = readFile(dir + "main.xsd");
    startCapture();
    int32_t status = parseXMLfile(text.c_str(), 0, (dir + "main.xsd").c_str());
    if (status == 0) status = processIncludes();
    output = stopCapture();
    return status;
  }

  std::vector<std::string> topLevel() const { return children(tag(0).firstChild); }

  std::string dir;
  std::string output;
};

TEST_F(SchemaFiles, IncludedComponentsTakeThePlaceOfTheIncludeInDocumentOrder) {
  file("main.xsd", schema("<xs:element name=\"M1\"/><xs:include schemaLocation=\"a.xsd\"/>"
                          "<xs:element name=\"M2\"/>"));
  file("a.xsd", schema("<xs:element name=\"A1\"/><xs:include schemaLocation=\"b.xsd\"/>"
                       "<xs:element name=\"A2\"/>"));
  file("b.xsd", schema("<xs:complexType name=\"B1\"/><xs:element name=\"B2\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(topLevel(), (std::vector<std::string>{"element:M1", "element:A1", "complexType:B1",
                                                  "element:B2", "element:A2", "element:M2"}));
  EXPECT_EQ(children(0).size(), 1u);
  // Components keep the schemaId of their own document's schema tag.
  int32_t b1 = findTag(kTagComplexType, "B1");
  EXPECT_EQ(tag(tag(b1).schemaId).elemType, kTagSchema);
  EXPECT_NE(tag(b1).schemaId, tag(0).firstChild);
  EXPECT_EQ(linesWith(output, "KOVA9408I").size(), 3u);
}

TEST_F(SchemaFiles, IncludeAtTheEdgesOfTheChainAndTwiceDuplicatesComponents) {
  file("main.xsd", schema("<xs:include schemaLocation=\"a.xsd\"/><xs:element name=\"M\"/>"
                          "<xs:include schemaLocation=\"a.xsd\"/>"));
  file("a.xsd", schema("<xs:element name=\"A\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(topLevel(), (std::vector<std::string>{"element:A", "element:M", "element:A"}));
}

TEST_F(SchemaFiles, AnIncludeCycleIsReportedOnceAndNotReadAgain) {
  file("main.xsd", schema("<xs:include schemaLocation=\"a.xsd\"/><xs:element name=\"M\"/>"));
  file("a.xsd", schema("<xs:include schemaLocation=\"b.xsd\"/><xs:element name=\"A\"/>"));
  file("b.xsd", schema("<xs:include schemaLocation=\"./a.xsd\"/><xs:element name=\"B\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  std::vector<std::string> warnings = linesWith(output, "KOVA9355W");
  ASSERT_EQ(warnings.size(), 1u) << output;
  EXPECT_NE(warnings[0].find("a.xsd"), std::string::npos);
  EXPECT_EQ(run.errSw, 0);
  EXPECT_EQ(findTag(kTagElement, "B") != 0, true);
  std::vector<std::string> top = topLevel();
  EXPECT_EQ(std::count(top.begin(), top.end(), "element:A"), 1);

  freshRun();
  file("main.xsd", schema("<xs:include schemaLocation=\"main.xsd\"/><xs:element name=\"M\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(linesWith(output, "KOVA9355W").size(), 1u) << output;
  EXPECT_EQ(linesWith(output, "KOVA9408I").size(), 1u);
}

TEST_F(SchemaFiles, ImportsBecomeTopLevelSchemasAndLoadedNamespacesAreSkipped) {
  file("main.xsd", schema("<xs:import namespace=\"urn:b\" schemaLocation=\"b.xsd\"/>"
                          "<xs:import namespace=\"urn:main\" schemaLocation=\"missing.xsd\"/>"
                          "<xs:element name=\"M\"/>"
                          "<xs:import namespace=\"urn:b\" schemaLocation=\"b2.xsd\"/>",
                          "targetNamespace=\"urn:main\" xmlns:m=\"urn:main\""));
  file("b.xsd", schema("<xs:element name=\"B\"/>", "targetNamespace=\"urn:b\" xmlns:b=\"urn:b\""));
  file("b2.xsd", schema("<xs:element name=\"B2\"/>", "targetNamespace=\"urn:b\""));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(run.errSw, 0);
  std::vector<std::string> roots = children(0);
  ASSERT_EQ(roots.size(), 2u);
  int32_t imported = tag(tag(0).firstChild).nextSibling;
  EXPECT_EQ(text(tag(imported).targetNamespace), "urn:b");
  EXPECT_EQ(tag(tag(imported).parent).elemType, kTagImport);  // keeps its import tag
  EXPECT_EQ(children(imported), (std::vector<std::string>{"element:B"}));
  // The import that was read left the chain; the skipped ones stay.
  EXPECT_EQ(topLevel(), (std::vector<std::string>{"import:", "element:M", "import:"}));
  EXPECT_EQ(findTag(kTagElement, "B2"), 0);
}

TEST_F(SchemaFiles, ImportsWithoutANamespaceOnEitherSide) {
  // Without namespace into a schema without target namespace: skipped.
  file("main.xsd", schema("<xs:import schemaLocation=\"other.xsd\"/><xs:element name=\"M\"/>"));
  file("other.xsd", schema("<xs:element name=\"O\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(findTag(kTagElement, "O"), 0);
  // An imported schema without target namespace takes the import's.
  freshRun();
  file("main.xsd", schema("<xs:import namespace=\"urn:x\" schemaLocation=\"x.xsd\"/>",
                          "targetNamespace=\"urn:main\""));
  file("x.xsd", schema("<xs:simpleType name=\"X\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(text(tag(tag(0).lastChild).targetNamespace), "urn:x");
}

TEST_F(SchemaFiles, UnopenableLocationsReportThePathTriedLast) {
  struct Case {
    const char* body;
    std::string path;
  } cases[] = {
      {"<xs:import namespace=\"urn:n\" schemaLocation=\"gone.xsd\"/>", dir + "gone.xsd"},
      {"<xs:include schemaLocation=\"nowhere.xsd\"/>", dir + "nowhere.xsd"},
      {"<xs:include schemaLocation=\"\"/>", dir},
  };
  for (const Case& c : cases) {
    freshRun();
    file("main.xsd", schema(c.body));
    EXPECT_EQ(readMain(), messageStatus(9363)) << c.body;
    std::vector<std::string> lines = linesWith(output, "KOVA9363E");
    ASSERT_EQ(lines.size(), 1u) << output;
    EXPECT_NE(lines[0].find("file " + c.path + " for"), std::string::npos) << lines[0];
    EXPECT_EQ(run.errSw, 1);
  }
}

// An import with no location to read (none written, one at a network
// address, no [FILELOCATION] line) is a warning once per namespace, unless
// another document loads the namespace; a [FILELOCATION] line may name the
// namespace itself.
TEST_F(SchemaFiles, ImportsWithoutALocationToReadWarnOncePerNamespaceNotLoaded) {
  writeFile(dir + "lib/f.xsd",
            schema("<xs:element name=\"F\"/>", "targetNamespace=\"urn:f\" xmlns:f=\"urn:f\""));
  createFileLocBlock("urn:f", (dir + "lib/f.xsd").c_str());
  file("main.xsd",
       schema("<xs:import namespace=\"urn:n\"/><xs:import namespace=\"urn:n\"/>"
              "<xs:import namespace=\"urn:h\" schemaLocation=\"https://kova.invalid/h.xsd\"/>"
              "<xs:import namespace=\"urn:late\"/><xs:import namespace=\"urn:f\"/>"
              "<xs:import namespace=\"urn:late\" schemaLocation=\"late.xsd\"/>"));
  file("late.xsd",
       schema("<xs:element name=\"L\"/>", "targetNamespace=\"urn:late\" xmlns:l=\"urn:late\""));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(run.errSw, 0);
  std::vector<std::string> warnings = linesWith(output, "KOVA9424W");
  ASSERT_EQ(warnings.size(), 2u) << output;
  EXPECT_NE(warnings[0].find("urn:n, imported by " + dir + "main.xsd"), std::string::npos);
  EXPECT_NE(warnings[1].find("urn:h,"), std::string::npos);
  EXPECT_NE(findTag(kTagElement, "F"), 0);
  EXPECT_NE(findTag(kTagElement, "L"), 0);
}

TEST_F(SchemaFiles, FileLocationsStandInForUnopenableLocationsAndMarkThemUsed) {
  writeFile(dir + "elsewhere/real.xsd",
            schema("<xs:element name=\"R\"/>", "targetNamespace=\"urn:r\" xmlns:r=\"urn:r\""));
  createFileLocBlock((dir + "logical.xsd").c_str(), (dir + "elsewhere/real.xsd").c_str());
  file("main.xsd", schema("<xs:import namespace=\"urn:r\" schemaLocation=\"logical.xsd\"/>"
                          "<xs:import namespace=\"urn:other\" schemaLocation=\"logical.xsd\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_NE(findTag(kTagElement, "R"), 0);
  EXPECT_EQ(fileLists.fileLocs[0].flags & 1, 1);
  // The second import names a namespace never loaded, but its location's
  // block is used: it counts as read.
  EXPECT_EQ(linesWith(output, "KOVA9408I").size(), 2u);
  EXPECT_EQ(run.errSw, 0);

  // A line may give the location as written, without FILEPATH.
  freshRun();
  createFileLocBlock("https://kova.invalid/r.xsd", (dir + "elsewhere/real.xsd").c_str());
  file("main.xsd",
       schema("<xs:import namespace=\"urn:r\" schemaLocation=\"https://kova.invalid/r.xsd\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_NE(findTag(kTagElement, "R"), 0);
}

TEST_F(SchemaFiles, FilePrefixIsRemovedWhenThereIsNoFilePath) {
  file("a.xsd", schema("<xs:element name=\"A\"/>"));
  file("main.xsd", schema("<xs:include schemaLocation=\"//file:" + dir + "a.xsd\"/>"));
  ASSERT_EQ(readMain(false), 0) << output;
  EXPECT_EQ(topLevel(), (std::vector<std::string>{"element:A"}));
}

TEST_F(SchemaFiles, LocationsFallBackToTheFolderOfTheIncludingDocument) {
  // main imports sub/mod.xsd, which includes its neighbour by bare name.
  writeFile(dir + "sub/mod.xsd",
            schema("<xs:include schemaLocation=\"part.xsd\"/>", "targetNamespace=\"urn:m\""));
  writeFile(dir + "sub/part.xsd", schema("<xs:element name=\"FromSub\"/>"));
  file("main.xsd", schema("<xs:import namespace=\"urn:m\" schemaLocation=\"sub/mod.xsd\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_NE(findTag(kTagElement, "FromSub"), 0);

  // A file that FILEPATH reaches is preferred to the neighbour.
  freshRun();
  file("part.xsd", schema("<xs:element name=\"FromTop\"/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_NE(findTag(kTagElement, "FromTop"), 0);
  EXPECT_EQ(findTag(kTagElement, "FromSub"), 0);
}

TEST_F(SchemaFiles, EmptyDocumentsAndNonSchemaImportsAreReported) {
  file("main.xsd", schema("<xs:include schemaLocation=\"nothing.xsd\"/>"
                          "<xs:import namespace=\"urn:e\" schemaLocation=\"empty.xsd\"/>"
                          "<xs:element name=\"M\"/>"));
  file("nothing.xsd", "<xs:annotation xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"/>");
  file("empty.xsd", schema("", "targetNamespace=\"urn:e\""));
  int32_t status = readMain();
  EXPECT_EQ(status, messageStatus(9362)) << output;
  EXPECT_EQ(linesWith(output, "KOVA9362W").size(), 2u) << output;
  EXPECT_EQ(run.errSw, 0);
  EXPECT_EQ(children(0).size(), 1u);

  freshRun();
  std::snprintf(parms.msgSetName, sizeof parms.msgSetName, "SET1");
  file("main.xsd", schema("<xs:import namespace=\"urn:x\" schemaLocation=\"notschema.xsd\"/>"));
  file("notschema.xsd", "<element xmlns=\"http://www.w3.org/2001/XMLSchema\" name=\"E\"/>");
  readMain();
  std::vector<std::string> lines = linesWith(output, "KOVA9353E");
  ASSERT_EQ(lines.size(), 1u) << output;
  EXPECT_NE(lines[0].find("SET1"), std::string::npos);
  EXPECT_EQ(run.returnCode, messageStatus(9353));
  EXPECT_EQ(run.errSw, 1);
}

// A redefine reads its document like an include; each redefinition stands
// before the original it replaces (also one from a document that the
// redefined one includes), and its reference to its own name now names the
// original, kept under a name of its own.
TEST_F(SchemaFiles, RedefinitionsReplaceTheirOriginalsAndReferToThem) {
  file("main.xsd",
       schema("<xs:redefine schemaLocation=\"r.xsd\">"
              "<xs:complexType name=\"T\"><xs:complexContent><xs:extension base=\"T\">"
              "<xs:sequence><xs:element name=\"b\"/></xs:sequence></xs:extension>"
              "</xs:complexContent></xs:complexType>"
              "<xs:group name=\"G\"><xs:sequence><xs:group ref=\"G\"/></xs:sequence></xs:group>"
              "</xs:redefine><xs:element name=\"M\"/><xs:group name=\"G_REDEFINED\"/>"));
  file("r.xsd", schema("<xs:element name=\"R\" type=\"T\"/><xs:include schemaLocation=\"r2.xsd\"/>"
                       "<xs:group name=\"G\"><xs:sequence><xs:element name=\"g\"/>"
                       "</xs:sequence></xs:group><xs:complexType name=\"T_REDEFINED\"/>"));
  file("r2.xsd", schema("<xs:complexType name=\"T\"><xs:sequence><xs:element name=\"a\"/>"
                        "</xs:sequence></xs:complexType>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(topLevel(),
            (std::vector<std::string>{"element:R", "complexType:T", "complexType:T_REDEFINED1",
                                      "group:G", "group:G_REDEFINED1", "complexType:T_REDEFINED",
                                      "element:M", "group:G_REDEFINED"}));
  int32_t t = tag(tag(0).firstChild).firstChild;
  t = tag(t).nextSibling;  // the redefinition of T
  EXPECT_EQ(tag(t).schemaId, tag(0).firstChild);
  int32_t extension = findTag(kTagExtension, "");
  EXPECT_EQ(text(tag(extension).base), "T_REDEFINED1");
  int32_t innerRef = tag(tag(findTag(kTagGroup, "G")).firstChild).firstChild;
  EXPECT_EQ(text(tag(innerRef).ref), "G_REDEFINED1");

  // A parse error in a read document ends the scan at once.
  freshRun();
  file("main.xsd", schema("<xs:include schemaLocation=\"bad.xsd\"/>"
                          "<xs:include schemaLocation=\"never.xsd\"/>"));
  file("bad.xsd", "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">");
  EXPECT_EQ(readMain(), messageStatus(9422));
  EXPECT_EQ(linesWith(output, "KOVA9363E").size(), 0u) << output;
}

TEST_F(SchemaFiles, FindRootTakesTheFirstGlobalElementNeverALocalOne) {
  // A local declaration of the name comes first in the table; the global one
  // after it is the root.  A name declared only locally is no root at all.
  ASSERT_EQ(parse(schema("<xs:complexType name=\"T\"><xs:sequence><xs:element name=\"Root\"/>"
                         "<xs:element name=\"OnlyLocal\"/>"
                         "</xs:sequence></xs:complexType><xs:element name=\"Root\"/>"
                         "<xs:element name=\"Root\"/><xs:group name=\"OnlyGroup\"/>")),
            0);
  EXPECT_EQ(tag(tag(4).parent).elemType, kTagSequence);
  EXPECT_EQ(findRoot("Root"), 6);
  EXPECT_EQ(tag(tag(6).parent).elemType, kTagSchema);
  for (const char* missing : {"OnlyGroup", "OnlyLocal", "T", "Nowhere", ""}) {
    run.errSw = 0;
    startCapture();
    EXPECT_EQ(findRoot(missing), -1) << missing;
    std::string out = stopCapture();
    EXPECT_EQ(linesWith(out, "KOVA9357E").size(), 1u) << missing;
    EXPECT_EQ(run.returnCode, messageStatus(9357));
    EXPECT_EQ(run.errSw, 1);
  }
}

TEST_F(SchemaFiles, ReadSchemaFilesReadsEveryEntryAndReturnsTheMainText) {
  file("one.xsd", "first text");
  file("two.xsd", "second");
  DataFileBlock* first = fileLists.files.get();
  std::snprintf(first->fileName, sizeof first->fileName, "%sone.xsd", dir.c_str());
  first->length = 10;
  first->next = std::make_unique<DataFileBlock>();
  std::snprintf(first->next->fileName, sizeof first->next->fileName, "%stwo.xsd", dir.c_str());
  first->next->length = 6;
  const char* text = readSchemaFiles(first);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text, first->data.data());
  EXPECT_STREQ(text, "first text");
  EXPECT_STREQ(first->next->data.data(), "second");
  EXPECT_EQ(first->data.size(), 42u);
  EXPECT_EQ(first->data[41], '\0');

  std::snprintf(first->next->fileName, sizeof first->next->fileName, "%sgone.xsd", dir.c_str());
  startCapture();
  EXPECT_EQ(readSchemaFiles(first), nullptr);
  std::string out = stopCapture();
  std::vector<std::string> lines = linesWith(out, "KOVA9393E");
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_NE(lines[0].find("open failed"), std::string::npos);
  EXPECT_NE(lines[1].find("read failed"), std::string::npos);
  EXPECT_EQ(run.errSw, 1);
}

}  // namespace
