// Whole runs through run_search with plain C++ hooks: solutions, log lines,
// stops, interruption, failures, work shared below the root items, and the
// queue's hand-over on its own. Every suite here starts threads: the Threaded
// prefix is what the ThreadSanitizer run selects.

#include <chrono>
#include <future>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <thread>

#include "search/log_lines.h"
#include "search/work.h"
#include "test_boards.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

bool on_worker(std::thread::id driver) { return std::this_thread::get_id() != driver; }

// kThree takes three iterations; kLong has no solution, which the search
// alone takes millions of nodes to find.
const Lanes kThree{{0, 5, 5, 3}, {0, 3, 1, 4}, {0, 0, 3, 2}, {0, 4, 1, 1}, {0, 0, 5, 4}, {0, 1, 2, 2}};
const Lanes kFive{{3, 4, 4, 1}, {0, 5, 2, 2}, {0, 0, 1, 1}, {0, 0, 0, 3}, {0, 0, 5, 2}};
const Lanes kLong{{0, 0, 0, 2, 4}, {0, 5, 1, 5, 3}, {4, 2, 1, 3, 1}};

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

std::vector<std::string> bounds(const std::vector<std::string>& lines) {
  const std::regex iteration("Iterasyon [0-9]+ \\| esik=([0-9.]+) \\| [0-9]+ thread aciliyor\n");
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    std::smatch bound;
    if (std::regex_match(line, bound, iteration)) found.push_back(bound[1]);
  }
  return found;
}

// Workers ask every 1000 of their nodes (the driver asks too, between
// iterations, and is told to go on), with either kernel, and while pieces
// are handed over. One worker's 50,000th node, counted across iterations,
// brings the one progress line. A deep board (53 full lanes of 1 x18, 2, 1
// and 8 empty ones: h 1007, and the first move of every node lowers h by
// one) is stopped a thousand levels down; with 61 lanes it is asked 13
// times on the way (every 70-odd nodes, their children's share), so the
// 14th poll is the 1000th node's, with either kernel.
TEST(ThreadedRunStops, InsideTheSearchEveryThousandNodes) {
  Lanes deep(53, std::vector<int32_t>(18, 1));
  for (auto& lane : deep) lane.insert(lane.end(), {2, 1});
  deep.resize(61, std::vector<int32_t>(20, 0));
  int64_t pieces = 0;
  const auto driver = std::this_thread::get_id();
  for (const SearchCore core : {SearchCore::reference, SearchCore::fast}) {
    for (const int32_t workers : {1, 2, 4, 8}) {
      for (const int polls_to_stop : {1, 5, 51}) {
        std::atomic<int> polls{0};
        // No enumeration: under a sanitizer it would prove kLong unsolvable
        // before the 51st poll.
        const Logged r = run(kLong, {false, workers, {core, 0}}, 0,
                             [&] { return on_worker(driver) && ++polls >= polls_to_stop; });
        EXPECT_EQ(r.out.end, RunEnd::stopped_in_search);
        EXPECT_TRUE(workers > 1 ? r.out.nodes >= 1000 * polls_to_stop
                                : r.out.nodes == 1000 * polls_to_stop) << r.out.nodes;
        EXPECT_EQ(r.lines.back(), log_line::stopped_in_search());
        pieces += r.out.pieces;
        if (workers > 1) continue;
        EXPECT_EQ(count_lines(r.lines, "[IDA*]"), polls_to_stop / 51);
        if (polls_to_stop < 51) continue;
        EXPECT_GE(r.out.iterations, 3);  // the 50,000th node comes after several iterations
        const std::regex progress("\\[IDA\\*\\] iter=" + std::to_string(r.out.iterations) +
                                  " \\| thread_nodes=50000 \\| esik=" + bounds(r.lines).back() +
                                  " \\| min_h=[0-9]+\\.[0-9]{6} \\| sure=[0-9]+\\.[0-9]{6}s\n");
        EXPECT_TRUE(std::ranges::any_of(r.lines, [&](auto& l) { return std::regex_match(l, progress); }));
      }
    }
    int polls = 0;
    const Logged d = run(deep, {false, 1, {core}}, 0, [&] { return on_worker(driver) && ++polls == 14; });
    EXPECT_GT(d.out.start_h, 1000.0);
    EXPECT_EQ(std::tie(d.out.end, d.out.nodes), std::make_tuple(RunEnd::stopped_in_search, 1000));
  }
  EXPECT_GT(pieces, 0);
}

// Asked on the driver's thread only: after each hook it calls itself (the
// start line, the stop polls, the iteration line) and while workers search.
// A yes ends the run at once: nothing asked, logged or searched after it.
TEST(ThreadedRunInterrupt, EndsTheRunAtOnceOnTheDriver) {
  for (const int after : {1, 2, 3, 0}) {  // 0: the third question while the first iteration runs
    Recorder rec;
    std::atomic<bool> searching{false};
    std::atomic<int> while_searching{0};
    int asked = 0, yes_at = 0, best_calls = 0;
    std::vector<std::thread::id> callers;
    rec.hooks.stop = [&] { return ++rec.stop_polls > 50000; };  // a safety net, far off
    rec.hooks.stop_get_best = [&] { return ++best_calls > 100; };
    rec.hooks.log = [&, keep = rec.hooks.log](std::string_view text) {
      keep(text);
      if (after || text != "Thread 0 acildi\n" || searching.exchange(true)) return;
      // Worker 0 holds the iteration open until the driver has asked three times.
      for (int ms = 0; while_searching < 3 && ms < 5000; ++ms) std::this_thread::sleep_for(1ms);
    };
    rec.hooks.interrupted = [&] {
      callers.push_back(std::this_thread::get_id());
      if (++asked == after || (searching && ++while_searching == 3)) yes_at = asked;
      return yes_at == asked;
    };
    RunOptions options{false, 6};
    options.testing.reach_memory_cap = 0;  // its slice would ask too, were it slow enough
    EXPECT_EQ(run_search(kLong, options, rec.hooks).end, RunEnd::interrupted);
    EXPECT_EQ(asked, yes_at) << after;
    EXPECT_EQ(callers, std::vector<std::thread::id>(callers.size(), std::this_thread::get_id()));
    EXPECT_EQ(count_lines(rec.lines, "durduruldu") + count_lines(rec.lines, "Cozum"), 0);
    EXPECT_EQ(count_lines(rec.lines, "Iterasyon "), after == 0 || after == 3 ? 1 : 0);
    if (!after) continue;
    EXPECT_EQ(best_calls, after == 1 ? 0 : 1);
    EXPECT_EQ(rec.lines.size(), after == 3 ? 2u : 1u);  // no worker opened
  }
}

// The failing worker stops the others, which would otherwise search on for long.
TEST(ThreadedRunFailure, WorkerExceptionIsRethrownAfterTheJoin) {
  RunHooks hooks;
  hooks.log = [](std::string_view text) {
    if (text == "Thread 1 acildi\n") throw std::length_error("log failed");
  };
  EXPECT_THROW(run_search(kLong, {false, 4}, hooks), std::length_error);
}

// The benchmark's measure of whole iterations: the goal's iteration too is
// searched to its end, alike at any worker count.
TEST(ThreadedSplit, GoalsAsLeavesSearchTheGoalsIterationWhole) {
  const Logged normal = run(kFewB, {false, 1});
  const int32_t n = normal.out.iterations;
  RunOptions leaves{false, 1};
  leaves.testing.goals_are_leaves = true;
  const Logged whole = run(kFewB, leaves, n);
  EXPECT_EQ(std::tie(whole.out.end, whole.out.iterations),
            std::make_tuple(RunEnd::stopped_before_iteration, n));
  EXPECT_EQ(iteration_totals(whole.out, n - 1), iteration_totals(normal.out, n - 1));
  EXPECT_GT(iteration_totals(whole.out, n).back(), iteration_totals(normal.out, n).back());
  leaves.num_threads = 3;
  EXPECT_EQ(iteration_totals(run(kFewB, leaves, n).out, n), iteration_totals(whole.out, n));
}

// At any worker count, with either kernel, with and without the tie-break:
// the iterations before the goal's expand the same nodes as one worker's
// (while pieces are handed over), with the same bounds, so the goal comes in
// the same iteration, and the solution replays. Every worker opens once an
// iteration, under its own number; at least those beyond the root items, but
// not all, stay idle.
// One worker's log of kTrap, to the byte but for the seconds: the one place
// the text of the log is pinned.
TEST(ThreadedSplit, AnyWorkerCountSearchesTheSameIterations) {
  for (const Lanes* board : {&kTrap, &kThree, &kFive, &kSix, &kFewA, &kFewB, &kFewC, &kMany}) {
    const BoardLayout layout = build_layout(*board);
    const auto items = std::ssize(split_root(evaluate_start(layout), layout, false));
    const SearchCore core = board == &kThree || board == &kSix ? SearchCore::reference : SearchCore::fast;
    for (const bool tiebreak : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(*board) + (tiebreak ? " with" : " without") + " tie-break");
      const Logged one = run(*board, {tiebreak, 1, {core}});
      const int32_t n = one.out.iterations;
      ASSERT_EQ(std::tie(one.out.end, one.out.pieces), std::make_tuple(RunEnd::solved, 0));
      if (board == &kTrap) {
        expect_solution(kTrap, one.out);
        EXPECT_EQ(untimed(one.lines), (std::vector<std::string>{
                      "IDA* basladi. blokaj=2 g*=5 DS=-2 h=2.000000 dsg_tiebreak=" +
                          std::string(tiebreak ? "acik\n" : "kapali\n"),
                      "Iterasyon 1 | esik=2.000000 | 1 thread aciliyor\n", "Thread 0 acildi\n",
                      "Iterasyon 2 | esik=3.000000 | 1 thread aciliyor\n", "Thread 0 acildi\n",
                      "Cozum bulundu! adim=" + std::to_string(one.out.path.size()) + " iter=2 sure=\n"}));
      }
      for (const int32_t workers : {2, 3, 8, 64}) {
        const Logged r = run(*board, {tiebreak, workers, {core}});
        expect_solution(*board, r.out);
        EXPECT_EQ(r.out.iterations, n) << workers << " workers";
        EXPECT_EQ(iteration_totals(r.out, n - 1), iteration_totals(one.out, n - 1));
        EXPECT_EQ(bounds(r.lines), bounds(one.lines));
        const int64_t idle = count_lines(r.lines, " bosta kaldi (hic is alamadi)\n");
        for (int32_t w = 0; w < workers; ++w) {
          EXPECT_EQ(std::ranges::count(r.lines, log_line::worker_opened(w)), n) << "worker " << w;
        }
        EXPECT_GE(idle, n * std::max<int64_t>(0, workers - items));
        EXPECT_LT(idle, n * workers);
        // Four root items and 47,403 nodes before the goal's iteration: most
        // of eight workers wait from the first node on, so pieces must move.
        if (workers == 8 && board == &kFewA) {
          EXPECT_GT(r.out.pieces, 0);
        }
      }
    }
  }
}

// Waiting workers see the end of an iteration that one worker searches
// alone: 1,3,2 / one slot (the one move is cut in iteration 1 and a dead end
// in 2), and the chains.
TEST(ThreadedSplit, IterationsThatAreOneChain) {
  const Lanes dead_end{{1, 3, 2}, {0}};
  const Logged dead = run(dead_end, {false, 1});
  const Logged exhausted = run(kChainExhausted, {false, 1});
  const Logged solved = run(kChainSolved, {false, 1});
  EXPECT_EQ(std::tie(dead.out.end, dead.out.iterations), std::make_tuple(RunEnd::exhausted, 2));
  ASSERT_EQ(exhausted.out.end, RunEnd::exhausted);
  ASSERT_GE(exhausted.out.iterations, 10);
  expect_solution(kChainSolved, solved.out);
  ASSERT_GE(solved.out.path.size(), 16u);
  for (const int32_t count : {2, 4, 8}) {
    for (const auto& [board, one] : {std::pair{&dead_end, &dead}, {&kChainExhausted, &exhausted}}) {
      const Logged a = run(*board, {false, count});
      EXPECT_EQ(std::tie(a.out.end, a.out.iterations, a.out.nodes, a.out.pieces),
                std::tie(one->out.end, one->out.iterations, one->out.nodes, one->out.pieces));
      EXPECT_EQ(bounds(a.lines), bounds(one->lines));
      EXPECT_EQ(untimed({a.lines.back()}), untimed({log_line::exhausted(0.0)}));
    }
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
