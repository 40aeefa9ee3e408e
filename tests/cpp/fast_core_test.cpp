// The fast board agrees with move application: every candidate child that
// Position::evaluate yields has the measures apply_move gives, making and
// unmaking moves leaves the board exactly as it was, and the lane facts kept
// per item match a fresh analysis after any sequence of moves.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/position.h"
#include "module/run_driver.h"
#include "search/bounded_dfs.h"
#include "test_boards.h"

namespace velmora {
namespace {

void expect_measures_match(const Measures& got, const LaneState& want) {
  EXPECT_EQ(got.hash, want.hash);
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

// Walks random legal moves on both models at once, comparing every
// candidate child at every step, and undoing some of the walk on the way.
TEST(FastBoardProperty, CandidatesAndWalksMatchMoveApplication) {
  std::mt19937 rng(20261207);
  int compared = 0;
  for (int board = 0; board < 400; ++board) {
    const Lanes lanes = testing::random_lanes(rng, board % 3 == 0);
    const BoardLayout layout = build_layout(lanes);
    LaneState state = evaluate_start(layout);
    Position pos(layout);
    pos.set(state);
    std::vector<LaneState> history{state};
    const int steps = std::uniform_int_distribution<int>(1, 30)(rng);
    for (int step = 0; step < steps; ++step) {
      std::vector<Move> legal;
      for (int32_t s = 0; s < layout.lane_count; ++s) {
        for (int32_t d = 0; d < layout.lane_count; ++d) {
          if (s == d) continue;
          const std::optional<LaneState> want = apply_move(state, layout, s, d);
          const std::optional<ChildEval> got = pos.evaluate(s, d);
          ASSERT_EQ(got.has_value(), want.has_value()) << "move " << s << "->" << d;
          if (!want) continue;
          expect_measures_match(got->m, *want);
          EXPECT_EQ(got->diff, deficits(want->demand, want->supply));
          ++compared;
          legal.push_back({s, d});
        }
      }
      if (legal.empty()) break;
      const Move mv = legal[std::uniform_int_distribution<std::size_t>(0, legal.size() - 1)(rng)];
      state = *apply_move(state, layout, mv.src, mv.dst);
      pos.do_move(mv.src, mv.dst, *pos.evaluate(mv.src, mv.dst));
      history.push_back(state);
      testing::expect_same_state(pos.to_lane_state(), state, layout.lane_count);

      // Now and then take back a few moves and check the board is restored.
      if (std::uniform_int_distribution<int>(0, 4)(rng) == 0) {
        const int back = std::uniform_int_distribution<int>(
            1, static_cast<int>(history.size()) - 1)(rng);
        for (int i = 0; i < back; ++i) {
          pos.undo_move();
          history.pop_back();
        }
        state = history.back();
        testing::expect_same_state(pos.to_lane_state(), state, layout.lane_count);
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(compared, 10000);
}

// A lane that grows past the 20 items allowed at the start (moves may fill
// a long lane further) is still analysed exactly.
TEST(FastBoardProperty, LanesBeyondTwentyItemsStayExact) {
  Lanes lanes{std::vector<int32_t>(30, 0), std::vector<int32_t>(30, 0)};
  for (int s = 10; s < 30; ++s) lanes[0][static_cast<std::size_t>(s)] = 1 + (s % 5);
  for (int s = 20; s < 30; ++s) lanes[1][static_cast<std::size_t>(s)] = 1 + (s * 7 % 5);
  const BoardLayout layout = build_layout(lanes);
  LaneState state = evaluate_start(layout);
  Position pos(layout);
  pos.set(state);
  for (int i = 0; i < 10; ++i) {
    state = *apply_move(state, layout, 1, 0);
    pos.do_move(1, 0, *pos.evaluate(1, 0));
  }
  EXPECT_EQ(pos.lane(0).items, 30);
  testing::expect_same_state(pos.to_lane_state(), state, layout.lane_count);
  testing::expect_same_state(state, evaluate_grid(state.grid, layout, state.g, 1, 0),
                             layout.lane_count);
}

struct RecordedRun {
  RunOutcome outcome;
  std::vector<std::string> log;  // elapsed seconds cut off
};

RecordedRun record_run(const Lanes& lanes, SearchCore core, bool tiebreak, int64_t node_budget) {
  RecordedRun r;
  int64_t polls = 0;
  RunHooks hooks;
  hooks.log = [&r](std::string_view text) {
    std::string line(text);
    line = line.substr(0, line.find("sure="));
    r.log.push_back(line);
  };
  hooks.stop = [&polls, node_budget] { return ++polls > node_budget / kStopPollInterval; };
  RunOptions options;
  options.use_dsg_tiebreak = tiebreak;
  options.num_threads = 1;
  options.core = core;
  r.outcome = run_search(lanes, options, hooks);
  return r;
}

// Whole one-thread runs end alike with either kernel: the same ending, node
// count, iterations, moves and log lines (solved, exhausted, or stopped at
// the same node), with and without the tie-break.
TEST(FastKernel, OneThreadOutcomesMatchTheReference) {
  std::mt19937 rng(7);
  int solved = 0;
  for (int board = 0; board < 60; ++board) {
    const Lanes lanes = testing::random_lanes(rng, true);
    const bool tiebreak = board % 2 == 1;
    const RecordedRun ref = record_run(lanes, SearchCore::reference, tiebreak, 5000);
    const RecordedRun fast = record_run(lanes, SearchCore::fast, tiebreak, 5000);
    EXPECT_EQ(fast.outcome.end, ref.outcome.end) << "board " << board;
    EXPECT_EQ(fast.outcome.nodes, ref.outcome.nodes) << "board " << board;
    EXPECT_EQ(fast.outcome.iterations, ref.outcome.iterations) << "board " << board;
    EXPECT_EQ(fast.outcome.path, ref.outcome.path) << "board " << board;
    EXPECT_EQ(fast.log, ref.log) << "board " << board;
    solved += ref.outcome.end == RunEnd::solved;
  }
  EXPECT_GT(solved, 10);
}

}  // namespace
}  // namespace velmora
