// The planner's board and lower bound against whole enumerated spaces.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "plan/lower_bound.h"
#include "plan/plan_board.h"
#include "plan_space.h"
#include "test_boards.h"

namespace velmora {
namespace {

// On every reachable position of 420 boards: the bound is at most the
// distance to the nearest sorted position, 0 exactly there, and the same
// from the board's kept counts as lane by lane.
TEST(PlanBound, AdmissibleOnEveryReachablePosition) {
  int64_t checks = 0;
  int64_t raised = 0;  // positions where the bound is above the misplaced count
  int64_t raised_more = 0;  // ... by more than one: only the room count does that
  for (const auto* cases : {&small_cases(), &big_item_cases()}) {
    for (const SmallCase& c : *cases) {
      EXPECT_FALSE(c.violation) << ::testing::PrintToString(c.lanes) << ": " << *c.violation;
      checks += c.positions;
      raised += c.raised;
      raised_more += c.raised_more;
    }
  }
  EXPECT_GT(checks, 1'000'000);
  EXPECT_GT(raised, 10'000);  // the terms above the misplaced count are exercised
  EXPECT_GT(raised_more, 1'000);
  std::printf("bound raised on %lld positions, by 2 or more on %lld, of %lld\n",
              static_cast<long long>(raised), static_cast<long long>(raised_more),
              static_cast<long long>(checks));
}

// The cached figures, the key and the bound from kept counts follow the
// cells through moves and undos.
TEST(PlanBoard, MovesAndUndosKeepTheCache) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    const BoardLayout layout = build_layout(random_lanes(rng, round % 2 == 0));
    PlanBoard board(layout);
    ASSERT_TRUE(board.is_ok());
    const PositionKey start = board.key();
    int made = 0;
    for (int step = 0; step < 30 && layout.lane_count > 1; ++step) {
      const auto src = static_cast<int32_t>(rng() % static_cast<unsigned>(layout.lane_count));
      const auto dst = static_cast<int32_t>(rng() % static_cast<unsigned>(layout.lane_count));
      Grid want = board.grid();
      const bool legal = move_cells(layout, want.data(), src, dst);
      ASSERT_EQ(board.can_move(src, dst), legal);
      if (!legal) continue;
      board.do_move(src, dst);
      ++made;
      ASSERT_TRUE(board.grid() == want);
      ASSERT_TRUE(board.is_ok());
      ASSERT_EQ(board.sorted(), board_sorted(layout, want.data()));
      ASSERT_EQ(lower_bound(board), lower_bound_by_lanes(board));
    }
    while (made-- > 0) board.undo_move();
    EXPECT_TRUE(board.is_ok());
    EXPECT_EQ(board.key(), start);
    EXPECT_TRUE(board.grid() == layout.start_grid);
  }
}

}  // namespace
}  // namespace velmora
