// Fixture of the schema reading tests: a fresh tags table for every test and
// helpers that look at the tree the way later phases do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "schema_text.h"
#include "test_support.h"
#include "xml_tags.h"

class ReaderTest : public KovaTest {
 protected:
  void SetUp() override;

  /// Starts a new run inside the test: every table and list empty again.
  void freshRun();
  /// Parses `text` as a main document (parent 0) under `fileName`.
  int32_t parse(const std::string& text, const std::string& fileName = "main.xsd");
  /// Parses, capturing what was printed.
  std::string parseCaptured(const std::string& text, int32_t* status = nullptr);

  /// The tag with xmlId `id`.
  const XmlTag& tag(int32_t id) const { return tagsTable.tags[id]; }
  int32_t tagCount() const { return tagsTable.tags.count(); }
  /// Text of a NameRef.
  static std::string text(NameRef ref);
  /// "kind:label" of each child of `parent` in chain order, checking the
  /// chain's back links and parent fields on the way.
  std::vector<std::string> children(int32_t parent) const;
  /// xmlId of the first tag with kind `kind` and name `name`, 0 when none.
  int32_t findTag(int32_t kind, const std::string& name) const;
};

/// A namespace and its prefix: a row of the prefix tables of the tests.
struct NamespacePrefix {
  const char* nameSpace;
  const char* prefix;
};
