// Whole runs through run_search with plain C++ hooks: solutions replayed by
// the move rules, log lines, the stop hooks, interruption and failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "module/run_driver.h"
#include "search/bounded_dfs.h"
#include "search/work.h"

namespace velmora {
namespace {

const Lanes kTrap{{0, 0, 0}, {0, 0, 1}, {2, 1, 2}, {5, 4, 5}};  // not solved within h
const Lanes kThree{{0, 5, 5, 3}, {0, 3, 1, 4}, {0, 0, 3, 2}, {0, 4, 1, 1}, {0, 0, 5, 4}, {0, 1, 2, 2}};
const Lanes kLong{{0, 0, 0, 2, 4}, {0, 5, 1, 5, 3}, {4, 2, 1, 3, 1}};  // millions of nodes

struct Recorder {
  std::mutex mutex;
  std::vector<std::string> lines;
  RunHooks hooks;
  Recorder() {
    hooks.log = [this](std::string_view text) {
      std::lock_guard lock(mutex);
      lines.emplace_back(text);
    };
  }
  size_t count(const std::string& part) const {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.find(part) != std::string::npos;
    }));
  }
};

std::string no_seconds(const std::string& line) {
  return std::regex_replace(line, std::regex("sure=[0-9.]+"), "sure=");
}

int32_t front(const std::vector<int32_t>& lane) {
  const auto it = std::find_if(lane.begin(), lane.end(), [](int32_t v) { return v != 0; });
  return it == lane.end() ? -1 : static_cast<int32_t>(it - lane.begin());
}

// Replays the path by the move rules (front item out, in front of the
// destination's items or into its last slot), checking every field.
void expect_valid_solution(const Lanes& lanes, const RunOutcome& out) {
  ASSERT_EQ(out.end, RunEnd::solved);
  EXPECT_EQ(out.start_h, evaluate_start(build_layout(lanes)).h);
  Lanes board = lanes;
  for (size_t i = 0; i < out.path.size(); ++i) {
    const PathStep& step = out.path[i];
    auto& src = board.at(static_cast<size_t>(step.src_lane));
    auto& dst = board.at(static_cast<size_t>(step.dst_lane));
    const int32_t from = front(src), b = front(dst);
    const int32_t to = b < 0 ? static_cast<int32_t>(dst.size()) - 1 : b - 1;
    ASSERT_TRUE(from >= 0 && to >= 0) << "step " << i;
    dst[static_cast<size_t>(to)] = std::exchange(src[static_cast<size_t>(from)], 0);
    const double h = evaluate_start(build_layout(board)).h;
    const auto g = static_cast<int32_t>(i + 1);
    EXPECT_EQ(step, (PathStep{step.src_lane, from, step.dst_lane, to, dst[static_cast<size_t>(to)],
                              g, h, g + h, 0.0}));
  }
  for (const auto& lane : board) {  // no item of level 1..5 in front of a greater one
    std::vector<int32_t> items;
    std::copy_if(lane.begin(), lane.end(), std::back_inserter(items), [](int32_t v) { return v; });
    for (size_t k = items.size(); k-- > 1;) {
      if (items[k - 1] <= items[k]) continue;
      for (size_t t = 0; t < k; ++t) EXPECT_GT(items[t], 5) << "misplaced item left";
      break;
    }
  }
}

TEST(RunEndings, SolvedAtStartNoMoveExhaustedRefused) {
  Recorder solved, stuck, dead, refused;
  const RunOutcome a = run_search({{0, 1, 2}, {3}}, {}, solved.hooks);
  EXPECT_EQ(a.end, RunEnd::solved_at_start);
  EXPECT_EQ(a.iterations + a.nodes, 0);
  EXPECT_EQ(solved.lines, std::vector<std::string>{
                              "IDA* basladi. blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=kapali\n"});
  EXPECT_EQ(run_search({{2, 1}}, {false, 4}, stuck.hooks).end, RunEnd::no_root_work);
  EXPECT_EQ(stuck.lines.size(), 2u);
  EXPECT_EQ(stuck.lines.back(), "Cozum bulunamadi.\n");
  // 1,3,2 / one slot: the one move is cut in iteration 1 and a dead end in 2.
  const RunOutcome c = run_search({{1, 3, 2}, {0}}, {false, 1}, dead.hooks);
  EXPECT_EQ(c.end, RunEnd::exhausted);
  EXPECT_EQ(c.iterations, 2);
  EXPECT_TRUE(std::regex_match(dead.lines.back(), std::regex("Cozum bulunamadi\\. sure=[0-9]+\\.[0-9]{6}\n")));
  EXPECT_THROW(run_search(Lanes(101, {1}), {}, refused.hooks), std::invalid_argument);
  EXPECT_TRUE(refused.lines.empty());
}

TEST(RunSolve, TrapIsSolvedInIterationTwo) {
  for (const bool tiebreak : {false, true}) {
    Recorder rec;
    const RunOutcome out = run_search(kTrap, {tiebreak, 1}, rec.hooks);
    expect_valid_solution(kTrap, out);
    EXPECT_EQ(out.iterations, 2);
    EXPECT_EQ(rec.lines.at(0), std::string("IDA* basladi. blokaj=2 g*=5 DS=-2 h=2.000000 dsg_tiebreak=") +
                                   (tiebreak ? "acik\n" : "kapali\n"));
    EXPECT_EQ(rec.lines.at(1), "Iterasyon 1 | esik=2.000000 | 1 thread aciliyor\n");
    EXPECT_EQ(rec.lines.at(2), "Thread 0 acildi\n");
    EXPECT_TRUE(rec.lines.at(3).starts_with("Iterasyon 2 | esik=3.000000"));
    EXPECT_EQ(no_seconds(rec.lines.back()),
              "Cozum bulundu! adim=" + std::to_string(out.path.size()) + " iter=2 sure=\n");
  }
}

// One worker is the search from the start state, iteration by iteration,
// except that the run never counts the start node.
TEST(RunSolve, OneWorkerIsTheSearchFromTheStart) {
  const BoardLayout layout = build_layout(kThree);
  const LaneState start = evaluate_start(layout);
  int64_t nodes = 0;
  int32_t iterations = 0;
  Path solution;
  std::atomic<double> bound{start.h};
  for (double result = 0.0; result != FOUND;) {
    std::atomic<double> next{std::numeric_limits<double>::infinity()};
    std::atomic<bool> found{false}, stop{false};
    ThreadCounters counters;
    solution.clear();
    result = bounded_dfs(start, layout, bound, next, found, stop, ++iterations, solution, counters,
                         0, false, monotonic_ns(), {}, {});
    nodes += counters.nodes - 1;
    bound = next.load();
  }
  ASSERT_GE(iterations, 3);
  for (const SearchCore core : {SearchCore::reference, SearchCore::fast}) {
    Recorder first, second;
    const RunOutcome a = run_search(kThree, {false, 1, core}, first.hooks);
    const RunOutcome b = run_search(kThree, {false, 1, core}, second.hooks);
    expect_valid_solution(kThree, a);
    EXPECT_EQ(a.iterations, iterations);
    EXPECT_EQ(a.nodes, nodes);  // every iteration's nodes, not only the last
    EXPECT_EQ(a.path, solution);
    EXPECT_EQ(b.path, a.path);  // deterministic, log lines included
    EXPECT_EQ(b.nodes, a.nodes);
    ASSERT_EQ(first.lines.size(), second.lines.size());
    for (size_t i = 0; i < first.lines.size(); ++i) {
      EXPECT_EQ(no_seconds(first.lines[i]), no_seconds(second.lines[i]));
    }
  }
}

TEST(RunParallel, ValidSolutionsAndIdleWorkers) {
  const Lanes eight_moves{{3, 4, 4, 1}, {0, 5, 2, 2}, {0, 0, 1, 1}, {0, 0, 0, 3}, {0, 0, 5, 2}};
  for (const Lanes& board : {kTrap, kThree, eight_moves}) {
    for (const int32_t threads : {2, 5}) {
      for (const bool tiebreak : {false, true}) {
        Recorder rec;
        const SearchCore core = tiebreak ? SearchCore::reference : SearchCore::fast;
        expect_valid_solution(board, run_search(board, {tiebreak, threads, core}, rec.hooks));
        EXPECT_EQ(rec.count(" acildi\n"), rec.count("Iterasyon") * static_cast<size_t>(threads));
      }
    }
  }
  const BoardLayout layout = build_layout(kTrap);
  const size_t items = split_root(evaluate_start(layout), layout, false).size();
  ASSERT_LT(items, 8u);
  Recorder rec;
  expect_valid_solution(kTrap, run_search(kTrap, {false, 8}, rec.hooks));
  EXPECT_GE(rec.count(" bosta kaldi (hic is alamadi)\n"), (8 - items) * rec.count("Iterasyon"));
  for (auto line = rec.lines.begin(); line != rec.lines.end(); ++line) {
    const size_t idle = line->find(" bosta kaldi");
    if (idle == std::string::npos) continue;
    EXPECT_NE(std::find(rec.lines.begin(), line, line->substr(0, idle) + " acildi\n"), line);
  }
}

TEST(RunStops, BeforeAnIteration) {
  Recorder at_once, later;
  int best_calls = 0;
  at_once.hooks.stop = [] { return true; };
  at_once.hooks.stop_get_best = [&] { return ++best_calls > 0; };
  EXPECT_EQ(run_search(kTrap, {}, at_once.hooks).end, RunEnd::stopped_before_iteration);
  EXPECT_EQ(best_calls, 0);  // not asked once stop said yes
  EXPECT_EQ(at_once.lines.size(), 2u);
  EXPECT_EQ(at_once.lines.back(), "IDA* durduruldu, None donuluyor.\n");

  std::vector<std::thread::id> callers;
  later.hooks.stop_get_best = [&] {
    callers.push_back(std::this_thread::get_id());
    return callers.size() == 4;
  };
  const RunOutcome out = run_search(kLong, {false, 2}, later.hooks);
  EXPECT_EQ(out.end, RunEnd::stopped_before_iteration);
  EXPECT_EQ(out.iterations, 3);
  EXPECT_EQ(callers, std::vector<std::thread::id>(4, std::this_thread::get_id()));
  EXPECT_EQ(later.count("Iterasyon"), 3u);
  EXPECT_EQ(later.lines.back(), "IDA* durduruldu, None donuluyor.\n");
}

TEST(RunStops, InsideTheSearchEveryThousandNodes) {
  Recorder rec;
  const std::thread::id driver = std::this_thread::get_id();
  std::atomic<int> calls{0};  // from the worker: nodes 1000, 2000, ...
  rec.hooks.stop = [&] { return std::this_thread::get_id() != driver && ++calls == 5; };
  const RunOutcome out = run_search(kLong, {false, 1, SearchCore::reference}, rec.hooks);
  EXPECT_EQ(out.end, RunEnd::stopped_in_search);
  EXPECT_EQ(out.nodes, 5000);
  EXPECT_EQ(rec.lines.back(), "IDA* durduruldu (dfs icinde), None donuluyor.\n");
}

TEST(IterationLog, BoundsRiseAndProgressLinesCountAcrossIterations) {
  Recorder rec;
  rec.hooks.stop = [&] { return rec.count("[IDA*]") > 0; };  // one worker: no race on lines
  const RunOutcome out = run_search(kLong, {false, 1, SearchCore::reference}, rec.hooks);
  EXPECT_EQ(out.end, RunEnd::stopped_in_search);
  EXPECT_EQ(out.nodes, 51000);

  std::vector<double> bounds;
  std::string last_bound;
  const std::regex iteration("Iterasyon ([0-9]+) \\| esik=([0-9]+\\.[0-9]{6}) \\| 1 thread aciliyor\n");
  for (const auto& line : rec.lines) {
    std::smatch m;
    if (!std::regex_match(line, m, iteration)) continue;
    EXPECT_EQ(std::stoul(m[1]), bounds.size() + 1);
    bounds.push_back(std::stod(m[2]));
    last_bound = m[2];
  }
  ASSERT_GE(bounds.size(), 3u);  // the 50,000th node comes after several iterations
  EXPECT_EQ(bounds[0], out.start_h);
  for (size_t i = 1; i < bounds.size(); ++i) EXPECT_GT(bounds[i], bounds[i - 1]);
  ASSERT_EQ(rec.count("[IDA*]"), 1u);
  const std::regex progress("\\[IDA\\*\\] iter=" + std::to_string(bounds.size()) +
                            " \\| thread_nodes=50000 \\| esik=" + last_bound +
                            " \\| min_h=[0-9]+\\.[0-9]{6} \\| sure=[0-9]+\\.[0-9]{6}s\n");
  const auto line = std::find_if(rec.lines.begin(), rec.lines.end(),
                                 [](const std::string& l) { return l.starts_with("[IDA*]"); });
  EXPECT_TRUE(std::regex_match(*line, progress)) << *line;
}

TEST(RunInterrupt, EndsALongRunWithoutALogLine) {
  Recorder rec;
  std::atomic<int> stop_polls{0};
  rec.hooks.stop = [&] { return ++stop_polls > 500; };  // a safety net, far off
  std::vector<std::thread::id> callers;
  rec.hooks.interrupted = [&] {
    callers.push_back(std::this_thread::get_id());
    return callers.size() == 3;
  };
  EXPECT_EQ(run_search(kLong, {false, 2}, rec.hooks).end, RunEnd::interrupted);
  EXPECT_EQ(callers, std::vector<std::thread::id>(3, std::this_thread::get_id()));
  EXPECT_EQ(rec.count("durduruldu") + rec.count("Cozum"), 0u);
}

TEST(RunFailure, WorkerExceptionIsRethrownAfterTheJoin) {
  RunHooks hooks;
  hooks.log = [](std::string_view text) {
    if (text == "Thread 1 acildi\n") throw std::length_error("worker 1 failed");
  };
  EXPECT_THROW(run_search(kLong, {false, 4}, hooks), std::length_error);
  const std::thread::id driver = std::this_thread::get_id();
  hooks.log = {};
  hooks.stop = [&] {
    if (std::this_thread::get_id() != driver) throw std::domain_error("stop failed");
    return false;
  };
  EXPECT_THROW(run_search(kLong, {false, 3}, hooks), std::domain_error);
}

}  // namespace
}  // namespace velmora
