#pragma once
// Shared helpers and headers: state comparison, random boards, hooks that
// record a run, and the replay of a run's solution by the move rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "board/lane_state.h"
#include "board/layout.h"
#include "search/run_driver.h"

namespace velmora {

// Levels 1..5 packed at the back of each lane, `fill` of the slots taken.
inline Lanes packed_board(std::mt19937& rng, int lanes, int slots, double fill) {
  Lanes board(static_cast<std::size_t>(lanes), std::vector<int32_t>(static_cast<std::size_t>(slots), 0));
  std::vector<int> free(static_cast<std::size_t>(lanes), slots);
  for (int items = static_cast<int>(lanes * slots * fill); items > 0;) {
    const auto lane = rng() % static_cast<unsigned>(lanes);
    if (free[lane] == 0) continue;
    board[lane][static_cast<std::size_t>(--free[lane])] = static_cast<int32_t>(1 + rng() % 5);
    --items;
  }
  return board;
}

// misplaced, run_top, run_free, clear_cost, clear_gain, length, clearable, empty_len
inline void PrintTo(const LaneSummary& s, std::ostream* os) {
  *os << ::testing::PrintToString(std::make_tuple(s.misplaced, s.run_top, s.run_free, s.clear_cost,
                                                  s.clear_gain, s.length, +s.clearable, s.empty_len));
}

inline void PrintTo(const Measures& s, std::ostream* os) {
  *os << ::testing::PrintToString(std::tie(s.hash, s.demand, s.supply, s.empty_slots, s.blokaj,
                                           s.g_star, s.ds, s.extra, s.h, s.f, s.g, s.last_src,
                                           s.last_dst));
}

// Every field, all 100 lane summaries included (those past the board stay zero).
inline void expect_same_state(const LaneState& got, const LaneState& want) {
  EXPECT_TRUE(got.grid == want.grid);
  EXPECT_EQ(static_cast<const Measures&>(got), static_cast<const Measures&>(want));
  for (std::size_t i = 0; i < got.lane_info.size(); ++i) {
    EXPECT_EQ(got.lane_info[i], want.lane_info[i]) << "lane " << i;
  }
}

// The draws of random_lanes. The defaults: up to 12 lanes of 0 to 7 slots,
// each lane with a share of items of its own, 8 % of them above level 5.
struct BoardShape {
  int min_lanes = 0;
  int max_lanes = 12;
  int max_slots = 7;
  std::optional<int> fill_pct;  // chance that a slot holds an item; unset: drawn per lane
  int high_pct = 8;             // chance that an item is above 5, up to max_high
  int max_high = 255;
};

// Lanes of `shape` with empty lanes, gaps between items, mostly levels 1..5
// and some values above. `packed` puts the items at the back.
inline Lanes random_lanes(std::mt19937& rng, bool packed, const BoardShape& shape = {}) {
  std::uniform_int_distribution<int> lane_count(shape.min_lanes, shape.max_lanes),
      len(0, shape.max_slots), pct(0, 99), level(1, 5), high(6, shape.max_high);
  Lanes lanes(static_cast<std::size_t>(lane_count(rng)));
  for (auto& lane : lanes) {
    lane.assign(static_cast<std::size_t>(len(rng)), 0);
    const int fill = shape.fill_pct ? *shape.fill_pct : pct(rng);
    for (auto& cell : lane) {
      if (pct(rng) < fill) cell = pct(rng) < shape.high_pct ? high(rng) : level(rng);
    }
    if (packed) std::stable_partition(lane.begin(), lane.end(), [](int v) { return v == 0; });
  }
  return lanes;
}

// The slot of the lane's front item, -1 for a lane without items.
inline int32_t first_item_slot(const std::vector<int32_t>& lane) {
  const auto it = std::ranges::find_if(lane, [](int32_t v) { return v != 0; });
  return it == lane.end() ? -1 : static_cast<int32_t>(it - lane.begin());
}

// The move rule on plain lanes: the front item of src goes in front of dst's
// items, or into its last slot. The slots it left and took; nullopt when
// the move is not legal.
inline std::optional<std::pair<int32_t, int32_t>> move_item(Lanes& lanes, int32_t src, int32_t dst) {
  auto &s = lanes.at(src), &d = lanes.at(dst);
  const int32_t from = first_item_slot(s), front = first_item_slot(d);
  const int32_t to = (front < 0 ? std::ssize(d) : front) - 1;
  if (src == dst || from < 0 || to < 0) return std::nullopt;
  d[to] = std::exchange(s[from], 0);
  return std::pair{from, to};
}

// 2 to 100 lanes of 1 to 40 slots (within 2000 cells and 20 items a lane),
// each in order, then scrambled by `moves` random legal moves: boards of
// every width whose searches end within a few nodes.
inline Lanes wide_lanes(std::mt19937& rng, int moves) {
  const int lane_count = 2 + static_cast<int>(rng() % 99);
  const int slots = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(40, 2000 / lane_count)));
  Lanes lanes(static_cast<std::size_t>(lane_count));
  for (auto& lane : lanes) {
    lane.assign(1 + rng() % static_cast<unsigned>(slots), 0);
    const std::size_t items = rng() % (std::min<std::size_t>(lane.size(), 20) + 1);
    std::vector<int32_t> values(items);
    for (auto& v : values) v = static_cast<int32_t>(1 + rng() % 6);  // now and then above 5
    std::sort(values.begin(), values.end());
    std::copy(values.begin(), values.end(), lane.end() - static_cast<std::ptrdiff_t>(items));
  }
  for (int m = 0; m < moves; ++m) {
    const int32_t src = rng() % lanes.size(), dst = rng() % lanes.size();
    if (std::ranges::count_if(lanes[dst], [](int32_t v) { return v != 0; }) < 20) move_item(lanes, src, dst);
  }
  return lanes;
}

// Not solved within h: its first move raises f.
inline const Lanes kTrap{{0, 0, 0}, {0, 0, 1}, {2, 1, 2}, {5, 4, 5}};

inline int64_t count_lines(const std::vector<std::string>& lines, std::string_view fragment) {
  return std::ranges::count_if(lines, [&](auto& line) { return line.find(fragment) != line.npos; });
}

// The lines with the elapsed seconds cut off.
inline std::vector<std::string> untimed(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    out.push_back(std::regex_replace(line, std::regex("[0-9]+\\.[0-9]{6}(s?)\n"), "$1\n"));
  }
  return out;
}

// Hooks that keep every log line (workers write too) and count the stop
// polls; a run that never stops raising its bound ends after 100 iterations.
struct Recorder {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::atomic<int> stop_polls{0};
  int iterations = 0;
  RunHooks hooks{[this](std::string_view text) {
                   std::lock_guard lock(mutex);
                   lines.emplace_back(text);
                 },
                 [this] { ++stop_polls; return false; },
                 [this] { return ++iterations > 100; }, {}};
};

// Replays the path by the move rule, checks every field of every step, and
// that the board ends solved.
inline void expect_solution(const Lanes& lanes, const RunOutcome& out) {
  ASSERT_EQ(out.end, RunEnd::solved);
  ASSERT_FALSE(out.path.empty());
  EXPECT_EQ(out.start_h, evaluate_start(build_layout(lanes)).h);
  Lanes board = lanes;
  for (int32_t g = 1; const PathStep& step : out.path) {
    const auto slots = move_item(board, step.src_lane, step.dst_lane);
    ASSERT_TRUE(slots) << "step " << g;
    const auto [from, to] = *slots;
    const LaneState s = evaluate_start(build_layout(board));
    EXPECT_EQ(step, (PathStep{step.src_lane, from, step.dst_lane, to, board.at(step.dst_lane)[to], g,
                              s.h, g + s.h, 0}));
    EXPECT_TRUE(g < std::ssize(out.path) || s.blokaj == 0) << "not solved";
    ++g;
  }
}

}  // namespace velmora
