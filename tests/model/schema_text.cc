// Test helpers of the reader and model tests.  See schema_text.h.
#include "schema_text.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "schema_files.h"
#include "xml_tags.h"

namespace {
void allocateTables() {
  if (!tagsTable.tags.allocated()) tagsTable.allocate(512);
  if (!modelTables.elements.allocated()) modelTables.allocate(4096, 512, 1024, 1024);
}

/// The schema tag appended to the root record's children last.
int32_t lastTopLevelSchema() { return tagsTable.tags[0].lastChild; }
}  // namespace

std::string schema(const std::string& body, const std::string& attrs) {
  return std::string("<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'") +
         (attrs.empty() ? "" : " ") + attrs + ">" + body + "</xs:schema>";
}

std::string xsElement(const std::string& name, const std::string& attrs) {
  return "<xs:element name='" + name + "'" + (attrs.empty() ? "" : " ") + attrs + "/>";
}

std::string xsInclude(const std::string& location) {
  return "<xs:include schemaLocation='" + location + "'/>";
}

std::string xsImport(const std::string& ns, const std::string& location) {
  return "<xs:import" + (ns.empty() ? std::string() : " namespace='" + ns + "'") +
         (location.empty() ? std::string() : " schemaLocation='" + location + "'") + "/>";
}

int32_t loadSchemaText(const std::string& xsd) {
  allocateTables();
  int32_t before = lastTopLevelSchema();
  std::fflush(stdout);
  int32_t status = parseXMLfile(xsd.c_str(), 0, "test.xsd");
  int32_t schema = lastTopLevelSchema();
  return status == 0 && schema != before ? schema : 0;
}

int32_t loadSchemaFile(const std::string& path) {
  allocateTables();
  std::filesystem::path p(path);
  std::snprintf(parms.filePath, sizeof parms.filePath, "%s/", p.parent_path().c_str());
  DataFileBlock* first = fileLists.files.get();
  qualifyFileName(first->fileName, sizeof first->fileName, p.filename().c_str());
  first->length = static_cast<int32_t>(std::filesystem::file_size(first->fileName));
  const char* text = readSchemaFiles(first);
  if (text == nullptr) return 0;
  while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') ++text;
  if (parseXMLfile(text, 0, first->fileName) != 0) return 0;
  int32_t schema = tagsTable.tags[0].firstChild;
  if (processIncludes() != 0) return 0;
  if (provideXmlNamespace() != 0 || assignNamespacePrefixes() != 0) return 0;
  return schema;
}

int32_t topElement(const char* name) {
  NameRef ref = insertName(name);
  for (int32_t s = tagsTable.tags[0].firstChild; s != 0; s = tagsTable.tags[s].nextSibling) {
    for (int32_t c = tagsTable.tags[s].firstChild; c != 0; c = tagsTable.tags[c].nextSibling) {
      if (tagsTable.tags[c].elemType == kTagElement && tagsTable.tags[c].name == ref) return c;
    }
  }
  return 0;
}
