// Board model and bounds on worked examples: layout, limits and hash keys, lane
// analysis, start states, moves, clearing cost, successors and their order.

#include <optional>

#include "board/move.h"
#include "board/zobrist.h"
#include "board/lane_state.h"
#include "search/successors.h"
#include "test_boards.h"

namespace velmora {
namespace {

const Lanes kWorked{{0, 2, 1}, {0, 0, 3}};

// The grid keeps the low 8 bits (-1 is 255); a refusal names the limit (the
// limits themselves are checked through the module); the keys are fixed. The
// proof that no two moves of a position change the hash alike: it holds for
// the keys of ordinary boards, and gives up (false) beyond its budget,
// so that a big board costs nothing.
TEST(Layout, GridRefusalsKeysAndDistinctMoveKeys) {
  const BoardLayout layout = build_layout({{1, 2, 3}, {256, -1, 258, 0, 2}});
  EXPECT_EQ(std::vector<int>(layout.start_grid.begin(), layout.start_grid.begin() + 11),
            (std::vector<int>{1, 2, 3, 0, 0, 0, 255, 2, 0, 2, 0}));
  EXPECT_EQ(check_limits(Lanes(101, {1})), "too many lanes: 101 (at most 100)");
  EXPECT_EQ(check_limits(Lanes(40, std::vector<int32_t>(51, 0))),
            "too many cells: 2040 (40 lanes of up to 51 slots; at most 2000)");
  EXPECT_EQ(check_limits({{1}, std::vector<int32_t>(21, 3)}),
            "too many items in lane 1: 21 (at most 20)");
  // The keys decide which children merge, so they are pinned across builds.
  EXPECT_EQ(zobrist_key(0, 0), 0xc20369a413e28fc1ULL);
  EXPECT_EQ(zobrist_key(0, 1), 0xc722205f1c53d89fULL);
  const BoardLayout eleven = build_layout(Lanes(11, {0, 1, 2, 3, 4}));  // 55 cells, 4 values
  EXPECT_TRUE(move_keys_distinct(eleven, kMoveKeyBudget));
  EXPECT_TRUE(move_keys_distinct(build_layout(kWorked), 64));
  EXPECT_TRUE(move_keys_distinct(build_layout(Lanes(3, {0, 0})), 0));  // no item, no move
  EXPECT_FALSE(move_keys_distinct(eleven, 1000));  // 55 cells, 4 values: beyond this budget
  EXPECT_FALSE(move_keys_distinct(build_layout(Lanes(100, std::vector<int32_t>(20, 1))),
                                  kMoveKeyBudget));
}

TEST(LaneAnalysis, WorkedLanes) {
  // misplaced, run_top, run_free, clear_cost, clear_gain, length, clearable, empty_len
  const std::tuple<std::vector<int32_t>, int32_t, LaneSummary> cases[] = {
      {{0, 0, 3, 1}, 0, {{0, 0, 0, 1, 0, 0}, 1, 3, 0, 0, 4, 0, 0}},
      {{1, 2, 3}, 0, {{}, 0, 0, 0, 0, 3, 0, 0}},
      {{1, 2, 3}, 3, {{}, 0, 0, 2, 2, 3, 1, 0}},
      {{1, 2, 3}, 1, {{}, 0, 0, 0, 0, 3, 0, 0}},
      {{2, 2}, 0, {{}, 0, 0, 0, 0, 2, 0, 0}},
      {{2, 0, 1}, 0, {{0, 0, 1, 0, 0, 0}, 1, 1, 0, 0, 3, 0, 0}},  // run_free ends at the 2
      {{7, 3}, 0, {{}, 3, 1, 0, 0, 2, 0, 0}},                     // the 7 is not counted
      {{1, 9, 8}, 0, {{0, 1, 0, 0, 0, 0}, 0, 0, 0, 0, 3, 0, 0}},  // run top above 5
      {{0, 0, 0, 0}, 3, {{}, 0, 0, 0, 0, 4, 0, 4}},
      {{}, 3, {{}, 0, 0, 0, 0, 0, 0, 0}},
      {{1, 4, 0, 2, 3}, 3, {{0, 1, 0, 0, 1, 0}, 2, 2, 1, 4, 5, 1, 0}},  // only the run is cleared
  };
  for (const auto& [lane, threshold, want] : cases) {
    const BoardLayout layout = build_layout({lane});
    EXPECT_EQ(summarise_lane(layout.start_grid, layout, 0, threshold), want)
        << ::testing::PrintToString(lane) << " at " << threshold;
  }
}

TEST(StartState, WorkedBoards) {
  using Counts = LevelCounts;
  using I = int32_t;
  // lanes, demand, supply, empty_slots, blokaj, g_star, ds, extra, h
  const std::tuple<Lanes, Counts, Counts, I, I, I, I, double, double> cases[] = {
      {{{0, 3, 1}, {0, 0, 2}, {0, 0, 0}}, {0, 0, 0, 1, 0, 0}, {0, 2, 0, 0, 0, 0}, 3, 1, 3, -2, 0, 1},
      {kWorked, {0, 0, 1, 0, 0, 0}, {0, 2, 0, 0, 0, 0}, 0, 1, 2, 1, 1, 2},
      {{{0, 1, 2}, {0, 0, 5}, {3, 3}, {0, 0}, {0}}, {}, {}, 3, 0, 5, -3, 0, 0},
      {{}, {}, {}, 0, 0, 5, 0, 0, 0},
      {{{7, 6}}, {}, {}, 0, 0, 5, 0, 0, 0},
      {{{0, 0, 5}, {5, 1}}, {0, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 0, 0}, 0, 1, 5, 1, 1, 2},
      {kTrap, {0, 0, 1, 0, 0, 1}, {0, 1, 0, 0, 1, 0}, 3, 2, 5, -2, 0, 2},
  };
  for (const auto& [lanes, demand, supply, empty_slots, blokaj, g_star, ds, extra, h] : cases) {
    const LaneState s = evaluate_start(build_layout(lanes));
    EXPECT_EQ(std::tie(s.demand, s.supply, s.empty_slots, s.blokaj, s.g_star, s.ds, s.extra, s.h),
              std::tie(demand, supply, empty_slots, blokaj, g_star, ds, extra, h))
        << ::testing::PrintToString(lanes);
  }
}

TEST(Move, WorkedMovesAndLandingSlots) {
  const Lanes landing{{0, 4}, {0, 0, 0}, {0, 0, 5, 0, 2}, {0, 1}};
  using Measures = std::tuple<int32_t, int32_t, int32_t, double, double, double>;
  // lanes, move, lanes after; blokaj, g_star, ds, extra, h and f of the child
  const std::tuple<Lanes, int32_t, int32_t, Lanes, std::optional<Measures>> cases[] = {
      {kWorked, 0, 1, {{0, 0, 1}, {0, 2, 3}}, Measures{0, 5, 0, 0, 0, 1}},
      {kWorked, 1, 0, {{3, 2, 1}, {0, 0, 0}}, Measures{2, 2, -1, 0, 2, 3}},
      {kTrap, 3, 0, {{0, 0, 5}, {0, 0, 1}, {2, 1, 2}, {0, 4, 5}}, Measures{1, 2, 1, 1, 2, 3}},
      {landing, 0, 1, {{0, 0}, {0, 0, 4}, {0, 0, 5, 0, 2}, {0, 1}}, std::nullopt},
      {landing, 0, 2, {{0, 0}, {0, 0, 0}, {0, 4, 5, 0, 2}, {0, 1}}, std::nullopt},
      {landing, 2, 3, {{0, 4}, {0, 0, 0}, {0, 0, 0, 0, 2}, {5, 1}}, std::nullopt},  // no order rule
  };
  for (const auto& [lanes, src, dst, after, want] : cases) {
    SCOPED_TRACE(::testing::PrintToString(lanes) + " " + std::to_string(src) + std::to_string(dst));
    const BoardLayout layout = build_layout(lanes);
    const std::optional<LaneState> child = apply_move(evaluate_start(layout), layout, src, dst);
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->grid == build_layout(after).start_grid);
    expect_same_state(*child, evaluate_grid(child->grid, layout, 1, src, dst));
    if (want) {
      const LaneState& c = *child;
      EXPECT_EQ(std::tie(c.blokaj, c.g_star, c.ds, c.extra, c.h, c.f), *want);
    }
  }
  const BoardLayout layout = build_layout({{0, 0}, {}, {0, 4}, {1}, {2}, {3, 0, 1}});
  // Source without item, source of length 0, destination of length 0, full
  // one-slot destination, slot 0 taken despite a gap behind it.
  for (const auto& [src, dst] : {std::pair{0, 2}, {1, 2}, {2, 1}, {3, 4}, {2, 5}}) {
    EXPECT_FALSE(apply_move(evaluate_start(layout), layout, src, dst)) << src << "->" << dst;
  }
}

TEST(ClearingCost, CheapestLanesReachingDs) {
  const auto lane = [](int32_t gain, int32_t cost, uint8_t clearable = 1) {
    return LaneSummary{{}, 0, 0, cost, gain, 0, clearable, 0};
  };
  const std::tuple<int32_t, std::vector<LaneSummary>, double> cases[] = {
      {0, {lane(2, 1), lane(5, 4)}, 0.0},
      {3, {lane(2, 1), lane(3, 2), lane(1, 1)}, 2.0},
      {4, {lane(3, 1), lane(4, 5), lane(1, 1)}, 2.0},     // the pair beats the big lane
      {5, {lane(2, 1), lane(2, 1)}, 0.0},                 // all together fall short
      {2, {lane(7, 3)}, 3.0},                             // room beyond ds is not wasted
      {2, {lane(0, 1), lane(9, 1, 0), lane(2, 4)}, 4.0},  // only clearable lanes with room
  };
  for (const auto& [ds, lanes, want] : cases) {
    std::vector<int32_t> table(static_cast<std::size_t>(std::max(ds, 0)) + 1);
    const auto lane_at = [&](int32_t i) -> const LaneSummary& { return lanes[static_cast<std::size_t>(i)]; };
    EXPECT_EQ(clearing_cost(ds, 0, std::ssize(lanes), lane_at, table), want) << "ds " << ds;
  }
}

TEST(Successors, ScoresMergeRuleAndVisitingOrder) {
  const BoardLayout layout = build_layout({{0, 3, 1}, {0, 0, 2}, {0, 0, 0}});
  const LaneState start = evaluate_start(layout);
  const auto list = generate_successors(start, layout, 0, true);
  const auto inherited = generate_successors(start, layout, 1000, true);
  // src, dst, f, h, score; the parent's score is inherited unless h falls (only 0 -> 2).
  const std::tuple<int32_t, int32_t, double, double, int64_t> want[] = {
      {0, 1, 2, 1, -20}, {0, 2, 1, 0, -109}, {1, 0, 3, 2, 11}, {1, 2, 2, 1, 0}};
  ASSERT_EQ(std::make_pair(list.size(), inherited.size()), std::make_pair(size_t{4}, size_t{4}));
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(std::tie(list[i].src, list[i].dst, list[i].f, list[i].h, list[i].score), want[i]);
    EXPECT_EQ(inherited[i].score, list[i].score + (i == 1 ? 0 : 1000)) << i;
  }
  const auto entry = [](double f, int64_t score) { return Successor{0, 1, f, f - 1, score, 1}; };
  EXPECT_TRUE(takes_over(entry(5, -50), entry(4, 100)));
  EXPECT_FALSE(takes_over(entry(4, 100), entry(5, -50)));
  EXPECT_TRUE(takes_over(entry(4, 10), entry(4, 9)));
  EXPECT_FALSE(takes_over(entry(4, 9), entry(4, 10)));
  EXPECT_FALSE(takes_over(entry(4, 7), entry(4, 7)));  // a full tie keeps the first
  // f first, then h, then score: 3 -> 0 (f 3), 1 -> 0 (h 2, score -5), 0 -> 2, 0 -> 1 (h 3).
  std::vector<Successor> order{
      {0, 1, 4, 3, 0, 1}, {0, 2, 4, 2, 5, 1}, {1, 0, 4, 2, -5, 1}, {3, 0, 3, 3, 99, 1}};
  sort_successors(order, true);
  const std::tuple<int32_t, int32_t> sorted[] = {{3, 0}, {1, 0}, {0, 2}, {0, 1}};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(std::tie(order[i].src, order[i].dst), sorted[i]) << i;
}

}  // namespace
}  // namespace velmora
