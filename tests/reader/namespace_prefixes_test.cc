// Prefixes the program finds for namespaces without a [NAMESPACEPREFIX] line,
// once every document is read.
#include <string>
#include <vector>

#include "messages.h"
#include "parameters.h"
#include "reader_fixture.h"
#include "run_state.h"

namespace {

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
