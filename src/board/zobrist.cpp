#include "board/zobrist.h"

#include <cstddef>
#include <random>

namespace velmora {
namespace {

constexpr std::size_t kKeyCount = static_cast<std::size_t>(kMaxCells) * kCellValues;

// Static storage: 4 MB that must not live on any stack.
uint64_t keys[kKeyCount];

// Fixed seed, so that a position hashes alike in every run and on every thread.
struct KeyFiller {
  KeyFiller() {
    std::mt19937_64 gen(0xdeadbeefULL);
    for (auto& key : keys) key = gen();
  }
};
const KeyFiller filler;

}  // namespace

// Constant-initialised, so it is valid before any dynamic initialiser runs.
const uint64_t* const zobrist_table = keys;

uint64_t grid_hash(const Grid& grid, const BoardLayout& layout) {
  const int32_t n = layout.lane_count * layout.capacity;
  uint64_t hash = 0;
  for (int32_t c = 0; c < n; ++c) hash ^= zobrist_key(c, grid[static_cast<std::size_t>(c)]);
  return hash;
}

}  // namespace velmora
