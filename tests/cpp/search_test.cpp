// The bounded search below one node: bound edges, goal, flags and the next
// bound; and whole one-thread runs alike with the fast and the reference kernel.

#include <limits>

#include "search/bounded_dfs.h"
#include "search/fast_dfs.h"
#include "test_boards.h"

namespace velmora {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Cells {
  std::atomic<double> bound, next_bound{kInf};
  std::atomic<bool> found{false}, stop{false};
  Path path{};
  ThreadCounters counters{};
  SearchStatus search(const LaneState& state, const BoardLayout& layout) {
    const int32_t iteration = 1;
    const LogSink log;
    const StopQuery ask;
    SearchContext ctx{bound, next_bound, found, stop, iteration, counters, monotonic_ns(), log, ask};
    return bounded_dfs(state, layout, ctx, path, 0, false);
  }
};

TEST(BoundedDfs, BoundEdgesGoalAndFlags) {
  // 0,2,1 / 0,0,3: h 2; moving the 2 onto the second lane solves it (f 1).
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const LaneState start = evaluate_start(layout);
  Cells below{1.5}, equal{2.0}, found{2.0}, stopped{2.0};
  found.found = true;
  stopped.stop = true;
  EXPECT_EQ(below.search(start, layout), SearchStatus::not_found);  // cut off and offered
  EXPECT_EQ(equal.search(start, layout), SearchStatus::found);  // f equal to the bound is expanded
  EXPECT_EQ(found.search(start, layout), SearchStatus::not_found);
  EXPECT_EQ(stopped.search(start, layout), SearchStatus::stopped);
  EXPECT_EQ(below.next_bound.load(), 2.0);
  EXPECT_EQ(equal.path, (Path{{0, 1, 1, 1, 2, 1, 0.0, 1.0, 0.0}}));
  // Only the expanded start is counted: not the cut node, not the goal.
  EXPECT_EQ(std::tie(below.counters.nodes, equal.counters.nodes, found.counters.nodes,
                     stopped.counters.nodes),
            std::make_tuple(0, 1, 0, 0));
  std::atomic<double> next{kInf};
  for (const double f : {7.0, 6.0, 8.0}) lower_next_bound(next, f);
  EXPECT_EQ(next.load(), 6.0);
}

// Whether a kept child's hash repeats: exact for the kept ones while they are
// few; with more, any repeat counts (the caller's long way is exact anyway).
TEST(FastKernel, KeptHashRepeats) {
  const std::vector<uint64_t> hashes{5, 7, 9, 7, 11, 13, 17, 19, 23, 29};
  std::vector<uint64_t> scratch;
  const auto repeats = [&](std::vector<uint64_t> kept) {
    return kept_hash_repeats(hashes, kept, scratch);
  };
  EXPECT_FALSE(repeats({}));
  EXPECT_FALSE(repeats({5, 9, 11}));
  EXPECT_TRUE(repeats({5, 7}));
  ASSERT_GT(9u, kScanKept);  // the next list is one the scan does not take one by one
  EXPECT_TRUE(repeats({5, 9, 11, 13, 17, 19, 23, 29, 5}));  // no kept repeat, but one among all
  const std::vector<uint64_t> distinct{5, 7, 9, 11, 13, 17, 19, 23, 29, 31};
  EXPECT_FALSE(kept_hash_repeats(distinct, distinct, scratch));
}

// One worker: both kernels end alike (solved, exhausted or stopped at the
// same node) with the same nodes, iterations, path and log lines.
TEST(FastKernel, OneThreadOutcomesMatchTheReference) {
  std::mt19937 rng(7);
  int solved = 0;
  for (int board = 0; board < 90; ++board) {
    // Two boards in three are small and dense, the third of any width.
    const Lanes lanes = board % 3 == 2 ? wide_lanes(rng, 1 + static_cast<int>(rng() % 4))
                                       : random_lanes(rng, true);
    const auto one_thread = [&](SearchCore core) {
      Recorder rec;
      int polls = 0;
      rec.hooks.stop = [&] { return ++polls > 5; };  // about 5000 nodes
      return std::pair{run_search(lanes, {board % 2 == 1, 1, {core}}, rec.hooks), untimed(rec.lines)};
    };
    const auto [ref, ref_log] = one_thread(SearchCore::reference);
    // The fast kernel, with the hash checks it makes on boards where children
    // may share a hash, and its long way (taken where two do).
    for (const SearchCore core :
         {SearchCore::fast, SearchCore::fast_hash_checked, SearchCore::fast_merging}) {
      const auto [fast, fast_log] = one_thread(core);
      EXPECT_EQ(std::tie(fast.end, fast.nodes, fast.iterations, fast.path),
                std::tie(ref.end, ref.nodes, ref.iterations, ref.path)) << "board " << board;
      EXPECT_EQ(fast_log, ref_log) << "board " << board;
    }
    solved += ref.end == RunEnd::solved;
  }
  EXPECT_GT(solved, 25);
}

}  // namespace
}  // namespace velmora
