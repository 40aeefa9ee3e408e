#include "search/packed_positions.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora {
namespace {

constexpr std::size_t kBlockBytes = 256 * 1024;

}  // namespace

void PackedPositions::shape(const std::array<bool, 256>& present, int32_t cells) {
  int32_t distinct = 0;
  for (int v = 1; v < 256; ++v) {
    if (!present[static_cast<std::size_t>(v)]) continue;
    ++distinct;
    code_of_[static_cast<std::size_t>(v)] = static_cast<uint8_t>(distinct);
    value_of_[static_cast<std::size_t>(distinct)] = static_cast<uint8_t>(v);
  }
  // Fields never straddle two words: a few spare bits buy simple access.
  cells_ = cells;
  bits_ = std::max(1, static_cast<int32_t>(std::bit_width(static_cast<unsigned>(distinct))));
  per_word_ = 64 / bits_;
  field_mask_ = (uint64_t{1} << bits_) - 1;
  words_ = std::max(1, (cells + per_word_ - 1) / per_word_);
  const std::size_t per_block = std::max<std::size_t>(1, kBlockBytes / 8 / words_size());
  block_shift_ = static_cast<unsigned>(std::bit_width(per_block) - 1);
  block_records_ = std::size_t{1} << block_shift_;
}

void PackedPositions::lay_out() {
  cell_word_.resize(static_cast<std::size_t>(cells_));
  cell_shift_.resize(static_cast<std::size_t>(cells_));
  for (int32_t c = 0; c < cells_; ++c) {
    cell_word_[static_cast<std::size_t>(c)] = static_cast<uint16_t>(c / per_word_);
    cell_shift_[static_cast<std::size_t>(c)] = static_cast<uint8_t>((c % per_word_) * bits_);
  }
}

bool PackedPositions::same(uint32_t index, const uint64_t* k) const {
  return std::memcmp(at(index), k, words_size() * 8) == 0;
}

bool PackedPositions::append(const uint64_t* k, MemoryBudget& budget) {
  if ((count_ & (block_records_ - 1)) == 0) {
    if (!budget.grow(blocks_) || !budget.charge(block_records_ * words_size() * 8)) return false;
    blocks_.push_back(std::make_unique_for_overwrite<uint64_t[]>(block_records_ * words_size()));
  }
  const uint32_t index = count_++;
  uint64_t* record = blocks_[index >> block_shift_].get() + (index & (block_records_ - 1)) * words_size();
  std::memcpy(record, k, words_size() * 8);
  return true;
}

void PackedPositions::release() {
  blocks_.clear();
  blocks_.shrink_to_fit();
}

}  // namespace velmora
