// GrowTable: the one table shape used by every in-memory table of a run.
//
// Rows are addressed by a 1-based index; row 0 exists, is zero-filled and is
// never handed out, so index 0 can mean "none" in every link field.  A table
// is allocated with room for capacity + 1 rows and doubles its capacity when
// a row is added to a full table.  Callers keep indexes, not pointers or
// references, across any call that can add rows.
//
// The rows are kept in fixed-size zero-filled chunks taken as the table
// fills, so growth never copies a row and a large table touches its memory
// once: building a model of a million rows costs ten times one of a hundred
// thousand, not more.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

template <typename Row>
class GrowTable {
  static_assert(std::is_trivially_copyable_v<Row>, "table rows are plain records");

 public:
  /// Drops every row and allocates room for `capacity` zero-filled rows.
  void allocate(int32_t capacity) {
    assert(capacity > 0);
    capacity_ = capacity;
    count_ = 0;
    chunks_.clear();
    chunks_.push_back(newChunk());  // holds row 0
  }

  /// Releases the rows; the table is empty with no capacity afterwards.
  void release() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    capacity_ = 0;
    count_ = 0;
  }

  /// Appends a zero-filled row, doubling the capacity first when the table is
  /// full, and returns its index (count + 1).
  int32_t add() {
    if (chunks_.empty()) chunks_.push_back(newChunk());
    if (count_ >= capacity_) capacity_ = capacity_ > 0 ? capacity_ * 2 : 16;
    ++count_;
    if ((static_cast<size_t>(count_) >> kChunkBits) >= chunks_.size()) chunks_.push_back(newChunk());
    return count_;
  }

  /// Row `i`, 0 <= i <= count.  Row 0 is the table's empty record.
  Row& operator[](int32_t i) {
    assert(i >= 0 && i <= count_ && !chunks_.empty());
    size_t n = static_cast<size_t>(i);
    return chunks_[n >> kChunkBits][n & (kChunkRows - 1)];
  }
  const Row& operator[](int32_t i) const {
    assert(i >= 0 && i <= count_ && !chunks_.empty());
    size_t n = static_cast<size_t>(i);
    return chunks_[n >> kChunkBits][n & (kChunkRows - 1)];
  }

  int32_t count() const { return count_; }
  int32_t capacity() const { return capacity_; }
  bool allocated() const { return !chunks_.empty(); }

 private:
  static constexpr size_t kChunkBits = 10;
  static constexpr size_t kChunkRows = size_t{1} << kChunkBits;

  static std::unique_ptr<Row[]> newChunk() { return std::make_unique<Row[]>(kChunkRows); }

  std::vector<std::unique_ptr<Row[]>> chunks_;
  int32_t capacity_ = 0;
  int32_t count_ = 0;
};
