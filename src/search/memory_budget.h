#pragma once
// The enumeration's memory cap: every allocation is charged first, so the
// cap holds at all times, and the peak is kept for the report.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velmora {

struct MemoryBudget {
  std::size_t cap = 0;
  std::size_t used = 0;
  std::size_t peak = 0;

  bool charge(std::size_t bytes) {
    if (bytes > cap - used) return false;
    used += bytes;
    peak = std::max(peak, used);
    return true;
  }
  void refund(std::size_t bytes) { used -= bytes; }

  // Room for one more element in `v`, within the cap; the old block is
  // counted until the new one is filled.
  template <class T>
  bool grow(std::vector<T>& v) {
    if (v.size() < v.capacity()) return true;
    const std::size_t old_bytes = v.capacity() * sizeof(T);
    const std::size_t new_capacity = std::max<std::size_t>(256, v.capacity() * 2);
    if (!charge(new_capacity * sizeof(T))) return false;
    v.reserve(new_capacity);
    refund(old_bytes);
    return true;
  }
};

}  // namespace velmora
