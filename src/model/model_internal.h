// Operations of the model builder shared between its source files.  The run
// driver needs only model_builder.h; tests and reports may use these too.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "catalogue.h"
#include "messages.h"
#include "model_builder.h"
#include "model_tables.h"
#include "trace.h"
#include "xml_tags.h"

/// Reports catalogue error `number` and stores its status in run.returnCode.
int32_t modelError(int32_t number, std::initializer_list<RynValue> inserts);

/// The tag `xmlId` (valid until the tags table grows; the model never grows it).
inline XmlTag& tagAt(int32_t xmlId) { return tagsTable.tags[xmlId]; }
/// Text of a NameRef ("" for 0).
inline const char* textOf(NameRef ref) { return ref == 0 ? "" : nameAt(ref); }
/// `text` with every occurrence of `from` replaced by `to`.
std::string replaced(const char* text, char from, char to);

/// Components expanded one inside another without an element between them,
/// at most; beyond it the schema is refused (9452).
constexpr size_t kMaxExpansionDepth = 1000;

/// Marks the content of component tag `xmlId` as being expanded while it
/// lives.  When the same tag is already being expanded further out with no
/// element between (a cycle through derivation or references), or expansions
/// nest too deep, the error is reported and `entered()` is false: the caller
/// then expands nothing.  `kind` names the component in the message.  With
/// `xmlId` 0 it marks the start of a complex type's own content (see
/// ModelTables::expanding) and is always entered.
class ExpansionGuard {
 public:
  ExpansionGuard(int32_t xmlId, const char* kind);
  ~ExpansionGuard();
  ExpansionGuard(const ExpansionGuard&) = delete;
  ExpansionGuard& operator=(const ExpansionGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  bool entered_ = false;
};

// Elements and type resolution.
int32_t processComplexType(int32_t xmlTypeId, int32_t idValue, int32_t flag, uint32_t* facets);
int32_t resolveSimpleType(int32_t xmlId, int32_t typeId, int32_t idValue, int32_t flag,
                          uint32_t* facets);
int32_t findTypeRowForTag(int32_t xmlId);
int32_t findTypeIdFromName(int32_t xmlId, NameRef typeName);
/// findTypeIdFromName without any message: 0 when the name resolves to nothing.
int32_t findTypeTagQuietly(int32_t xmlId, NameRef typeName);
int32_t findAnonType(int32_t xmlId);
int32_t findSchemaForPrefix(int32_t xmlId, const char* prefix);
int32_t findGlobalByName(NameRef qname, int32_t xmlId, int32_t kind);
int32_t findElementRefFromName(NameRef qname, int32_t xmlId);
int32_t findAttrRefFromName(NameRef qname, int32_t xmlId);
int32_t findAttrGroupFromName(NameRef qname, int32_t xmlId);
int32_t findGroupByRef(int32_t xmlId, NameRef qname);
int32_t checkForDupTypeName(const char* name);
/// The first free type name of base + head + tail, then base + head + n + tail
/// for n = 0, 1, ...
std::string numberedTypeName(const std::string& base, const char* head, const char* tail);
NameRef createNameForType(int32_t xmlId);
/// The first free "<XML name>_ANON", "<XML name>_ANON0", ... (colons of the
/// XML name as "_"; `name` when there is no XML name).
NameRef anonymousTypeName(NameRef xmlName, NameRef name);
void createEmptyType(int32_t xmlId, int32_t typeId, const char* suffix);
void processNulls(int32_t xmlId, int32_t elemId);

// Content models and derivation.
void processSequence(int32_t seqId, int32_t typeId);
void processChoice(int32_t choiceId, int32_t typeId);
void processAll(int32_t allId, int32_t typeId);
void processGroup(int32_t xmlId, int32_t typeId);
void processComplexContent(int32_t contentId, int32_t typeId, int32_t idValue, int32_t flag,
                           uint32_t* facets);
void processComplexRestriction(int32_t restrictId, int32_t baseId, int32_t typeId, int32_t idValue,
                               int32_t flag, uint32_t* facets);
void processComplexExtension(int32_t extendId, int32_t baseId, int32_t typeId, int32_t idValue,
                             int32_t flag, uint32_t* facets);
void addBaseElementsToType(int32_t typeId, int32_t baseId);
void addBaseAttributesToType(int32_t typeId, int32_t baseId);
int32_t processSimpleContent(int32_t contentId, int32_t typeId, int32_t idValue, int32_t flag,
                             uint32_t* facets);
int32_t processSimpleExtension(int32_t extendId, int32_t typeId, int32_t idValue, int32_t flag,
                               uint32_t* facets);

/// Tags skipped wherever a construct's children are walked.
inline bool isSkippedAnnotation(uint8_t kind) {
  return kind == kTagAnnotation || kind == kTagAppinfo || kind == kTagDocumentation;
}

/// Facet tags (enumeration, bounds, lengths, digits, pattern, white space).
inline bool isFacet(uint8_t kind) {
  return (kind >= kTagEnumeration && kind <= kTagMinLength) || kind == kTagPattern ||
         kind == kTagTotalDigits || kind == kTagWhiteSpace;
}

// Attributes and attribute groups.
void insertAttr(int32_t xmlId, int32_t typeId);
void processAttrGroup(int32_t xmlId, int32_t typeId);
void updateAttributes(int32_t restrictId, int32_t typeId);
void updateAttrGroup(int32_t xmlId, int32_t typeId);
void updateAttr(int32_t xmlId, int32_t typeId);

// Simple types and facets.
int32_t processSimpleTypeRestriction(int32_t restrictId, int32_t typeId, int32_t idValue,
                                     int32_t flag, uint32_t* facets);
int32_t processSimpleContentRestriction(int32_t restrictId, int32_t typeId, int32_t idValue,
                                        int32_t flag, uint32_t* facets);
uint32_t processFacets(int32_t restrictId, int32_t typeId, int32_t idValue, int32_t flag,
                       uint32_t mask);
int32_t processList(int32_t xmlId, int32_t typeId);
int32_t processUnion(int32_t xmlId, int32_t typeId, int32_t idValue, int32_t flag,
                     uint32_t* facets);

// Completion.
NameRef createAnonName();
