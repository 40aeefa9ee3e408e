// The planner's exact search against breadth-first shortest lengths, with
// each pruning rule switched off in turn, and its table of positions.

#include <gtest/gtest.h>

#include <string>

#include "plan/plan_driver.h"
#include "plan/position_table.h"
#include "plan/replay.h"
#include "plan_space.h"
#include "test_boards.h"

namespace velmora {
namespace {

PlanReport plan_of(const Lanes& lanes, int32_t threads, PruneRules rules = {},
                   std::size_t table_bytes = kPlanTableBytes) {
  PlanOptions options;
  options.num_threads = threads;
  options.rules = rules;
  options.table_bytes = table_bytes;
  return run_plan(lanes, options, PlanHooks{});
}

// The exact search alone, bounded by the misplaced items only: it then
// searches wide, and a rule that loses shortest plans shows.
PlanReport search_of(const Lanes& lanes, PruneRules rules = {},
                     std::size_t table_bytes = kPlanTableBytes, int32_t threads = 1) {
  PlanOptions options;
  options.num_threads = threads;
  rules.room_bound = false;
  options.rules = rules;
  options.table_bytes = table_bytes;
  options.testing.no_first_plan = true;
  return run_plan(lanes, options, PlanHooks{});
}

// Optimal with the breadth-first length, or no_solution when there is none;
// the plan replays and its improvements shrink.
void expect_exact(const SmallCase& c, const PlanReport& r, const std::string& what) {
  const std::string board = what + " " + ::testing::PrintToString(c.lanes);
  if (c.distance == kUnreachable) {
    EXPECT_EQ(r.status, PlanStatus::no_solution) << board;
    EXPECT_TRUE(r.moves.empty()) << board;
    return;
  }
  ASSERT_EQ(r.status, PlanStatus::optimal) << board;
  EXPECT_EQ(static_cast<int32_t>(r.moves.size()), c.distance) << board;
  EXPECT_EQ(r.lower_bound, c.distance) << board;
  EXPECT_TRUE(replay(build_layout(c.lanes), moves_of(r.moves))) << board;
  for (std::size_t i = 1; i < r.plans.size(); ++i) {
    EXPECT_LT(r.plans[i].second, r.plans[i - 1].second) << board;
  }
}

TEST(PlanExact, ShortestAtOneWorker) {
  int unsolvable = 0;
  for (const SmallCase& c : small_cases()) {
    expect_exact(c, plan_of(c.lanes, 1), "1 worker");
    expect_exact(c, search_of(c.lanes), "search alone");
    unsolvable += c.distance == kUnreachable;
  }
  EXPECT_GT(unsolvable, 0);  // no_solution is exercised
}

// No rule loses a shortest plan: each one switched from its default (one
// order is off by default, so it is switched on), then all of them off,
// gives the same lengths (a third of the boards each, so every rule meets
// 100 or more).
TEST(PlanExact, EachPruningRuleOffKeepsTheLengths) {
  const std::vector<std::pair<std::string, bool PruneRules::*>> rules = {
      {"return", &PruneRules::return_move}, {"relay", &PruneRules::relay},
      {"one order", &PruneRules::one_order}, {"first empty", &PruneRules::first_empty},
      {"table", &PruneRules::table}};
  const auto& cases = small_cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (std::size_t k = 0; k < rules.size(); ++k) {
      if ((i + k) % 3 != 0) continue;
      PruneRules flipped;
      flipped.*(rules[k].second) = !(flipped.*(rules[k].second));
      expect_exact(cases[i], search_of(cases[i].lanes, flipped), rules[k].first + " flipped");
    }
    if (i % 3 == 0) {
      expect_exact(cases[i], search_of(cases[i].lanes, PruneRules{false, false, false, false, false, false}),
                   "all off");
    }
  }
}

// A table of one bucket per worker keeps evicting and stays exact.
TEST(PlanExact, TinyTableStaysExact) {
  const auto& cases = small_cases();
  for (std::size_t i = 0; i < cases.size(); i += 4) {
    expect_exact(cases[i], search_of(cases[i].lanes, {}, sizeof(uint64_t) * 2 * PositionTable::kWays),
                 "tiny table");
  }
}

TEST(PositionTable, KeepsTheLeastDepthAndEvictsTheDeepest) {
  PositionTable table(4 * 16);  // one bucket of four entries
  ASSERT_EQ(table.bytes(), 64u);
  const auto key = [](uint64_t i) { return PositionKey{i * 0x9e3779b97f4a7c15ULL, i << 40}; };
  EXPECT_TRUE(table.visit(key(1), 5, 0));
  EXPECT_FALSE(table.visit(key(1), 5, 0));  // as deep as before in the same round: searched
  EXPECT_TRUE(table.visit(key(1), 5, 1));   // ... in a later round: searched again
  EXPECT_FALSE(table.visit(key(1), 6, 1));  // deeper than before: dropped
  EXPECT_TRUE(table.visit(key(1), 3, 0));   // shallower: kept, and now the least
  EXPECT_FALSE(table.visit(key(1), 4, 0));
  EXPECT_TRUE(table.visit(key(2), 9, 0));
  EXPECT_TRUE(table.visit(key(3), 2, 0));
  EXPECT_TRUE(table.visit(key(4), 7, 0));
  EXPECT_EQ(table.evicted(), 0);
  EXPECT_TRUE(table.visit(key(5), 1, 0));  // the bucket is full: key 2 (depth 9) gives way
  EXPECT_EQ(table.evicted(), 1);
  EXPECT_TRUE(table.visit(key(2), 10, 0));  // forgotten, so not dropped
  EXPECT_FALSE(table.visit(key(3), 3, 0));  // still there
  EXPECT_FALSE(table.visit(key(5), 2, 0));

  PositionTable grows(std::size_t{1} << 20);  // starts at a quarter of that
  const std::size_t first = grows.bytes();
  for (uint64_t i = 1; i <= 20'000; ++i) ASSERT_TRUE(grows.visit(key(i), 5, 0));
  EXPECT_GT(grows.bytes(), first);
  EXPECT_LE(grows.bytes(), std::size_t{1} << 20);
  int64_t kept = 0;
  for (uint64_t i = 1; i <= 20'000; ++i) kept += !grows.visit(key(i), 6, 0);
  EXPECT_EQ(kept + grows.evicted(), 20'000);
  EXPECT_GT(kept, 15'000);

  PositionTable none(8);  // below one bucket: keeps nothing, drops nothing
  EXPECT_EQ(none.bytes(), 0u);
  EXPECT_TRUE(none.visit(key(1), 1, 0));
  EXPECT_TRUE(none.visit(key(1), 2, 0));

  PositionTable unrounded(4 * 16);  // a negative round drops only what is deeper
  EXPECT_TRUE(unrounded.visit(key(1), 5, -1));
  EXPECT_TRUE(unrounded.visit(key(1), 5, -1));
  EXPECT_FALSE(unrounded.visit(key(1), 6, -1));
}

TEST(ThreadedPlan, ShortestAtTwoAndEightWorkers) {
  for (const SmallCase& c : small_cases()) {
    expect_exact(c, plan_of(c.lanes, 2), "2 workers");
  }
  const auto& cases = small_cases();
  for (std::size_t i = 0; i < cases.size(); i += 2) {
    expect_exact(cases[i], plan_of(cases[i].lanes, 8), "8 workers");
    // The workers' own search, which the first plan and the bound mostly spare.
    const int32_t threads = i % 4 == 0 ? 2 : 8;
    expect_exact(cases[i], search_of(cases[i].lanes, {}, kPlanTableBytes, threads),
                 "search alone, " + std::to_string(threads) + " workers");
  }
}

}  // namespace
}  // namespace velmora
