#pragma once
// Zobrist keys: one random 64-bit key per (cell, value), filled at load time
// from MT19937-64 seeded with 0xdeadbeef, so hashes agree across runs.

#include <cstddef>
#include <cstdint>

#include "board/layout.h"

namespace velmora {

inline constexpr int32_t kCellValues = 256;

// Filled by a static initialiser in zobrist.cpp; read-only afterwards.
extern const uint64_t* const zobrist_table;

inline uint64_t zobrist_key(int32_t cell, uint8_t value) {
  return zobrist_table[cell * kCellValues + value];
}

// The hash change of `cell` going from empty to `value`, or back.
inline uint64_t fill_key(int32_t cell, uint8_t value) {
  return zobrist_key(cell, value) ^ zobrist_key(cell, 0);
}

// Whether every move the board can make changes the hash by a key of its
// own, so that two children of one position never share a hash. A move of
// item v between cells a and b changes it by fill_key(a, v) ^ fill_key(b, v),
// and two moves of one position never share v and the pair {a, b}. False
// when two keys are equal, or when there would be more than `max_keys`
// to compare (the question is then left open).
bool move_keys_distinct(const BoardLayout& layout, std::size_t max_keys);
inline constexpr std::size_t kMoveKeyBudget = std::size_t{1} << 16;

// XOR of the keys of cells 0 .. lane_count*capacity-1, empty cells included.
uint64_t grid_hash(const Grid& grid, const BoardLayout& layout);

}  // namespace velmora
