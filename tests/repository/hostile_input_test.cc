// Hostile and broken input, whole program runs: every such input ends in a
// clear message, quickly and with the repository as it was; nothing is lost
// while success is reported.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "import_fixture.h"

namespace {

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

/// A schema whose internal DTD declares everything it uses (so that it is
/// valid against it) and one entity of `size` characters, referenced
/// `references` times in a documentation element.
std::string entitySchema(int size, int references) {
  return "<?xml version='1.0'?><!DOCTYPE xs:schema [\n"
         "<!ELEMENT xs:schema ANY><!ATTLIST xs:schema xmlns:xs CDATA #IMPLIED>\n"
         "<!ELEMENT xs:element ANY><!ATTLIST xs:element name CDATA #IMPLIED type CDATA #IMPLIED>\n"
         "<!ELEMENT xs:annotation ANY><!ELEMENT xs:documentation ANY>\n"
         "<!ENTITY e '" +
         std::string(static_cast<size_t>(size), 'x') + "'>]>" +
         schemaOf("<xs:element name='root' type='xs:string'><xs:annotation><xs:documentation>" +
                  repeat("&e;", references) + "</xs:documentation></xs:annotation></xs:element>");
}

/// Complex type `name` of `content` deriving from `base` by `how`.
std::string derived(const char* name, const char* content, const char* how, const char* base) {
  return std::string("<xs:complexType name='") + name + "'><xs:" + content + "><xs:" + how +
         " base='" + base + "'/></xs:" + content + "></xs:complexType>";
}

const std::string kStringRoot = "<xs:element name='root' type='xs:string'/>";
const std::string kRootOfA = "<xs:element name='root' type='A'/>";

class HostileInput : public ImportTest {
 protected:
  void SetUp() override {
    KovaTest::SetUp();
    newRepository(Store::kFile);
  }

  /// Runs xsdimport on a parameter file from the test folder; a run that
  /// does not end within a minute is stopped (status 124).
  ProgramRun run(const std::string& parmsFile, const std::string& before = "") {
    return runCommand("cd " + shellWord(dir_) + " && " + before + "timeout 60 " +
                      shellWord(KOVA_XSDIMPORT) + " -f " + shellWord(parmsFile) + " </dev/null");
  }
};

TEST_F(HostileInput, BadSchemasEndInAMessageAndImportNothing) {
  struct Case {
    const char* name;
    std::string text;  // the schema file's bytes; empty: a named pipe (pipe.xsd is one too)
    const char* message;
  };
  const Case cases[] = {
      {"complex type extending itself",
       schemaOf(derived("A", "complexContent", "extension", "A") + kRootOfA),
       "KOVA9450E Complex type A "},
      {"complex types extending each other",
       schemaOf(derived("A", "complexContent", "extension", "B") +
                derived("B", "complexContent", "extension", "A") + kRootOfA),
       "KOVA9450E Complex type "},
      {"a derivation cycle through a restriction",
       schemaOf(derived("A", "complexContent", "extension", "B") +
                derived("B", "complexContent", "restriction", "A") + kRootOfA),
       "KOVA9450E Complex type "},
      {"simple content deriving from itself",
       schemaOf(derived("A", "simpleContent", "extension", "A") + kRootOfA),
       "KOVA9450E Complex type A "},
      {"simple types restricting each other",
       schemaOf("<xs:simpleType name='S'><xs:restriction base='T'/></xs:simpleType>"
                "<xs:simpleType name='T'><xs:restriction base='S'/></xs:simpleType>"
                "<xs:element name='root' type='S'/>"),
       "KOVA9450E Simple type "},
      {"attribute group referencing itself",
       schemaOf("<xs:attributeGroup name='G'><xs:attributeGroup ref='G'/></xs:attributeGroup>"
                "<xs:complexType name='A'><xs:attributeGroup ref='G'/></xs:complexType>" +
                kRootOfA),
       "KOVA9450E Attribute group G "},
      {"group referring to itself with no element between",
       schemaOf("<xs:group name='G'><xs:sequence><xs:element name='leaf' type='xs:int'/>"
                "<xs:group ref='G' minOccurs='0'/></xs:sequence></xs:group>"
                "<xs:complexType name='A'><xs:group ref='G'/></xs:complexType>" +
                kRootOfA),
       "KOVA9450E Group G "},
      {"100 KB entity used 9,000 times", entitySchema(100000, 9000), "KOVA9451E"},
      {"60 KB entity used 9,000 times", entitySchema(60000, 9000), "KOVA9451E"},
      {"100,000 nested anonymous types",
       schemaOf(repeat("<xs:element name='e'><xs:complexType><xs:sequence>", 100000) +
                repeat("</xs:sequence></xs:complexType></xs:element>", 100000)),
       "KOVA9451E"},
      {"1,001 nested sequences",
       schemaOf("<xs:element name='root'><xs:complexType>" + repeat("<xs:sequence>", 1001) +
                "<xs:element name='x' type='xs:string'/>" + repeat("</xs:sequence>", 1001) +
                "</xs:complexType></xs:element>"),
       "KOVA9452E"},
      {"a NUL byte inside the schema",
       schemaOf(kStringRoot + std::string(1, '\0') + "<xs:element name='other' type='xs:string'/>"),
       "KOVA9451E"},
      {"a named pipe as the schema file", "", "KOVA9393E"},
      {"a named pipe included", schemaOf("<xs:include schemaLocation='pipe.xsd'/>" + kStringRoot),
       "KOVA9363E"},
  };
  ASSERT_EQ(mkfifo((dir_ + "/pipe.xsd").c_str(), 0600), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = dir_ + "/schema.xsd";
    std::filesystem::remove(file);
    removeRepository();
    if (c.text.empty()) {
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    } else {
      writeFile(file, c.text);
    }
    ProgramRun r = run(parms("root", "schema.xsd"));
    EXPECT_NE(r.status, 0) << r.output;
    EXPECT_NE(r.status, 124) << "not ended within a minute";
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("KOVA9350I"), std::string::npos) << r.output;
    EXPECT_TRUE(exportSet().is_null());
  }
}

TEST_F(HostileInput, NearMissesStillImport) {
  struct Case {
    const char* name;
    std::string text;
    std::string parmsPrefix;  // bytes before the parameter file's first line
  };
  const Case cases[] = {
      // Recursion through an element into a type derived from the type that
      // holds it: not a cycle of derivation.
      {"recursion through an element of a derived type",
       schemaOf("<xs:complexType name='A'><xs:sequence><xs:element name='c' type='C' "
                "minOccurs='0'/></xs:sequence></xs:complexType>"
                "<xs:complexType name='B'><xs:complexContent><xs:extension base='A'><xs:sequence>"
                "<xs:element name='b' type='xs:string'/></xs:sequence></xs:extension>"
                "</xs:complexContent></xs:complexType>"
                "<xs:complexType name='C'><xs:complexContent><xs:extension base='B'><xs:sequence>"
                "<xs:element name='n' type='xs:int'/></xs:sequence></xs:extension>"
                "</xs:complexContent></xs:complexType><xs:element name='root' type='C'/>"),
       ""},
      {"a short entity used 50 times", entitySchema(10, 50), ""},
      {"a parameter file with a byte-order mark", schemaOf(kStringRoot), "\xEF\xBB\xBF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    removeRepository();
    writeFile(dir_ + "/schema.xsd", c.text);
    expectRun(run(parms("root", "schema.xsd", c.parmsPrefix)), 0, "KOVA9350I");
  }
}

TEST_F(HostileInput, NothingIsLostWhileSuccessIsReported) {
  writeFile(dir_ + "/schema.xsd", schemaOf(kStringRoot));
  // Database names that would be a database in memory.
  for (const char* name : {":memory:", "file:kept?mode=memory"}) {
    ProgramRun r =
        run(writeFile(dir_ + "/memory.parms", parmsText(name, "S", "root", "schema.xsd")));
    EXPECT_NE(r.status, 0) << name << r.output;
    EXPECT_NE(r.output.find("KOVA9453E"), std::string::npos) << r.output;
  }

  // A message-set file that cannot take the line: nothing committed.
  ProgramRun full = run(parms("root", "schema.xsd", "MSGSETFILENAME=/dev/full\n"));
  EXPECT_NE(full.status, 0) << full.output;
  EXPECT_NE(full.output.find("KOVA9399E"), std::string::npos) << full.output;
  EXPECT_TRUE(exportSet().is_null());

  // A commit that fails for want of room (files may not grow past their
  // size): the line appended to the message-set file is taken back.
  removeRepository();
  std::string sets = "MSGSETFILENAME=" + dir_ + "/sets.txt\n";
  ASSERT_EQ(run(parms("root", "schema.xsd", sets)).status, 0);
  std::string linesBefore = readFile(dir_ + "/sets.txt");
  json before = exportSet();
  std::string many;
  for (int i = 0; i < 400; ++i)
    many += "<xs:element name='element_with_a_long_name_to_fill_pages_" + std::to_string(i) +
            "' type='xs:string'/>";
  writeFile(dir_ + "/other.xsd", schemaOf(anonElement("other", many)));
  uintmax_t blocks = std::filesystem::file_size(db_) / 1024;
  ProgramRun noRoom = run(parms("other", "other.xsd", sets),
                          "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; ");
  EXPECT_NE(noRoom.status, 0) << noRoom.output;
  EXPECT_EQ(noRoom.output.find("KOVA9350I"), std::string::npos) << noRoom.output;
  EXPECT_EQ(readFile(dir_ + "/sets.txt"), linesBefore);
  EXPECT_EQ(exportSet(), before);
}

TEST_F(HostileInput, ConcurrentFirstImportsIntoOneNewSet) {
  // Six global elements: six messages for one new message set.
  const std::vector<std::string> roots = {"Order", "Invoice", "Buyer", "Seller", "Status", "Note"};
  std::string xsd;
  for (const std::string& root : roots)
    xsd += anonElement(root,
                       "<xs:element name='code' type='xs:string'/>"
                       "<xs:element name='amount' type='xs:decimal'/>");
  writeFile(dir_ + "/orders.xsd", schemaOf(xsd));
  // The repository file exists; the message set does not.
  ASSERT_EQ(tool("init", "").status, 0);
  std::string command = "cd " + shellWord(dir_) + " || exit 1; ";
  for (const std::string& root : roots)
    command += "(timeout 60 " + shellWord(KOVA_XSDIMPORT) + " -f " +
               shellWord(parms(root, "orders.xsd")) + " >" + root + ".out 2>&1; echo $? >" + root +
               ".status) & ";
  ASSERT_EQ(runCommand(command + "wait").status, 0);
  size_t imported = 0;
  for (const std::string& root : roots) {
    SCOPED_TRACE(root);
    std::string output = readFile(dir_ + "/" + root + ".out");
    int status = std::stoi(readFile(dir_ + "/" + root + ".status"));
    // Imported, or refused because the set was in use: -51 as the shell sees it.
    EXPECT_TRUE(status == 0 || status == exitStatus(-51)) << output;
    if (status != 0) {
      EXPECT_NE(output.find("KOVA9401E"), std::string::npos) << output;
    }
    EXPECT_EQ(output.find("-36"), std::string::npos) << output;
    imported += status == 0;
  }
  EXPECT_GE(imported, 1u);
  json set = exportSet();
  ASSERT_FALSE(set.is_null());
  EXPECT_EQ(set["messages"].size(), imported);
  // Written by every process in turn, the file is whole.
  EXPECT_EQ(tool("lock").status, 0);
}

TEST_F(HostileInput, RepositoryToolOnOddNamesAndDamagedFiles) {
  writeFile(dir_ + "/schema.xsd", schemaOf(kStringRoot));
  // A message-set name that is not UTF-8 imports; its export is still JSON.
  std::string odd = "S\xff\xfe";
  ASSERT_EQ(run(writeFile(dir_ + "/odd.parms", parmsText(db_, odd, "root", "schema.xsd"))).status,
            0);
  ProgramRun exported = tool("export", shellWord(odd));
  EXPECT_EQ(exported.status, 0) << exported.output;
  EXPECT_FALSE(json::parse(exported.output, nullptr, false).is_discarded()) << exported.output;

  // Damaged pages: a write command refuses the file and leaves it alone.
  ASSERT_EQ(run(parms("root", "schema.xsd")).status, 0);
  std::string bytes = readFile(db_);
  ASSERT_GT(bytes.size(), 3 * 4096u);
  for (size_t i = 2 * 4096 + 100; i < 3 * 4096; ++i) bytes[i] = static_cast<char>(0xA5);
  writeFile(db_, bytes);
  ProgramRun lock = tool("lock");
  EXPECT_NE(lock.status, 0) << lock.output;
  EXPECT_NE(lock.output.find("damaged"), std::string::npos) << lock.output;
  EXPECT_EQ(readFile(db_), bytes);
}

}  // namespace
