#pragma once
// The fixed-size search state with its cached per-lane analysis.

#include <array>
#include <cstdint>

#include "board/clearing.h"
#include "board/layout.h"
#include "board/measures.h"

namespace velmora {

struct LaneSummary {
  LevelCounts misplaced{};  // misplaced items per level
  int32_t run_top = 0;      // level of the ordered run's front item, when the lane breaks
  int32_t run_free = 0;     // breaking slot + 1, set with run_top
  int32_t clear_cost = 0;   // run items below the threshold (when clearable)
  int32_t clear_gain = 0;   // length minus run items at or above the threshold (when clearable)
  int32_t length = 0;
  uint8_t clearable = 0;
  int32_t empty_len = 0;    // length when the lane holds no item

  bool operator==(const LaneSummary&) const = default;
};

// The lane's clearing choice; a summary holds it at its own threshold only.
inline ClearChoice clear_choice(const LaneSummary& lane, int32_t /*threshold*/) {
  return lane.clearable ? ClearChoice{lane.clear_gain, lane.clear_cost} : ClearChoice{};
}

// The measures of a position with its grid and each lane's summary at the
// threshold g_star.
struct LaneState : Measures {
  Grid grid{};
  std::array<LaneSummary, kMaxLanes> lane_info{};
};

void clear_state(LaneState& state);

// The clearing cost of a state's lanes (their summaries at its g_star).
double clearing_cost(const LaneState& state, int32_t lane_count);

// Analysis of one lane; threshold <= 0 leaves the threshold fields at zero.
LaneSummary summarise_lane(const Grid& grid, const BoardLayout& layout, int32_t lane,
                           int32_t threshold);

// Fills lane_info, demand, supply and empty_slots of `state` from `grid`.
void summarise_lanes(const Grid& grid, const BoardLayout& layout, LaneState& state,
                     int32_t threshold);

// A state evaluated from scratch from its grid: the reference that every
// incremental or faster path must agree with, field by field.
LaneState evaluate_grid(const Grid& grid, const BoardLayout& layout, int32_t g,
                        int32_t last_src, int32_t last_dst);

// The start state: evaluate_grid of the layout's start grid, g 0, no last move.
LaneState evaluate_start(const BoardLayout& layout);

}  // namespace velmora
