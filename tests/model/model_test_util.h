// Shared fixture of the model tests: schema text in, model tables out.
#pragma once

#include <cstring>
#include <string>

#include "messages.h"
#include "model_builder.h"
#include "model_internal.h"
#include "parameters.h"
#include "reports.h"
#include "run_driver.h"
#include "run_state.h"
#include "schema_text.h"
#include "test_support.h"

/// Complex type `name`: the sequence of `particles`, then `rest` (attributes).
inline std::string seqType(const std::string& name, const std::string& particles,
                           const std::string& rest = "") {
  return "<xs:complexType name='" + name + "'><xs:sequence>" + particles + "</xs:sequence>" + rest +
         "</xs:complexType>";
}
/// Element r of an anonymous complex type whose content is `content`.
inline std::string rootType(const std::string& content) {
  return "<xs:element name='r'><xs:complexType>" + content + "</xs:complexType></xs:element>";
}
/// Element r whose anonymous type is the sequence of `particles`.
inline std::string rootSeq(const std::string& particles) {
  return rootType("<xs:sequence>" + particles + "</xs:sequence>");
}

/// The path of a file of the model test data, and its text.
inline std::string dataPath(const std::string& name) { return KOVA_MODEL_TEST_DATA "/" + name; }
inline std::string readGolden(const std::string& name) { return readFile(dataPath(name)); }

class ModelTest : public KovaTest {
 protected:
  /// Loads the schema and runs the model phase from top-level element `root`
  /// (see runModel); returns the root's elemId.
  int32_t build(const std::string& xsd, const char* root = "r", bool complete = true) {
    EXPECT_NE(loadSchemaText(xsd), 0) << "schema text does not parse";
    return runModel(root, complete);
  }
  /// Runs the model phase over the schemas loaded from top-level element
  /// `root` the way the run driver does (the completion steps only when
  /// `complete`); returns the root's elemId and keeps the output in `output`.
  int32_t runModel(const char* root, bool complete = true) {
    int32_t rootTag = topElement(root);
    EXPECT_NE(rootTag, 0) << "no top-level element " << root;
    startCapture();
    // As the run driver does once every document is read.
    provideXmlNamespace();
    assignNamespacePrefixes();
    int32_t rootElem = processElement(rootTag, 0);
    if (complete) {
      createXsiAttributes(rootElem);
      createExtraTypes();
      resetElementStack();
      if (rootElem > 0) checkRecursion(modelTables.elements[rootElem].typeId);
    }
    output = stopCapture();
    return rootElem;
  }
  /// The five model reports as one text, printed with tracing on.
  std::string reportText() {
    bool wasTracing = tracing();
    traceOn();
    startCapture();
    dumpModelTables();
    std::string text = stopCapture();
    if (!wasTracing) traceOff();
    return text;
  }
  /// First row of `table` whose `field` reads `text`, 0 when none.
  template <typename Table, typename Row>
  static int32_t rowWith(const Table& table, NameRef Row::*field, const char* text) {
    for (int32_t r = 1; r <= table.count(); ++r) {
      if (std::string(textOf(table[r].*field)) == text) return r;
    }
    return 0;
  }
  static int32_t typeNamed(const char* name) {
    return rowWith(modelTables.types, &TypeEntry::name, name);
  }
  static int32_t elementWithIdent(const char* ident) {
    return rowWith(modelTables.elements, &ElementEntry::ident, ident);
  }
  static int32_t attributeNamed(const char* name) {
    return rowWith(modelTables.attributes, &AttrEntry::name, name);
  }
  /// The type row of the element with identifier `ident`.
  static int32_t typeOf(const char* ident) {
    return modelTables.elements[elementWithIdent(ident)].typeId;
  }
  /// Clears every table and list for a second build inside one test.
  static void freshRun() {
    resetProcessState();
    initialiseCatalogue();
  }
  /// "name[min..max]" of each member of the element chain (then "|" and the
  /// attribute chain) of type `typeId`: elements by ident, sub-types by
  /// "(type name)", attributes by "@name".
  static std::string members(int32_t typeId) {
    const ModelTables& m = modelTables;
    std::string out;
    auto bounds = [](const TypeEntryEntry& e) {
      return "[" + std::to_string(e.minOccurs) + ".." + std::to_string(e.maxOccurs) + "]";
    };
    for (int32_t k = m.types[typeId].firstElement; k != 0; k = m.typeEntries[k].next) {
      const TypeEntryEntry& e = m.typeEntries[k];
      if (!out.empty()) out += " ";
      if (e.flag & kMemberSubType) {
        out += "(" + std::string(textOf(m.types[e.subTypeId].name)) + ")";
      } else {
        out += textOf(m.elements[e.elemId].ident);
      }
      out += bounds(e);
    }
    out += " |";
    for (int32_t k = m.types[typeId].firstAttribute; k != 0; k = m.typeEntries[k].next) {
      const TypeEntryEntry& e = m.typeEntries[k];
      out += " @" + std::string(textOf(m.attributes[e.attrId].name)) + bounds(e);
    }
    return out;
  }
  /// "role:name=value" of every value row owned by element or attribute row `id`.
  static std::string valuesOf(int32_t id, bool element) {
    std::string out;
    for (int32_t v = 1; v <= modelTables.values.count(); ++v) {
      const ValueEntry& r = modelTables.values[v];
      if (element ? (r.flag & kValueOwnerElement) && r.elemId == id
                  : (r.flag & kValueOwnerAttribute) && r.attrId == id) {
        if (!out.empty()) out += " ";
        out += std::to_string(r.role) + ":" + textOf(r.name) + "=" + textOf(r.value);
      }
    }
    return out;
  }

  std::string output;
};
