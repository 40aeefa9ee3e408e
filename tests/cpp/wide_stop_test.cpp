// Stop polls on wide boards, whose nodes may take milliseconds each: a worker
// is asked after its share of children as well as every 1000 nodes. Counted,
// not timed (the figures in milliseconds are the benchmark's).

#include <random>
#include <thread>

#include "search/bounded_dfs.h"
#include "test_boards.h"

namespace velmora {
namespace {

// `count` lanes of 20 slots; `items` random levels at the back of each of
// the first `filled` lanes.
Lanes wide_board(int32_t count, int32_t filled, int32_t items, uint32_t seed) {
  std::mt19937 rng(seed);
  Lanes lanes(static_cast<std::size_t>(count), std::vector<int32_t>(20, 0));
  for (int32_t i = 0; i < filled; ++i) {
    for (int32_t s = 20 - items; s < 20; ++s) lanes[i][s] = static_cast<int32_t>(1 + rng() % 5);
  }
  return lanes;
}

RunOutcome stopped_at_poll(const Lanes& lanes, SearchCore core, int32_t workers, int poll) {
  Recorder rec;
  const auto driver = std::this_thread::get_id();
  std::atomic<int> polls{0};
  rec.hooks.stop = [&] { return std::this_thread::get_id() != driver && ++polls >= poll; };
  // No enumeration: the search alone decides when the polls come.
  return run_search(lanes, {false, workers, {core, 0}}, rec.hooks);
}

// 60 and 100 lanes of 19 items, and 60 lanes of [5,4,3,2,1] among 100 (a
// node of thousands of children within the bound): each worker's polls
// come within its share of children plus one node's, far before its
// 1000th node, with either kernel at the same node, at any worker count.
TEST(ThreadedRunStops, WideBoardsAfterTheirShareOfChildren) {
  Lanes stairs(100, std::vector<int32_t>(20, 0));
  for (int i = 0; i < 60; ++i) {
    stairs[i].resize(15);
    stairs[i].insert(stairs[i].end(), {5, 4, 3, 2, 1});
  }
  for (const Lanes& lanes : {wide_board(60, 60, 19, 60), wide_board(100, 100, 19, 100), stairs}) {
    const auto n = static_cast<int64_t>(lanes.size());
    const int64_t share = stop_poll_children(static_cast<int32_t>(n));
    SCOPED_TRACE(std::to_string(n) + " lanes, a poll every " + std::to_string(share) + " children");
    for (const int32_t workers : {1, 2, 8}) {
      const RunOutcome out = stopped_at_poll(lanes, SearchCore::fast, workers, 2);
      EXPECT_EQ(out.end, RunEnd::stopped_in_search);
      // The second poll came before any worker went a node past 2 shares
      // (and the others stop within a node of their own).
      EXPECT_LE(out.children, workers * 2 * (share + 2 * n * (n - 1))) << workers;
      EXPECT_LT(out.nodes, workers * 1000) << workers;
      if (workers > 1) continue;
      EXPECT_GE(out.children, 2 * share);
      EXPECT_EQ(out.nodes, stopped_at_poll(lanes, SearchCore::reference, 1, 2).nodes);
    }
  }
}

// Up to 20 lanes the 1000th node always comes first: 20 lanes of 20 slots
// with room in each, 380 children a node, polled exactly every 1000 nodes.
TEST(ThreadedRunStops, TwentyLanesEveryThousandNodes) {
  const Lanes lanes = wide_board(20, 20, 12, 20);
  const RunOutcome out = stopped_at_poll(lanes, SearchCore::fast, 1, 3);
  EXPECT_EQ(std::tie(out.end, out.nodes), std::make_tuple(RunEnd::stopped_in_search, 3000));
  EXPECT_GT(out.children, 3000 * 300);  // the rule was near: most nodes had most children
}

}  // namespace
}  // namespace velmora
