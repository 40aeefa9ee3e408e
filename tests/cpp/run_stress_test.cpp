// Whole multi-threaded runs, meant for ThreadSanitizer (and AddressSanitizer):
// several boards, 2 to 8 workers, every ending (solved, stopped inside the
// search, stopped between iterations, exhausted, interrupted), stops asked
// for from another thread, and several runs at once. Every solution is
// replayed move by move.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "board/lane_state.h"
#include "board/move.h"
#include "module/run_driver.h"

namespace velmora {
namespace {

const Lanes kTrap{{0, 0, 0}, {0, 0, 1}, {2, 1, 2}, {5, 4, 5}};
const Lanes kThreeIterations{{0, 5, 5, 3}, {0, 3, 1, 4}, {0, 0, 3, 2},
                             {0, 4, 1, 1}, {0, 0, 5, 4}, {0, 1, 2, 2}};
const Lanes kFiveLanes{{3, 4, 4, 1}, {0, 5, 2, 2}, {0, 0, 1, 1}, {0, 0, 0, 3}, {0, 0, 5, 2}};
const Lanes kSixLanes{{1, 2, 4, 1}, {0, 0, 0, 2}, {0, 5, 1, 3},
                      {0, 4, 4, 3}, {0, 1, 3, 2}, {0, 0, 5, 5}};
const Lanes kLong{{0, 0, 0, 2, 4}, {0, 5, 1, 5, 3}, {4, 2, 1, 3, 1}};
const Lanes kExhausted{{0, 1, 3, 2}, {0}};  // one move out, then only its reverse

// Replays the moves with the board model and checks that the board ends
// solved: a path torn or mixed up by a race fails here.
void expect_solution(const Lanes& lanes, const RunOutcome& out) {
  ASSERT_EQ(out.end, RunEnd::solved);
  ASSERT_FALSE(out.path.empty());
  const BoardLayout layout = build_layout(lanes);
  std::optional<LaneState> state = evaluate_start(layout);
  for (size_t i = 0; i < out.path.size(); ++i) {
    const PathStep& step = out.path[i];
    state = apply_move(*state, layout, step.src_lane, step.dst_lane);
    ASSERT_TRUE(state) << "move " << i << " is not legal";
    EXPECT_EQ(step.g, static_cast<int32_t>(i) + 1);
    EXPECT_EQ(step.h, state->h);
  }
  EXPECT_EQ(state->blokaj, 0);
}

// Log lines from any thread, kept whole.
struct Log {
  std::mutex mutex;
  std::vector<std::string> lines;

  LogSink sink() {
    return [this](std::string_view text) {
      std::lock_guard lock(mutex);
      lines.emplace_back(text);
    };
  }
  std::string last() {
    std::lock_guard lock(mutex);
    return lines.empty() ? std::string() : lines.back();
  }
};

RunOutcome run(const Lanes& board, int32_t workers, RunHooks hooks, Log& log,
               bool tiebreak = false) {
  hooks.log = log.sink();
  return run_search(board, RunOptions{tiebreak, workers}, hooks);
}

TEST(RunStress, SolvedByTwoToEightWorkers) {
  for (const Lanes* board : {&kTrap, &kThreeIterations, &kFiveLanes, &kSixLanes}) {
    for (const int32_t workers : {2, 3, 5, 8}) {
      Log log;
      std::atomic<int> polls{0};
      RunHooks hooks;
      hooks.stop = [&] { return ++polls < 0; };  // asked, never stops
      hooks.interrupted = [] { return false; };
      const RunOutcome out = run(*board, workers, hooks, log, workers % 2 == 1);
      expect_solution(*board, out);
      EXPECT_TRUE(log.last().starts_with("Cozum bulundu! adim=")) << log.last();
    }
  }
}

TEST(RunStress, ExhaustedAndStoppedEndings) {
  for (const int32_t workers : {2, 4, 8}) {
    Log exhausted;
    EXPECT_EQ(run(kExhausted, workers, {}, exhausted).end, RunEnd::exhausted);
    EXPECT_TRUE(exhausted.last().starts_with("Cozum bulunamadi. sure="));

    // Inside the search: every worker asks each 1000 nodes (the driver asks
    // too, between iterations, and is always told to go on).
    Log inside;
    std::atomic<int> polls{0};
    const std::thread::id driver = std::this_thread::get_id();
    RunHooks stop_inside;
    stop_inside.stop = [&] { return std::this_thread::get_id() != driver && ++polls > 12; };
    EXPECT_EQ(run(kLong, workers, stop_inside, inside).end, RunEnd::stopped_in_search);
    EXPECT_EQ(inside.last(), "IDA* durduruldu (dfs icinde), None donuluyor.\n");

    // Between iterations, asked by the driver only.
    Log between;
    int best_polls = 0;
    RunHooks stop_between;
    stop_between.stop_get_best = [&] { return ++best_polls == 4; };
    const RunOutcome out = run(kLong, workers, stop_between, between);
    EXPECT_EQ(out.end, RunEnd::stopped_before_iteration);
    EXPECT_EQ(out.iterations, 3);
    EXPECT_EQ(between.last(), "IDA* durduruldu, None donuluyor.\n");
  }
}

// The workers of a long iteration (iteration 8 of kLong: about 21000 nodes)
// wait in their first log line until the other thread has asked to stop, so
// the stop surely lands inside the search.
TEST(RunStress, StopAskedFromAnotherThread) {
  for (const int32_t workers : {2, 6}) {
    std::atomic<bool> stop{false};
    std::atomic<int> iteration{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    Log log;
    RunHooks hooks;
    hooks.stop = [&] { return stop.load(); };
    const LogSink record = log.sink();
    hooks.log = [&](std::string_view text) {
      record(text);
      if (text.starts_with("Iterasyon ")) iteration = std::stoi(std::string(text.substr(10)));
      if (text.ends_with(" acildi\n") && iteration >= 8) {
        std::unique_lock lock(mutex);
        holding = true;
        changed.notify_all();
        changed.wait(lock, [&] { return stop.load(); });
      }
    };
    std::thread stopper([&] {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return holding; });
      stop = true;
      changed.notify_all();
    });
    const RunOutcome out = run_search(kLong, RunOptions{false, workers}, hooks);
    stopper.join();
    EXPECT_EQ(out.end, RunEnd::stopped_in_search);
    EXPECT_EQ(log.last(), "IDA* durduruldu (dfs icinde), None donuluyor.\n");
  }
}

TEST(RunStress, InterruptedWhileWorkersRun) {
  for (const int32_t workers : {2, 8}) {
    std::atomic<bool> interrupt{false};
    std::atomic<int> worker_polls{0};
    const std::thread::id driver = std::this_thread::get_id();
    Log log;
    RunHooks hooks;
    // The workers' tenth stop poll raises the flag that the driver's
    // interruption hook reads; a far-off stop is only a safety net.
    hooks.stop = [&] {
      if (std::this_thread::get_id() != driver && ++worker_polls == 10) interrupt = true;
      return worker_polls > 100000;
    };
    hooks.interrupted = [&] { return interrupt.load(); };
    const RunOutcome out = run(kLong, workers, hooks, log);
    EXPECT_EQ(out.end, RunEnd::interrupted);
    EXPECT_GE(worker_polls.load(), 10);
  }
}

// Runs share nothing but the hash keys: several at once, each on its own
// board and workers, give valid answers, and one's stop ends only that one.
TEST(RunStress, SeveralRunsAtOnce) {
  const std::vector<const Lanes*> boards{&kTrap, &kThreeIterations, &kFiveLanes, &kSixLanes};
  std::vector<RunOutcome> outcomes(boards.size() + 1);
  std::vector<std::thread> callers;
  for (size_t i = 0; i < boards.size(); ++i) {
    callers.emplace_back([&, i] {
      Log log;
      outcomes[i] = run(*boards[i], 2 + static_cast<int32_t>(i), {}, log);
    });
  }
  callers.emplace_back([&] {
    Log log;
    std::atomic<int> polls{0};
    const std::thread::id driver = std::this_thread::get_id();
    RunHooks hooks;
    hooks.stop = [&] { return std::this_thread::get_id() != driver && ++polls > 20; };
    outcomes.back() = run(kLong, 3, hooks, log);
  });
  for (std::thread& t : callers) t.join();
  for (size_t i = 0; i < boards.size(); ++i) expect_solution(*boards[i], outcomes[i]);
  EXPECT_EQ(outcomes.back().end, RunEnd::stopped_in_search);
}

}  // namespace
}  // namespace velmora
