// GrowTable: the one table shape used by every in-memory table of a run.
//
// Rows are addressed by a 1-based index; row 0 exists, is zero-filled and is
// never handed out, so index 0 can mean "none" in every link field.  A table
// is allocated with room for capacity + 1 rows and doubles its capacity when
// a row is added to a full table.  Growth moves the rows: callers keep
// indexes, never pointers or references, across any call that can add rows.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
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
    rows_.assign(static_cast<size_t>(capacity) + 1, Row{});
  }

  /// Releases the rows; the table is empty with no capacity afterwards.
  void release() {
    rows_.clear();
    rows_.shrink_to_fit();
    capacity_ = 0;
    count_ = 0;
  }

  /// Appends a zero-filled row, doubling the capacity first when the table is
  /// full, and returns its index (count + 1).
  int32_t add() {
    if (count_ >= capacity_) grow();
    ++count_;
    return count_;
  }

  /// Row `i`, 0 <= i <= count.  Row 0 is the table's empty record.
  Row& operator[](int32_t i) {
    assert(i >= 0 && i <= count_);
    return rows_[static_cast<size_t>(i)];
  }
  const Row& operator[](int32_t i) const {
    assert(i >= 0 && i <= count_);
    return rows_[static_cast<size_t>(i)];
  }

  int32_t count() const { return count_; }
  int32_t capacity() const { return capacity_; }
  bool allocated() const { return !rows_.empty(); }

 private:
  void grow() {
    int32_t newCapacity = capacity_ > 0 ? capacity_ * 2 : 16;
    rows_.resize(static_cast<size_t>(newCapacity) + 1, Row{});
    capacity_ = newCapacity;
  }

  std::vector<Row> rows_;
  int32_t capacity_ = 0;
  int32_t count_ = 0;
};
