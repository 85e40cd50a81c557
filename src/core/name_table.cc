// The name table: string pool with a hash index.  See name_table.h.
#include "name_table.h"

#include <cassert>
#include <cstring>

#include "messages.h"
#include "run_state.h"
#include "trace.h"

NameTable nameTable;

namespace {

constexpr int32_t kInitialCapacity = 65536;

// Hashes the bytes eight at a time with a multiply-xorshift step per word
// and a final mix, so that every bit of the name reaches the low bits that
// place it in the index.
uint64_t hashBytes(const char* s, size_t n) {
  constexpr uint64_t kMul = 0x9e3779b97f4a7c15ull;
  uint64_t h = static_cast<uint64_t>(n) * kMul;
  for (; n >= 8; s += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, s, 8);
    h = (h ^ word) * kMul;
    h ^= h >> 32;
  }
  if (n > 0) {
    uint64_t word = 0;
    std::memcpy(&word, s, n);
    h = (h ^ word) * kMul;
    h ^= h >> 32;
  }
  h ^= h >> 33;  // final mix of the 64-bit hash
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
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
  return insertName(name, name == nullptr ? 0 : std::strlen(name));
}

NameRef insertName(const std::string& name) { return insertName(name.c_str()); }

NameRef insertName(const char* name, size_t length) {
  assert(name == nullptr || std::memchr(name, '\0', length) == nullptr);
  TraceScope trace("insertName", "%.*s", static_cast<int>(length), name ? name : "");
  if (length == 0) {
    trace.result("returned 0");
    return 0;
  }
  if (nameTable.pool.empty()) nameTable.allocate();
  uint64_t hash = hashBytes(name, length);
  size_t slot = findSlot(name, length, hash);
  if (nameTable.slots[slot].ref != 0) {
    trace.result("returned %d", nameTable.slots[slot].ref);
    return nameTable.slots[slot].ref;
  }
  NameRef offset = nameTable.used;
  int64_t end = static_cast<int64_t>(offset) + static_cast<int64_t>(length) + 1;
  // A new name can still lie inside the pool (the tail of a stored name):
  // keep its offset across the pool's move.
  uintptr_t at = reinterpret_cast<uintptr_t>(name);
  uintptr_t poolStart = reinterpret_cast<uintptr_t>(nameTable.pool.data());
  bool inPool = at >= poolStart && at < poolStart + nameTable.pool.size();
  size_t offsetInPool = inPool ? at - poolStart : 0;
  if (end > nameTable.capacity && !growPool(end)) {
    NlsMessage msg(9394);
    run.errSw = 1;
    msg.addInsert("nameTable");
    msg.printMessage();
    run.returnCode = messageStatus(9394);
    trace.result("returned 0");
    return 0;
  }
  if (inPool) name = nameTable.pool.data() + offsetInPool;
  char* stored = nameTable.pool.data() + offset;
  std::memcpy(stored, name, length);
  stored[length] = '\0';
  nameTable.used = static_cast<int32_t>(end);
  nameTable.slots[slot] = NameTable::Slot{offset, slotHash(hash)};
  // The index doubles when three quarters full: a probe compares the hashes
  // kept in the slots, so the longer runs cost little, and the smaller index
  // stays in the caches longer on a large schema.
  if (++nameTable.stored * int64_t{4} > static_cast<int64_t>(nameTable.slots.size()) * 3) {
    rehash(nameTable.slots.size() * 2);
  }
  trace.result("returned %d", offset);
  return offset;
}

void prefetchName(const char* name, size_t length) {
  if (nameTable.slots.empty() || length == 0) return;
  size_t mask = nameTable.slots.size() - 1;
  __builtin_prefetch(&nameTable.slots[slotHash(hashBytes(name, length)) & mask]);
}

const char* nameAt(NameRef ref) {
  if (ref <= 0 || nameTable.pool.empty()) return "";
  assert(ref <= nameTable.used);  // a stored name, or where a new one would go
  return nameTable.pool.data() + ref;
}
