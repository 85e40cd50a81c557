// The five model tables: elements, attributes, types, type entries, values.
//
// Filled by the model builder from the XML tags table, completed before the
// repository writing, and mapped onto repository definitions.  Rows are 1-based
// and never move or disappear; every name field is a NameRef.  Fields marked
// (repository) stay 0 until the repository writer fills them.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

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
  int32_t xmlId;        ///< reserved; stays 0
  uint32_t handle;      ///< (repository)
  int32_t qelId;        ///< (repository)
  uint32_t typeHandle;  ///< (repository) handle of the element's complex type
  int32_t qelTypeId;    ///< (repository)
  NameRef name;
  NameRef ident;  ///< unique identifier in the table
  NameRef xmlName;
  NameRef defaultValue;
  int32_t typeId;           ///< complex type, 0 for a simple type
  uint32_t dataTypeHandle;  ///< (repository)
  uint32_t facets;          ///< facetsProcessed mask of the simple type
  int8_t dataType;          ///< built-in data type code
  uint8_t flag;
};

struct AttrEntry {
  int32_t xmlId;    ///< reserved; stays 0
  uint32_t handle;  ///< (repository)
  int32_t qelId;    ///< (repository)
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
  int32_t xmlId;    ///< complexType tag of a createTypeEntry row, else 0
  uint32_t handle;  ///< (repository)
  int32_t qelId;    ///< (repository)
  NameRef name;
  int32_t baseType;  ///< built-in code of simple content; 1 for mixed
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
  int32_t minOccurs;  ///< -1 not given, -2 unbounded
  int32_t maxOccurs;  ///< -1 not given, -2 unbounded, 0 prohibited attribute
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

/// Deepest element nesting that processElement accepts.  Real vocabularies
/// (document formats above all) nest well beyond a hundred levels.
constexpr int32_t kMaxElementDepth = 1000;
/// Most element declarations whose processing can be under way at once; one
/// more than the nesting limit, so that the entry that breaks it can be pushed.
constexpr int32_t kElementStackSize = kMaxElementDepth + 1;

/// Open-addressing hash index from a key (an unsigned integer) to a table row
/// (a positive index).  It keeps the first row stored under each key, which
/// is what a scan from row 1 finds when rows are only appended.  One flat
/// array of slots as small as the key allows (eight bytes for a 32-bit key):
/// a lookup costs one cache line however large the table.
template <typename Key>
class FlatIndex {
  static_assert(std::is_unsigned_v<Key>, "keys are unsigned integers");

 public:
  /// Stores `row` under `key` unless the key is present; returns the row
  /// now stored under the key.
  int32_t insertFirst(Key key, int32_t row) {
    assert(row > 0);
    if (2 * (used_ + 1) > slots_.size()) rehash(slots_.empty() ? 16 : 2 * slots_.size());
    size_t i = slotOf(key);
    while (slots_[i].row != 0) {
      if (slots_[i].key == key) return slots_[i].row;
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = Slot{key, row};
    ++used_;
    return row;
  }

  /// The row stored under `key`, 0 when none.
  int32_t find(Key key) const {
    if (slots_.empty()) return 0;
    size_t i = slotOf(key);
    while (slots_[i].row != 0) {
      if (slots_[i].key == key) return slots_[i].row;
      i = (i + 1) & (slots_.size() - 1);
    }
    return 0;
  }

  /// Makes room for `count` keys in all without rehashing.
  void reserve(size_t count) {
    size_t slots = 16;
    while (slots < 2 * count) slots *= 2;
    if (slots > slots_.size()) rehash(slots);
  }

  size_t size() const { return used_; }

 private:
  struct Slot {
    Key key;
    int32_t row;  ///< 0: empty slot
  };

  size_t slotOf(Key key) const {
    // splitmix64 finaliser: spreads sequential keys over the whole table
    uint64_t h = static_cast<uint64_t>(key) + 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return static_cast<size_t>(h) & (slots_.size() - 1);
  }

  void rehash(size_t slots) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(slots, Slot{0, 0});
    for (const Slot& s : old) {
      if (s.row == 0) continue;
      size_t i = slotOf(s.key);
      while (slots_[i].row != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

/// One row per name, addressed by NameRef: the index from a name to the first
/// row stored under it.  A stored name takes at least two bytes of the pool
/// (a character and its NUL), so NameRef / 2 is a position of its own for
/// every name; positions live in zero-filled chunks made on first use.
/// Names made one after another lie side by side in the pool, and a schema's
/// names are made and then looked up in much the same (document) order, so
/// the lookups walk the chunks in order instead of probing a hash table at
/// random: on a large model this saves a cache miss per lookup.  The memory
/// is at most twice the span of the pool whose names are mapped.
class NameRowMap {
 public:
  /// Stores `row` under `name` unless the name has a row; returns the row
  /// now stored under the name.
  int32_t insertFirst(NameRef name, int32_t row) {
    assert(row > 0 && name >= 0);
    int32_t& stored = slot(name);
    if (stored == 0) stored = row;
    return stored;
  }

  /// The row stored under `name`, 0 when none.
  int32_t find(NameRef name) const {
    assert(name >= 0);
    if (name == 0) return emptyNameRow_;
    size_t position = static_cast<size_t>(name) >> 1;
    size_t chunk = position >> kChunkBits;
    if (chunk >= chunks_.size() || !chunks_[chunk]) return 0;
    return chunks_[chunk][position & (kChunkSize - 1)];
  }

 private:
  static constexpr size_t kChunkBits = 9;
  static constexpr size_t kChunkSize = size_t{1} << kChunkBits;

  int32_t& slot(NameRef name) {
    if (name == 0) return emptyNameRow_;
    size_t position = static_cast<size_t>(name) >> 1;
    size_t chunk = position >> kChunkBits;
    if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
    if (!chunks_[chunk]) chunks_[chunk] = std::make_unique<int32_t[]>(kChunkSize);
    return chunks_[chunk][position & (kChunkSize - 1)];
  }

  std::vector<std::unique_ptr<int32_t[]>> chunks_;
  int32_t emptyNameRow_ = 0;  ///< row of the empty name (NameRef 0)
};

/// One named child of a schema tag, filed under its name.
struct SchemaChildEntry {
  int32_t tag;            ///< the child tag
  int32_t schemaOrdinal;  ///< the schema tag's ordinal among the filed ones
  int32_t next;           ///< next entry of the same name, 0: none
  int32_t last;           ///< in the first entry of a name: the name's last entry
  uint8_t kind;           ///< the child's tag kind
};

/// Indexes kept beside the tables.  Each answers exactly what a scan from
/// row 1 would answer (the first row in table order); rows are only appended
/// and the indexed fields never change once set, so the first insertion of a
/// key is the row the scan would find.
struct ModelIndexes {
  NameRowMap elementByIdent;  ///< ident -> first elemId
  NameRowMap typeByName;      ///< name -> first typeId
  /// xmlId -> first typeId (0: none): a plain array over the tags table,
  /// sized to the whole table when the first type row is made.
  std::vector<int32_t> typeByTag;

  // Over the XML tags table, which is final when the model phase starts.  The
  // tag index is rebuilt when the number of tags or xmlns entries changes.
  int32_t tagsIndexed = -1;
  int32_t xmlnsIndexed = -1;
  FlatIndex<uint32_t> schemaByNamespace;  ///< namespace -> first top-level schema tag
  std::unordered_map<int32_t, int32_t> schemaChildrenIndexed;  ///< schema -> ordinal
  /// The named children of the indexed schema tags, filed by name: the first
  /// entry of each name, the later ones chained from it in filing order.
  NameRowMap firstSchemaChildByName;  ///< name -> first entry
  GrowTable<SchemaChildEntry> schemaChildEntries;

  /// Numbered type names: the next number to try after a base name and its
  /// suffix ("line_ANON" -> 3 once line_ANON0..2 are taken).
  std::unordered_map<std::string, int32_t> nextNameNumber;

  /// Type rows whose name is the schema's own (a named complexType or a
  /// referenced group), not one made up for an anonymous or generated type;
  /// indexed by typeId, absent rows 0.
  std::vector<uint8_t> schemaNamedType;
};

/// Global state of the schema model for a single run.
struct ModelTables {
  GrowTable<ElementEntry> elements;
  GrowTable<AttrEntry> attributes;
  GrowTable<TypeEntry> types;
  GrowTable<TypeEntryEntry> typeEntries;
  GrowTable<ValueEntry> values;
  ModelIndexes index;

  /// Element tags (processElement) or types (checkRecursion) under way,
  /// outermost first.
  int32_t elementStack[kElementStackSize] = {};
  int32_t stackDepth = 0;

  /// Component tags whose content is being expanded (derivations, groups,
  /// attribute groups, simple types), innermost last.  A 0 marks where a
  /// complex type's own content begins: a component met again beyond it was
  /// reached through an element, which is recursion and not a cycle.
  std::vector<int32_t> expanding;

  /// Allocates the five tables with the capacities of the run parameters.
  void allocate(int32_t maxElement, int32_t maxAttribute, int32_t maxType, int32_t maxValue);
  /// Releases the tables and every index kept over them.
  void reset();
};

/// The process-wide model tables.
extern ModelTables modelTables;

// Creation operations.  Every one returns the new (or found) row's index.

/// Marks type row `typeId` as named by the schema itself.
void markSchemaNamedType(int32_t typeId);
/// True when type row `typeId` carries a name of the schema's own.
bool isSchemaNamedType(int32_t typeId);
/// Appends a type row with these fields, all others 0.
int32_t insertNewType(NameRef name, int32_t composition, int32_t typeContent);
/// Finds or creates the type row of a type-defining tag (by its name).
int32_t createTypeEntry(int32_t xmlId);
/// Appends a member row of kind 2, 4 or 8 without chaining it (9364 otherwise).
int32_t insertTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId);
/// Appends a member and chains it to its type (9354 for a bad typeId).
int32_t createTypeEntryEntry(int32_t typeId, int32_t entryType, int32_t entryId);
/// The identifier of local element `name` of type `typeId`, built in `buffer`
/// (room for kMaxIdentLength bytes and a NUL): type name ^ element name, cut
/// to fit.  Returns its length.
size_t localElementIdent(char* buffer, int32_t typeId, NameRef name);
/// Finds (by identifier) or creates the element row of an element tag.
int32_t createElementEntry(int32_t xmlId, int32_t typeId);
/// Appends an attribute row owned by `typeId`.
int32_t createAttrEntry(NameRef name, NameRef ident, int32_t dataType, int32_t typeId);
/// Appends a value row named by the identifier form of `name`.  `stored`, when
/// not 0, is the NameRef of `name` itself, which then needs no lookup when it
/// is an identifier already.  `name` may lie in the name pool: it is read
/// before anything is stored.
int32_t newValueEntry(const char* name, int32_t role, NameRef stored = 0);
/// Appends a value owned by element (flag bit 0x01) or attribute `idValue`;
/// `stored` as for newValueEntry.
int32_t createElementValue(const char* name, int32_t xmlId, int32_t role, int32_t idValue,
                           int32_t flag, NameRef value, NameRef stored = 0);

/// Longest identifier or value name built into a buffer, NUL excluded.
constexpr size_t kMaxIdentLength = 511;
/// `out` (room for `outSize` bytes) = `in` with every non-identifier character
/// replaced by '_' and a '_' put before a leading digit; cut to fit.  Returns
/// the length of `out`.
size_t makeIdentifier(char* out, size_t outSize, const char* in);
/// Appends `text` to the `length` bytes at `buffer` (room for kMaxIdentLength
/// bytes and a NUL) as far as it fits, ends it with a NUL and returns the new
/// length: identifiers and value names are built in place this way.
size_t appendCut(char* buffer, size_t length, const char* text);
bool isIdentifierChar(char c);
