// Whole imports of small schemas built the way widely used vocabularies are
// written: a DOCTYPE, attributes of other vocabularies, redefine, deep
// nesting, substitution groups, several listed files, imports without a
// location.  Each runs the built xsdimport and reads the message back with
// kova-repo show.
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string kXs = "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"";

std::string schemaOf(const std::string& body, const std::string& attrs = "") {
  return "<xs:schema " + kXs + (attrs.empty() ? "" : " " + attrs) + ">" + body + "</xs:schema>";
}

// Root r of an anonymous type holding string element a and then `more`.
std::string rootWith(const std::string& more) {
  return "<xs:element name=\"r\"><xs:complexType><xs:sequence>"
         "<xs:element name=\"a\" type=\"xs:string\"/>" +
         more + "</xs:sequence></xs:complexType></xs:element>";
}

// `depth` elements e1..e<depth>, each holding the next, the last holding leaf.
std::string nested(int depth) {
  std::string open, close;
  for (int i = 1; i <= depth; ++i) {
    open += "<xs:element name=\"e" + std::to_string(i) + "\"><xs:complexType><xs:sequence>";
    close += "</xs:sequence></xs:complexType></xs:element>";
  }
  return open + "<xs:element name=\"leaf\" type=\"xs:string\"/>" + close;
}

struct Case {
  const char* what;
  std::map<std::string, std::string> files;  ///< name -> text; main.xsd is listed first
  std::vector<std::string> listed;           ///< further [FILELIST] entries
  const char* root;
  bool succeeds;
  std::vector<std::pair<std::string, size_t>> printed;  ///< text -> lines holding it
  std::vector<std::string> shown;  ///< in this order in kova-repo show's output
};

class SchemaConstructs : public KovaTest {};

TEST_F(SchemaConstructs, ImportThroughTheProgram) {
  const std::string r6 =
      schemaOf("<xs:redefine schemaLocation=\"r6base.xsd\"><xs:complexType name=\"T\">"
               "<xs:complexContent><xs:extension base=\"T\"><xs:sequence>"
               "<xs:element name=\"b\" type=\"xs:string\"/></xs:sequence></xs:extension>"
               "</xs:complexContent></xs:complexType></xs:redefine>");
  const std::string r6base =
      schemaOf("<xs:element name=\"r\" type=\"T\"/><xs:complexType name=\"T\"><xs:sequence>"
               "<xs:element name=\"a\" type=\"xs:string\"/></xs:sequence></xs:complexType>");
  const std::string gone = "xmlns:g=\"urn:gone\"";
  const Case cases[] = {
      {"a DOCTYPE naming a DTD that is not there",
       {{"main.xsd",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE xs:schema PUBLIC \"-//W3C//DTD XMLSCHEMA 200102//EN\" "
         "\"XMLSchema.dtd\" [<!ENTITY b 'b'>]>\n" +
             schemaOf(rootWith("<xs:element name=\"&b;\" type=\"xs:int\"/>"))}},
       {},
       "r",
       true,
       {},
       {"element r_ANON^a", "element r_ANON^b"}},
      {"attributes of another vocabulary",
       {{"main.xsd",
         schemaOf(rootWith("<xs:element name=\"b\" type=\"xs:string\" ext:note=\"anything\" "
                           "ext:type=\"ext:Other\" id=\"b1\"/>"),
                  "xmlns:ext=\"urn:tool-extension\" ext:version=\"2\"")}},
       {},
       "r",
       true,
       {{"KOVA9415E", 0}},
       {"element r_ANON^a", "element r_ANON^b [-..-] type STRING"}},
      {"redefine with a self-referencing base",
       {{"main.xsd", r6}, {"r6base.xsd", r6base}},
       {},
       "r",
       true,
       {},
       {"message r type T", "element T^a", "element T^b"}},
      {"a thousand levels of nesting",
       {{"main.xsd", schemaOf(nested(999))}},
       {},
       "e1",
       true,
       {},
       {"element e998_ANON^e999", "element e999_ANON^leaf"}},
      {"substitution groups",
       {{"main.xsd",
         schemaOf(rootWith("<xs:element ref=\"h\"/>") +
                  "<xs:element name=\"h\" type=\"xs:string\"/>"
                  "<xs:element name=\"m1\" type=\"xs:string\" substitutionGroup=\"h\"/>"
                  "<xs:element name=\"m2\" type=\"xs:string\" substitutionGroup=\"h\"/>"
                  "<xs:element name=\"m3\" type=\"xs:string\" substitutionGroup=\"m1\"/>")}},
       {},
       "r",
       true,
       {{"*****Warning - Substitution Group found", 2}},
       {"element r_ANON^a", "element h"}},
      {"every file of the file list",
       {{"main.xsd", schemaOf("<xs:import namespace=\"urn:o\"/>" +
                                  rootWith("<xs:element ref=\"o:X\"/>"),
                              "xmlns:o=\"urn:o\"")},
        {"other.xsd", schemaOf("<xs:element name=\"X\" type=\"xs:int\"/>",
                               "targetNamespace=\"urn:o\" xmlns:o=\"urn:o\"")}},
       {"other.xsd"},
       "r",
       true,
       {{"Schema file other.xsd was parsed", 1}, {"KOVA9424W", 0}},
       {"element r_ANON^a", "element o^X [-..-] type INTEGER xml \"o:X\""}},
      {"an import without location, nothing of it used",
       {{"main.xsd",
         schemaOf("<xs:import namespace=\"urn:gone\"/>" + rootWith(""), gone)}},
       {},
       "r",
       true,
       {{"KOVA9424W Namespace urn:gone, imported by main.xsd", 1}},
       {"element r_ANON^a"}},
      {"an import without location, a component of it used",
       {{"main.xsd", schemaOf("<xs:import namespace=\"urn:gone\"/>" +
                                  rootWith("<xs:element ref=\"g:X\"/>"),
                              gone)}},
       {},
       "r",
       false,
       {{"KOVA9424W Namespace urn:gone", 1},
        {"KOVA9365E XML tag 7: no top-level declaration matches the reference g:X", 1}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string dir = makeTempDir();
    for (const auto& [name, text] : c.files) writeFile(dir + "/" + name, text);
    std::string list = "main.xsd\n";
    for (const std::string& name : c.listed) list += name + "\n";
    writeFile(dir + "/run.parms", "QEL_DB=run.kovadb\nMESSAGESET=S\nROOTELEMENT=" +
                                      std::string(c.root) + "\n[FILELIST]\n" + list);
    ProgramRun run = runXsdimport({"-f", "run.parms"}, dir);
    std::string excerpt = run.output.substr(0, 3000);
    EXPECT_EQ(run.status == 0, c.succeeds) << excerpt;
    for (const auto& [text, count] : c.printed) {
      EXPECT_EQ(linesWith(run.output, text).size(), count) << text << "\n" << excerpt;
    }
    if (c.shown.empty()) continue;
    ProgramRun show =
        runCommand(shellWord(KOVA_REPO_TOOL) + " show " + shellWord(dir + "/run.kovadb") + " S");
    size_t at = 0;
    for (const std::string& line : c.shown) {
      size_t found = show.output.find(line, at);
      EXPECT_NE(found, std::string::npos) << line << " (in order)\n" << show.output.substr(0, 3000);
      if (found != std::string::npos) at = found + line.size();
    }
  }
}

}  // namespace
