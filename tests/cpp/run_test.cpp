// Whole runs through run_search with plain C++ hooks: solutions replayed by
// the move rules, log lines, stops, interruption and failures. Every suite
// here starts worker threads and so carries the Threaded prefix, which the
// ThreadSanitizer run selects.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "search/run_driver.h"
#include "test_boards.h"

namespace velmora {
namespace {

const std::string kStopped = "IDA* durduruldu, None donuluyor.\n";
const std::string kStoppedInSearch = "IDA* durduruldu (dfs icinde), None donuluyor.\n";

bool on_worker(std::thread::id driver) { return std::this_thread::get_id() != driver; }

// 1,3,2 / one slot: the one move is cut in iteration 1 and a dead end in 2.
// (The endings without workers are checked through the module.)
TEST(ThreadedRunEndings, DeadEndExhaustedInIterationTwo) {
  for (const int32_t workers : {1, 2, 4, 8}) {
    Recorder dead;
    const RunOutcome c = run_search({{1, 3, 2}, {0}}, {false, workers}, dead.hooks);
    EXPECT_EQ(std::tie(c.end, c.iterations), std::make_tuple(RunEnd::exhausted, 2));
    EXPECT_TRUE(std::regex_match(dead.lines.back(),
                                 std::regex("Cozum bulunamadi\\. sure=[0-9]+\\.[0-9]{6}\n")));
  }
}

TEST(ThreadedRunLog, TrapIsSolvedInIterationTwo) {
  for (const bool tiebreak : {false, true}) {
    Recorder rec;
    const RunOutcome out = run_search(kTrap, {tiebreak, 1}, rec.hooks);
    expect_solution(kTrap, out);
    EXPECT_EQ(rec.untimed(), (std::vector<std::string>{
                       "IDA* basladi. blokaj=2 g*=5 DS=-2 h=2.000000 dsg_tiebreak=" +
                           std::string(tiebreak ? "acik\n" : "kapali\n"),
                       "Iterasyon 1 | esik=2.000000 | 1 thread aciliyor\n", "Thread 0 acildi\n",
                       "Iterasyon 2 | esik=3.000000 | 1 thread aciliyor\n", "Thread 0 acildi\n",
                       "Cozum bulundu! adim=" + std::to_string(out.path.size()) + " iter=2 sure=\n"}));
  }
}

TEST(ThreadedRunStops, BetweenIterationsOnTheDriverThread) {
  Recorder at_once, later;
  int best_calls = 0;
  at_once.hooks.stop = [] { return true; };
  at_once.hooks.stop_get_best = [&] { return ++best_calls > 0; };
  EXPECT_EQ(run_search(kTrap, {}, at_once.hooks).end, RunEnd::stopped_before_iteration);
  // stop_get_best is not asked once stop said yes.
  EXPECT_EQ(std::make_tuple(best_calls, at_once.lines.size(), at_once.lines.back()),
            std::make_tuple(0, size_t{2}, kStopped));
  std::vector<std::thread::id> callers;
  later.hooks.stop_get_best = [&] {
    callers.push_back(std::this_thread::get_id());
    return callers.size() == 4;
  };
  const RunOutcome out = run_search(kLong, {false, 4}, later.hooks);
  EXPECT_EQ(std::tie(out.end, out.iterations), std::make_tuple(RunEnd::stopped_before_iteration, 3));
  EXPECT_EQ(callers, std::vector<std::thread::id>(4, std::this_thread::get_id()));
  EXPECT_EQ(later.count("Iterasyon"), 3u);
  EXPECT_EQ(later.lines.back(), kStopped);
}

// Workers ask every 1000 of their nodes; the driver asks too, between
// iterations, and is always told to go on.
TEST(ThreadedRunStops, InsideTheSearchEveryThousandNodes) {
  for (const int32_t workers : {1, 2, 4, 8}) {
    Recorder rec;
    std::atomic<int> polls{0};
    rec.hooks.stop = [&, driver = std::this_thread::get_id()] {
      return on_worker(driver) && ++polls >= 5;
    };
    const RunOutcome out = run_search(kLong, {false, workers, SearchCore::reference}, rec.hooks);
    EXPECT_EQ(out.end, RunEnd::stopped_in_search);
    EXPECT_TRUE(workers > 1 ? out.nodes >= 5000 : out.nodes == 5000) << out.nodes;
    EXPECT_EQ(rec.lines.back(), kStoppedInSearch);
  }
}

TEST(ThreadedProgressLine, CountCarriesAcrossIterations) {
  Recorder rec;
  rec.hooks.stop = [&] { return rec.count("[IDA*]") > 0; };
  const RunOutcome out = run_search(kLong, {false, 1}, rec.hooks);
  EXPECT_EQ(std::tie(out.end, out.nodes), std::make_tuple(RunEnd::stopped_in_search, 51000));
  ASSERT_GE(out.iterations, 3);  // the 50,000th node comes after several iterations
  ASSERT_EQ(rec.count("[IDA*]"), 1u);
  const auto line = std::ranges::find_if(rec.lines, [](auto& l) { return l.starts_with("[IDA*]"); });
  const std::regex iteration("Iterasyon [0-9]+ \\| esik=([0-9.]+) \\| 1 thread aciliyor\n");
  std::smatch bound;  // of the iteration line before it
  ASSERT_TRUE(std::regex_match(*(line - 2), bound, iteration));
  EXPECT_TRUE(std::regex_match(
      *line, std::regex("\\[IDA\\*\\] iter=" + std::to_string(out.iterations) +
                        " \\| thread_nodes=50000 \\| esik=" + bound[1].str() +
                        " \\| min_h=[0-9]+\\.[0-9]{6} \\| sure=[0-9]+\\.[0-9]{6}s\n")))
      << *line;
}

// 53 full lanes of 1 x18, 2, 1 and 8 empty ones: h 1007, and the first move
// of every node lowers h by one, so the search goes straight down.
TEST(ThreadedDeepBoard, StoppedAThousandLevelsDown) {
  Lanes lanes(53, std::vector<int32_t>(18, 1));
  for (auto& lane : lanes) lane.insert(lane.end(), {2, 1});
  lanes.resize(61, std::vector<int32_t>(20, 0));
  for (const SearchCore core : {SearchCore::fast, SearchCore::reference}) {
    Recorder rec;
    rec.hooks.stop = [driver = std::this_thread::get_id()] { return on_worker(driver); };
    const RunOutcome out = run_search(lanes, {false, 1, core}, rec.hooks);
    EXPECT_GT(out.start_h, 1000.0);
    EXPECT_EQ(std::tie(out.end, out.nodes), std::make_tuple(RunEnd::stopped_in_search, 1000));
  }
}

// The driver also asks after each hook it calls itself; here the third
// question while workers search says yes.
TEST(ThreadedRunInterrupt, EndsTheRunWithoutALogLine) {
  Recorder rec;
  std::atomic<int> polls{0};
  std::atomic<bool> searching{false};
  rec.hooks.stop = [&] { return ++polls > 50000; };  // a safety net, far off
  rec.hooks.log = [&, keep = rec.hooks.log](std::string_view text) {
    if (text.ends_with(" acildi\n")) searching = true;
    keep(text);
  };
  std::vector<std::thread::id> callers;
  int while_searching = 0;
  rec.hooks.interrupted = [&] {
    callers.push_back(std::this_thread::get_id());
    return searching && ++while_searching == 3;
  };
  EXPECT_EQ(run_search(kLong, {false, 6}, rec.hooks).end, RunEnd::interrupted);
  EXPECT_EQ(while_searching, 3);
  EXPECT_EQ(callers, std::vector<std::thread::id>(callers.size(), std::this_thread::get_id()));
  EXPECT_EQ(rec.count("durduruldu") + rec.count("Cozum"), 0u);
}

// A pending interruption found after a hook on the driver's thread ends the
// run there: no stop_get_best after stop, no iteration after its line.
TEST(ThreadedRunInterrupt, TakenAfterAHookEndsTheRunAtOnce) {
  for (const int after : {1, 2, 3}) {  // the start line, the stop poll, the iteration line
    Recorder rec;
    int asked = 0, best_calls = 0;
    rec.hooks.stop_get_best = [&] { return ++best_calls > 100; };
    rec.hooks.interrupted = [&] { return ++asked == after; };
    RunOptions options{false, 2};
    options.reach_memory_cap = 0;  // its slice would ask too, were it slow enough
    const RunOutcome out = run_search(kLong, options, rec.hooks);
    EXPECT_EQ(std::tie(out.end, asked), std::make_tuple(RunEnd::interrupted, after));
    EXPECT_EQ(rec.lines.size(), after == 3 ? 2u : 1u);
    EXPECT_EQ(best_calls, after == 1 ? 0 : 1);
    EXPECT_EQ(rec.count(" acildi"), 0u);
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

}  // namespace
}  // namespace velmora
