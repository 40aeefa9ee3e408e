#include "board/zobrist.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <random>
#include <vector>

#include "base/open_table.h"

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

bool move_keys_distinct(const BoardLayout& layout, std::size_t max_keys) {
  // Items keep their values, so only those of the start ever move.
  std::array<bool, kCellValues> present{};
  std::vector<uint8_t> values;
  std::vector<int32_t> cells;
  for (int32_t lane = 0; lane < layout.lane_count; ++lane) {
    for (int32_t slot = 0; slot < layout.lane_len[static_cast<std::size_t>(lane)]; ++slot) {
      const int32_t cell = cell_of(layout, lane, slot);
      cells.push_back(cell);
      const uint8_t v = layout.start_grid[static_cast<std::size_t>(cell)];
      if (v != 0 && !present[v]) {
        present[v] = true;
        values.push_back(v);
      }
    }
  }
  const std::size_t pairs = cells.size() * (cells.size() + 1) / 2;
  if (!values.empty() && pairs > max_keys / values.size()) return false;
  // The keys are uniformly random: their top bits spread them over an
  // open-addressed table, which keeps only their low 32 bits. Equal low bits
  // in one chain count as equal keys, which only leaves the question open
  // (odds of about one in a million at the budget); the table stays small
  // enough (64 KiB for 10,000 keys) that a short run does not pay for fresh
  // pages.
  const std::size_t count = pairs * values.size();
  const int bits = std::bit_width(std::max<std::size_t>(count + count / 2, 2) - 1);
  std::vector<uint32_t> table(std::size_t{1} << bits, 0);
  const auto is_free = [](uint32_t e) { return e == 0; };
  std::vector<uint64_t> fills(cells.size() * values.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    for (std::size_t k = 0; k < values.size(); ++k) {
      fills[i * values.size() + k] = fill_key(cells[i], values[k]);
    }
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    for (std::size_t j = i + 1; j < cells.size(); ++j) {
      // No move joins two cells of one lane.
      if (cells[i] / layout.capacity == cells[j] / layout.capacity) continue;
      for (std::size_t k = 0; k < values.size(); ++k) {
        const uint64_t key = fills[i * values.size() + k] ^ fills[j * values.size() + k];
        // 0 marks a free place.
        const uint32_t low = std::max<uint32_t>(static_cast<uint32_t>(key), 1);
        const std::size_t at = probe<uint32_t>(table, key >> (64 - bits), is_free,
                                               [low](uint32_t e) { return e == low; });
        if (table[at] == low) return false;
        table[at] = low;
      }
    }
  }
  return true;
}

}  // namespace velmora
