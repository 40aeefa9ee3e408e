// Board model: layout, hashing, lane analysis, start state, move application.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

#include "board/lane_state.h"
#include "board/layout.h"
#include "board/move.h"
#include "board/zobrist.h"
#include "test_boards.h"

namespace velmora {
namespace {

using testing::expect_same_state;
using testing::lane_cells;
using testing::summary_of;

// ---- Layout and limits ----------------------------------------------------

TEST(Layout, CapacityIsLongestLaneAndRowStride) {
  const BoardLayout layout = build_layout({{1, 2, 3}, {4, 5, 0, 1, 2}});
  EXPECT_EQ(layout.lane_count, 2);
  EXPECT_EQ(layout.capacity, 5);
  EXPECT_EQ(layout.lane_len[0], 3);
  EXPECT_EQ(layout.lane_len[1], 5);
  const std::vector<int> first(layout.start_grid.begin(), layout.start_grid.begin() + 11);
  EXPECT_EQ(first, (std::vector<int>{1, 2, 3, 0, 0, 4, 5, 0, 1, 2, 0}));
}

TEST(Layout, KeepsLowEightBits) {
  const BoardLayout layout = build_layout({{256, -1, 258, 0}});
  EXPECT_EQ(lane_cells(layout.start_grid, layout, 0), (std::vector<int>{0, 255, 2, 0}));
}

TEST(Layout, EmptyBoardAndEmptyLists) {
  const BoardLayout none = build_layout({});
  EXPECT_EQ(none.lane_count, 0);
  EXPECT_EQ(none.capacity, 0);
  const BoardLayout hollow = build_layout({{}, {}});
  EXPECT_EQ(hollow.lane_count, 2);
  EXPECT_EQ(hollow.capacity, 0);
}

TEST(Limits, LaneCount) {
  EXPECT_EQ(check_limits(Lanes(100, std::vector<int32_t>{1})), std::nullopt);
  EXPECT_EQ(check_limits(Lanes(101, std::vector<int32_t>{1})), "too many lanes: 101 (at most 100)");
}

TEST(Limits, CellCount) {
  EXPECT_EQ(check_limits(Lanes(100, std::vector<int32_t>(20, 0))), std::nullopt);
  Lanes lanes(40, std::vector<int32_t>{1});
  lanes[7].assign(51, 0);  // 40 lanes at stride 51: 2040 cells
  const auto refusal = check_limits(lanes);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_NE(refusal->find("2040"), std::string::npos) << *refusal;
  EXPECT_NE(refusal->find("at most 2000"), std::string::npos) << *refusal;
}

TEST(Limits, ItemsPerLaneCountTheStoredValue) {
  std::vector<int32_t> lane(20, 3);
  lane.insert(lane.begin(), {0, 256, 512});  // all three store as empty slots
  EXPECT_EQ(check_limits({{1}, lane}), std::nullopt);
  lane.push_back(-1);  // stores as 255, a 21st item
  const auto refusal = check_limits({{1}, lane});
  ASSERT_TRUE(refusal.has_value());
  EXPECT_NE(refusal->find("lane 1: 21"), std::string::npos) << *refusal;
  EXPECT_NE(refusal->find("at most 20"), std::string::npos) << *refusal;
}

TEST(Limits, BuildLayoutRefusesWithTheSameMessage) {
  const Lanes lanes(101, std::vector<int32_t>{1});
  try {
    build_layout(lanes);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), *check_limits(lanes));
  }
}

// ---- Zobrist keys and hashing ----------------------------------------------

TEST(Zobrist, TableIsTheSeededSequence) {
  EXPECT_EQ(zobrist_key(0, 0), 0xc20369a413e28fc1ULL);
  EXPECT_EQ(zobrist_key(0, 1), 0xc722205f1c53d89fULL);
  // Entry k is output k + 1: check a cell in the middle and the very last key.
  std::mt19937_64 gen(0xdeadbeefULL);
  gen.discard(1234 * 256 + 17);
  EXPECT_EQ(zobrist_key(1234, 17), gen());
  gen.discard((1999 * 256 + 255) - (1234 * 256 + 17) - 1);
  EXPECT_EQ(zobrist_key(1999, 255), gen());
}

TEST(Zobrist, EmptyBoardsHashToZero) {
  const BoardLayout none = build_layout({});
  EXPECT_EQ(grid_hash(none.start_grid, none), 0u);
  const BoardLayout hollow = build_layout({{}, {}, {}});
  EXPECT_EQ(grid_hash(hollow.start_grid, hollow), 0u);
  EXPECT_EQ(evaluate_start(none).hash, 0u);
}

TEST(Zobrist, EmptyCellsHaveKeys) {
  const BoardLayout layout = build_layout({{0, 0}});
  EXPECT_EQ(grid_hash(layout.start_grid, layout), zobrist_key(0, 0) ^ zobrist_key(1, 0));
}

TEST(Zobrist, HashedAreaIsLaneCountTimesCapacity) {
  // Lanes of 3 and 5: cells 3 and 4 (lane 0's tail) count, cell 10 on does not.
  const BoardLayout layout = build_layout({{0, 1, 2}, {0, 0, 0, 3, 4}});
  Grid grid = layout.start_grid;
  const uint64_t full = grid_hash(grid, layout);
  grid[10] = 9;
  EXPECT_EQ(grid_hash(grid, layout), full);
  uint64_t without_tail = 0;
  for (int32_t c = 0; c < 10; ++c) {
    if (c != 3 && c != 4) without_tail ^= zobrist_key(c, grid[static_cast<std::size_t>(c)]);
  }
  EXPECT_EQ(full, without_tail ^ zobrist_key(3, 0) ^ zobrist_key(4, 0));
}

TEST(Zobrist, SamePositionByDifferentOrdersHashesAlike) {
  const BoardLayout layout = build_layout({{0, 1, 2}, {0, 3, 4}, {0, 0, 0}, {0, 0, 0}});
  const LaneState start = evaluate_start(layout);
  const auto a = apply_move(*apply_move(start, layout, 0, 2), layout, 1, 3);
  const auto b = apply_move(*apply_move(start, layout, 1, 3), layout, 0, 2);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->grid == b->grid);
  EXPECT_EQ(a->hash, b->hash);
  EXPECT_NE(a->hash, start.hash);
}

// ---- Lane analysis -----------------------------------------------------------

TEST(LaneAnalysis, OneMisplacedItem) {
  const LaneSummary s = summary_of({{0, 0, 3, 1}}, 0, 0);
  EXPECT_EQ(s.misplaced, (LevelCounts{0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(s.run_top, 1);
  EXPECT_EQ(s.run_free, 3);  // the 3 breaks the run in slot 2
  EXPECT_EQ(s.length, 4);
  EXPECT_EQ(s.empty_len, 0);
}

TEST(LaneAnalysis, OrderedLaneAndThresholds) {
  const LaneSummary plain = summary_of({{1, 2, 3}}, 0, 0);
  EXPECT_EQ(plain.misplaced, LevelCounts{});
  EXPECT_EQ(plain.run_top, 0);
  EXPECT_EQ(plain.run_free, 0);
  EXPECT_EQ(plain.clearable, 0);

  const LaneSummary at3 = summary_of({{1, 2, 3}}, 0, 3);
  EXPECT_EQ(at3.clearable, 1);
  EXPECT_EQ(at3.clear_cost, 2);
  EXPECT_EQ(at3.clear_gain, 2);

  const LaneSummary at1 = summary_of({{1, 2, 3}}, 0, 1);
  EXPECT_EQ(at1.clearable, 0);
  EXPECT_EQ(at1.clear_cost, 0);
  EXPECT_EQ(at1.clear_gain, 0);
}

TEST(LaneAnalysis, EqualAndHighValuesAreInOrder) {
  for (const Lanes& lanes : {Lanes{{2, 2}}, Lanes{{3, 7}}}) {
    const LaneSummary s = summary_of(lanes, 0, 0);
    EXPECT_EQ(s.misplaced, LevelCounts{});
    EXPECT_EQ(s.run_top, 0);
  }
}

TEST(LaneAnalysis, GapBetweenBreakingItemAndRun) {
  const LaneSummary s = summary_of({{2, 0, 1}}, 0, 0);
  EXPECT_EQ(s.misplaced, (LevelCounts{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(s.run_top, 1);
  EXPECT_EQ(s.run_free, 1);  // slots up to the breaking item, not up to the run
}

TEST(LaneAnalysis, HighValueMisplacedIsNotCounted) {
  const LaneSummary s = summary_of({{7, 3}}, 0, 0);
  EXPECT_EQ(s.misplaced, LevelCounts{});
  EXPECT_EQ(s.run_top, 3);
  EXPECT_EQ(s.run_free, 1);

  LaneState state;
  clear_state(state);
  const BoardLayout layout = build_layout({{7, 3}});
  summarise_lanes(layout.start_grid, layout, state, 0);
  EXPECT_EQ(state.supply, (LevelCounts{0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(state.demand, LevelCounts{});
}

TEST(LaneAnalysis, HighRunTopGivesNoSupply) {
  for (const Lanes& lanes : {Lanes{{1, 9, 8}}, Lanes{{1, 7, 6}}}) {
    const LaneSummary s = summary_of(lanes, 0, 0);
    EXPECT_EQ(s.misplaced, (LevelCounts{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(s.run_top, 0);
    EXPECT_EQ(s.run_free, 0);
  }
}

TEST(LaneAnalysis, EmptyLanes) {
  LaneSummary four{};
  four.length = 4;
  four.empty_len = 4;
  EXPECT_EQ(summary_of({{0, 0, 0, 0}}, 0, 3), four);
  EXPECT_EQ(summary_of({{}, {1}}, 0, 3), LaneSummary{});
}

TEST(LaneAnalysis, ThresholdCountsOnlyTheRun) {
  // Run 2, 3 behind the breaking 4; the misplaced 1 in front does not count.
  const LaneSummary s = summary_of({{1, 4, 0, 2, 3}}, 0, 3);
  EXPECT_EQ(s.misplaced, (LevelCounts{0, 1, 0, 0, 1, 0}));
  EXPECT_EQ(s.run_top, 2);
  EXPECT_EQ(s.run_free, 2);
  EXPECT_EQ(s.clearable, 1);
  EXPECT_EQ(s.clear_cost, 1);
  EXPECT_EQ(s.clear_gain, 4);  // length 5 less the one run item at 3 or above
}

// ---- Deficits, g_star and the start state ------------------------------------

TEST(GStar, EqualDeficitsPickTheHigherLevel) {
  const LevelCounts demand{0, 0, 0, 1, 1, 0};
  const LevelCounts supply{};
  EXPECT_EQ(deficits(demand, supply), (LevelCounts{0, 2, 2, 2, 1, 0}));
  const GStarPick pick = pick_g_star(demand, supply);
  EXPECT_EQ(pick.g_star, 3);
  EXPECT_EQ(pick.deficit, 2);
}

TEST(GStar, AllZeroPicksFive) {
  const GStarPick pick = pick_g_star(LevelCounts{}, LevelCounts{});
  EXPECT_EQ(pick.g_star, 5);
  EXPECT_EQ(pick.deficit, 0);
}

TEST(StartState, OneMisplacedThree) {
  const BoardLayout layout = build_layout({{0, 3, 1}, {0, 0, 2}, {0, 0, 0}});
  const LaneState s = evaluate_start(layout);
  EXPECT_EQ(s.demand, (LevelCounts{0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(s.supply, (LevelCounts{0, 2, 0, 0, 0, 0}));
  EXPECT_EQ(s.empty_slots, 3);
  EXPECT_EQ(deficits(s.demand, s.supply), (LevelCounts{0, -1, 1, 1, 0, 0}));
  EXPECT_EQ(s.blokaj, 1);
  EXPECT_EQ(s.g_star, 3);
  EXPECT_EQ(s.ds, -2);
  EXPECT_EQ(s.extra, 0.0);
  EXPECT_EQ(s.h, 1.0);
  EXPECT_EQ(s.f, 1.0);
  EXPECT_EQ(s.g, 0);
  EXPECT_EQ(s.last_src, -1);
  EXPECT_EQ(s.last_dst, -1);
  EXPECT_EQ(s.hash, grid_hash(layout.start_grid, layout));
}

TEST(StartState, ShortageOfRoomAddsClearingCost) {
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const LaneState s = evaluate_start(layout);
  EXPECT_EQ(s.demand, (LevelCounts{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(s.supply, (LevelCounts{0, 2, 0, 0, 0, 0}));
  EXPECT_EQ(s.empty_slots, 0);
  EXPECT_EQ(s.g_star, 2);
  EXPECT_EQ(s.ds, 1);
  // lane_info carries the clearing fields for g_star 2.
  EXPECT_EQ(s.lane_info[0].clearable, 1);
  EXPECT_EQ(s.lane_info[0].clear_cost, 1);
  EXPECT_EQ(s.lane_info[0].clear_gain, 3);
  EXPECT_EQ(s.lane_info[1].clearable, 0);
  EXPECT_EQ(s.extra, 1.0);
  EXPECT_EQ(s.blokaj, 1);
  EXPECT_EQ(s.h, 2.0);
  EXPECT_EQ(s.f, 2.0);
}

TEST(StartState, OrderedBoardIsSolved) {
  const BoardLayout layout = build_layout({{0, 1, 2}, {0, 0, 5}, {3, 3}, {0, 0}, {0}});
  const LaneState s = evaluate_start(layout);
  EXPECT_EQ(s.blokaj, 0);
  EXPECT_EQ(deficits(s.demand, s.supply), LevelCounts{});
  EXPECT_EQ(s.g_star, 5);
  EXPECT_EQ(s.ds, -3);  // minus the three empty slots
  EXPECT_EQ(s.h, 0.0);
}

TEST(StartState, NoLanes) {
  const BoardLayout layout = build_layout({});
  const LaneState s = evaluate_start(layout);
  EXPECT_EQ(s.blokaj, 0);
  EXPECT_EQ(s.g_star, 5);
  EXPECT_EQ(s.ds, 0);
  EXPECT_EQ(s.extra, 0.0);
  EXPECT_EQ(s.h, 0.0);
}

TEST(StartState, MisplacedHighValuesCountNowhere) {
  const LaneState s = evaluate_start(build_layout({{7, 6}}));
  EXPECT_EQ(s.blokaj, 0);
  EXPECT_EQ(s.h, 0.0);
}

TEST(StartState, FreeSlotsOfAnOrderedLaneAreNoSupply) {
  // The free slots in front of the lone 5 do not absorb the misplaced 5.
  const LaneState s = evaluate_start(build_layout({{0, 0, 5}, {5, 1}}));
  EXPECT_EQ(s.supply, (LevelCounts{0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(deficits(s.demand, s.supply)[5], 1);
  EXPECT_EQ(s.g_star, 5);
  EXPECT_EQ(s.ds, 1);
  EXPECT_EQ(s.extra, 1.0);
  EXPECT_EQ(s.h, 2.0);
}

// ---- Move application ----------------------------------------------------------

TEST(Move, WorkedMoveThatSolves) {
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const LaneState start = evaluate_start(layout);
  const auto child = apply_move(start, layout, 0, 1);
  ASSERT_TRUE(child);
  EXPECT_EQ(lane_cells(child->grid, layout, 0), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(lane_cells(child->grid, layout, 1), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(child->g, 1);
  EXPECT_EQ(child->blokaj, 0);
  EXPECT_EQ(child->g_star, 5);
  EXPECT_EQ(child->ds, 0);
  EXPECT_EQ(child->extra, 0.0);
  EXPECT_EQ(child->h, 0.0);
  EXPECT_EQ(child->f, 1.0);
  EXPECT_EQ(child->last_src, 0);
  EXPECT_EQ(child->last_dst, 1);
  // g_star moved from 2 to 5, so both lanes carry threshold-5 fields.
  EXPECT_EQ(child->lane_info[0].clear_cost, 1);
  EXPECT_EQ(child->lane_info[1].clear_cost, 2);
  expect_same_state(*child, evaluate_grid(child->grid, layout, 1, 0, 1), layout.lane_count);
}

TEST(Move, WorkedMoveIntoSlotZero) {
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const auto child = apply_move(evaluate_start(layout), layout, 1, 0);
  ASSERT_TRUE(child);
  EXPECT_EQ(lane_cells(child->grid, layout, 0), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(lane_cells(child->grid, layout, 1), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(child->demand, (LevelCounts{0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(child->supply, (LevelCounts{0, 2, 0, 0, 0, 0}));
  EXPECT_EQ(child->empty_slots, 3);
  EXPECT_EQ(child->blokaj, 2);
  EXPECT_EQ(child->g_star, 2);
  EXPECT_EQ(child->ds, -1);
  EXPECT_EQ(child->extra, 0.0);
  EXPECT_EQ(child->h, 2.0);
  EXPECT_EQ(child->f, 3.0);
}

TEST(Move, FirstMoveCanRaiseF) {
  // Solvable in two moves, yet the first one lifts f above the start's h.
  const BoardLayout layout = build_layout({{0, 0, 0}, {0, 0, 1}, {2, 1, 2}, {5, 4, 5}});
  const LaneState start = evaluate_start(layout);
  EXPECT_EQ(start.blokaj, 2);
  EXPECT_EQ(start.ds, -2);
  EXPECT_EQ(start.h, 2.0);
  const auto child = apply_move(start, layout, 3, 0);
  ASSERT_TRUE(child);
  EXPECT_EQ(child->blokaj, 1);
  EXPECT_EQ(child->ds, 1);
  EXPECT_EQ(child->extra, 1.0);
  EXPECT_EQ(child->h, 2.0);
  EXPECT_EQ(child->f, 3.0);
}

TEST(Move, ImpossibleMoves) {
  const BoardLayout layout = build_layout({{0, 0}, {}, {0, 4}, {1}, {2}, {3, 0, 1}});
  const LaneState start = evaluate_start(layout);
  EXPECT_FALSE(apply_move(start, layout, 0, 2)) << "source holds no item";
  EXPECT_FALSE(apply_move(start, layout, 1, 2)) << "source of length 0";
  EXPECT_FALSE(apply_move(start, layout, 2, 1)) << "destination of length 0";
  EXPECT_FALSE(apply_move(start, layout, 3, 4)) << "one-slot destination is full";
  EXPECT_FALSE(apply_move(start, layout, 2, 5)) << "slot 0 taken despite a gap behind it";
  EXPECT_TRUE(apply_move(start, layout, 5, 2)) << "control: a possible move";
}

TEST(Move, LandingSlots) {
  const BoardLayout layout = build_layout({{0, 4}, {0, 0, 0}, {0, 0, 5, 0, 2}, {0, 1}});
  const LaneState start = evaluate_start(layout);
  const auto into_empty = apply_move(start, layout, 0, 1);
  ASSERT_TRUE(into_empty);
  EXPECT_EQ(lane_cells(into_empty->grid, layout, 1), (std::vector<int>{0, 0, 4}));
  EXPECT_EQ(lane_cells(into_empty->grid, layout, 0), (std::vector<int>{0, 0}));

  const auto before_gap = apply_move(start, layout, 0, 2);
  ASSERT_TRUE(before_gap);
  EXPECT_EQ(lane_cells(before_gap->grid, layout, 2), (std::vector<int>{0, 4, 5, 0, 2}));

  // No order rule: a 5 may stand in front of a 1.
  const auto five_on_one = apply_move(start, layout, 2, 3);
  ASSERT_TRUE(five_on_one);
  EXPECT_EQ(lane_cells(five_on_one->grid, layout, 3), (std::vector<int>{5, 1}));
  EXPECT_EQ(five_on_one->demand[5], 1);
}

TEST(Move, ParentIsUntouched) {
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const LaneState start = evaluate_start(layout);
  const LaneState copy = start;
  ASSERT_TRUE(apply_move(start, layout, 1, 0));
  expect_same_state(start, copy, layout.lane_count);
}

TEST(Move, LaneMayGrowPastTheStartItemLimit) {
  // 20 items at the start; a move makes it 21, which the analysis must count.
  std::vector<int32_t> long_lane(25, 0);
  std::fill(long_lane.begin() + 5, long_lane.end(), 1);
  const BoardLayout layout = build_layout({long_lane, {0, 3}});
  const auto child = apply_move(evaluate_start(layout), layout, 1, 0);
  ASSERT_TRUE(child);
  EXPECT_EQ(child->lane_info[0].misplaced[3], 1);
  EXPECT_EQ(child->lane_info[0].run_top, 1);
  EXPECT_EQ(child->lane_info[0].run_free, 5);
  expect_same_state(*child, evaluate_grid(child->grid, layout, 1, 1, 0), layout.lane_count);
}

}  // namespace
}  // namespace velmora
