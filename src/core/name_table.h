// The name table: one string pool in which every name of a run is stored once.
//
// A NameRef is a name's byte offset in the pool; 0 is the empty name.  Names
// are packed from offset 1 in order of first insertion, each followed by a NUL,
// and the pool doubles when full, so offsets stay valid for the whole run.
// Offsets are exactly those a linear scan of the pool would give (the first
// insertion of a string wins); a hash index over the stored names makes
// finding and inserting cost the same whatever the size of the pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using NameRef = int32_t;

struct NameTable {
  std::vector<char> pool;        ///< capacity bytes, all 0 past the used part
  int32_t capacity = 0;          ///< recorded capacity in bytes
  int32_t used = 1;              ///< offset of the end of the used part
  /// One slot of the hash index: a stored offset (0: empty) with its hash, so
  /// that a probe reads the pool only when the hashes already agree.
  struct Slot {
    NameRef ref;
    uint32_t hash;
  };
  std::vector<Slot> slots;       ///< open-addressing hash index of stored offsets
  int32_t stored = 0;            ///< names held in the index

  /// Allocates the initial 65536 zero bytes; drops any earlier content.
  void allocate();
  /// Releases the pool and its index.
  void release();
};

/// The process-wide name table.
extern NameTable nameTable;

/// Returns the NameRef of `name` if stored, otherwise the offset where it would
/// be stored (the end of the used part, at which the pool holds a 0 byte).
NameRef findName(const char* name);

/// Returns the NameRef of `name`, storing it first when it is new.  The empty
/// string (or null) returns 0 and stores nothing.  When the pool cannot grow,
/// reports 9394, sets errSw and returns 0.
NameRef insertName(const char* name);
NameRef insertName(const std::string& name);
/// The same for the `length` bytes at `name`, which hold no NUL (a name built
/// in a buffer is stored without measuring it again).
NameRef insertName(const char* name, size_t length);

/// Starts fetching the index slot where `name` (`length` bytes) is or would be
/// stored, for a findName or insertName of it soon after; changes nothing.
/// Several fetches started together overlap in memory, where lookups made
/// one after another on a large table each wait for it in turn.
void prefetchName(const char* name, size_t length);

/// The NUL-terminated name at `ref`; valid only until the next insertion.
const char* nameAt(NameRef ref);

/// True when `ref` is the offset of a stored name (findName found it).
bool isStoredName(NameRef ref);
