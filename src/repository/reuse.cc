// Reuse of definitions the message set already holds.  A model row takes an
// existing definition only when that definition is the one the row would
// write: a type of the same kind, base, composition and content whose members
// are, in order, the row's members with the same occurrences; an element of
// the same name and type with the same values in the same roles.  The
// comparison follows the members down: the anonymous and generated types and
// the local elements below a type that is reused are the stored ones, so a
// reused type never leaves fresh copies of its parts behind that nothing
// refers to.
//
// Recursion cuts are the one difference that is no difference of the
// schema: where a cycle is cut depends on the path from the root.  A
// placeholder of this run where the stored type goes on is taken as the
// stored, deeper type; a stored placeholder where this run goes on would
// lose what lies below, so the type (and an element of it) is written as a
// version under its name with a number, or reused when that version is
// stored.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "messages.h"
#include "model_tables.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"

namespace {

/// One member of a stored type, as the repository holds it.
struct StoredMember {
  uint32_t child = 0;
  int16_t repeat = 0;
  std::string minOccurs, maxOccurs;
};

struct StoredDetails {
  int32_t defClass = 0;
  std::vector<unsigned char> bytes;
  std::string name() const { return getText(bytes.data(), QEL_OFF_NAME, QEL_NAME_SIZE); }
  std::string secondName() const {
    return getText(bytes.data(), QEL_OFF_SECOND_NAME, QEL_NAME_SIZE);
  }
  uint32_t handleAt(int offset) const {
    uint32_t h;
    std::memcpy(&h, bytes.data() + offset, sizeof h);
    return h;
  }
  int32_t intAt(int offset) const { return getInt32(bytes.data(), offset); }
};

StoredDetails readDetails(uint32_t handle) {
  StoredDetails d;
  chkQELBeapiCode(QELGetClass(handle, &d.defClass), "QELGetClass", "reuseCheck");
  int32_t size = d.defClass == QEL_CLASS_TYPE      ? QEL_TYPE_DETAILS_SIZE
                 : d.defClass == QEL_CLASS_ELEMENT ? QEL_ELEMENT_DETAILS_SIZE
                                                   : QEL_VALUE_DETAILS_SIZE;
  d.bytes.assign(static_cast<size_t>(size), 0);
  chkQELBeapiCode(QELGetDetails(handle, &d.defClass, d.bytes.data(), size), "QELGetDetails",
                  "reuseCheck");
  return d;
}

std::string definitionName(uint32_t handle) {
  if (handle == 0) return "none";
  return readDetails(handle).name();
}

/// The members of a stored type or element, in order.
std::vector<uint32_t> memberHandles(uint32_t parent) {
  std::vector<uint32_t> members;
  uint32_t current = 0;
  int32_t status = QELGetNextDefinition(parent, 0, &current, QEL_WALK_FIRST_MEMBER, 0);
  while (status == 0) {
    members.push_back(current);
    status = QELGetNextDefinition(current, 0, &current, QEL_WALK_NEXT, 0);
  }
  if (status != QEL_STATUS_NOT_FOUND) chkQELBeapiCode(status, "QELGetNextDefinition", "reuseCheck");
  return members;
}

std::vector<StoredMember> storedTypeMembers(uint32_t type) {
  std::vector<StoredMember> out;
  for (uint32_t member : memberHandles(type)) {
    unsigned char record[QEL_TYPE_MEMBER_SIZE] = {};
    chkQELBeapiCode(QELGetMemberDetails(type, member, record, sizeof record), "QELGetMemberDetails",
                    "reuseCheck");
    StoredMember m;
    std::memcpy(&m.child, record + QEL_OFF_MEMBER_CHILD, sizeof m.child);
    std::memcpy(&m.repeat, record + QEL_OFF_MEMBER_REPEAT, sizeof m.repeat);
    m.minOccurs = getText(record, QEL_OFF_MEMBER_MIN, QEL_OCCURS_TEXT_SIZE);
    m.maxOccurs = getText(record, QEL_OFF_MEMBER_MAX, QEL_OCCURS_TEXT_SIZE);
    out.push_back(m);
  }
  return out;
}

std::vector<ValueUse> storedValues(uint32_t element) {
  std::vector<ValueUse> out;
  for (uint32_t member : memberHandles(element)) {
    unsigned char record[QEL_VALUE_MEMBER_SIZE] = {};
    chkQELBeapiCode(QELGetMemberDetails(element, member, record, sizeof record),
                    "QELGetMemberDetails", "reuseCheck");
    uint32_t value;
    std::memcpy(&value, record + QEL_OFF_MEMBER_CHILD, sizeof value);
    StoredDetails d = readDetails(value);
    out.emplace_back(getInt32(record, QEL_OFF_MEMBER_ROLE), d.handleAt(QEL_OFF_TYPE_HANDLE),
                     getText(d.bytes.data(), QEL_OFF_VALUE_TEXT, QEL_VALUE_TEXT_SIZE));
  }
  std::sort(out.begin(), out.end());
  return out;
}

/// The members a value owner ends with when `uses` are inserted in order:
/// a value once in each role (with `oncePerOwner`, once at all, as earlier
/// releases of the repository kept them), and one value of each role but
/// enumerations.
std::vector<ValueUse> asInserted(const std::vector<ValueUse>& uses, bool oncePerOwner = false) {
  std::vector<ValueUse> kept;
  for (const ValueUse& u : uses) {
    bool refused = false;
    for (const ValueUse& k : kept) {
      bool sameValue = std::get<1>(k) == std::get<1>(u) && std::get<2>(k) == std::get<2>(u);
      if (k == u || (oncePerOwner && sameValue) ||
          (std::get<0>(k) == std::get<0>(u) && std::get<0>(u) != kRoleEnumeration))
        refused = true;
    }
    if (!refused) kept.push_back(u);
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

/// The stored values are the model's: as this release writes them, or as a
/// repository that kept a value once per element did (a fixed value then
/// lacks its enumeration role, which the value pass adds).
bool sameValues(const std::vector<ValueUse>& model, const std::vector<ValueUse>& stored) {
  return asInserted(model) == stored || asInserted(model, true) == stored;
}

/// The identifier without the numbers that versions of one definition
/// carry: "_" + digits (a version written here, or an element the recursion
/// cut copied) and "_V" + digits (a type the recursion cut copied).
std::string versionBase(std::string identifier) {
  for (;;) {
    size_t underscore = identifier.rfind('_');
    if (underscore == std::string::npos) return identifier;
    size_t digits = underscore + 1;
    if (digits < identifier.size() && identifier[digits] == 'V') ++digits;
    if (digits >= identifier.size() ||
        identifier.find_first_not_of("0123456789", digits) != std::string::npos)
      return identifier;
    identifier.resize(underscore);
  }
}

/// True when two identifiers name versions of one definition.
bool sameDefinition(const std::string& a, const std::string& b) {
  return versionBase(a) == versionBase(b);
}

constexpr const char* kRecursionMark = "_RECURSE";

/// A type row made by a recursion cut: an empty open type named _RECURSE.
bool isPlaceholderRow(int32_t t) {
  const TypeEntry& row = modelTables.types[t];
  return row.firstElement == 0 && row.firstAttribute == 0 && row.typeContent == kContentOpen &&
         std::strstr(nameAt(row.name), kRecursionMark) != nullptr;
}

/// A stored type written for a recursion cut.
bool isStoredPlaceholder(uint32_t handle) {
  StoredDetails d = readDetails(handle);
  return d.defClass == QEL_CLASS_TYPE && d.intAt(QEL_OFF_TYPE_KIND) == QEL_TYPE_KIND_COMPLEX &&
         d.intAt(QEL_OFF_CONTENT) == kContentOpen &&
         d.name().find(kRecursionMark) != std::string::npos && memberHandles(handle).empty();
}

std::string occursText(int16_t repeat, const std::string& minOccurs, const std::string& maxOccurs) {
  return (minOccurs.empty() ? "-" : minOccurs) + ".." +
         (maxOccurs.empty() ? (repeat ? "*" : "-") : maxOccurs);
}

std::string valuesText(const std::vector<ValueUse>& uses) {
  std::string out;
  for (const ValueUse& u : uses) {
    if (!out.empty()) out += ", ";
    out += "\"" + std::get<2>(u) + "\" role " + std::to_string(std::get<0>(u));
  }
  return out.empty() ? "none" : out;
}

/// Model rows matched to stored definitions by one comparison; kept only
/// when the whole comparison succeeds.
class ReuseMatch {
 public:
  /// `acrossCuts`: a recursion placeholder on the stored side stands for the
  /// model's element too, and a type row versioned in this run for the
  /// stored type of its first name: the comparison then says whether the
  /// two differ only in where recursions were cut.
  explicit ReuseMatch(bool acrossCuts = false) : acrossCuts_(acrossCuts) {}
  bool type(int32_t t, uint32_t stored);
  bool element(int32_t e, uint32_t stored);
  bool attribute(int32_t a, uint32_t stored);
  void commit();
  const std::string& difference() const { return difference_; }

 private:
  bool differs(const std::string& what) {
    if (difference_.empty()) difference_ = what;
    return false;
  }
  bool memberChild(const TypeEntryEntry& entry, const StoredMember& member);
  bool simpleElement(const std::string& what, int32_t dataType, uint32_t stored,
                     const std::vector<ValueUse>& values);

  bool acrossCuts_;
  std::set<std::pair<int32_t, uint32_t>> pairs_;  ///< compared across cuts (elements negative)
  std::unordered_map<int32_t, uint32_t> types_, elements_, attributes_;
  std::string difference_;
};

bool ReuseMatch::type(int32_t t, uint32_t stored) {
  const TypeEntry row = modelTables.types[t];
  std::string name = textOf(row.name);
  if (row.handle != 0) {
    if (row.handle == stored) return true;
    // Across cuts, two stored versions of one type differ only in their cuts.
    if (acrossCuts_ && sameDefinition(definitionName(stored), makeTypeIdent(name.c_str())))
      return true;
    return differs("type " + name + " where the message set has " + definitionName(stored));
  }
  // Across cuts one row may stand for several stored versions: each pair is
  // compared once.
  if (acrossCuts_ && !pairs_.insert({t, stored}).second) return true;
  auto known = types_.find(t);
  if (!acrossCuts_ && known != types_.end()) {
    if (known->second == stored) return true;
    return differs("type " + name + " where the message set has " + definitionName(stored));
  }
  StoredDetails d = readDetails(stored);
  if (d.defClass != QEL_CLASS_TYPE || d.intAt(QEL_OFF_TYPE_KIND) != QEL_TYPE_KIND_COMPLEX)
    return differs("type " + name + " where the message set has " + d.name());
  // A name of the schema's own must be the stored one; a made-up name (of an
  // anonymous or generated type) says nothing, only the content counts.
  if (isSchemaNamedType(t) && d.name() != makeTypeIdent(name.c_str()) &&
      !(acrossCuts_ && sameDefinition(d.name(), makeTypeIdent(name.c_str()))))
    return differs("type " + name + " where the message set has " + d.name());
  uint32_t base = row.baseType != 0 ? dataTypeForCode(row.baseType) : 0;
  if (d.handleAt(QEL_OFF_BASE_TYPE) != base)
    return differs("type " + name + ": base type " + definitionName(base) +
                   " where the message set has " + definitionName(d.handleAt(QEL_OFF_BASE_TYPE)));
  if (d.intAt(QEL_OFF_COMPOSITION) != row.composition)
    return differs("type " + name + ": composition " + std::to_string(row.composition) +
                   " where the message set has " + std::to_string(d.intAt(QEL_OFF_COMPOSITION)));
  if (d.intAt(QEL_OFF_CONTENT) != row.typeContent)
    return differs("type " + name + ": content " + std::to_string(row.typeContent) +
                   " where the message set has " + std::to_string(d.intAt(QEL_OFF_CONTENT)));
  types_[t] = stored;

  // The members the mapping writes, in its order: attributes, then elements
  // and sub-types.
  std::vector<int32_t> entries;
  std::unordered_set<int32_t> attributesSeen;
  for (int32_t i = row.firstAttribute; i != 0; i = modelTables.typeEntries[i].next) {
    const TypeEntryEntry& entry = modelTables.typeEntries[i];
    if (modelTables.attributes[entry.attrId].flag & kAttrProhibited) continue;
    if (!attributesSeen.insert(entry.attrId).second) continue;
    entries.push_back(i);
  }
  for (int32_t i = row.firstElement; i != 0; i = modelTables.typeEntries[i].next)
    entries.push_back(i);
  std::vector<StoredMember> members = storedTypeMembers(stored);
  if (members.size() != entries.size())
    return differs("type " + name + ": " + std::to_string(entries.size()) +
                   " members where the message set has " + std::to_string(members.size()));
  for (size_t k = 0; k < entries.size(); ++k) {
    const TypeEntryEntry entry = modelTables.typeEntries[entries[k]];
    const StoredMember& m = members[k];
    // Where a recursion was cut depends on the path from the root: one
    // side's placeholder stands for the other side's element, and the
    // element's own definition is compared where it is found by name.
    if (entry.flag & kMemberSubType && isPlaceholderRow(entry.subTypeId)) {
      int32_t storedClass = 0;
      chkQELBeapiCode(QELGetClass(m.child, &storedClass), "QELGetClass", "reuseCheck");
      if (storedClass == QEL_CLASS_ELEMENT) continue;
      if (isStoredPlaceholder(m.child)) {
        if (modelTables.types[entry.subTypeId].handle == 0 && !types_.count(entry.subTypeId))
          types_[entry.subTypeId] = m.child;
        continue;
      }
    } else if (entry.flag & kMemberElement) {
      // The stored type was cut where this model goes on: reusing it would
      // lose what lies below.
      int32_t storedClass = 0;
      chkQELBeapiCode(QELGetClass(m.child, &storedClass), "QELGetClass", "reuseCheck");
      if (storedClass == QEL_CLASS_TYPE && isStoredPlaceholder(m.child)) {
        if (acrossCuts_) continue;
        return differs("type " + name + ", member " + std::to_string(k + 1) +
                       ": a recursion is cut where the message set holds element " +
                       textOf(modelTables.elements[entry.elemId].ident));
      }
    }
    MemberOccurs o = memberOccurs(entry.minOccurs, entry.maxOccurs);
    if (o.repeat != m.repeat || o.minText != m.minOccurs || o.maxText != m.maxOccurs)
      return differs("type " + name + ", member " + std::to_string(k + 1) + ": occurrences " +
                     occursText(o.repeat, o.minText, o.maxText) + " where the message set has " +
                     occursText(m.repeat, m.minOccurs, m.maxOccurs));
    if (!memberChild(entry, m)) {
      difference_ = "type " + name + ", member " + std::to_string(k + 1) + ": " + difference_;
      return false;
    }
  }
  return true;
}

bool ReuseMatch::memberChild(const TypeEntryEntry& entry, const StoredMember& member) {
  if (entry.attrId > 0 && (entry.flag & kMemberAttribute))
    return attribute(entry.attrId, member.child);
  if (entry.flag & kMemberElement) return element(entry.elemId, member.child);
  return type(entry.subTypeId, member.child);
}

bool ReuseMatch::simpleElement(const std::string& what, int32_t dataType, uint32_t stored,
                               const std::vector<ValueUse>& values) {
  StoredDetails d = readDetails(stored);
  uint32_t dataTypeHandle = dataTypeForCode(dataType);
  if (d.handleAt(QEL_OFF_TYPE_HANDLE) != dataTypeHandle)
    return differs(what + ": type " + definitionName(dataTypeHandle) +
                   " where the message set has " + definitionName(d.handleAt(QEL_OFF_TYPE_HANDLE)));
  std::vector<ValueUse> storedUses = storedValues(stored);
  if (!sameValues(values, storedUses))
    return differs(what + ": values " + valuesText(asInserted(values)) +
                   " where the message set has " + valuesText(storedUses));
  for (const PluginLayer& layer : repo.xmlLayers) {
    for (int32_t key : {QEL_XML_KEY_DATE_FORMAT, QEL_XML_KEY_BINARY_RENDER}) {
      std::string expected = simpleRenderValue(dataTypeHandle, dataType, key);
      AttrRef ref(layer.handle, key);
      char buffer[QEL_ATTR_VALUE_SIZE] = {};
      int32_t status = QELGetAttrValue(stored, ref.bytes, buffer, sizeof buffer);
      if (status != QEL_STATUS_OK && status != QEL_STATUS_NOT_FOUND)
        chkQELBeapiCode(status, "QELGetAttrValue", "reuseCheck");
      if (expected != (status == 0 ? buffer : ""))
        return differs(
            what + (key == QEL_XML_KEY_DATE_FORMAT ? ": date format \"" : ": binary render \"") +
            expected + "\" where the message set has \"" + (status == 0 ? buffer : "") + "\"");
    }
  }
  return true;
}

bool ReuseMatch::element(int32_t e, uint32_t stored) {
  const ElementEntry row = modelTables.elements[e];
  std::string what = "element " + textOf(row.ident);
  if (row.handle != 0) {
    if (row.handle == stored) return true;
    if (acrossCuts_ && sameDefinition(definitionName(stored), makeElementIdent(nameAt(row.ident))))
      return true;
    return differs(what + " where the message set has " + definitionName(stored));
  }
  if (acrossCuts_ && !pairs_.insert({-e, stored}).second) return true;
  auto known = elements_.find(e);
  if (!acrossCuts_ && known != elements_.end()) {
    if (known->second == stored) return true;
    return differs(what + " where the message set has " + definitionName(stored));
  }
  StoredDetails d = readDetails(stored);
  if (d.defClass != QEL_CLASS_ELEMENT || d.secondName() != textOf(row.name))
    return differs(what + " where the message set has " + d.name());
  elements_[e] = stored;
  bool complex = row.dataType == 0 && row.typeId > 0 &&
                 (modelTables.types[row.typeId].flag & kTypeSimple) == 0;
  std::vector<ValueUse> values = modelValueUses(e, true);
  if (!complex) return simpleElement(what, row.dataType, stored, values);
  uint32_t storedType = d.handleAt(QEL_OFF_TYPE_HANDLE);
  std::vector<ValueUse> storedUses = storedValues(stored);
  if (!sameValues(values, storedUses))
    return differs(what + ": values " + valuesText(asInserted(values)) +
                   " where the message set has " + valuesText(storedUses));
  if (!type(row.typeId, storedType)) {
    difference_ = what + ": " + difference_;
    return false;
  }
  return true;
}

bool ReuseMatch::attribute(int32_t a, uint32_t stored) {
  const AttrEntry row = modelTables.attributes[a];
  std::string what = "attribute " + textOf(row.name);
  if (row.handle != 0) {
    if (row.handle == stored) return true;
    return differs(what + " where the message set has " + definitionName(stored));
  }
  auto known = attributes_.find(a);
  if (known != attributes_.end()) {
    if (known->second == stored) return true;
    return differs(what + " where the message set has " + definitionName(stored));
  }
  StoredDetails d = readDetails(stored);
  if (d.defClass != QEL_CLASS_ELEMENT || d.secondName() != textOf(row.name))
    return differs(what + " where the message set has " + d.name());
  attributes_[a] = stored;
  return simpleElement(what, row.dataType, stored, modelValueUses(a, false));
}

namespace {
// Makes element or attribute row `row` stand for stored element `stored`;
// returns the stored details for the fields that differ between the two.
template <typename Row>
StoredDetails adoptStoredElement(Row& row, uint32_t stored, decltype(Row::flag) inRepository) {
  StoredDetails d = readDetails(stored);
  row.handle = stored;
  row.qelId = d.intAt(QEL_OFF_IDENTIFIER);
  row.flag |= inRepository;
  ++run.totals.elementsReused;
  if (parms.verbose) reportInfo(9361, {textInsert(nameAt(row.name)), intInsert(row.qelId)});
  return d;
}
}  // namespace

void ReuseMatch::commit() {
  for (const auto& [t, stored] : types_) {
    TypeEntry& row = modelTables.types[t];
    row.handle = stored;
    row.qelId = readDetails(stored).intAt(QEL_OFF_IDENTIFIER);
    row.flag |= kTypeReusedFlag;
    ++run.totals.typesReused;
    if (parms.verbose) reportInfo(9360, {textInsert(nameAt(row.name)), intInsert(row.qelId)});
  }
  for (const auto& [e, stored] : elements_) {
    ElementEntry& row = modelTables.elements[e];
    StoredDetails d = adoptStoredElement(row, stored, kElemInRepository);
    row.typeHandle = d.handleAt(QEL_OFF_TYPE_HANDLE);
    row.qelTypeId = readDetails(row.typeHandle).intAt(QEL_OFF_IDENTIFIER);
    if (row.dataType != 0 || row.typeId <= 0 ||
        (modelTables.types[row.typeId].flag & kTypeSimple) != 0)
      row.dataTypeHandle = row.typeHandle;
  }
  for (const auto& [a, stored] : attributes_) {
    AttrEntry& row = modelTables.attributes[a];
    StoredDetails d = adoptStoredElement(row, stored, kAttrInRepository);
    row.dataTypeHandle = d.handleAt(QEL_OFF_TYPE_HANDLE);
  }
}

[[noreturn]] void refuseDifferent(const char* kind, const std::string& name,
                                  const std::string& difference) {
  throw QELDBException(reportError(9440, {textInsert(kind), textInsert(name),
                                          textInsert(repo.msgSetName), textInsert(difference)}));
}

/// True when the model holds a type row of this name.
bool modelHasTypeName(const std::string& name) {
  NameRef ref = findName(name.c_str());
  return isStoredName(ref) && modelTables.index.typeByName.find(ref) != 0;
}

void renameType(int32_t t, const std::string& name) {
  NameRef ref = insertName(name);
  modelTables.types[t].name = ref;
  modelTables.index.typeByName.insertFirst(ref, t);
}

}  // namespace

std::vector<ValueUse> modelValueUses(int32_t owner, bool byElement) {
  // The value rows of each owner, in table order, listed once per model.
  std::vector<std::vector<int32_t>>& lists = repo.valueRowsOf[byElement ? 0 : 1];
  int32_t owners = byElement ? modelTables.elements.count() : modelTables.attributes.count();
  if (repo.valueRowsListed != modelTables.values.count() ||
      lists.size() != static_cast<size_t>(owners) + 1) {
    for (int side = 0; side < 2; ++side) {
      int32_t n = side == 0 ? modelTables.elements.count() : modelTables.attributes.count();
      repo.valueRowsOf[side].assign(static_cast<size_t>(n) + 1, {});
    }
    for (int32_t v = 1; v <= modelTables.values.count(); ++v) {
      const ValueEntry& row = modelTables.values[v];
      if (row.elemId > 0 && row.elemId <= modelTables.elements.count())
        repo.valueRowsOf[0][static_cast<size_t>(row.elemId)].push_back(v);
      if (row.attrId > 0 && row.attrId <= modelTables.attributes.count())
        repo.valueRowsOf[1][static_cast<size_t>(row.attrId)].push_back(v);
    }
    repo.valueRowsListed = modelTables.values.count();
  }
  std::vector<ValueUse> uses;
  uint32_t ownerType;
  uint32_t fallback;
  if (byElement) {
    const ElementEntry& e = modelTables.elements[owner];
    bool complex =
        e.dataType == 0 && e.typeId > 0 && (modelTables.types[e.typeId].flag & kTypeSimple) == 0;
    ownerType = complex ? 0 : dataTypeForCode(e.dataType);
    int32_t baseType = e.typeId > 0 ? modelTables.types[e.typeId].baseType : 0;
    fallback = dataTypeForCode(baseType);
  } else {
    ownerType = dataTypeForCode(modelTables.attributes[owner].dataType);
    fallback = ownerType;
  }
  for (int32_t v : lists[static_cast<size_t>(owner)]) {
    uint32_t t = valueTypeForRole(modelTables.values[v].role, ownerType);
    if (t == 0) t = valueTypeForRole(modelTables.values[v].role, fallback);
    std::string text;
    int32_t role = 0;
    if (!effectiveValue(v, t, &text, &role)) continue;
    // The repository keeps as much of a value text as its field holds.
    if (text.size() > QEL_VALUE_TEXT_SIZE - 1) text.resize(QEL_VALUE_TEXT_SIZE - 1);
    uses.emplace_back(role, t, text);
  }
  return uses;
}

void findOrMatchType(int32_t t) {
  TraceScope trace("findOrMatchType");
  bool renamedForMessage = false;
  bool versioned = false;  // the row differs from its type only in the cuts
  std::string base;        // the name numbered versions and made-up names start from
  int32_t n = 1;
  auto nextName = [&](const std::string& name) {
    if (base.empty()) base = name;
    std::string candidate;
    do {
      candidate = base + "_" + std::to_string(n++);
    } while (modelHasTypeName(candidate));
    renameType(t, candidate);
  };
  for (;;) {
    std::string name = textOf(modelTables.types[t].name);
    uint32_t handle = 0;
    int32_t id = 0;
    findTypeByName(makeTypeIdent(name.c_str()).c_str(), &handle, &id);
    if (handle == 0) return;
    ReuseMatch match;
    if (match.type(t, handle)) {
      match.commit();
      return;
    }
    // A made-up name taken by another definition, or another version of the
    // type: the next free name.
    if (versioned || !isSchemaNamedType(t)) {
      nextName(name);
      continue;
    }
    // The same definition cut elsewhere (the cut depends on the path from
    // the root): this run's version is written under a name of its own.
    if (ReuseMatch(true).type(t, handle)) {
      versioned = true;
      nextName(name);
      continue;
    }
    // The root's type of a message named apart from its root (several
    // messages of one vocabulary, each with root Document) is the message's
    // own: it takes the message's prefix and suffix.
    bool ownedByMessage =
        !renamedForMessage && (parms.msgPrefix[0] != '\0' || parms.msgSuffix[0] != '\0');
    if (ownedByMessage) {
      ownedByMessage = false;
      for (int32_t e = 1; e <= modelTables.elements.count(); ++e)
        if ((modelTables.elements[e].flag & kElemXsiRoot) && modelTables.elements[e].typeId == t)
          ownedByMessage = true;
    }
    if (ownedByMessage) {
      std::string candidate = std::string(parms.msgPrefix) + name + parms.msgSuffix;
      if (!modelHasTypeName(candidate)) {
        renameType(t, candidate);
        renamedForMessage = true;
        continue;
      }
    }
    refuseDifferent("Type", name, match.difference());
  }
}

void findOrMatchElement(int32_t e) {
  TraceScope trace("findOrMatchElement");
  std::string first = nameAt(modelTables.elements[e].ident);
  bool versioned = false;
  for (int32_t n = 1;;) {
    const ElementEntry row = modelTables.elements[e];
    std::string identifier = makeElementIdent(nameAt(row.ident));
    uint32_t handle = 0, typeHandle = 0;
    int32_t id = 0, typeId = 0;
    findElementByName(identifier.c_str(), &handle, &id, &typeHandle, &typeId,
                      row.dataType != 0 ? 1 : 0);
    if (handle == 0) return;
    ReuseMatch match;
    if (match.element(e, handle)) {
      match.commit();
      return;
    }
    // An element whose type is this run's version of a type cut elsewhere
    // is a version too.
    if (!versioned && !ReuseMatch(true).element(e, handle))
      refuseDifferent("Element", nameAt(row.ident), match.difference());
    versioned = true;
    auto taken = [](const std::string& candidate) {
      NameRef ref = findName(candidate.c_str());
      return isStoredName(ref) && modelTables.index.elementByIdent.find(ref) != 0;
    };
    std::string candidate;
    do {
      candidate = first + "_" + std::to_string(n++);
    } while (taken(candidate));
    repo.versionedElements.emplace(e, first);
    NameRef ref = insertName(candidate);
    modelTables.elements[e].ident = ref;
    modelTables.index.elementByIdent.insertFirst(ref, e);
  }
}

void findOrMatchAttribute(int32_t a, const std::string& identifier) {
  TraceScope trace("findOrMatchAttribute");
  std::string ident = makeElementIdent(identifier.c_str());
  uint32_t handle = 0, typeHandle = 0;
  int32_t id = 0, typeId = 0;
  findElementByName(ident.c_str(), &handle, &id, &typeHandle, &typeId, 1);
  if (handle == 0) return;
  ReuseMatch match;
  if (!match.attribute(a, handle)) refuseDifferent("Attribute", identifier, match.difference());
  match.commit();
}
