#pragma once
// The fixed-size search state with its cached per-lane analysis.

#include <array>
#include <cstdint>

#include "board/layout.h"

namespace velmora {

using LevelCounts = std::array<int32_t, kTopLevel + 1>;  // index 1..5; entry 0 stays 0

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

struct LaneState {
  Grid grid{};
  uint64_t hash = 0;
  int32_t g = 0;
  double h = 0.0;
  double f = 0.0;
  int32_t blokaj = 0;
  std::array<LaneSummary, kMaxLanes> lane_info{};
  LevelCounts demand{};
  LevelCounts supply{};
  int32_t empty_slots = 0;
  int32_t g_star = -1;
  int32_t ds = 0;
  double extra = 0.0;
  int32_t last_src = -1;
  int32_t last_dst = -1;
};

struct GStarPick {
  int32_t g_star;
  int32_t deficit;  // the greatest deficit, diff(g_star)
};

void clear_state(LaneState& state);

// Adds (sign +1) or removes (sign -1) one lane's share of demand, supply and
// empty_slots; `Lane` is either form of a lane's analysis (LaneSummary, or
// the fast board's LaneFacts).
template <class Lane>
void count_lane(const Lane& lane, int32_t sign, LevelCounts& demand, LevelCounts& supply,
                int32_t& empty_slots) {
  for (int32_t k = 1; k <= kTopLevel; ++k) {
    demand[static_cast<std::size_t>(k)] += sign * lane.misplaced[static_cast<std::size_t>(k)];
  }
  if (lane.run_top >= 1 && lane.run_top <= kTopLevel) {
    supply[static_cast<std::size_t>(lane.run_top)] += sign * lane.run_free;
  }
  empty_slots += sign * lane.empty_len;
}

// Analysis of one lane; threshold <= 0 leaves the threshold fields at zero.
LaneSummary summarise_lane(const Grid& grid, const BoardLayout& layout, int32_t lane,
                           int32_t threshold);

// Fills lane_info, demand, supply and empty_slots of `state` from `grid`.
void summarise_lanes(const Grid& grid, const BoardLayout& layout, LaneState& state,
                     int32_t threshold);

// diff(k) for k = 1..5: misplaced items of level k and above less the supply
// of runs topped by level k and above. Entry 0 stays 0.
LevelCounts deficits(const LevelCounts& demand, const LevelCounts& supply);

// The level of greatest deficit; on equal deficits the higher level.
GStarPick pick_g_star(const LevelCounts& demand, const LevelCounts& supply);
// The same from the deficits diff(1..5).
inline GStarPick pick_g_star(const LevelCounts& diff) {
  GStarPick best{1, diff[1]};
  // Upwards, so that equal deficits keep the higher level.
  for (int32_t k = 2; k <= kTopLevel; ++k) {
    const int32_t deficit = diff[static_cast<std::size_t>(k)];
    if (deficit >= best.deficit) best = {k, deficit};
  }
  return best;
}

// A state evaluated from scratch from its grid: the reference that every
// incremental or faster path must agree with, field by field.
LaneState evaluate_grid(const Grid& grid, const BoardLayout& layout, int32_t g,
                        int32_t last_src, int32_t last_dst);

// The start state: evaluate_grid of the layout's start grid, g 0, no last move.
LaneState evaluate_start(const BoardLayout& layout);

}  // namespace velmora
