// The name table: string pool with a hash index.  See name_table.h.
#include "name_table.h"

#include <cassert>
#include <cstring>

#include "messages.h"
#include "run_state.h"

NameTable nameTable;

namespace {

constexpr int32_t kInitialCapacity = 65536;

uint64_t hashBytes(const char* s, size_t n) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(s[i]);
    h *= 1099511628211ull;
  }
  return h;
}

// The index places and compares names by the low 32 bits of their hash.
uint32_t slotHash(uint64_t hash) { return static_cast<uint32_t>(hash); }

// Finds the slot that holds `name`, or the empty slot where it would go.
size_t findSlot(const char* name, size_t len, uint64_t hash) {
  size_t mask = nameTable.slots.size() - 1;
  uint32_t h = slotHash(hash);
  size_t i = h & mask;
  for (;;) {
    const NameTable::Slot& slot = nameTable.slots[i];
    if (slot.ref == 0) return i;
    if (slot.hash == h) {
      const char* stored = nameTable.pool.data() + slot.ref;
      if (std::memcmp(stored, name, len) == 0 && stored[len] == '\0') return i;
    }
    i = (i + 1) & mask;
  }
}

// Rebuilds the index with `newSize` slots; the stored hashes place every
// offset again without reading the pool.
void rehash(size_t newSize) {
  std::vector<NameTable::Slot> old;
  old.swap(nameTable.slots);
  nameTable.slots.assign(newSize, NameTable::Slot{0, 0});
  size_t mask = newSize - 1;
  for (const NameTable::Slot& slot : old) {
    if (slot.ref == 0) continue;
    size_t i = slot.hash & mask;
    while (nameTable.slots[i].ref != 0) i = (i + 1) & mask;
    nameTable.slots[i] = slot;
  }
}

// Grows the pool until `needed` bytes fit; false when memory runs out.
bool growPool(int64_t needed) {
  try {
    while (needed > nameTable.capacity) {
      int64_t newCapacity = static_cast<int64_t>(nameTable.capacity) * 2;
      if (newCapacity > INT32_MAX - 32) return false;
      std::vector<char> bigger(static_cast<size_t>(newCapacity) + 32, '\0');
      std::memcpy(bigger.data(), nameTable.pool.data(), static_cast<size_t>(nameTable.capacity));
      nameTable.pool.swap(bigger);
      nameTable.capacity = static_cast<int32_t>(newCapacity);
      tracePrintf("Name table size increased to %d\n", nameTable.capacity);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void NameTable::allocate() {
  pool.assign(kInitialCapacity, '\0');
  capacity = kInitialCapacity;
  used = 1;
  slots.assign(1024, Slot{0, 0});
  stored = 0;
}

void NameTable::release() {
  pool.clear();
  pool.shrink_to_fit();
  slots.clear();
  slots.shrink_to_fit();
  capacity = 0;
  used = 1;
  stored = 0;
}

NameRef findName(const char* name) {
  if (name == nullptr || *name == '\0' || nameTable.slots.empty()) return nameTable.used;
  size_t len = std::strlen(name);
  NameRef ref = nameTable.slots[findSlot(name, len, hashBytes(name, len))].ref;
  return ref != 0 ? ref : nameTable.used;
}

bool isStoredName(NameRef ref) {
  return ref > 0 && ref < nameTable.used && nameTable.pool[static_cast<size_t>(ref)] != '\0';
}

NameRef insertName(const char* name) {
  tracePrintf("==> insertName %s\n", name ? name : "");
  if (name == nullptr || *name == '\0') {
    tracePrintf("<== insertName returned 0\n");
    return 0;
  }
  if (nameTable.pool.empty()) nameTable.allocate();
  size_t len = std::strlen(name);
  uint64_t hash = hashBytes(name, len);
  size_t slot = findSlot(name, len, hash);
  if (nameTable.slots[slot].ref != 0) {
    tracePrintf("<== insertName returned %d\n", nameTable.slots[slot].ref);
    return nameTable.slots[slot].ref;
  }
  NameRef offset = nameTable.used;
  if (static_cast<int64_t>(offset) + static_cast<int64_t>(len) + 1 > nameTable.capacity &&
      !growPool(static_cast<int64_t>(offset) + static_cast<int64_t>(len) + 1)) {
    NlsMessage msg(9394);
    run.errSw = 1;
    msg.addInsert("nameTable");
    msg.printMessage();
    run.returnCode = messageStatus(9394);
    tracePrintf("<== insertName returned 0\n");
    return 0;
  }
  std::memcpy(nameTable.pool.data() + offset, name, len + 1);
  nameTable.used = offset + static_cast<int32_t>(len) + 1;
  nameTable.slots[slot] = NameTable::Slot{offset, slotHash(hash)};
  if (++nameTable.stored * 2 > static_cast<int32_t>(nameTable.slots.size())) {
    rehash(nameTable.slots.size() * 2);
  }
  tracePrintf("<== insertName returned %d\n", offset);
  return offset;
}

NameRef insertName(const std::string& name) { return insertName(name.c_str()); }

const char* nameAt(NameRef ref) {
  if (ref <= 0 || nameTable.pool.empty()) return "";
  assert(ref < nameTable.capacity);
  return nameTable.pool.data() + ref;
}
