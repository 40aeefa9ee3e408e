// Bounds: clearing cost, successor generation, merge rule and visiting order.

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "board/layout.h"
#include "board/move.h"
#include "bounds/heuristic.h"
#include "bounds/successors.h"
#include "test_boards.h"

namespace velmora {
namespace {

LaneSummary clearable_lane(int32_t gain, int32_t cost) {
  LaneSummary s{};
  s.clearable = 1;
  s.clear_gain = gain;
  s.clear_cost = cost;
  return s;
}

double cost_of(int32_t ds, const std::vector<LaneSummary>& lanes) {
  return clearing_cost(ds, lanes, static_cast<int32_t>(lanes.size()));
}

// ---- Clearing cost -------------------------------------------------------------

TEST(ClearingCost, NoShortageCostsNothing) {
  const std::vector<LaneSummary> lanes{clearable_lane(2, 1), clearable_lane(5, 4)};
  EXPECT_EQ(cost_of(0, lanes), 0.0);
  EXPECT_EQ(cost_of(-3, lanes), 0.0);
}

TEST(ClearingCost, CheapestSetReachingDs) {
  // Lanes 0 and 2, or lane 1 alone: either way 2.
  EXPECT_EQ(cost_of(3, {clearable_lane(2, 1), clearable_lane(3, 2), clearable_lane(1, 1)}), 2.0);
  // The cheap lane alone falls short; the pair beats the big lane.
  EXPECT_EQ(cost_of(4, {clearable_lane(3, 1), clearable_lane(4, 5), clearable_lane(1, 1)}), 2.0);
}

TEST(ClearingCost, AllLanesTogetherFallShort) {
  EXPECT_EQ(cost_of(5, {clearable_lane(2, 1), clearable_lane(2, 1)}), 0.0);
}

TEST(ClearingCost, RoomBeyondDsIsNotWasted) {
  EXPECT_EQ(cost_of(2, {clearable_lane(7, 3)}), 3.0);
}

TEST(ClearingCost, OnlyClearableLanesWithRoomCount) {
  LaneSummary not_clearable = clearable_lane(9, 1);
  not_clearable.clearable = 0;
  EXPECT_EQ(cost_of(1, {not_clearable}), 0.0);
  EXPECT_EQ(cost_of(1, {}), 0.0);
  EXPECT_EQ(cost_of(2, {clearable_lane(0, 1), not_clearable, clearable_lane(2, 4)}), 4.0);
}

TEST(ClearingCost, ReadsOnlyLaneCountEntries) {
  const std::vector<LaneSummary> lanes{clearable_lane(1, 1), clearable_lane(5, 1)};
  EXPECT_EQ(clearing_cost(2, lanes, 1), 0.0);
}

TEST(ClearingCost, MatchesExhaustiveSearch) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> count(0, 9);
  std::uniform_int_distribution<int> gain(-1, 8);
  std::uniform_int_distribution<int> cost(1, 6);
  std::uniform_int_distribution<int> ds_dist(-2, 25);
  std::uniform_int_distribution<int> coin(0, 3);
  for (int round = 0; round < 2000; ++round) {
    std::vector<LaneSummary> lanes(static_cast<std::size_t>(count(rng)));
    for (auto& lane : lanes) {
      lane = clearable_lane(gain(rng), cost(rng));
      lane.clearable = coin(rng) != 0;
    }
    const int32_t ds = ds_dist(rng);
    // Least cost over every subset of usable lanes whose room reaches ds.
    int best = -1;
    int usable_room = 0;
    for (const auto& lane : lanes) {
      if (lane.clearable && lane.clear_gain > 0) usable_room += lane.clear_gain;
    }
    for (unsigned mask = 0; mask < (1u << lanes.size()); ++mask) {
      int room = 0;
      int total = 0;
      for (std::size_t i = 0; i < lanes.size(); ++i) {
        if (!(mask >> i & 1u) || !lanes[i].clearable || lanes[i].clear_gain <= 0) continue;
        room += lanes[i].clear_gain;
        total += lanes[i].clear_cost;
      }
      if (room >= ds && (best < 0 || total < best)) best = total;
    }
    const double want = (ds <= 0 || usable_room < ds) ? 0.0 : best;
    ASSERT_EQ(cost_of(ds, lanes), want) << "round " << round << " ds " << ds;
  }
}

// ---- Successor generation ----------------------------------------------------------

using Pair = std::pair<int32_t, int32_t>;

std::vector<Pair> moves_of(const std::vector<Successor>& list) {
  std::vector<Pair> moves;
  for (const auto& s : list) moves.emplace_back(s.src, s.dst);
  return moves;
}

class SuccessorTable : public ::testing::Test {
 protected:
  BoardLayout layout = build_layout({{0, 3, 1}, {0, 0, 2}, {0, 0, 0}});
  LaneState start = evaluate_start(layout);
};

TEST_F(SuccessorTable, WorkedExampleWithTieBreak) {
  const auto list = generate_successors(start, layout, 0, true);
  ASSERT_EQ(moves_of(list), (std::vector<Pair>{{0, 1}, {0, 2}, {1, 0}, {1, 2}}));
  const std::vector<double> f{2.0, 1.0, 3.0, 2.0};
  const std::vector<double> h{1.0, 0.0, 2.0, 1.0};
  const std::vector<int64_t> score{-20, -109, 11, 0};
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].f, f[i]) << i;
    EXPECT_EQ(list[i].h, h[i]) << i;
    EXPECT_EQ(list[i].score, score[i]) << i;
    EXPECT_EQ(list[i].g, 1) << i;
  }
}

TEST_F(SuccessorTable, ParentScoreInheritedUnlessHFalls) {
  // Only the move to lane 2 lowers h (1 to 0), so only it starts afresh.
  const auto list = generate_successors(start, layout, 1000, true);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].score, -20 + 1000);  // h equal
  EXPECT_EQ(list[1].score, -109);        // h lower
  EXPECT_EQ(list[2].score, 11 + 1000);   // h higher
  EXPECT_EQ(list[3].score, 0 + 1000);    // h equal
}

TEST_F(SuccessorTable, NoTieBreakMeansZeroScores) {
  for (const auto& s : generate_successors(start, layout, 12345, false)) {
    EXPECT_EQ(s.score, 0) << s.src << "->" << s.dst;
  }
}

TEST_F(SuccessorTable, OnlyTheExactReverseIsSkipped) {
  const auto child = apply_move(start, layout, 0, 2);
  ASSERT_TRUE(child);
  // Lanes 0,0,1 / 0,0,2 / 0,0,3: every pair is possible except undoing 0 -> 2.
  EXPECT_EQ(moves_of(generate_successors(*child, layout, 0, false)),
            (std::vector<Pair>{{0, 1}, {0, 2}, {1, 0}, {1, 2}, {2, 1}}));
}

TEST(Successors, NothingToGenerate) {
  for (const Lanes& lanes : {Lanes{{1, 2}}, Lanes{{1}, {2}}, Lanes{{0, 0}, {0}}, Lanes{}}) {
    const BoardLayout layout = build_layout(lanes);
    EXPECT_TRUE(generate_successors(evaluate_start(layout), layout, 0, true).empty());
  }
}

TEST(Successors, FullDestinationsAndEmptySourcesGiveNoChild) {
  // Lane 0 is full, so 1 -> 0 yields nothing; lane 2 holds no item, so it is no source.
  const BoardLayout layout = build_layout({{4, 1}, {0, 3}, {0, 0}});
  EXPECT_EQ(moves_of(generate_successors(evaluate_start(layout), layout, 0, false)),
            (std::vector<Pair>{{0, 1}, {0, 2}, {1, 2}}));
}

// ---- Merge rule for equal child hashes -------------------------------------------

Successor entry(double f, int64_t score, int32_t src = 0) { return {src, 1, f, f - 1.0, score, 1}; }

TEST(MergeRule, LowerFTakesOver) {
  EXPECT_TRUE(takes_over(entry(5.0, -50), entry(4.0, 100)));
  EXPECT_FALSE(takes_over(entry(4.0, 100), entry(5.0, -50)));
}

TEST(MergeRule, EqualFLowerScoreTakesOver) {
  EXPECT_TRUE(takes_over(entry(4.0, 10), entry(4.0, 9)));
  EXPECT_FALSE(takes_over(entry(4.0, 9), entry(4.0, 10)));
}

TEST(MergeRule, FullTieKeepsTheFirst) {
  EXPECT_FALSE(takes_over(entry(4.0, 7, 0), entry(4.0, 7, 3)));
}

// ---- Visiting order ----------------------------------------------------------------

TEST(SortSuccessors, WithoutTieBreakOnlyFCountsAndTiesKeepOrder) {
  std::vector<Successor> list{{0, 1, 3.0, 2.0, -9, 1}, {0, 2, 2.0, 1.0, 50, 1},
                              {1, 0, 3.0, 2.0, -99, 1}, {1, 2, 2.0, 1.0, 0, 1}};
  sort_successors(list, false);
  EXPECT_EQ(moves_of(list), (std::vector<Pair>{{0, 2}, {1, 2}, {0, 1}, {1, 0}}));
}

TEST(SortSuccessors, TieBreakKeys) {
  std::vector<Successor> list{
      {0, 1, 4.0, 3.0, 0, 1},   // f, then h 3: after the h-2 entries
      {0, 2, 4.0, 2.0, 5, 2},   // h 2, score 5
      {1, 0, 4.0, 2.0, -5, 2},  // h 2, score -5: first among f 4
      {1, 2, 4.0, 2.0, 5, 3},   // ties 0->2 up to g; higher g first
      {2, 0, 3.0, 3.0, 99, 0},  // lowest f wins over everything
      {2, 1, 4.0, 2.0, 5, 3},   // full tie with 1->2: stays behind it
  };
  sort_successors(list, true);
  EXPECT_EQ(moves_of(list),
            (std::vector<Pair>{{2, 0}, {1, 0}, {1, 2}, {2, 1}, {0, 2}, {0, 1}}));
}

}  // namespace
}  // namespace velmora
