#pragma once
// The heuristic h = blokaj + extra, and the clearing cost behind `extra`.

#include <cstdint>
#include <span>

#include "board/lane_state.h"

namespace velmora {

// One clearable lane's all-or-nothing choice: the room clearing its run of
// the items below g_star frees, and the moves that costs.
struct ClearChoice {
  int32_t gain;
  int32_t cost;
};

// The knapsack behind the clearing cost: the least total cost of a set of
// choices whose gains add up to at least ds, amounts beyond ds counted as ds;
// 0.0 when ds <= 0 or when all of them together fall short. `table` holds at
// least ds + 1 entries.
double least_clearing_cost(int32_t ds, std::span<const ClearChoice> choices,
                           std::span<int32_t> table);

// Least total clear_cost over a set of clearable lanes whose clear_gain adds
// up to at least ds; 0.0 when ds <= 0 or when all of them cannot reach ds.
double clearing_cost(int32_t ds, std::span<const LaneSummary> lane_info, int32_t lane_count);

// Sets extra, blokaj, h and f of a state whose summaries, totals, g_star, ds
// and g are in place.
void compose_heuristic(LaneState& state, int32_t lane_count);

}  // namespace velmora
