#pragma once
// The clearing cost behind `extra`: lanes whose ordered run holds items
// below g_star may be cleared of them, all or nothing, to free room.

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

#include "board/layout.h"

namespace velmora {

// One clearable lane's all-or-nothing choice: the room clearing its run of
// the items below the threshold frees, and the moves that costs. A cost of
// 0 is no choice.
struct ClearChoice {
  int32_t gain = 0;
  int32_t cost = 0;
};

// The knapsack behind the clearing cost: the least total cost of a set of
// choices whose gains add up to at least ds, amounts beyond ds counted as ds;
// 0.0 when ds <= 0 or when all of them together fall short. `table` holds at
// least ds + 1 entries.
double least_clearing_cost(int32_t ds, std::span<const ClearChoice> choices,
                           std::span<int32_t> table);

// The clearing cost of a position: its lanes' choices at threshold t gathered
// from clear_choice(lane_at(i), t) for either form of a lane's analysis.
template <class LaneAt>
double clearing_cost(int32_t ds, int32_t t, int32_t lane_count, const LaneAt& lane_at,
                     std::span<int32_t> table) {
  if (ds <= 0) return 0.0;
  assert(table.size() > static_cast<std::size_t>(ds));
  std::array<ClearChoice, kMaxLanes> choices;
  std::size_t n = 0;
  for (int32_t i = 0; i < lane_count; ++i) {
    const ClearChoice choice = clear_choice(lane_at(i), t);
    if (choice.cost > 0 && choice.gain > 0) choices[n++] = choice;
  }
  return least_clearing_cost(ds, std::span(choices.data(), n), table);
}

}  // namespace velmora
