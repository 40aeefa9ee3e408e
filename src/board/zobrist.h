#pragma once
// Zobrist keys: one random 64-bit key per (cell, value), filled at load time
// from MT19937-64 seeded with 0xdeadbeef, so hashes agree across runs.

#include <cstdint>

#include "board/layout.h"

namespace velmora {

inline constexpr int32_t kCellValues = 256;

// Filled by a static initialiser in zobrist.cpp; read-only afterwards.
extern const uint64_t* const zobrist_table;

inline uint64_t zobrist_key(int32_t cell, uint8_t value) {
  return zobrist_table[cell * kCellValues + value];
}

// XOR of the keys of cells 0 .. lane_count*capacity-1, empty cells included.
uint64_t grid_hash(const Grid& grid, const BoardLayout& layout);

}  // namespace velmora
