#pragma once
// Shared helpers: field-by-field state comparison and a random board generator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <random>
#include <tuple>
#include <vector>

#include "board/lane_state.h"
#include "board/layout.h"

namespace velmora {

// misplaced, run_top, run_free, clear_cost, clear_gain, length, clearable, empty_len
inline void PrintTo(const LaneSummary& s, std::ostream* os) {
  *os << ::testing::PrintToString(std::make_tuple(s.misplaced, s.run_top, s.run_free, s.clear_cost,
                                                  s.clear_gain, s.length, +s.clearable, s.empty_len));
}

// The measures that a LaneState and a Position's Measures both carry.
template <class S>
auto measures(const S& s) {
  return std::tie(s.hash, s.demand, s.supply, s.empty_slots, s.blokaj, s.g_star, s.ds, s.extra,
                  s.h, s.f, s.g, s.last_src, s.last_dst);
}

// Every field, all 100 lane summaries included (those past the board stay zero).
inline void expect_same_state(const LaneState& got, const LaneState& want) {
  EXPECT_TRUE(got.grid == want.grid);
  EXPECT_EQ(measures(got), measures(want));
  for (std::size_t i = 0; i < got.lane_info.size(); ++i) {
    EXPECT_EQ(got.lane_info[i], want.lane_info[i]) << "lane " << i;
  }
}

// Up to 12 lanes of 0 to 7 slots, empty lanes, gaps between items, mostly
// levels 1..5 with some values above. `packed` puts the items at the back.
inline Lanes random_lanes(std::mt19937& rng, bool packed) {
  std::uniform_int_distribution<int> lane_count(0, 12), len(0, 7), pct(0, 99), level(1, 5),
      high(6, 255);
  Lanes lanes(static_cast<std::size_t>(lane_count(rng)));
  for (auto& lane : lanes) {
    lane.assign(static_cast<std::size_t>(len(rng)), 0);
    const int fill = pct(rng);
    for (auto& cell : lane) {
      if (pct(rng) < fill) cell = pct(rng) < 8 ? high(rng) : level(rng);
    }
    if (packed) std::stable_partition(lane.begin(), lane.end(), [](int v) { return v == 0; });
  }
  return lanes;
}

}  // namespace velmora
