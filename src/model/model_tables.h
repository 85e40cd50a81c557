// The five model tables: elements, attributes, types, type entries, values.
//
// Filled by the model builder from the XML tags table, completed before the
// repository writing, and mapped onto repository definitions.  Rows are 1-based
// and never move or disappear; every name field is a NameRef.  Fields marked
// (repository) stay 0 until the repository writer fills them.
#pragma once

#include <cstdint>

#include "grow_table.h"
#include "name_table.h"

// ElementEntry::flag
constexpr uint8_t kElemInRepository = 0x04;
constexpr uint8_t kElemXsiRoot = 0x10;
// AttrEntry::flag
constexpr uint8_t kAttrInRepository = 0x04;
constexpr uint8_t kAttrProhibited = 0x08;
// TypeEntry::flag
constexpr uint8_t kTypeSimple = 0x01;
constexpr uint8_t kTypeAnyAttribute = 0x08;
// TypeEntryEntry::flag and member kind codes (entryType)
constexpr uint8_t kMemberElement = 0x02;
constexpr uint8_t kMemberAttribute = 0x04;
constexpr uint8_t kMemberSubType = 0x08;
constexpr uint8_t kMemberProhibited = 0x10;
// ValueEntry::flag
constexpr uint8_t kValueOwnerElement = 0x01;
constexpr uint8_t kValueOwnerAttribute = 0x02;

/// Composition codes (TypeEntry::composition).
enum Composition : int32_t {
  kCompUndecided = 1,
  kCompChoice = 2,
  kCompAttrAdded = 3,
  kCompAll = 4,
  kCompSequence = 6,
};

/// Content codes (TypeEntry::typeContent).
enum TypeContent : int32_t {
  kContentOrdinary = 1,
  kContentOpen = 3,  ///< holds an any wildcard, or an empty generated type
};

/// Role codes (ValueEntry::role).
enum ValueRole : int16_t {
  kRoleMinInclusive = 1,
  kRoleMaxInclusive = 2,
  kRoleMinLength = 3,
  kRoleMaxLength = 4,
  kRoleEnumeration = 5,  ///< also the fixed value of an element or attribute
  kRoleDefault = 6,
  kRoleNillable = 7,
  kRoleMinExclusive = 100,
  kRoleMaxExclusive = 101,
};

struct ElementEntry {
  int32_t xmlId;            ///< reserved; stays 0
  uint32_t handle;          ///< (repository)
  int32_t qelId;            ///< (repository)
  uint32_t typeHandle;      ///< (repository) handle of the element's complex type
  int32_t qelTypeId;        ///< (repository)
  NameRef name;
  NameRef ident;            ///< unique identifier in the table
  NameRef xmlName;
  NameRef defaultValue;
  int32_t typeId;           ///< complex type, 0 for a simple type
  uint32_t dataTypeHandle;  ///< (repository)
  uint32_t facets;          ///< facetsProcessed mask of the simple type
  int8_t dataType;          ///< built-in data type code
  uint8_t flag;
};

struct AttrEntry {
  int32_t xmlId;            ///< reserved; stays 0
  uint32_t handle;          ///< (repository)
  int32_t qelId;            ///< (repository)
  NameRef name;
  NameRef ident;
  NameRef xmlName;
  NameRef defaultValue;
  int32_t typeId;           ///< owning type
  uint32_t dataTypeHandle;  ///< (repository)
  uint32_t facets;
  int8_t dataType;
  uint8_t flag;
};

struct TypeEntry {
  int32_t xmlId;            ///< complexType tag of a createTypeEntry row, else 0
  uint32_t handle;          ///< (repository)
  int32_t qelId;            ///< (repository)
  NameRef name;
  int32_t baseType;         ///< built-in code of simple content; 1 for mixed
  int32_t composition;
  int32_t typeContent;
  int32_t firstElement;
  int32_t lastElement;
  int32_t firstAttribute;
  int32_t lastAttribute;
  uint8_t flag;
};

struct TypeEntryEntry {
  int32_t elemId;
  int32_t attrId;
  int32_t subTypeId;
  int32_t mainTypeId;
  int32_t next;
  int32_t prev;
  int32_t minOccurs;        ///< -1 not given, -2 unbounded
  int32_t maxOccurs;        ///< -1 not given, -2 unbounded, 0 prohibited attribute
  uint8_t flag;
};

struct ValueEntry {
  int32_t xmlId;
  uint32_t handle;          ///< (repository)
  int32_t qelId;            ///< (repository)
  uint32_t dataTypeHandle;  ///< (repository)
  NameRef value;
  NameRef name;
  int32_t elemId;
  int32_t attrId;
  int16_t role;
  uint8_t flag;
};

/// Global state of the schema model for a single run.
struct ModelTables {
  GrowTable<ElementEntry> elements;
  GrowTable<AttrEntry> attributes;
  GrowTable<TypeEntry> types;
  GrowTable<TypeEntryEntry> typeEntries;
  GrowTable<ValueEntry> values;

  /// Allocates the five tables with the capacities of the run parameters.
  void allocate(int32_t maxElement, int32_t maxAttribute, int32_t maxType, int32_t maxValue);
  /// Releases the tables and every index kept over them.
  void reset();
};

/// The process-wide model tables.
extern ModelTables modelTables;
