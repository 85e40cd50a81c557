// Values kept by handle.
//
// The handles a write makes are consecutive, and most of what is looked up
// by handle is what the write made.  Those values are kept in one run indexed
// by handle, in the order they were made: looking one up costs no hashing and
// touches memory near its neighbours'.  The run starts at the first handle
// added as made; any handle outside it (one read back from the storage) goes
// to a hash map.  References to values stay valid until the value is erased
// or the map cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>

namespace qel {

template <typename T>
class HandleMap {
 public:
  /// The value of `handle`, or null.
  T* find(uint32_t handle) {
    if (inRun(handle)) {
      std::optional<T>& slot = run_[handle - base_];
      return slot ? &*slot : nullptr;
    }
    auto it = scattered_.find(handle);
    return it == scattered_.end() ? nullptr : &it->second;
  }
  const T* find(uint32_t handle) const { return const_cast<HandleMap*>(this)->find(handle); }

  /// Sets the value of `handle`; `made` says that the handle was just made
  /// (it is then the highest so far).
  T& set(uint32_t handle, T value, bool made) {
    if (T* found = find(handle)) return *found = std::move(value);
    ++size_;
    if (made && run_.empty()) base_ = handle;
    if (made && handle >= base_ && handle - base_ < run_.size() + kReach) {
      if (handle - base_ >= run_.size()) run_.resize(handle - base_ + 1);
      return run_[handle - base_].emplace(std::move(value));
    }
    return scattered_.emplace(handle, std::move(value)).first->second;
  }

  void erase(uint32_t handle) {
    if (inRun(handle)) {
      std::optional<T>& slot = run_[handle - base_];
      if (slot) --size_;
      slot.reset();
    } else {
      size_ -= scattered_.erase(handle);
    }
  }

  void clear() {
    run_.clear();
    scattered_.clear();
    size_ = 0;
  }

  size_t size() const { return size_; }

 private:
  /// How far past the end of the run a made handle may lie and still join
  /// it (the handles between stay empty).
  static constexpr size_t kReach = 4096;

  bool inRun(uint32_t handle) const { return handle >= base_ && handle - base_ < run_.size(); }

  uint32_t base_ = 0;
  std::deque<std::optional<T>> run_;  // a deque: growing it moves no value
  std::unordered_map<uint32_t, T> scattered_;
  size_t size_ = 0;
};

}  // namespace qel
