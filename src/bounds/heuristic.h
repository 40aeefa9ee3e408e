#pragma once
// The heuristic h = blokaj + extra, and the clearing cost behind `extra`.

#include <cstdint>
#include <span>

#include "board/lane_state.h"

namespace velmora {

// Least total clear_cost over a set of clearable lanes whose clear_gain adds
// up to at least ds; 0.0 when ds <= 0 or when all of them cannot reach ds.
double clearing_cost(int32_t ds, std::span<const LaneSummary> lane_info, int32_t lane_count);

// Sets extra, blokaj, h and f of a state whose summaries, totals, g_star, ds
// and g are in place.
void compose_heuristic(LaneState& state, int32_t lane_count);

}  // namespace velmora
