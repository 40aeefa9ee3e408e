// The bounded search against its recursive definition, its bound edges, and
// a descent deeper than any thread stack would hold.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <thread>

#include "board/move.h"
#include "bounds/successors.h"
#include "search/bounded_dfs.h"

namespace velmora {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The definition as plain recursion (no flags, hooks or logging).
double recursive_dfs(const LaneState& state, const BoardLayout& layout, double bound,
                     double& next, Path& path, ThreadCounters& counters, int64_t score, bool tb) {
  const double f = state.g + state.h;
  if (f > bound) {
    next = std::min(next, f);
    return f;
  }
  if (state.blokaj == 0) return FOUND;
  ++counters.nodes;
  counters.min_h = std::min(counters.min_h, state.h);
  std::vector<Successor> successors = generate_successors(state, layout, score, tb);
  sort_successors(successors, tb);
  for (const Successor& s : successors) {
    const std::optional<LaneState> child = apply_move(state, layout, s.src, s.dst);
    if (!child) continue;
    path.push_back(make_path_step(state, *child, layout, s.src, s.dst));
    if (recursive_dfs(*child, layout, bound, next, path, counters, s.score, tb) == FOUND) return FOUND;
    path.pop_back();
  }
  return kInf;
}

struct Cells {
  std::atomic<double> bound, next_bound{kInf};
  std::atomic<bool> found{false}, stop{false};
};

double search(const LaneState& s, const BoardLayout& layout, Cells& cells, Path& path,
              ThreadCounters& counters, bool tb = false, const StopQuery& stop_query = {}) {
  return bounded_dfs(s, layout, cells.bound, cells.next_bound, cells.found, cells.stop, 1, path,
                     counters, 0, tb, monotonic_ns(), {}, stop_query);
}

TEST(BoundedDfs, MatchesTheRecursiveDefinition) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> lanes_n(3, 4), len(2, 5), level(1, 5), pct(0, 99);
  int found = 0;
  for (int board = 0; board < 150; ++board) {
    Lanes lanes(static_cast<size_t>(lanes_n(rng)));
    for (auto& lane : lanes) {
      lane.assign(static_cast<size_t>(len(rng)), 0);
      for (auto& cell : lane) cell = pct(rng) < 60 ? level(rng) : 0;
      std::stable_partition(lane.begin(), lane.end(), [](int32_t v) { return v == 0; });
    }
    const BoardLayout layout = build_layout(lanes);
    const LaneState start = evaluate_start(layout);
    for (const bool tb : {false, true}) {
      for (const double bound : {start.h, start.h + 1, start.h + 2}) {
        const Path prefix{PathStep{9, 9, 9, 9, 9, 9, 9.0, 9.0, 0.0}};  // must survive
        Cells cells{bound};
        Path path = prefix, want_path = prefix;
        ThreadCounters counters, want_counters;
        double want_next = kInf;
        const double got = search(start, layout, cells, path, counters, tb);
        ASSERT_EQ(got, recursive_dfs(start, layout, bound, want_next, want_path, want_counters, 0, tb));
        ASSERT_EQ(path, want_path) << "board " << board;
        ASSERT_EQ(counters.nodes, want_counters.nodes);
        ASSERT_EQ(counters.min_h, want_counters.min_h);
        ASSERT_EQ(cells.next_bound.load(), want_next);
        found += got == FOUND;
      }
    }
  }
  EXPECT_GT(found, 50);  // found paths were compared too, not only misses
}

TEST(BoundedDfs, BoundEdgesAndFlags) {
  // 0,2,1 / 0,0,3: h 2; moving the 2 onto the second lane solves it (f 1).
  const BoardLayout layout = build_layout({{0, 2, 1}, {0, 0, 3}});
  const LaneState start = evaluate_start(layout);
  ThreadCounters counters;
  Path path;
  Cells below{1.5}, equal{2.0}, found{2.0}, stopped{2.0};
  EXPECT_EQ(search(start, layout, below, path, counters), 2.0);  // cut, offered, not counted
  EXPECT_EQ(below.next_bound.load(), 2.0);
  EXPECT_EQ(counters.nodes, 0);
  EXPECT_EQ(search(start, layout, equal, path, counters), FOUND);  // f == bound is expanded
  EXPECT_EQ(counters.nodes, 1);                                    // the goal is not counted
  EXPECT_EQ(path, (Path{{0, 1, 1, 1, 2, 1, 0.0, 1.0, 0.0}}));
  found.found = true;
  stopped.stop = true;
  EXPECT_EQ(search(start, layout, found, path, counters), kInf);
  EXPECT_EQ(search(start, layout, stopped, path, counters), STOPPED);
  EXPECT_EQ(counters.nodes, 1);
}

// 53 full lanes of 1 x18, 2, 1 and 8 empty ones: h 1007, and the first move
// of every node lowers h by one, so the search goes straight down.
TEST(DeepDescent, ThousandLevelsOnAThreadStack) {
  Lanes lanes(53, std::vector<int32_t>(18, 1));
  for (auto& lane : lanes) lane.insert(lane.end(), {2, 1});
  lanes.resize(61, std::vector<int32_t>(20, 0));
  const BoardLayout layout = build_layout(lanes);
  const LaneState start = evaluate_start(layout);
  ASSERT_GT(start.h, 1000.0);
  Cells cells{start.h};
  Path path;
  ThreadCounters counters;
  size_t depth_at_poll = 0;
  double result = 0.0;
  std::thread worker([&] {  // a default thread stack, as the workers have
    result = search(start, layout, cells, path, counters, false, [&] {
      depth_at_poll = path.size();
      return true;
    });
  });
  worker.join();
  EXPECT_EQ(result, STOPPED);
  EXPECT_TRUE(cells.stop.load());
  EXPECT_EQ(counters.nodes, 1000);
  EXPECT_EQ(depth_at_poll, 999u);  // never backtracked
  EXPECT_EQ(path.size(), 999u);    // a stop leaves the current prefix
}

}  // namespace
}  // namespace velmora
