// The beams of plan(): against breadth-first shortest lengths on small
// boards, on larger boards against the plan they start from, their stops,
// and a whole run with them.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>

#include "plan/beam_plan.h"
#include "plan/beam_round.h"
#include "plan/construct_plan.h"
#include "plan/first_plan.h"
#include "plan/improve_plan.h"
#include "plan/plan_driver.h"
#include "plan/replay.h"
#include "plan_space.h"
#include "test_boards.h"

namespace velmora {
namespace {

// The plan the driver starts from: the rule, else the greedy search, shortened.
std::optional<Plan> start_plan(const BoardLayout& layout) {
  std::optional<Plan> plan = construct_any_plan(layout, 64);
  if (!plan) plan = first_plan(layout, GreedyOptions{}, {}).plan;
  if (plan) plan = improve_plan(layout, *plan);
  return plan;
}

// A beam wide enough to hold every position of a level is a breadth-first
// search: its pruning and its dropping of positions seen before keep a
// shortest plan, so it finds one of exactly the shortest length, and never
// one below it.
TEST(PlanBeam, UnboundedWidthFindsTheShortestLength) {
  int checked = 0;
  for (const SmallCase& c : small_cases()) {
    if (c.distance == kUnreachable) continue;
    const BoardLayout layout = build_layout(c.lanes);
    const std::string board = ::testing::PrintToString(c.lanes);
    BeamOptions wide;
    wide.width = 1 << 20;
    const BeamOutcome out = beam_plan(layout, wide, {});
    ASSERT_TRUE(out.plan) << board;
    EXPECT_EQ(static_cast<int32_t>(out.plan->size()), c.distance) << board;
    EXPECT_TRUE(replay(layout, *out.plan)) << board;
    if (c.distance > 0) {  // nothing beats the shortest
      wide.shorter_than = c.distance;
      EXPECT_FALSE(beam_plan(layout, wide, {}).plan) << board;
    }
    ++checked;
  }
  EXPECT_GT(checked, 200);
}

// Where the first plan is known not to be shortest, a narrow beam finds a
// shorter one that replays; it is never shorter than the shortest.
TEST(PlanBeam, NarrowBeamShortensFirstPlansThatAreNotShortest) {
  int longer = 0;
  int shortened = 0;
  for (const SmallCase& c : small_cases()) {
    if (c.distance == kUnreachable) continue;
    const BoardLayout layout = build_layout(c.lanes);
    const std::optional<Plan> first = start_plan(layout);
    ASSERT_TRUE(first);
    if (static_cast<int32_t>(first->size()) == c.distance) continue;
    ++longer;
    BeamOptions narrow;
    narrow.width = 8;
    narrow.shorter_than = static_cast<int32_t>(first->size());
    const BeamOutcome out = beam_plan(layout, narrow, {});
    if (!out.plan) continue;
    ++shortened;
    const std::string board = ::testing::PrintToString(c.lanes);
    EXPECT_LT(out.plan->size(), first->size()) << board;
    EXPECT_GE(static_cast<int32_t>(out.plan->size()), c.distance) << board;
    EXPECT_TRUE(replay(layout, *out.plan)) << board;
  }
  ASSERT_GT(longer, 10);
  EXPECT_GE(shortened * 10, longer * 9) << shortened << " of " << longer;
}

// From 12 to 40 lanes: every plan replays and beats the one it starts from,
// and beams with jitter (another seed) do too.
TEST(PlanBeam, LargeBoardsPlansReplayAndAreShorter) {
  std::mt19937 rng(7);
  const int shapes[][2] = {{12, 6}, {16, 6}, {20, 5}, {30, 6}, {40, 8}};
  int shortened = 0;
  for (const auto& [lanes, slots] : shapes) {
    const BoardLayout layout = build_layout(packed_board(rng, lanes, slots, 0.75));
    const std::optional<Plan> first = start_plan(layout);
    ASSERT_TRUE(first);
    for (uint32_t seed : {0u, 1u}) {
      BeamOptions beam;
      beam.width = 16;
      beam.seed = seed;
      beam.shorter_than = static_cast<int32_t>(first->size());
      const BeamOutcome out = beam_plan(layout, beam, {});
      EXPECT_FALSE(out.stopped);
      if (!out.plan) continue;
      ++shortened;
      EXPECT_LT(out.plan->size(), first->size()) << lanes << " x " << slots;
      EXPECT_TRUE(replay(layout, *out.plan)) << lanes << " x " << slots;
    }
  }
  EXPECT_GE(shortened, 5);
}

// A stop or the node budget ends a beam within a poll's children, without a plan.
TEST(PlanBeam, StopAndBudgetEndTheBeam) {
  std::mt19937 rng(11);
  const BoardLayout layout = build_layout(packed_board(rng, 40, 8, 0.75));
  BeamOptions beam;
  beam.width = 256;
  int asked = 0;
  const BeamOutcome stopped = beam_plan(layout, beam, [&] { return ++asked == 3; });
  EXPECT_TRUE(stopped.stopped);
  EXPECT_FALSE(stopped.plan);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(stopped.nodes, 3 * 1024);
  beam.node_budget = 5000;
  const BeamOutcome budget = beam_plan(layout, beam, {});
  EXPECT_TRUE(budget.stopped);
  EXPECT_FALSE(budget.plan);
  EXPECT_EQ(budget.nodes, 5000);
}

// Two beams side by side: the caller's stop ends both, and each reports its
// own outcome; without a stop both run to their end.
TEST(ThreadedBeam, RoundOfTwoStopsAndEnds) {
  std::mt19937 rng(5);
  const BoardLayout layout = build_layout(packed_board(rng, 40, 8, 0.75));
  std::vector<BeamOptions> beams(2);
  beams[0].width = beams[1].width = 1 << 12;
  beams[1].seed = 1;
  int asked = 0;
  const auto stopped = run_beams(layout, beams, [&] { return ++asked >= 2; });
  ASSERT_EQ(stopped.size(), 2u);
  EXPECT_TRUE(stopped[0].stopped);
  EXPECT_TRUE(stopped[1].stopped);

  const BoardLayout small = build_layout(packed_board(rng, 12, 6, 0.6));
  beams[0].width = beams[1].width = 8;
  const auto ended = run_beams(small, beams, {});
  for (const BeamOutcome& o : ended) {
    EXPECT_FALSE(o.stopped);
    ASSERT_TRUE(o.plan);
    EXPECT_TRUE(replay(small, *o.plan));
  }
}

// A run without a time limit, beams first: it still ends proven shortest,
// with the breadth-first length, and its plans shrink one after another.
TEST(PlanBeam, RunWithBeamsStillEndsShortest) {
  int checked = 0;
  for (const SmallCase& c : small_cases()) {
    if (c.distance == kUnreachable) continue;
    PlanOptions options;
    options.num_threads = 1;
    options.exact_alone_s = 0;
    options.beam_nodes = 20'000;
    const PlanReport r = run_plan(c.lanes, options, PlanHooks{});
    const std::string board = ::testing::PrintToString(c.lanes);
    ASSERT_EQ(r.status, PlanStatus::optimal) << board;
    EXPECT_EQ(static_cast<int32_t>(r.moves.size()), c.distance) << board;
    for (std::size_t i = 1; i < r.plans.size(); ++i) {
      EXPECT_LT(r.plans[i].second, r.plans[i - 1].second) << board;
    }
    ++checked;
  }
  EXPECT_GT(checked, 200);
}

// A stop asked a while into a run on a large board, where the beams work
// past the first plans, ends it with the best plan so far, "feasible".
TEST(PlanBeam, StopOnALargeBoardKeepsTheBestPlan) {
  std::mt19937 rng(3);
  const Lanes lanes = packed_board(rng, 40, 8, 0.75);
  PlanOptions options;
  options.num_threads = 2;
  options.exact_alone_s = 0;
  int plans = 0;
  int polls = 0;
  PlanHooks hooks;
  hooks.on_plan = [&](const PlanReport& r) {
    ++plans;
    EXPECT_TRUE(replay(build_layout(lanes), moves_of(r.moves)));
  };
  hooks.stop = [&] { return ++polls > 300; };
  const PlanReport r = run_plan(lanes, options, hooks);
  EXPECT_EQ(r.status, PlanStatus::feasible);
  EXPECT_EQ(polls, 301);
  EXPECT_EQ(static_cast<int>(r.plans.size()), plans);
  EXPECT_LT(r.lower_bound, static_cast<int32_t>(r.moves.size()));
  EXPECT_EQ(r.plans.back().second, static_cast<int32_t>(r.moves.size()));
}

}  // namespace
}  // namespace velmora
