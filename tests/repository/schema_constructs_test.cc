// Whole imports of small schemas built the way widely used vocabularies are
// written: redefine, deep nesting, substitution groups, several listed files,
// a used component of an import without a location.  Each runs the built
// xsdimport and reads the message back with kova-repo show.  (A DOCTYPE,
// attributes of other vocabularies and an unused import without a location
// are checked where the reader handles them: document_walk_test.cc,
// attribute_decoding_test.cc, schema_files_test.cc.)
#include <map>
#include <string>
#include <vector>

#include "import_fixture.h"

namespace {

// Root r of an anonymous type holding string element a and then `more`.
std::string rootWith(const std::string& more) {
  return anonElement("r", "<xs:element name='a' type='xs:string'/>" + more);
}

// `depth` elements e1..e<depth>, each holding the next, the last holding leaf.
std::string nested(int depth) {
  std::string content = "<xs:element name='leaf' type='xs:string'/>";
  for (int i = depth; i >= 1; --i) content = anonElement("e" + std::to_string(i), content);
  return content;
}

struct Case {
  const char* what;
  const char* root;
  bool succeeds;
  std::map<std::string, std::string> files;             ///< name -> text; main.xsd is listed first
  std::vector<std::pair<std::string, size_t>> printed;  ///< text -> lines holding it
  std::vector<std::string> shown;  ///< in this order in kova-repo show's output
  const char* listed = "";         ///< further [FILELIST] lines, each after a newline
};

class SchemaConstructs : public ImportTest {};

TEST_F(SchemaConstructs, ImportThroughTheProgram) {
  const std::string redefined = schemaOf(
      "<xs:redefine schemaLocation='base.xsd'><xs:complexType name='T'>"
      "<xs:complexContent><xs:extension base='T'><xs:sequence>"
      "<xs:element name='b' type='xs:string'/></xs:sequence></xs:extension>"
      "</xs:complexContent></xs:complexType></xs:redefine>");
  const std::string base = schemaOf(
      "<xs:element name='r' type='T'/><xs:complexType name='T'><xs:sequence>"
      "<xs:element name='a' type='xs:string'/></xs:sequence></xs:complexType>");
  const std::string gone = "xmlns:g='urn:gone'";
  const Case cases[] = {
      Case{"redefine with a self-referencing base", "r", true,
           {{"main.xsd", redefined}, {"base.xsd", base}}, {},
           {"message r type T", "element T^a", "element T^b"}},
      Case{"a thousand levels of nesting", "e1", true, {{"main.xsd", schemaOf(nested(999))}}, {},
           {"element e998_ANON^e999", "element e999_ANON^leaf"}},
      Case{"substitution groups", "r", true,
           {{"main.xsd",
             schemaOf(rootWith("<xs:element ref='h'/>") +
                      "<xs:element name='h' type='xs:string'/>"
                      "<xs:element name='m1' type='xs:string' substitutionGroup='h'/>"
                      "<xs:element name='m2' type='xs:string' substitutionGroup='h'/>"
                      "<xs:element name='m3' type='xs:string' substitutionGroup='m1'/>")}},
           {{"*****Warning - Substitution Group found", 2}}, {"element r_ANON^a", "element h"}},
      Case{"every file of the file list", "r", true,
           {{"main.xsd",
             schemaOf("<xs:import namespace='urn:o'/>" + rootWith("<xs:element ref='o:X'/>"),
                      "xmlns:o='urn:o'")},
            {"other.xsd", schemaOf("<xs:element name='X' type='xs:int'/>",
                                   "targetNamespace='urn:o' xmlns:o='urn:o'")}},
           {{"Schema file other.xsd was parsed", 1}, {"KOVA9424W", 0}},
           {"element r_ANON^a", "element o^X [-..-] type INTEGER xml \"o:X\""}, "\nother.xsd"},
      Case{"an import without location, a component of it used", "r", false,
           {{"main.xsd",
             schemaOf("<xs:import namespace='urn:gone'/>" + rootWith("<xs:element ref='g:X'/>"),
                      gone)}},
           {{"KOVA9424W Namespace urn:gone", 1},
            {"KOVA9365E XML tag 7: no top-level declaration matches the reference g:X", 1}},
           {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    newRepository(Store::kFile);
    for (const auto& [name, text] : c.files) writeFile(dir_ + "/" + name, text);
    ProgramRun run = runXsdimport({"-f", parms(c.root, std::string("main.xsd") + c.listed)}, dir_);
    std::string excerpt = run.output.substr(0, 3000);
    EXPECT_EQ(run.status == 0, c.succeeds) << excerpt;
    for (const auto& [text, count] : c.printed)
      EXPECT_EQ(linesWith(run.output, text).size(), count) << text << "\n" << excerpt;
    if (c.shown.empty()) continue;
    ProgramRun show = tool("show");
    size_t at = 0;
    for (const std::string& line : c.shown) {
      size_t found = show.output.find(line, at);
      EXPECT_NE(found, std::string::npos) << line << " (in order)\n" << show.output.substr(0, 3000);
      if (found != std::string::npos) at = found + line.size();
    }
  }
}

}  // namespace
