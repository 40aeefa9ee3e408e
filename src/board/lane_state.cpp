#include "board/lane_state.h"

#include <cstddef>
#include <vector>

#include "board/zobrist.h"

namespace velmora {
namespace {

bool is_level(int32_t v) { return v >= 1 && v <= kTopLevel; }

}  // namespace

void clear_state(LaneState& state) {
  static_cast<Measures&>(state) = Measures{};
  state.grid.fill(0);
  state.lane_info.fill(LaneSummary{});
}

double clearing_cost(const LaneState& state, int32_t lane_count) {
  if (state.ds <= 0) return 0.0;
  std::vector<int32_t> table(static_cast<std::size_t>(state.ds) + 1);
  const auto lane_at = [&](int32_t i) -> const LaneSummary& {
    return state.lane_info[static_cast<std::size_t>(i)];
  };
  return clearing_cost(state.ds, state.g_star, lane_count, lane_at, table);
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
  settle_counts(state, pick_g_star(state.demand, state.supply));
  // Again with the threshold, so that lane_info carries the clearing fields.
  summarise_lanes(state.grid, layout, state, state.g_star);
  state.extra = clearing_cost(state, layout.lane_count);
  compose_h(state);
  return state;
}

LaneState evaluate_start(const BoardLayout& layout) {
  return evaluate_grid(layout.start_grid, layout, 0, -1, -1);
}

}  // namespace velmora
