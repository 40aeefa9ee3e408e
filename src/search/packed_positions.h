#pragma once
// Positions of one board stored whole, for the enumeration: one small code
// per cell (0 empty, 1..k the distinct item values of the start in
// ascending order), packed into 64-bit words, in blocks of about 256 KiB,
// indexed in the order they were added. Compared by content, so nothing is
// mistaken for a position seen before.

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "search/memory_budget.h"

namespace velmora {

class PackedPositions {
 public:
  // The codes and the word layout for `cells` cells holding the values
  // `present`; allocates nothing (see lay_out).
  void shape(const std::array<bool, 256>& present, int32_t cells);
  // The per-cell tables, once their memory is charged.
  void lay_out();

  int32_t words() const { return words_; }  // 64-bit words per position
  uint32_t count() const { return count_; }
  uint8_t code_of(uint8_t value) const { return code_of_[value]; }
  uint8_t value_of(uint32_t code) const { return value_of_[code]; }

  const uint64_t* at(uint32_t index) const {
    assert(index < count_);
    return blocks_[index >> block_shift_].get() + (index & (block_records_ - 1)) * words_size();
  }
  uint32_t code_at(const uint64_t* k, int32_t cell) const {
    assert(cell >= 0 && cell < cells_);
    const auto c = static_cast<std::size_t>(cell);
    return static_cast<uint32_t>((k[cell_word_[c]] >> cell_shift_[c]) & field_mask_);
  }
  void set_code(uint64_t* k, int32_t cell, uint32_t code) const {
    assert(cell >= 0 && cell < cells_ && code <= field_mask_);
    const auto c = static_cast<std::size_t>(cell);
    const std::size_t w = cell_word_[c];
    const unsigned s = cell_shift_[c];
    k[w] = (k[w] & ~(field_mask_ << s)) | (static_cast<uint64_t>(code) << s);
  }
  bool same(uint32_t index, const uint64_t* k) const;

  // Stores a copy of `k` as position count(); false when `budget` refuses
  // a new block.
  bool append(const uint64_t* k, MemoryBudget& budget);
  void release();

 private:
  std::size_t words_size() const { return static_cast<std::size_t>(words_); }

  std::array<uint8_t, 256> code_of_{};
  std::array<uint8_t, 256> value_of_{};
  int32_t cells_ = 0;
  int32_t bits_ = 1;
  int32_t per_word_ = 64;
  uint64_t field_mask_ = 0;
  int32_t words_ = 0;
  std::vector<uint16_t> cell_word_;
  std::vector<uint8_t> cell_shift_;
  std::vector<std::unique_ptr<uint64_t[]>> blocks_;
  unsigned block_shift_ = 0;
  std::size_t block_records_ = 1;
  uint32_t count_ = 0;
};

}  // namespace velmora
