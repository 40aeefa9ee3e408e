#include "board/lane_state.h"

#include <cstddef>
#include <limits>

#include "board/zobrist.h"
#include "bounds/heuristic.h"

namespace velmora {
namespace {

bool is_level(int32_t v) { return v >= 1 && v <= kTopLevel; }

}  // namespace

void clear_state(LaneState& state) {
  // hash, g, h and f are left alone: whoever fills the record sets them.
  state.grid.fill(0);
  state.blokaj = 0;
  state.lane_info.fill(LaneSummary{});
  state.demand.fill(0);
  state.supply.fill(0);
  state.empty_slots = 0;
  state.g_star = -1;
  state.ds = 0;
  state.extra = 0.0;
  state.last_src = -1;
  state.last_dst = -1;
}

LaneSummary summarise_lane(const Grid& grid, const BoardLayout& layout, int32_t lane,
                           int32_t threshold) {
  LaneSummary s{};
  s.length = layout.lane_len[static_cast<std::size_t>(lane)];
  if (s.length <= 0) {
    s.empty_len = s.length;
    return s;
  }
  const uint8_t* cells = grid.data() + static_cast<std::ptrdiff_t>(lane) * layout.capacity;

  int32_t back = s.length - 1;
  while (back >= 0 && cells[back] == 0) --back;
  if (back < 0) {
    s.empty_len = s.length;
    return s;
  }

  // Walk the slots from the back: the first item greater than the one behind
  // it breaks the ordered run. Working on slots rather than a gathered item
  // list gives the same breaking item and bounds nothing by the item count,
  // which moves can push past the start limit.
  int32_t run_front = cells[back];
  int32_t breaking = -1;
  for (int32_t slot = back - 1; slot >= 0; --slot) {
    const int32_t v = cells[slot];
    if (v == 0) continue;
    if (v > run_front) {
      breaking = slot;
      break;
    }
    run_front = v;
  }

  if (breaking >= 0) {
    if (run_front <= kTopLevel) {
      s.run_top = run_front;
      s.run_free = breaking + 1;
    }
    for (int32_t slot = 0; slot <= breaking; ++slot) {
      const int32_t v = cells[slot];
      if (is_level(v)) ++s.misplaced[static_cast<std::size_t>(v)];
    }
  }

  if (threshold <= 0) return s;
  int32_t below = 0;
  int32_t at_or_above = 0;
  for (int32_t slot = breaking + 1; slot <= back; ++slot) {
    const int32_t v = cells[slot];
    if (v == 0) continue;
    if (v < threshold) {
      ++below;
    } else {
      ++at_or_above;
    }
  }
  if (below > 0) {
    s.clearable = 1;
    s.clear_cost = below;
    s.clear_gain = s.length - at_or_above;
  }
  return s;
}

void summarise_lanes(const Grid& grid, const BoardLayout& layout, LaneState& state,
                     int32_t threshold) {
  state.demand.fill(0);
  state.supply.fill(0);
  state.empty_slots = 0;
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    const LaneSummary s = summarise_lane(grid, layout, i, threshold);
    state.lane_info[static_cast<std::size_t>(i)] = s;
    count_lane(s, +1, state.demand, state.supply, state.empty_slots);
  }
}

LevelCounts deficits(const LevelCounts& demand, const LevelCounts& supply) {
  LevelCounts diff{};
  int32_t demand_above = 0;
  int32_t supply_above = 0;
  for (int32_t k = kTopLevel; k >= 1; --k) {
    const auto i = static_cast<std::size_t>(k);
    demand_above += demand[i];
    supply_above += supply[i];
    diff[i] = demand_above - supply_above;
  }
  return diff;
}

GStarPick pick_g_star(const LevelCounts& demand, const LevelCounts& supply) {
  return pick_g_star(deficits(demand, supply));
}

LaneState evaluate_grid(const Grid& grid, const BoardLayout& layout, int32_t g,
                        int32_t last_src, int32_t last_dst) {
  LaneState state;
  clear_state(state);
  state.grid = grid;
  state.hash = grid_hash(state.grid, layout);
  state.g = g;
  state.last_src = last_src;
  state.last_dst = last_dst;
  summarise_lanes(state.grid, layout, state, 0);
  const GStarPick pick = pick_g_star(state.demand, state.supply);
  state.g_star = pick.g_star;
  state.ds = pick.deficit - state.empty_slots;
  // Again with the threshold, so that lane_info carries the clearing fields.
  summarise_lanes(state.grid, layout, state, state.g_star);
  compose_heuristic(state, layout.lane_count);
  return state;
}

LaneState evaluate_start(const BoardLayout& layout) {
  return evaluate_grid(layout.start_grid, layout, 0, -1, -1);
}

}  // namespace velmora
