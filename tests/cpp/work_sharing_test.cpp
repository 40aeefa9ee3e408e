// Work shared below the root items: every node of an iteration expanded once
// at any worker count, hand-overs that end cleanly on a goal, a stop or the
// end of the iteration, and the queue's hand-over protocol on its own. All
// suites start threads (Threaded prefix: the ThreadSanitizer run takes them).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "search/run_driver.h"
#include "search/work.h"
#include "test_boards.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// Three or four moves from the start, so with several workers most of them
// wait for pieces from the first node on; solved after iterations searched
// whole (kFewA: 4 to 42,731 nodes each at the bound).
const Lanes kFewA{{0, 0, 0, 3}, {4, 3, 5, 4}, {1, 2, 1, 2}, {1, 5, 1, 4}, {4, 3, 2, 5}};
const Lanes kFewB{{0, 0, 0, 1}, {3, 3, 1, 3}, {2, 5, 3, 5}, {5, 2, 4, 5}};
const Lanes kFewC{{0, 0, 0, 4}, {5, 2, 4, 5}, {1, 3, 3, 5}, {4, 5, 4, 4}, {1, 1, 1, 1}};
// 56 root items: pieces only once they have all been taken.
const Lanes kMany{{0, 0, 3, 4, 5, 5}, {0, 0, 0, 0, 0, 3}, {0, 0, 0, 0, 2, 2}, {0, 0, 2, 4, 4, 5},
                  {0, 0, 0, 3, 5, 2}, {0, 2, 3, 2, 2, 5}, {0, 0, 0, 0, 0, 2}, {0, 0, 0, 3, 5, 2}};
const Lanes kSix{{1, 2, 4, 1}, {0, 0, 0, 2}, {0, 5, 1, 3}, {0, 4, 4, 3}, {0, 1, 3, 2}, {0, 0, 5, 5}};
// Two lanes: from every node the one move besides undoing the last is the
// same move again, so every iteration is a single chain with nothing to hand over.
const Lanes kChainExhausted{{5, 4, 3, 2, 1, 5, 4, 3, 2, 1, 5, 4, 3, 2, 1, 5, 4, 3, 2, 1},
                            std::vector<int32_t>(20, 0)};
const Lanes kChainSolved{{5, 5, 5, 5, 4, 4, 4, 4, 3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1},
                         std::vector<int32_t>(20, 0)};

struct Logged {
  RunOutcome out;
  std::vector<std::string> lines;
};

// A run with every log line kept; with `iterations` it is stopped by
// stop_get_best before the next one.
Logged run(const Lanes& lanes, const RunOptions& options, int32_t iterations = 0,
           const StopQuery& stop = {}) {
  Recorder rec;
  if (stop) rec.hooks.stop = stop;
  if (iterations > 0) rec.hooks.stop_get_best = [&, asked = 0]() mutable { return ++asked > iterations; };
  RunOutcome out = run_search(lanes, options, rec.hooks);
  return {std::move(out), std::move(rec.lines)};
}

// The nodes of each of the first `count` iterations, all workers together.
std::vector<int64_t> iteration_totals(const RunOutcome& out, int32_t count) {
  std::vector<int64_t> totals;
  for (int32_t i = 0; i < count && i < std::ssize(out.iteration_nodes); ++i) {
    const auto& nodes = out.iteration_nodes[static_cast<size_t>(i)];
    totals.push_back(std::accumulate(nodes.begin(), nodes.end(), int64_t{0}));
  }
  return totals;
}

// The bounds of the iteration lines, as printed.
std::vector<std::string> bounds(const std::vector<std::string>& lines, int32_t count) {
  const std::regex iteration("Iterasyon [0-9]+ \\| esik=([0-9.]+) \\| [0-9]+ thread aciliyor\n");
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    std::smatch bound;
    if (std::ssize(found) < count && std::regex_match(line, bound, iteration)) found.push_back(bound[1]);
  }
  return found;
}

// Iterations before the goal's are searched whole at any worker count: the
// same nodes and the same next bound, so the same iteration lines too.
TEST(ThreadedSplit, FullIterationsExpandTheSameNodesAtAnyWorkerCount) {
  for (const Lanes* board : {&kFewA, &kFewB, &kFewC, &kMany}) {
    for (const bool tiebreak : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(*board) + (tiebreak ? " with" : " without") + " tie-break");
      const Logged one = run(*board, {tiebreak, 1});
      ASSERT_EQ(one.out.end, RunEnd::solved);
      const int32_t full = one.out.iterations - 1;
      ASSERT_GE(full, 1);
      EXPECT_EQ(one.out.pieces, 0);
      const std::vector<int64_t> want = iteration_totals(one.out, full);
      for (const int32_t count : {2, 3, 8, 64}) {
        const Logged many = run(*board, {tiebreak, count}, full);
        EXPECT_EQ(std::tie(many.out.end, many.out.nodes),
                  std::make_tuple(RunEnd::stopped_before_iteration,
                                  std::accumulate(want.begin(), want.end(), int64_t{0})));
        EXPECT_EQ(iteration_totals(many.out, full), want) << count << " workers";
        EXPECT_EQ(bounds(many.lines, full), bounds(one.lines, full));
        // Four root items and 47,403 nodes for eight workers: at least four
        // wait from the first node on, so pieces must move (else the test is void).
        if (count == 8 && board == &kFewA) {
          EXPECT_GT(many.out.pieces, 0);
        }
      }
    }
  }
}

// The benchmark's measure of whole iterations: the goal's iteration too is
// searched to its end, alike at any worker count.
TEST(ThreadedSplit, GoalsAsLeavesSearchTheGoalsIterationWhole) {
  const Logged normal = run(kFewB, {false, 1});
  const int32_t n = normal.out.iterations;
  RunOptions leaves{false, 1};
  leaves.goals_are_leaves = true;
  const Logged whole = run(kFewB, leaves, n);
  EXPECT_EQ(std::tie(whole.out.end, whole.out.iterations),
            std::make_tuple(RunEnd::stopped_before_iteration, n));
  EXPECT_EQ(iteration_totals(whole.out, n - 1), iteration_totals(normal.out, n - 1));
  EXPECT_GT(iteration_totals(whole.out, n).back(), iteration_totals(normal.out, n).back());
  leaves.num_threads = 3;
  EXPECT_EQ(iteration_totals(run(kFewB, leaves, n).out, n), iteration_totals(whole.out, n));
}

TEST(ThreadedSplit, StopsLandWhilePiecesAreHandedOver) {
  int64_t pieces = 0;
  const auto driver = std::this_thread::get_id();
  for (const int polls_to_stop : {1, 4, 12, 30}) {
    std::atomic<int> polls{0};
    const Logged r = run(kFewA, {false, 8}, 0, [&] {
      return std::this_thread::get_id() != driver && ++polls >= polls_to_stop;
    });
    EXPECT_EQ(r.out.end, RunEnd::stopped_in_search);
    EXPECT_GE(r.out.nodes, 1000 * polls_to_stop);  // a poll at every 1000th node of a worker
    EXPECT_EQ(r.lines.back(), "IDA* durduruldu (dfs icinde), None donuluyor.\n");
    pieces += r.out.pieces;
  }
  EXPECT_GT(pieces, 0);
}

// Solved by either kernel at any worker count, with and without the
// tie-break, while pieces are handed over; every worker opens once an
// iteration, and at least those beyond the root items (not all) stay idle.
TEST(ThreadedSplit, SolvedAtAnyWorkerCount) {
  int64_t pieces = 0;
  for (const Lanes* board : {&kTrap, &kThree, &kFive, &kSix, &kFewA, &kFewB, &kFewC}) {
    const BoardLayout layout = build_layout(*board);
    const auto items = std::ssize(split_root(evaluate_start(layout), layout, false));
    for (const int32_t workers : {2, 3, 5, 8, 64}) {
      const bool reference = board == &kThree || board == &kSix;
      const Logged r = run(*board, {workers % 2 == 1, workers,
                                    reference ? SearchCore::reference : SearchCore::fast});
      expect_solution(*board, r.out);
      const int64_t idle = count_lines(r.lines, " bosta kaldi (hic is alamadi)\n");
      EXPECT_EQ(count_lines(r.lines, " acildi\n"), r.out.iterations * workers);
      EXPECT_GE(idle, r.out.iterations * std::max<int64_t>(0, workers - items));
      EXPECT_LT(idle, r.out.iterations * workers);
      pieces += r.out.pieces;
    }
  }
  EXPECT_GT(pieces, 0);
}

// Waiting workers see the end of an iteration that one worker searches alone.
TEST(ThreadedSplit, IterationsThatAreOneChain) {
  const Logged exhausted = run(kChainExhausted, {false, 1});
  const Logged solved = run(kChainSolved, {false, 1});
  ASSERT_EQ(exhausted.out.end, RunEnd::exhausted);
  ASSERT_GE(exhausted.out.iterations, 10);
  expect_solution(kChainSolved, solved.out);
  ASSERT_GE(solved.out.path.size(), 16u);
  for (const int32_t count : {2, 8}) {
    const Logged a = run(kChainExhausted, {false, count});
    EXPECT_EQ(std::tie(a.out.end, a.out.iterations, a.out.nodes, a.out.pieces),
              std::tie(exhausted.out.end, exhausted.out.iterations, exhausted.out.nodes,
                       exhausted.out.pieces));
    EXPECT_EQ(bounds(a.lines, a.out.iterations), bounds(exhausted.lines, a.out.iterations));
    EXPECT_TRUE(a.lines.back().starts_with("Cozum bulunamadi. sure="));
    const Logged b = run(kChainSolved, {false, count});
    EXPECT_EQ(std::tie(b.out.end, b.out.nodes, b.out.path),
              std::tie(solved.out.end, solved.out.nodes, solved.out.path));
  }
}

std::future<std::optional<Piece>> wait_in_thread(WorkQueue& queue) {
  return std::async(std::launch::async, [&queue] { return queue.wait_piece(); });
}

// Whether a wait ends within five seconds; if not, the queue is cleared so
// that its thread can still end.
template <class T>
bool ends(WorkQueue& queue, std::future<T>& waiter) {
  if (waiter.wait_for(5s) == std::future_status::ready) return true;
  queue.clear_queue();
  return false;
}

bool becomes_hungry(const WorkQueue& queue) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!queue.wants_work() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  return queue.wants_work();
}

TEST(ThreadedWorkQueue, PiecesGoToWaitingWorkersUntilTheIterationEnds) {
  WorkQueue queue;
  queue.set_workers(3);
  queue.refill({});
  Piece piece{Path{{0, 1, 1, 1, 2, 1, 0.0, 1.0, 0.0}}, {{2, 0, -3}, {1, 2, 5}}};
  const Path path = piece.path;
  EXPECT_FALSE(queue.wants_work());
  EXPECT_FALSE(queue.offer_piece(piece));  // nobody waits: the giver keeps its children
  EXPECT_EQ(piece.children.size(), 2u);

  auto taker = wait_in_thread(queue);
  ASSERT_TRUE(becomes_hungry(queue));
  EXPECT_TRUE(queue.offer_piece(piece));
  EXPECT_FALSE(queue.wants_work());
  ASSERT_TRUE(ends(queue, taker));
  const std::optional<Piece> got = taker.get();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->path, path);
  ASSERT_EQ(got->children.size(), 2u);
  EXPECT_EQ(std::tie(got->children[1].src, got->children[1].dst, got->children[1].score),
            std::make_tuple(1, 2, int64_t{5}));

  // Two of three waiting is no end; a goal or a stop (a clear) is, for both.
  auto a = wait_in_thread(queue), b = wait_in_thread(queue);
  ASSERT_TRUE(becomes_hungry(queue));
  EXPECT_EQ(a.wait_for(50ms), std::future_status::timeout);
  queue.clear_queue();
  for (auto* waiter : {&a, &b}) EXPECT_TRUE(ends(queue, *waiter) && !waiter->get());
  EXPECT_FALSE(queue.wants_work());
  Piece late{path, {{0, 1, 0}}};
  EXPECT_FALSE(queue.offer_piece(late));

  // A new iteration: all three waiting with no piece left ends it for all.
  queue.refill({});
  auto x = wait_in_thread(queue), y = wait_in_thread(queue), z = wait_in_thread(queue);
  for (auto* waiter : {&x, &y, &z}) EXPECT_TRUE(ends(queue, *waiter) && !waiter->get());
}

// Workers start searching together: each waits for the last to start, or
// for the end of the iteration when one never will.
TEST(ThreadedWorkQueue, StartGateOpensForTheLastWorkerOrTheEnd) {
  WorkQueue queue;
  queue.set_workers(3);
  for (const bool last_starts : {true, false}) {
    queue.refill({});
    auto first = std::async(std::launch::async, [&queue] { queue.wait_for_start(); });
    auto second = std::async(std::launch::async, [&queue] { queue.wait_for_start(); });
    EXPECT_EQ(first.wait_for(50ms), std::future_status::timeout);
    if (last_starts) {
      queue.wait_for_start();
    } else {
      queue.clear_queue();
    }
    EXPECT_TRUE(ends(queue, first) && ends(queue, second));
  }
}

}  // namespace
}  // namespace velmora
