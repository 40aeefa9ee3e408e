#pragma once
// A set of lanes as bits, walked in lane order: the lanes a move may end in,
// so that an expansion visits only the destinations that can matter.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "board/layout.h"

namespace velmora {

class LaneSet {
 public:
  static_assert(kMaxLanes <= 128);

  bool contains(int32_t lane) const { return (words_[word(lane)] >> bit(lane) & 1) != 0; }
  void insert(int32_t lane) { words_[word(lane)] |= uint64_t{1} << bit(lane); }
  void erase(int32_t lane) { words_[word(lane)] &= ~(uint64_t{1} << bit(lane)); }
  void assign(int32_t lane, bool in) { in ? insert(lane) : erase(lane); }

  LaneSet operator&(const LaneSet& other) const {
    LaneSet both;
    for (std::size_t i = 0; i < words_.size(); ++i) both.words_[i] = words_[i] & other.words_[i];
    return both;
  }
  bool operator==(const LaneSet&) const = default;

  int32_t size() const { return std::popcount(words_[0]) + std::popcount(words_[1]); }

  // Calls f(lane) for every lane of the set, in ascending order.
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t w = 0; w < words_.size(); ++w) {
      for (uint64_t rest = words_[w]; rest != 0; rest &= rest - 1) {
        f(static_cast<int32_t>(w * 64) + std::countr_zero(rest));
      }
    }
  }

 private:
  static std::size_t word(int32_t lane) { return static_cast<std::size_t>(lane) >> 6; }
  static int32_t bit(int32_t lane) { return lane & 63; }
  std::array<uint64_t, 2> words_{};
};

}  // namespace velmora
