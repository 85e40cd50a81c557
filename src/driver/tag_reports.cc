// Reports of schema reading: the XML tags report (prefixes, xmlns
// definitions, tags) through the trace printer, and the tag totals, printed
// always.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "messages.h"
#include "parameters.h"
#include "reports.h"
#include "xml_tags.h"

namespace {
// "%c%4.4d" of an occurrence value: the sign, then the absolute value.
char signOf(int32_t v) { return v < 0 ? '-' : ' '; }
int absOf(int32_t v) { return v < 0 ? -v : v; }
}  // namespace

void dumpXmlTags() {
  tracePrintf("\nNamespace Prefix Definitions\n");
  tracePrintf("Prefix           Namespace\n");
  for (const PrefixBlock& b : fileLists.prefixes) {
    tracePrintf("%-16.16s %s\n", nameAt(b.prefix), nameAt(b.nameSpace));
  }

  tracePrintf("\nxmlns definitions\n");
  tracePrintf("### xmlId Prefix     Target Namespace\n");
  const GrowTable<XmlnsEntry>& xmlns = tagsTable.xmlns;
  for (int32_t i = 1; i <= xmlns.count(); ++i) {
    tracePrintf("%3.3d %5.5d %-10.10s %s\n", i, xmlns[i].xmlId, nameAt(xmlns[i].prefix),
                nameAt(xmlns[i].nameSpace));
  }

  tracePrintf("\nXML Tags Table\n");
  tracePrintf(
      "          Children  Siblings        Types                                   ElemId/\n");
  tracePrintf(
      "     Par  1st  last Next Prev Schem Ele Dt  Min   Max  Name   Ref    Base   Type   Target "
      "Flag Tag\n");
  const GrowTable<XmlTag>& tags = tagsTable.tags;
  if (!tags.allocated()) return;
  for (int32_t i = 0; i <= tags.count(); ++i) {
    const XmlTag& t = tags[i];
    std::string label;
    if (t.name != 0) {
      label = nameAt(t.name);
    } else if (t.ref != 0) {
      label = std::string("ref=") + nameAt(t.ref);
    } else if (t.base != 0) {
      label = std::string("base=") + nameAt(t.base);
    }
    tracePrintf(
        "%4.4d %4.4d %4.4d %4.4d %4.4d %4.4d %5.5d %3.3d %2.2d %c%4.4d %c%4.4d %6.6d %6.6d %6.6d "
        "%6.6d %6.6d 0x%2.2x %-18.18s %s %s %s\n",
        i, t.parent, t.firstChild, t.lastChild, t.nextSibling, t.prevSibling, t.schemaId,
        t.elemType, t.dataType, signOf(t.minOccurs), absOf(t.minOccurs), signOf(t.maxOccurs),
        absOf(t.maxOccurs), t.name, t.ref, t.base, t.elemId > 0 ? t.elemId : t.typeId,
        t.targetNamespace, t.flags, nameAt(t.tagName), label.c_str(), nameAt(t.xmlName),
        nameAt(t.type));
  }
}

void printTagTotals() {
  const int32_t* c = tagsTable.counters;
  std::printf("\nTotals\nelement tags found in schema %d\n", c[kCountElement]);
  std::printf("schema tags %d\n", c[kCountSchema]);
  std::printf("attribute tags found in schema %d\n", c[kCountAttribute]);
  std::printf("attributeGroup tags found in schema %d\n", c[kCountAttributeGroup]);
  std::printf("group tags found in schema %d\n", c[kCountGroup]);
  std::printf("complexType tags found in schema %d\n", c[kCountComplexType]);
  std::printf("simpleType tags found in schema %d\n", c[kCountSimpleType]);
  std::printf("complexContent tags found in schema %d\n", c[kCountComplexContent]);
  std::printf("simpleContent tags found in schema %d\n", c[kCountSimpleContent]);
  std::printf("restriction tags found in schema %d\n", c[kCountRestriction]);
  std::printf("extension tags found in schema %d\n\n", c[kCountExtension]);
  std::fflush(stdout);
}
