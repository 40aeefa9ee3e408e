// Random boards and random move sequences: the incremental move application
// must agree with evaluation from scratch, and successor lists must hold
// exactly the legal children.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "board/layout.h"
#include "board/move.h"
#include "board/zobrist.h"
#include "bounds/successors.h"
#include "test_boards.h"

namespace velmora {
namespace {

using testing::expect_same_state;
using testing::random_lanes;

std::vector<int> sorted_items(const Grid& grid) {
  std::vector<int> items;
  for (uint8_t v : grid) {
    if (v != 0) items.push_back(v);
  }
  std::sort(items.begin(), items.end());
  return items;
}

// Properties no single formula restates: items are conserved and stay inside
// their lanes, h vanishes exactly on solved boards, untouched records stay zero.
void expect_invariants(const LaneState& s, const BoardLayout& layout,
                       const std::vector<int>& start_items) {
  EXPECT_EQ(sorted_items(s.grid), start_items);
  for (int32_t c = 0; c < kMaxCells; ++c) {
    const bool on_board = c < layout.lane_count * layout.capacity &&
                          c % layout.capacity < layout.lane_len[static_cast<std::size_t>(c / layout.capacity)];
    if (!on_board) {
      EXPECT_EQ(s.grid[static_cast<std::size_t>(c)], 0) << "cell " << c;
    }
  }
  for (int32_t i = layout.lane_count; i < kMaxLanes; ++i) {
    EXPECT_EQ(s.lane_info[static_cast<std::size_t>(i)], LaneSummary{}) << "lane " << i;
  }
  EXPECT_GE(s.g_star, 1);
  EXPECT_LE(s.g_star, kTopLevel);
  EXPECT_GE(s.extra, 0.0);
  EXPECT_EQ(s.extra, static_cast<double>(static_cast<int64_t>(s.extra)));
  EXPECT_EQ(s.h == 0.0, s.blokaj == 0);
  EXPECT_EQ(s.demand[0], 0);
  EXPECT_EQ(s.supply[0], 0);
}

struct Coverage {
  int children = 0;
  int g_star_changed = 0;
  int extra_reusable = 0;  // ds > 0 with g_star and ds as in the parent
  int extra_positive = 0;
};

// The successor list of `parent` holds one entry per legal move other than
// the reverse of the parent's move, in generation order, with the child's values.
void check_successors(const LaneState& parent, const BoardLayout& layout, std::mt19937& rng) {
  const bool tie_break = rng() % 2 == 0;
  const auto parent_score = static_cast<int64_t>(rng() % 2001) - 1000;
  const auto list = generate_successors(parent, layout, parent_score, tie_break);
  const int32_t n = layout.lane_count;
  EXPECT_LE(static_cast<int64_t>(list.size()), static_cast<int64_t>(n) * std::max(n - 1, 0));

  std::vector<std::pair<int32_t, int32_t>> want;
  for (int32_t src = 0; src < n; ++src) {
    for (int32_t dst = 0; dst < n; ++dst) {
      if (src == dst || (src == parent.last_dst && dst == parent.last_src)) continue;
      if (apply_move(parent, layout, src, dst)) want.emplace_back(src, dst);
    }
  }
  std::vector<std::pair<int32_t, int32_t>> got;
  std::set<uint64_t> hashes;
  for (const Successor& s : list) {
    got.emplace_back(s.src, s.dst);
    const auto child = apply_move(parent, layout, s.src, s.dst);
    ASSERT_TRUE(child);
    hashes.insert(child->hash);
    EXPECT_EQ(s.f, child->f);
    EXPECT_EQ(s.h, child->h);
    EXPECT_EQ(s.g, parent.g + 1);
    if (!tie_break) {
      EXPECT_EQ(s.score, 0);
    }
  }
  EXPECT_EQ(hashes.size(), list.size()) << "two entries for one position";
  // Distinct moves always give distinct grids, so nothing merges here.
  EXPECT_EQ(got, want);
}

void walk_board(const Lanes& lanes, std::mt19937& rng, Coverage& coverage) {
  const BoardLayout layout = build_layout(lanes);
  const std::vector<int> start_items = sorted_items(layout.start_grid);
  LaneState state = evaluate_start(layout);
  expect_invariants(state, layout, start_items);
  const int steps = std::uniform_int_distribution<int>(1, 30)(rng);
  for (int step = 0; step < steps; ++step) {
    check_successors(state, layout, rng);
    // Every possible child, the reverse of the last move included.
    std::vector<LaneState> children;
    for (int32_t src = 0; src < layout.lane_count; ++src) {
      for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
        if (src == dst) continue;
        const auto child = apply_move(state, layout, src, dst);
        if (!child) continue;
        SCOPED_TRACE(::testing::Message() << "step " << step << " move " << src << "->" << dst);
        expect_same_state(*child, evaluate_grid(child->grid, layout, state.g + 1, src, dst),
                          layout.lane_count);
        expect_invariants(*child, layout, start_items);
        ++coverage.children;
        if (child->g_star != state.g_star) ++coverage.g_star_changed;
        if (child->ds > 0 && child->ds == state.ds && child->g_star == state.g_star) {
          ++coverage.extra_reusable;
        }
        if (child->extra > 0.0) ++coverage.extra_positive;
        children.push_back(*child);
      }
    }
    if (children.empty() || ::testing::Test::HasFailure()) return;
    state = children[rng() % children.size()];
  }
}

TEST(Property, IncrementalMovesMatchEvaluationFromScratch) {
  std::mt19937 rng(20240611);
  Coverage coverage;
  for (int board = 0; board < 300 && !HasFailure(); ++board) {
    const Lanes lanes = random_lanes(rng, board % 2 == 0);
    SCOPED_TRACE(::testing::Message() << "board " << board);
    walk_board(lanes, rng, coverage);
  }
  // The random boards must reach the paths that differ: a new g_star, a
  // positive clearing cost, and the case where the parent's may be reused.
  EXPECT_GT(coverage.children, 20000);
  EXPECT_GT(coverage.g_star_changed, 1000);
  EXPECT_GT(coverage.extra_positive, 1000);
  EXPECT_GT(coverage.extra_reusable, 1000);
}

}  // namespace
}  // namespace velmora
