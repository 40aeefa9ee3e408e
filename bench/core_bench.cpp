// Benchmark of the search core, without Python: every board solved at one
// thread by the reference core and by the fast core in the same process,
// checked for identical results, with throughput, memory and allocation
// figures, with the tie-break off and on; then the largest boards at 1, 2
// and all hardware threads.
//
// usage: core_bench BOARDS_FILE [--reference-budget NODES]
// The last line is "geomean speed-up (both settings): X.XX".

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "search/run_driver.h"
#include "search/bounded_dfs.h"

namespace {

std::atomic<int64_t> g_allocations{0};

}  // namespace

// Counts every heap allocation of the process, to show that an expanded node
// allocates nothing once the search's buffers have grown.
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using velmora::Lanes;
using velmora::RunEnd;
using velmora::RunHooks;
using velmora::RunOptions;
using velmora::RunOutcome;
using velmora::SearchCore;

struct Board {
  std::string name;
  Lanes lanes;
};

std::vector<Board> read_boards(const char* file) {
  std::ifstream in(file);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file);
    std::exit(2);
  }
  std::vector<Board> boards;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const auto colon = line.find(':');
    Board b{line.substr(0, colon), {}};
    std::stringstream lanes(line.substr(colon + 1));
    std::string lane;
    while (std::getline(lanes, lane, '/')) {
      std::vector<int32_t> slots;
      std::stringstream cells(lane);
      std::string cell;
      while (std::getline(cells, cell, ',')) slots.push_back(std::stoi(cell));
      b.lanes.push_back(slots);
    }
    boards.push_back(b);
  }
  return boards;
}

// Resets the process's peak resident memory, and reads it in MiB.
void reset_peak_memory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
double peak_memory_mib() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kib = 0;
      status >> kib;
      return kib / 1024.0;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0.0;
}

struct Run {
  RunOutcome outcome;
  std::vector<std::string> log;  // progress and end lines, elapsed seconds cut off
  double seconds = 0;
  double peak_mib = 0;
  int64_t allocations = 0;
};

// One run; with a node budget the run is stopped at the first stop poll past
// it, which at one thread happens at the same node in every core.
Run run(const Lanes& lanes, SearchCore core, int32_t threads, int64_t budget, bool tiebreak,
        std::size_t reach_cap = velmora::kReachMemoryCap) {
  Run r;
  std::atomic<int64_t> polls{0};
  RunHooks hooks;
  hooks.log = [&r](std::string_view text) {
    const std::string line(text);
    if (line.rfind("[IDA*]", 0) == 0) r.log.push_back(line.substr(0, line.find(" | sure=")));
  };
  if (budget > 0) {
    hooks.stop = [&polls, budget] {
      return polls.fetch_add(1) + 1 > budget / velmora::kStopPollInterval;
    };
  }
  RunOptions options;
  options.num_threads = threads;
  options.use_dsg_tiebreak = tiebreak;
  options.core = core;
  options.reach_memory_cap = reach_cap;
  reset_peak_memory();
  const int64_t allocations = g_allocations.load();
  const int64_t start = velmora::monotonic_ns();
  r.outcome = velmora::run_search(lanes, options, hooks);
  r.seconds = static_cast<double>(velmora::monotonic_ns() - start) / 1e9;
  r.allocations = g_allocations.load() - allocations;
  r.peak_mib = peak_memory_mib();
  return r;
}

bool same_result(const Run& a, const Run& b) {
  return a.outcome.end == b.outcome.end && a.outcome.nodes == b.outcome.nodes &&
         a.outcome.iterations == b.outcome.iterations && a.outcome.path == b.outcome.path &&
         a.log == b.log;
}

// A run of fewer nodes times mostly what every run costs whatever its
// kernel (threads, the root split, the log), not the kernel.
constexpr int64_t kKernelRowNodes = 1000;

int slots_of(const Lanes& lanes) {
  std::size_t slots = 0;
  for (const auto& lane : lanes) slots = std::max(slots, lane.size());
  return static_cast<int>(slots);
}

const char* verdict_name(velmora::ReachVerdict v) {
  switch (v) {
    case velmora::ReachVerdict::open: return "open";
    case velmora::ReachVerdict::solvable: return "solvable";
    case velmora::ReachVerdict::no_solution: return "no solution";
    case velmora::ReachVerdict::search_ends: return "search ends";
    case velmora::ReachVerdict::gave_up: return "gave up";
  }
  return "?";
}

// What the enumeration of reachable positions costs the search: each board
// at 1 and 2 workers with it and without it (fast core), alternately, the
// least of `reps` seconds each. "cost" is the enumeration's own time on the
// driver's thread over the time of that (quickest) run: the share the search
// loses at most (all of it before the first iteration, a share of one core
// beside the workers). "measured" is the difference of the two timings,
// which on a shared machine, and with two workers that race to the goal, is
// mostly noise. Then how soon it ends unsolvable boards.
void reach_overhead(const std::vector<Board>& boards, int reps) {
  std::printf("\nenumeration of reachable positions (fast core; least of %d runs each)\n", reps);
  std::printf("%-6s %7s %9s %9s %8s | %-11s %9s %9s %7s %9s\n", "board", "threads", "off s",
              "on s", "measured", "verdict", "positions", "enum s", "cost", "peak KiB");
  double worst = 0;
  for (const Board& board : boards) {
    for (const int threads : {1, 2}) {
      double off = 1e30, on = 1e30;
      Run with;
      for (int i = 0; i < reps; ++i) {
        off = std::min(off, run(board.lanes, SearchCore::fast, threads, 0, false, 0).seconds);
        Run r = run(board.lanes, SearchCore::fast, threads, 0, false);
        if (r.seconds < on) {
          on = r.seconds;
          with = std::move(r);
        }
      }
      const velmora::ReachReport& r = with.outcome.reach;
      const double cost = 100.0 * r.seconds / on;
      worst = std::max(worst, cost);
      std::printf("%-6s %7d %9.4f %9.4f %7.1f%% | %-11s %9lld %9.4f %6.2f%% %9.1f\n",
                  board.name.c_str(), threads, off, on, 100.0 * (on - off) / off,
                  verdict_name(r.verdict), static_cast<long long>(r.positions), r.seconds, cost,
                  static_cast<double>(r.peak_bytes) / 1024.0);
      std::fflush(stdout);
    }
  }
  std::printf("enumeration overhead (largest cost): %.2f%%\n", worst);

  // Unsolvable tight boards, small to large: seconds to the exhausted ending.
  const std::vector<Board> unsolvable{
      {"u6", {{0, 2}, {4, 3}, {2, 1}}},
      {"u37k", {{0, 1, 3, 4, 5}, {0, 0, 5, 1, 2}, {0, 5, 4, 3, 2}}},
      {"u151k", {{0, 5, 5, 3, 5}, {5, 1, 4, 4, 1}, {0, 5, 1, 1, 3}, {0, 3, 2, 3, 3}}},
      {"u529k", {{5, 2, 2, 4}, {2, 3, 2, 4}, {0, 3, 4, 2}, {5, 4, 2, 5}, {3, 2, 4, 5}, {0, 4, 1, 5}}},
  };
  std::printf("\nunsolvable boards: seconds to 'Cozum bulunamadi'\n");
  for (const Board& board : unsolvable) {
    for (const int threads : {1, 2}) {
      const Run r = run(board.lanes, SearchCore::fast, threads, 0, false);
      std::printf("%-6s threads=%d end=%s iterations=%d positions=%lld enum s=%.3f secs=%.3f\n",
                  board.name.c_str(), threads,
                  r.outcome.end == RunEnd::exhausted ? "exhausted" : "other", r.outcome.iterations,
                  static_cast<long long>(r.outcome.reach.positions), r.outcome.reach.seconds,
                  r.seconds);
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: core_bench BOARDS_FILE [--reference-budget NODES]\n");
    return 2;
  }
  int64_t reference_budget = 200000;
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--reference-budget") reference_budget = std::atoll(argv[i + 1]);
  }
  const std::vector<Board> boards = read_boards(argv[1]);

  std::printf("%-6s %6s %10s %5s %5s | %8s %10s %10s | %8s %10s %11s %8s %9s | %7s\n", "board",
              "size", "nodes", "iters", "moves", "ref s", "ref n/s", "ref ch/s", "fast s",
              "fast n/s", "fast ch/s", "peak MiB", "allocs/kn", "speedup");
  double log_sum = 0;
  int compared = 0;
  bool all_same = true;
  std::vector<std::pair<int64_t, const Board*>> by_size;
  for (const bool tiebreak : {false, true}) {
    double setting_log_sum = 0;
    int setting_compared = 0;
    double kernel_log_sum = 0;  // rows long enough to time the kernel
    int kernel_compared = 0;
    std::printf("-- use_dsg_tiebreak=%s\n", tiebreak ? "True" : "False");
    for (const Board& board : boards) {
      const Run fast = run(board.lanes, SearchCore::fast, 1, 0, tiebreak);
      const int64_t nodes = fast.outcome.nodes;
      // The reference runs the whole board when it fits the budget, else the
      // same prefix of the search as a fast run stopped at the same node.
      const bool capped = nodes > reference_budget;
      const Run ref =
          run(board.lanes, SearchCore::reference, 1, capped ? reference_budget : 0, tiebreak);
      const Run fast_same =
          capped ? run(board.lanes, SearchCore::fast, 1, reference_budget, tiebreak) : fast;
      const bool same = same_result(ref, fast_same);
      all_same = all_same && same;
      const double ref_nps = static_cast<double>(ref.outcome.nodes) / ref.seconds;
      const double fast_nps = static_cast<double>(nodes) / fast.seconds;
      const double ch_per_node =
          nodes > 0 ? static_cast<double>(fast.outcome.children) / static_cast<double>(nodes) : 0;
      const double speedup = fast_nps / ref_nps;
      log_sum += std::log(speedup);
      setting_log_sum += std::log(speedup);
      ++compared;
      ++setting_compared;
      if (nodes >= kKernelRowNodes) {
        kernel_log_sum += std::log(speedup);
        ++kernel_compared;
      }
      if (!tiebreak) by_size.emplace_back(nodes, &board);
      std::printf("%-6s %3zux%-2d %10lld %5d %5zu | %8.2f %10.0f %10.0f | %8.2f %10.0f %11.0f %8.1f %9.3f | %6.2fx%s\n",
                  board.name.c_str(), board.lanes.size(), slots_of(board.lanes),
                  static_cast<long long>(nodes), fast.outcome.iterations, fast.outcome.path.size(),
                  ref.seconds, ref_nps, ref_nps * ch_per_node, fast.seconds, fast_nps,
                  fast_nps * ch_per_node, fast.peak_mib,
                  nodes > 0 ? 1000.0 * static_cast<double>(fast.allocations) / static_cast<double>(nodes) : 0.0,
                  speedup, same ? (capped ? "  same (first " + std::to_string(reference_budget) + " nodes)" : "  same").c_str() : "  DIFFERENT");
      std::fflush(stdout);
    }
    std::printf("geomean speed-up, use_dsg_tiebreak=%s: %.2f over all %d boards, %.2f over the %d "
                "of at least %lld nodes\n",
                tiebreak ? "True" : "False", std::exp(setting_log_sum / setting_compared),
                setting_compared, kernel_compared ? std::exp(kernel_log_sum / kernel_compared) : 0.0,
                kernel_compared, static_cast<long long>(kKernelRowNodes));
  }

  std::sort(by_size.begin(), by_size.end());
  const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::printf("\nthreads (fast core, largest boards; nodes per second relative to 1 thread)\n");
  for (std::size_t i = by_size.size() >= 2 ? by_size.size() - 2 : 0; i < by_size.size(); ++i) {
    const Board& board = *by_size[i].second;
    double base = 0;
    std::vector<int> counts{1, 2};
    if (hardware > 2) counts.push_back(hardware);
    for (int threads : counts) {
      const Run r = run(board.lanes, SearchCore::fast, threads, 0, false);
      const double nps = static_cast<double>(r.outcome.nodes) / r.seconds;
      if (threads == 1) base = nps;
      std::printf("%-6s threads=%-2d nodes=%-10lld secs=%7.2f nodes/s=%10.0f ratio=%.2f\n",
                  board.name.c_str(), threads, static_cast<long long>(r.outcome.nodes), r.seconds,
                  nps, nps / base);
      std::fflush(stdout);
    }
  }

  reach_overhead(boards, 3);

  if (!all_same) std::printf("\nRESULTS DIFFER between the reference and the fast core\n");
  std::printf("\ngeomean speed-up (both settings): %.2f\n",
              compared ? std::exp(log_sum / compared) : 0.0);
  return all_same ? 0 : 1;
}
