#pragma once
// Shared helpers for the board and bounds tests: reading lanes back out of a
// state, field-by-field state comparison, and a random board generator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <random>
#include <vector>

#include "board/lane_state.h"
#include "board/layout.h"

namespace velmora {

// Readable failure output for lane summaries.
inline void PrintTo(const LaneSummary& s, std::ostream* os) {
  *os << "{misplaced=";
  for (int32_t k = 1; k <= kTopLevel; ++k) *os << (k > 1 ? "," : "") << s.misplaced[k];
  *os << " run_top=" << s.run_top << " run_free=" << s.run_free
      << " clear_cost=" << s.clear_cost << " clear_gain=" << s.clear_gain
      << " length=" << s.length << " clearable=" << int{s.clearable}
      << " empty_len=" << s.empty_len << "}";
}

}  // namespace velmora

namespace velmora::testing {

// The lane's cells, front first, as plain ints.
inline std::vector<int> lane_cells(const Grid& grid, const BoardLayout& layout, int32_t lane) {
  std::vector<int> cells;
  for (int32_t s = 0; s < layout.lane_len[static_cast<std::size_t>(lane)]; ++s) {
    cells.push_back(grid[static_cast<std::size_t>(cell_of(layout, lane, s))]);
  }
  return cells;
}

inline LaneSummary summary_of(const Lanes& lanes, int32_t lane, int32_t threshold) {
  const BoardLayout layout = build_layout(lanes);
  return summarise_lane(layout.start_grid, layout, lane, threshold);
}

// Every field that evaluation defines, lane summaries up to lane_count.
inline void expect_same_state(const LaneState& got, const LaneState& want, int32_t lane_count) {
  EXPECT_TRUE(got.grid == want.grid);
  EXPECT_EQ(got.hash, want.hash);
  for (int32_t i = 0; i < lane_count; ++i) {
    EXPECT_EQ(got.lane_info[static_cast<std::size_t>(i)], want.lane_info[static_cast<std::size_t>(i)])
        << "lane " << i;
  }
  EXPECT_EQ(got.demand, want.demand);
  EXPECT_EQ(got.supply, want.supply);
  EXPECT_EQ(got.empty_slots, want.empty_slots);
  EXPECT_EQ(got.blokaj, want.blokaj);
  EXPECT_EQ(got.g_star, want.g_star);
  EXPECT_EQ(got.ds, want.ds);
  EXPECT_EQ(got.extra, want.extra);
  EXPECT_EQ(got.h, want.h);
  EXPECT_EQ(got.f, want.f);
  EXPECT_EQ(got.g, want.g);
  EXPECT_EQ(got.last_src, want.last_src);
  EXPECT_EQ(got.last_dst, want.last_dst);
}

// Random boards within the limits: up to 12 lanes of 0 to 7 slots, empty
// lanes, gaps between items, mostly levels 1..5 with some values above.
// With `packed` the items sit at the back of each lane, as play leaves them.
inline Lanes random_lanes(std::mt19937& rng, bool packed) {
  std::uniform_int_distribution<int> lane_count_dist(0, 12);
  std::uniform_int_distribution<int> len_dist(0, 7);
  std::uniform_int_distribution<int> pct(0, 99);
  std::uniform_int_distribution<int> level(1, 5);
  std::uniform_int_distribution<int> high(6, 255);
  Lanes lanes(static_cast<std::size_t>(lane_count_dist(rng)));
  for (auto& lane : lanes) {
    lane.assign(static_cast<std::size_t>(len_dist(rng)), 0);
    const int fill = pct(rng);  // per-lane fill rate; some lanes stay empty
    for (std::size_t s = 0; s < lane.size(); ++s) {
      if (pct(rng) >= fill) continue;
      lane[s] = pct(rng) < 8 ? high(rng) : level(rng);
    }
    if (packed) {
      std::stable_partition(lane.begin(), lane.end(), [](int v) { return v == 0; });
    }
  }
  return lanes;
}

}  // namespace velmora::testing
