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

using Names = std::vector<std::string>;

class SchemaFiles : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    dir = makeTempDir() + "/";
  }

  void file(const std::string& name, const std::string& text) { writeFile(dir + name, text); }

  // Parses main.xsd of the folder (`dir` unless given) with FILEPATH set to
  // it, then follows its includes and imports; returns processIncludes' result.
  int32_t readMain(bool withFilePath = true, std::string folder = "") {
    if (folder.empty()) folder = dir;
    if (withFilePath) std::snprintf(parms.filePath, sizeof parms.filePath, "%s", folder.c_str());
    std::string text = readFile(folder + "main.xsd");
    startCapture();
    int32_t status = parseXMLfile(text.c_str(), 0, (folder + "main.xsd").c_str());
    if (status == 0) status = processIncludes();
    output = stopCapture();
    return status;
  }

  Names topLevel() const { return children(tag(0).firstChild); }
  size_t count(const std::string& code) const { return linesWith(output, code).size(); }
  bool has(const char* element) const { return findTag(kTagElement, element) != 0; }

  std::string dir;
  std::string output;
};

TEST_F(SchemaFiles, IncludedComponentsTakeThePlaceOfTheIncludeInDocumentOrder) {
  file("main.xsd", schema(xsElement("M1") + xsInclude("a.xsd") + xsElement("M2")));
  file("a.xsd", schema(xsElement("A1") + xsInclude("b.xsd") + xsElement("A2")));
  file("b.xsd", schema("<xs:complexType name='B1'/>" + xsElement("B2")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(topLevel(), (Names{"element:M1", "element:A1", "complexType:B1", "element:B2",
                               "element:A2", "element:M2"}));
  EXPECT_EQ(children(0).size(), 1u);
  // Components keep the schemaId of their own document's schema tag.
  int32_t b1 = findTag(kTagComplexType, "B1");
  EXPECT_EQ(tag(tag(b1).schemaId).elemType, kTagSchema);
  EXPECT_NE(tag(b1).schemaId, tag(0).firstChild);
  EXPECT_EQ(count("KOVA9408I"), 3u);
  // At the edges of the chain, and twice: the components come twice.
  freshRun();
  file("main.xsd", schema(xsInclude("a2.xsd") + xsElement("M") + xsInclude("a2.xsd")));
  file("a2.xsd", schema(xsElement("A")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(topLevel(), (Names{"element:A", "element:M", "element:A"}));
}

TEST_F(SchemaFiles, AnIncludeCycleIsReportedOnceAndNotReadAgain) {
  file("main.xsd", schema(xsInclude("a.xsd") + xsElement("M")));
  file("a.xsd", schema(xsInclude("b.xsd") + xsElement("A")));
  file("b.xsd", schema(xsInclude("./a.xsd") + xsElement("B")));
  ASSERT_EQ(readMain(), 0) << output;
  Names warnings = linesWith(output, "KOVA9355W");
  ASSERT_EQ(warnings.size(), 1u) << output;
  EXPECT_NE(warnings[0].find("a.xsd"), std::string::npos);
  EXPECT_EQ(run.errSw, 0);
  EXPECT_TRUE(has("B"));
  Names top = topLevel();
  EXPECT_EQ(std::count(top.begin(), top.end(), "element:A"), 1);

  freshRun();
  file("main.xsd", schema(xsInclude("main.xsd") + xsElement("M")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(count("KOVA9355W"), 1u) << output;
  EXPECT_EQ(count("KOVA9408I"), 1u);
}

TEST_F(SchemaFiles, ImportsBecomeTopLevelSchemasAndLoadedNamespacesAreSkipped) {
  file("main.xsd", schema(xsImport("urn:b", "b.xsd") + xsImport("urn:main", "missing.xsd") +
                              xsElement("M") + xsImport("urn:b", "b2.xsd"),
                          "targetNamespace='urn:main' xmlns:m='urn:main'"));
  file("b.xsd", schema(xsElement("B"), "targetNamespace='urn:b' xmlns:b='urn:b'"));
  file("b2.xsd", schema(xsElement("B2"), "targetNamespace='urn:b'"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(run.errSw, 0);
  ASSERT_EQ(children(0).size(), 2u);
  int32_t imported = tag(tag(0).firstChild).nextSibling;
  EXPECT_EQ(text(tag(imported).targetNamespace), "urn:b");
  EXPECT_EQ(tag(tag(imported).parent).elemType, kTagImport);  // keeps its import tag
  EXPECT_EQ(children(imported), (Names{"element:B"}));
  // The import that was read left the chain; the skipped ones stay.
  EXPECT_EQ(topLevel(), (Names{"import:", "element:M", "import:"}));
  EXPECT_FALSE(has("B2"));
}

TEST_F(SchemaFiles, ImportsWithoutANamespaceOnEitherSide) {
  // Without namespace into a schema without target namespace: skipped.
  file("main.xsd", schema(xsImport("", "other.xsd") + xsElement("M")));
  file("other.xsd", schema(xsElement("O")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_FALSE(has("O"));
  // An imported schema without target namespace takes the import's.
  freshRun();
  file("main.xsd", schema(xsImport("urn:x", "x.xsd"), "targetNamespace='urn:main'"));
  file("x.xsd", schema("<xs:simpleType name='X'/>"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(text(tag(tag(0).lastChild).targetNamespace), "urn:x");
}

TEST_F(SchemaFiles, UnopenableLocationsReportThePathTriedLast) {
  const std::pair<std::string, std::string> cases[] = {
      {xsImport("urn:n", "gone.xsd"), dir + "gone.xsd"},
      {xsInclude("nowhere.xsd"), dir + "nowhere.xsd"},
      {xsInclude(""), dir},
  };
  for (const auto& [body, path] : cases) {
    SCOPED_TRACE(body);
    freshRun();
    file("main.xsd", schema(body));
    EXPECT_EQ(readMain(), messageStatus(9363));
    Names lines = linesWith(output, "KOVA9363E");
    ASSERT_EQ(lines.size(), 1u) << output;
    EXPECT_NE(lines[0].find("file " + path + " for"), std::string::npos) << lines[0];
    EXPECT_EQ(run.errSw, 1);
  }
}

// An import with no location to read (none written, one at a network
// address, no [FILELOCATION] line) is a warning once per namespace, unless
// another document loads the namespace; a [FILELOCATION] line may name the
// namespace itself.
TEST_F(SchemaFiles, ImportsWithoutALocationToReadWarnOncePerNamespaceNotLoaded) {
  writeFile(dir + "lib/f.xsd", schema(xsElement("F"), "targetNamespace='urn:f' xmlns:f='urn:f'"));
  createFileLocBlock("urn:f", (dir + "lib/f.xsd").c_str());
  file("main.xsd", schema(xsImport("urn:n") + xsImport("urn:n") +
                          xsImport("urn:h", "https://kova.invalid/h.xsd") + xsImport("urn:late") +
                          xsImport("urn:f") + xsImport("urn:late", "late.xsd")));
  file("late.xsd", schema(xsElement("L"), "targetNamespace='urn:late' xmlns:l='urn:late'"));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_EQ(run.errSw, 0);
  Names warnings = linesWith(output, "KOVA9424W");
  ASSERT_EQ(warnings.size(), 2u) << output;
  EXPECT_NE(warnings[0].find("urn:n, imported by " + dir + "main.xsd"), std::string::npos);
  EXPECT_NE(warnings[1].find("urn:h,"), std::string::npos);
  EXPECT_TRUE(has("F"));
  EXPECT_TRUE(has("L"));
}

TEST_F(SchemaFiles, FileLocationsStandInForUnopenableLocationsAndMarkThemUsed) {
  writeFile(dir + "elsewhere/real.xsd",
            schema(xsElement("R"), "targetNamespace='urn:r' xmlns:r='urn:r'"));
  createFileLocBlock((dir + "logical.xsd").c_str(), (dir + "elsewhere/real.xsd").c_str());
  file("main.xsd", schema(xsImport("urn:r", "logical.xsd") + xsImport("urn:other", "logical.xsd")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_TRUE(has("R"));
  EXPECT_EQ(fileLists.fileLocs[0].flags & 1, 1);
  // The second import names a namespace never loaded, but its location's
  // block is used: it counts as read.
  EXPECT_EQ(count("KOVA9408I"), 2u);
  EXPECT_EQ(run.errSw, 0);

  // A line may give the location as written, without FILEPATH.
  freshRun();
  createFileLocBlock("https://kova.invalid/r.xsd", (dir + "elsewhere/real.xsd").c_str());
  file("main.xsd", schema(xsImport("urn:r", "https://kova.invalid/r.xsd")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_TRUE(has("R"));
}

TEST_F(SchemaFiles, FilePrefixIsRemovedWhenThereIsNoFilePath) {
  file("a.xsd", schema(xsElement("A")));
  file("main.xsd", schema(xsInclude("//file:" + dir + "a.xsd")));
  ASSERT_EQ(readMain(false), 0) << output;
  EXPECT_EQ(topLevel(), (Names{"element:A"}));
}

TEST_F(SchemaFiles, LocationsFallBackToTheFolderOfTheIncludingDocument) {
  // main imports sub/mod.xsd, which includes its neighbour by bare name.
  writeFile(dir + "sub/mod.xsd", schema(xsInclude("part.xsd"), "targetNamespace='urn:m'"));
  writeFile(dir + "sub/part.xsd", schema(xsElement("FromSub")));
  file("main.xsd", schema(xsImport("urn:m", "sub/mod.xsd")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_TRUE(has("FromSub"));
  // A file that FILEPATH reaches is preferred to the neighbour.
  freshRun();
  file("part.xsd", schema(xsElement("FromTop")));
  ASSERT_EQ(readMain(), 0) << output;
  EXPECT_TRUE(has("FromTop"));
  EXPECT_FALSE(has("FromSub"));
}

TEST_F(SchemaFiles, EmptyDocumentsAndNonSchemaImportsAreReported) {
  file("main.xsd",
       schema(xsInclude("nothing.xsd") + xsImport("urn:e", "empty.xsd") + xsElement("M")));
  file("nothing.xsd", "<xs:annotation xmlns:xs='http://www.w3.org/2001/XMLSchema'/>");
  file("empty.xsd", schema("", "targetNamespace='urn:e'"));
  EXPECT_EQ(readMain(), messageStatus(9362)) << output;
  EXPECT_EQ(count("KOVA9362W"), 2u) << output;
  EXPECT_EQ(run.errSw, 0);
  EXPECT_EQ(children(0).size(), 1u);

  freshRun();
  std::snprintf(parms.msgSetName, sizeof parms.msgSetName, "SET1");
  file("main.xsd", schema(xsImport("urn:x", "notschema.xsd")));
  file("notschema.xsd", "<element xmlns='http://www.w3.org/2001/XMLSchema' name='E'/>");
  readMain();
  Names lines = linesWith(output, "KOVA9353E");
  ASSERT_EQ(lines.size(), 1u) << output;
  EXPECT_NE(lines[0].find("SET1"), std::string::npos);
  EXPECT_EQ(run.returnCode, messageStatus(9353));
  EXPECT_EQ(run.errSw, 1);
}

// A redefine reads its document like an include; each redefinition stands
// before the original it replaces (also one from a document that the
// redefined one includes), and its reference to its own name now names the
// original, kept under a name of its own.  (The documents: redefine/.)
TEST_F(SchemaFiles, RedefinitionsReplaceTheirOriginalsAndReferToThem) {
  ASSERT_EQ(readMain(true, KOVA_READER_DATA "/redefine/"), 0) << output;
  EXPECT_EQ(topLevel(), (Names{"element:R", "complexType:T", "complexType:T_REDEFINED1", "group:G",
                               "group:G_REDEFINED1", "complexType:T_REDEFINED", "element:M",
                               "group:G_REDEFINED"}));
  int32_t t = tag(tag(tag(0).firstChild).firstChild).nextSibling;  // the redefinition of T
  EXPECT_EQ(tag(t).schemaId, tag(0).firstChild);
  EXPECT_EQ(text(tag(findTag(kTagExtension, "")).base), "T_REDEFINED1");
  int32_t innerRef = tag(tag(findTag(kTagGroup, "G")).firstChild).firstChild;
  EXPECT_EQ(text(tag(innerRef).ref), "G_REDEFINED1");

  // A parse error in a read document ends the scan at once.
  freshRun();
  file("main.xsd", schema(xsInclude("bad.xsd") + xsInclude("never.xsd")));
  file("bad.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>");
  EXPECT_EQ(readMain(), messageStatus(9422));
  EXPECT_EQ(count("KOVA9363E"), 0u) << output;
}

TEST_F(SchemaFiles, FindRootTakesTheFirstGlobalElementNeverALocalOne) {
  // A local declaration of the name comes first in the table; the global one
  // after it is the root.  A name declared only locally is no root at all.
  ASSERT_EQ(parse(schema("<xs:complexType name='T'><xs:sequence>" + xsElement("Root") +
                         xsElement("OnlyLocal") + "</xs:sequence></xs:complexType>" +
                         xsElement("Root") + xsElement("Root") + "<xs:group name='OnlyGroup'/>")),
            0);
  EXPECT_EQ(tag(tag(4).parent).elemType, kTagSequence);
  EXPECT_EQ(findRoot("Root"), 6);
  EXPECT_EQ(tag(tag(6).parent).elemType, kTagSchema);
  for (const char* missing : {"OnlyGroup", "OnlyLocal", "T", "Nowhere", ""}) {
    run.errSw = 0;
    startCapture();
    EXPECT_EQ(findRoot(missing), -1) << missing;
    output = stopCapture();
    EXPECT_EQ(count("KOVA9357E"), 1u) << missing;
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
  output = stopCapture();
  Names lines = linesWith(output, "KOVA9393E");
  ASSERT_EQ(lines.size(), 2u) << output;
  EXPECT_NE(lines[0].find("open failed"), std::string::npos);
  EXPECT_NE(lines[1].find("read failed"), std::string::npos);
  EXPECT_EQ(run.errSw, 1);
}

}  // namespace
