// Fuzz target: the schema reader and the model builder on one document held
// in memory.  The first top-level element is taken as the root element.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue.h"
#include "model_builder.h"
#include "model_tables.h"
#include "run_driver.h"
#include "run_state.h"
#include "xml_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    initialiseCatalogue();
    started = true;
  }
  // The program refuses text with a NUL byte before parsing it.
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;

  resetProcessState();
  tagsTable.allocate(512);
  modelTables.allocate(512, 512, 512, 512);
  if (parseXMLfile(text.c_str(), 0, "fuzz.xsd") != 0 || run.errSw) return 0;
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  if (tags.count() < 1 || tags[1].elemType != kTagSchema) return 0;

  int32_t root = tags[1].firstChild;
  while (root != 0 && tags[root].elemType != kTagElement) root = tags[root].nextSibling;
  if (root == 0) return 0;
  int32_t rootElemId = processElement(root, 0);
  if (rootElemId > 0 && rootElemId <= modelTables.elements.count() && !run.errSw) {
    createXsiAttributes(rootElemId);
    createExtraTypes();
    resetElementStack();
    checkRecursion(modelTables.elements[rootElemId].typeId);
  }
  return 0;
}
