// The SAX scan against the document tree walk: real schema sets of the corpus
// and small documents of every awkward shape, read both ways, must give the
// same tags table (every field of every row), the same namespace
// declarations, the same counters and the same messages.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "document_walk.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"
#include "schema_files.h"

namespace {

// Everything that reading leaves behind, as text (names by their value).
struct Reading {
  std::vector<std::string> tags;
  std::vector<std::string> xmlns;
  std::string rest;
  std::string output;
};

class DocumentWalkCorpus : public ReaderTest {
 protected:
  void TearDown() override {
    setDocumentTreeWalk(false);
    ReaderTest::TearDown();
  }

  static Reading snapshot(std::string output) {
    Reading r;
    const GrowTable<XmlTag>& tags = tagsTable.tags;
    for (int32_t i = 0; i <= tags.count(); ++i) {
      const XmlTag& t = tags[i];
      std::ostringstream row;
      row << i << " " << text(t.tagName) << "|" << text(t.tagPrefix) << "|" << t.parent << " "
          << t.firstChild << " " << t.lastChild << " " << t.nextSibling << " " << t.prevSibling
          << " " << t.minOccurs << " " << t.maxOccurs << "|" << text(t.name) << "|"
          << text(t.xmlName) << "|" << text(t.ref) << "|" << text(t.value) << "|"
          << text(t.xpath) << "|" << text(t.schemaLocation) << "|"
          << text(t.noNamespaceSchemaLocation) << "|" << text(t.nameSpace) << "|"
          << text(t.defaultNamespace) << "|" << text(t.substitutionGroup) << "|" << text(t.type)
          << "|" << text(t.memberTypes) << "|" << text(t.base) << "|" << text(t.targetNamespace)
          << "|" << t.typeId << " " << t.elemId << "|" << text(t.defaultValue) << "|"
          << t.schemaId << " " << int(t.elemType) << " " << int(t.dataType) << " "
          << int(t.baseDataType) << " " << int(t.flags) << " " << int(t.processContents) << " "
          << int(t.formFlags) << " " << int(t.useFlags) << " " << int(t.blockFinal);
      r.tags.push_back(row.str());
    }
    for (int32_t i = 1; i <= tagsTable.xmlns.count(); ++i) {
      const XmlnsEntry& x = tagsTable.xmlns[i];
      r.xmlns.push_back(text(x.prefix) + " " + text(x.nameSpace) + " " + std::to_string(x.xmlId));
    }
    std::ostringstream rest;
    for (int32_t c : tagsTable.counters) rest << c << " ";
    rest << "status " << tagsTable.parseStatus << " errSw " << run.errSw << " files";
    for (int32_t i = 1; i <= tags.count(); ++i) {
      auto it = tagsTable.documentFile.find(i);
      if (it != tagsTable.documentFile.end()) rest << " " << i << "=" << it->second;
    }
    rest << " provisional " << tagsTable.provisionalNames.size();
    r.rest = rest.str();
    r.output = std::move(output);
    return r;
  }

  // Reads a whole schema set as the run driver does (includes and imports
  // followed, prefixes settled).
  Reading readSet(const std::string& folder, const std::string& mainFile, bool tree) {
    freshRun();
    setDocumentTreeWalk(tree);
    std::snprintf(parms.filePath, sizeof parms.filePath, "%s/", folder.c_str());
    DataFileBlock* first = fileLists.files.get();
    qualifyFileName(first->fileName, sizeof first->fileName, mainFile.c_str());
    first->length = static_cast<int32_t>(std::filesystem::file_size(first->fileName));
    startCapture();
    const char* text = readSchemaFiles(first);
    if (text != nullptr) {
      while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') ++text;
      int32_t status = parseXMLfile(text, 0, first->fileName);
      if (status == 0 && run.errSw == 0) status = processIncludes();
      if (status == 0 && run.errSw == 0) status = provideXmlNamespace();
      if (status == 0 && run.errSw == 0) assignNamespacePrefixes();
    }
    return snapshot(stopCapture());
  }

  Reading readText(const std::string& doc, bool tree) {
    freshRun();
    setDocumentTreeWalk(tree);
    startCapture();
    parse(doc);
    return snapshot(stopCapture());
  }

  static void expectSame(const Reading& tree, const Reading& scan) {
    ASSERT_EQ(tree.tags.size(), scan.tags.size()) << scan.output;
    for (size_t i = 0; i < tree.tags.size(); ++i) EXPECT_EQ(tree.tags[i], scan.tags[i]);
    EXPECT_EQ(tree.xmlns, scan.xmlns);
    EXPECT_EQ(tree.rest, scan.rest);
    EXPECT_EQ(tree.output, scan.output);
  }
};

TEST_F(DocumentWalkCorpus, SchemaSetsReadTheSameBothWays) {
  const char* sets[][2] = {
      {"ubl-2.5/maindoc", "UBL-Invoice-2.5.xsd"},
      {"ubl-2.5/maindoc", "UBL-Order-2.5.xsd"},
      {"ubl-2.5/maindoc", "UBL-CreditNote-2.5.xsd"},
      {"ubl-2.5/maindoc", "UBL-Catalogue-2.5.xsd"},
      {"iso20022/payments_initiation_11", "pain.001.001.10_1.xsd"},
      {"iso20022/payments_clearing_and_settlement_10", "pacs.008.001.09.xsd"},
      {"iso20022/banktocustomer_cash_management_8", "camt.053.001.08.xsd"},
      {"iso20022/cash_management_1", "camt.003.001.07.xsd"},
      {"iso20022/payments_mandates__5", ""},
  };
  for (const auto& set : sets) {
    std::string folder = corpusDir() + "/" + set[0];
    std::string file = set[1];
    if (file.empty()) {  // the first document of the folder
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".xsd" && (file.empty() || name < file)) file = name;
      }
    }
    SCOPED_TRACE(file);
    Reading tree = readSet(folder, file, true);
    Reading scan = readSet(folder, file, false);
    EXPECT_EQ(scan.output.find("E "), std::string::npos) << scan.output;
    EXPECT_GT(scan.tags.size(), 100u);
    expectSame(tree, scan);
  }
}

// Small documents: annotations anywhere, declarations after the attributes
// that use them, unknown tags and attributes, entities, and documents that do
// not parse (an error after some elements leaves no tags either way).
TEST_F(DocumentWalkCorpus, AwkwardDocumentsReadTheSameBothWays) {
  const std::string docs[] = {
      schemaDoc("<xs:annotation><xs:documentation><xs:element name=\"Hidden\"/></xs:documentation>"
                "</xs:annotation><xs:appinfo><b/></xs:appinfo>"
                "<xs:element name=\"A\"><xs:annotation><xs:appinfo/></xs:annotation>"
                "<xs:complexType><xs:attribute type=\"p:T\" name=\"a\" xmlns:p=\"urn:p\"/>"
                "</xs:complexType></xs:element>",
                "targetNamespace=\"urn:t\" xmlns=\"urn:t\" elementFormDefault=\"qualified\""),
      schemaDoc("<xs:element zname=\"1\" name=\"B\" aname=\"2\" type=\"xs:string\"/><xs:bogus/>"
                "<xs:simpleType name=\"S\"><xs:restriction base=\"xs:token\">"
                "<xs:enumeration value=\"x  \"/></xs:restriction></xs:simpleType>"),
      "<!DOCTYPE xs:schema [<!ENTITY n 'C'>]>\n<!-- c --><?pi x?>" +
          schemaDoc("<xs:element name=\"&n;\"/><![CDATA[ text ]]>"),
      schemaDoc("<xs:element name=\"D\"/><xs:element name=\"E\">"),
      schemaDoc("<xs:element name=\"F\"/><xs:element name=\"G\" name=\"H\"/>"),
      "<xs:annotation xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"/>",
  };
  for (const std::string& doc : docs) {
    SCOPED_TRACE(doc);
    expectSame(readText(doc, true), readText(doc, false));
  }
}

}  // namespace
