// Benchmark of the search core, without Python: every board solved at one
// thread by the reference core and by the fast core in the same process,
// checked for identical results, with throughput, memory and allocation
// figures, with the tie-break off and on; then how work is shared between
// workers: time to solution and nodes per second at 2 workers (and at the
// machine's core count) over 1, and the balance of whole iterations at 16.
//
// usage: core_bench BOARDS_FILE [--reference-budget NODES] [--puzzle FILE.json]...
//                   [--skip-kernels]
// Puzzles (examples/puzzles/*.json) join the work-sharing section only. The
// last line is "geomean speed-up (both settings): X.XX" (unless --skip-kernels).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>

#include "search/run_driver.h"
#include "search/types.h"

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

// The "lanes" list of a puzzle file, read without a JSON library: the ints
// of each innermost list.
Board read_puzzle(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string json = text.str();
  const auto key = json.find("\"lanes\"");
  if (!in || key == std::string::npos) {
    std::fprintf(stderr, "cannot read lanes from %s\n", file.c_str());
    std::exit(2);
  }
  const auto slash = file.find_last_of('/');
  Board b{file.substr(slash == std::string::npos ? 0 : slash + 1), {}};
  b.name = b.name.substr(0, b.name.find('.'));
  int depth = 0;
  std::string number;
  for (auto i = json.find('[', key); i < json.size(); ++i) {
    const char c = json[i];
    if (c == '-' || (c >= '0' && c <= '9')) {
      number += c;
      continue;
    }
    if (!number.empty()) {
      b.lanes.back().push_back(std::stoi(number));
      number.clear();
    }
    if (c == '[' && ++depth == 2) b.lanes.emplace_back();
    if (c == ']' && --depth == 0) break;
  }
  return b;
}

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

// CPU seconds of this process so far, all threads.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// Waits (up to 60 s) until the machine's cores have been at least 90 % idle
// for 300 ms: on a shared machine other jobs come and go, and a timed run
// that shares its cores says little. False when it never got quiet.
bool wait_for_quiet() {
  const auto idle_share = [] {
    const auto read = [](uint64_t& idle, uint64_t& total) {
      std::ifstream stat("/proc/stat");
      std::string cpu;
      stat >> cpu;
      idle = total = 0;
      for (int i = 0; i < 8; ++i) {
        uint64_t v = 0;
        stat >> v;
        total += v;
        if (i == 3 || i == 4) idle += v;  // idle, iowait
      }
    };
    uint64_t idle0, total0, idle1, total1;
    read(idle0, total0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    read(idle1, total1);
    return total1 > total0 ? static_cast<double>(idle1 - idle0) / static_cast<double>(total1 - total0)
                           : 1.0;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (idle_share() < 0.9) {
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
  return true;
}

struct Run {
  RunOutcome outcome;
  std::vector<std::string> log;  // progress and end lines, elapsed seconds cut off
  double seconds = 0;
  double cores = 0;  // CPU seconds over seconds: the cores the run really had
  double peak_mib = 0;
  int64_t allocations = 0;
};

// One run; with a node budget the run is stopped at the first stop poll past
// it, which at one thread happens at the same node in every core. With
// yield_at_polls each worker gives up its core at every stop poll.
Run run(const Lanes& lanes, SearchCore core, int32_t threads, int64_t budget, bool tiebreak,
        const RunOptions& sharing = {}, int32_t iterations = 0, bool yield_at_polls = false) {
  Run r;
  std::atomic<int64_t> polls{0};
  int32_t asked = 0;
  RunHooks hooks;
  if (iterations > 0) hooks.stop_get_best = [&asked, iterations] { return ++asked > iterations; };
  std::mutex log_mutex;  // several workers may write at once
  hooks.log = [&r, &log_mutex](std::string_view text) {
    const std::string line(text);
    if (line.rfind("[IDA*]", 0) != 0) return;
    std::lock_guard lock(log_mutex);
    r.log.push_back(line.substr(0, line.find(" | sure=")));
  };
  if (yield_at_polls) {
    hooks.stop = [] {
      std::this_thread::yield();
      return false;
    };
  } else if (budget > 0) {
    hooks.stop = [&polls, budget] {
      return polls.fetch_add(1) + 1 > budget / velmora::kStopPollInterval;
    };
  }
  RunOptions options = sharing;
  options.num_threads = threads;
  options.use_dsg_tiebreak = tiebreak;
  options.testing.core = core;
  reset_peak_memory();
  const int64_t allocations = g_allocations.load();
  const double cpu_start = cpu_seconds();
  const int64_t start = velmora::monotonic_ns();
  r.outcome = velmora::run_search(lanes, options, hooks);
  r.seconds = static_cast<double>(velmora::monotonic_ns() - start) / 1e9;
  r.cores = (cpu_seconds() - cpu_start) / r.seconds;
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
constexpr int kKernelRepeats = 3;

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
  RunOptions no_proof;
  no_proof.testing.reach_memory_cap = 0;
  std::printf("\nenumeration of reachable positions (fast core; least of %d runs each)\n", reps);
  std::printf("%-6s %7s %9s %9s %8s | %-11s %9s %9s %7s %9s\n", "board", "threads", "off s",
              "on s", "measured", "verdict", "positions", "enum s", "cost", "peak KiB");
  double worst = 0;
  for (const Board& board : boards) {
    for (const int threads : {1, 2}) {
      double off = 1e30, on = 1e30;
      Run with;
      for (int i = 0; i < reps; ++i) {
        off = std::min(off, run(board.lanes, SearchCore::fast, threads, 0, false, no_proof).seconds);
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
    }
  }
}

// Work sharing. Ratios come from runs made in turn in this one process, so
// that load from elsewhere falls on both sides alike; each figure is the
// best of kRepeats runs (kLongRepeats for runs over kLongRun seconds).
constexpr int kRepeats = 5;
constexpr int kLongRepeats = 3;
constexpr double kLongRun = 2.0;
// Runs shorter than this are preceded by an untimed one.
constexpr double kWarmUpBelow = 0.1;
// Shorter runs time thread starts more than the polls of the busy workers.
constexpr double kPollRowSeconds = 0.02;
constexpr int kBalanceWorkers = 16;
// Smaller iterations last about as long as starting the workers.
constexpr int64_t kBalanceMinNodes = 10000;
// The balance of one run varies much with the scheduler's turns.
constexpr int kBalanceRepeats = 9;
struct BalanceMode {
  const char* name;
  bool split;        // pieces below the root items
  bool fine_turns;  // every worker gives up its core at each stop poll
};
constexpr BalanceMode kBalanceModes[] = {
    {"split below root", true, false},
    {"split, fine turns", true, true},
    {"root items only", false, false},
};

struct Best {
  double seconds = 0;
  double cores = 0;  // of the fastest run
  double nps = 0;
  int64_t nodes = 0;
  int32_t iterations = 0;
  int64_t pieces = 0;
  void add(const Run& r) {
    const double nps_now = static_cast<double>(r.outcome.nodes) / r.seconds;
    if (seconds == 0 || r.seconds < seconds) {
      seconds = r.seconds;
      cores = r.cores;
    }
    if (nps_now > nps) nps = nps_now;
    nodes = r.outcome.nodes;
    iterations = r.outcome.iterations;
    pieces = std::max(pieces, r.outcome.pieces);
  }
};

double busiest_over_mean(const std::vector<int64_t>& nodes) {
  int64_t total = 0, most = 0;
  for (const int64_t n : nodes) {
    total += n;
    most = std::max(most, n);
  }
  return total > 0 ? static_cast<double>(most) * static_cast<double>(nodes.size()) /
                         static_cast<double>(total)
                   : 0.0;
}

bool named(const Board& b, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (b.name == name) return true;
  }
  return false;
}

void work_sharing(const std::vector<const Board*>& boards) {
  const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::printf("\nwork sharing (fast core, use_dsg_tiebreak=False; best of %d (%d for runs over %.0f s),\n"
              "1 and 2 workers in turn, each pair after the machine was idle for a moment;\n"
              "cores = CPU time over wall time of the fastest run at 2 workers)\n",
              kRepeats, kLongRepeats, kLongRun);
  std::printf("%-7s %9s %5s | %8s %8s %7s | %10s %10s %7s | %6s %5s\n", "board", "nodes@1", "iters",
              "1w s", "2w s", "time x", "1w n/s", "2w n/s", "n/s x", "pieces", "cores");
  int noisy = 0;
  double time_log_sum = 0, nps_log_sum = 0, least_nps_ratio = 1e300;
  int timed = 0, rows = 0;
  std::string least_nps_board, time_ratios;
  std::vector<std::pair<const Board*, Best>> largest;  // for the core-count row
  std::vector<const Board*> unshared;  // nobody ever waited at 2 workers
  for (const Board* board : boards) {
    Best one, two;
    for (int rep = 0; rep < (one.seconds > kLongRun ? kLongRepeats : kRepeats); ++rep) {
      if (!wait_for_quiet()) ++noisy;
      // Untimed, so that both cores are awake: on this virtual machine a core
      // idle for the quiet spell takes a good part of a millisecond to come
      // back, which the short runs would count against the second worker.
      if (one.seconds < kWarmUpBelow) run(board->lanes, SearchCore::fast, 2, 0, false);
      one.add(run(board->lanes, SearchCore::fast, 1, 0, false));
      if (rep == 0 && one.iterations < 2) break;  // no whole iteration: nothing to share evenly
      two.add(run(board->lanes, SearchCore::fast, 2, 0, false));
    }
    if (one.iterations < 2) continue;
    const double time_x = one.seconds / two.seconds, nps_x = two.nps / one.nps;
    std::printf("%-7s %9lld %5d | %8.3f %8.3f %6.2fx | %10.0f %10.0f %6.2fx | %6lld %5.2f\n",
                board->name.c_str(), static_cast<long long>(one.nodes), one.iterations, one.seconds,
                two.seconds, time_x, one.nps, two.nps, nps_x, static_cast<long long>(two.pieces),
                two.cores);
    std::fflush(stdout);
    nps_log_sum += std::log(nps_x);
    ++rows;
    if (nps_x < least_nps_ratio) {
      least_nps_ratio = nps_x;
      least_nps_board = board->name;
    }
    if (named(*board, {"b07", "b10", "medium"})) {
      time_log_sum += std::log(time_x);
      ++timed;
      char part[64];
      std::snprintf(part, sizeof part, " %s %.2fx", board->name.c_str(), time_x);
      time_ratios += part;
    }
    if (named(*board, {"b10", "medium"})) largest.emplace_back(board, one);
    if (two.pieces == 0 && two.seconds >= kPollRowSeconds) unshared.push_back(board);
  }
  if (noisy > 0) std::printf("(%d pairs ran while the machine was busy)\n", noisy);
  std::printf("time to solution, 2 workers over 1 (target >= 1.9):%s; geomean %.2fx\n",
              time_ratios.c_str(), timed ? std::exp(time_log_sum / timed) : 0.0);
  std::printf("nodes/s, 2 workers over 1, boards with a whole iteration (target >= 1.9): "
              "least %.2fx (%s), geomean %.2fx over %d\n",
              rows ? least_nps_ratio : 0.0, least_nps_board.c_str(),
              rows ? std::exp(nps_log_sum / rows) : 0.0, rows);

  // What the busy workers pay for reading the waiting count after each
  // expansion, where nobody ever waits: the same runs with sharing off.
  for (const Board* board : unshared) {
    RunOptions off;
    off.testing.split_below_root = false;
    Best on_best, off_best;
    for (int rep = 0; rep < kRepeats; ++rep) {
      wait_for_quiet();
      on_best.add(run(board->lanes, SearchCore::fast, 2, 0, false));
      off_best.add(run(board->lanes, SearchCore::fast, 2, 0, false, off));
    }
    std::printf("%s at 2 workers, where no worker ever waits: %.4f s sharing on, %.4f s off "
                "(on over off %.3f)\n",
                board->name.c_str(), on_best.seconds, off_best.seconds,
                on_best.seconds / off_best.seconds);
  }

  std::printf("\nthis machine's core count, %d workers, over 1 worker (best of %d)\n", hardware,
              kLongRepeats);
  if (hardware <= 2) std::printf("(the 2-worker rows above)\n");
  for (const auto& [board, one] : largest) {
    if (hardware <= 2) break;
    Best all;
    for (int rep = 0; rep < kLongRepeats; ++rep) {
      wait_for_quiet();
      all.add(run(board->lanes, SearchCore::fast, hardware, 0, false));
    }
    std::printf("%-7s workers=%-3d secs=%8.3f time x=%5.2f nodes/s=%10.0f n/s x=%5.2f cores=%.2f\n",
                board->name.c_str(), hardware, all.seconds, one.seconds / all.seconds, all.nps,
                all.nps / one.nps, all.cores);
    std::fflush(stdout);
  }
}

// Balance with more workers than this machine has cores, as a stand-in for a
// machine with a core per worker.
void balance(const std::vector<const Board*>& boards) {
  std::printf("\nbalance at %d workers: per whole iteration of at least %lld nodes, the busiest "
              "worker's nodes over the mean (target <= 1.5); %d runs each (1 with root items\n"
              "only, which is the same every time); fine turns: each worker gives up its core "
              "at every stop poll\n(%lld of its nodes, a few hundred microseconds), so that the "
              "workers take turns on the cores\nfar more often than the scheduler's own "
              "turns of milliseconds, as if each had a core\n",
              kBalanceWorkers, static_cast<long long>(kBalanceMinNodes), kBalanceRepeats,
              static_cast<long long>(velmora::kStopPollInterval));
  for (const Board* board : boards) {
    if (!named(*board, {"b05", "b10", "demo"})) continue;
    // The iterations before the goal's are whole; a board solved in its
    // first one is searched with goals as leaves, which makes every
    // iteration up to the goal's whole.
    const Run probe = run(board->lanes, SearchCore::fast, 1, 0, false);
    const int32_t iterations = probe.outcome.iterations;
    bool whole_before_goal = false;
    for (int32_t i = 0; i + 1 < iterations; ++i) {
      int64_t total = 0;
      for (const int64_t n : probe.outcome.iteration_nodes[static_cast<size_t>(i)]) total += n;
      whole_before_goal = whole_before_goal || total >= kBalanceMinNodes;
    }
    for (const BalanceMode& mode : kBalanceModes) {
      RunOptions options;
      options.testing.split_below_root = mode.split;
      options.testing.goals_are_leaves = !whole_before_goal;
      std::vector<std::vector<double>> ratios;  // per iteration, per run
      std::vector<int64_t> totals;
      for (int rep = 0; rep < (mode.split ? kBalanceRepeats : 1); ++rep) {
        wait_for_quiet();
        const Run r = run(board->lanes, SearchCore::fast, kBalanceWorkers, 0, false, options,
                          whole_before_goal ? 0 : iterations, mode.fine_turns);
        const int32_t whole = whole_before_goal ? r.outcome.iterations - 1 : r.outcome.iterations;
        for (int32_t i = 0, kept = 0; i < whole; ++i) {
          const auto& nodes = r.outcome.iteration_nodes[static_cast<size_t>(i)];
          int64_t total = 0;
          for (const int64_t n : nodes) total += n;
          if (total < kBalanceMinNodes) continue;
          if (std::ssize(ratios) <= kept) {
            ratios.emplace_back();
            totals.push_back(total);
          }
          ratios[static_cast<size_t>(kept++)].push_back(busiest_over_mean(nodes));
        }
      }
      for (std::size_t i = 0; i < ratios.size(); ++i) {
        std::vector<double> sorted = ratios[i];
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-7s %-17s iteration of %8lld nodes%s: median %.2f (runs:",
                    board->name.c_str(), mode.name,
                    static_cast<long long>(totals[i]), whole_before_goal ? "" : " (goals as leaves)",
                    sorted[sorted.size() / 2]);
        for (const double x : ratios[i]) std::printf(" %.2f", x);
        std::printf(")\n");
      }
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: core_bench BOARDS_FILE [--reference-budget NODES] [--puzzle FILE]...\n"
                 "                  [--skip-kernels | --balance]\n");
    return 2;
  }
  int64_t reference_budget = 50000;
  bool kernels = true;
  bool balance_only = false;
  std::vector<Board> puzzles;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reference-budget" && i + 1 < argc) reference_budget = std::atoll(argv[++i]);
    if (arg == "--puzzle" && i + 1 < argc) puzzles.push_back(read_puzzle(argv[++i]));
    if (arg == "--skip-kernels") kernels = false;
    if (arg == "--balance") balance_only = true;
  }
  const std::vector<Board> boards = read_boards(argv[1]);
  std::vector<const Board*> sharing_boards;
  for (const Board& b : boards) sharing_boards.push_back(&b);
  for (const Board& b : puzzles) sharing_boards.push_back(&b);
  if (balance_only) {
    balance(sharing_boards);
    return 0;
  }
  if (!kernels) {
    work_sharing(sharing_boards);
    balance(sharing_boards);
    return 0;
  }

  std::printf("%-6s %6s %10s %5s %5s | %8s %10s %10s | %8s %10s %11s %8s %9s | %7s\n", "board",
              "size", "nodes", "iters", "moves", "ref s", "ref n/s", "ref ch/s", "fast s",
              "fast n/s", "fast ch/s", "peak MiB", "allocs/kn", "speedup");
  double log_sum = 0;
  int compared = 0;
  bool all_same = true;
  for (const bool tiebreak : {false, true}) {
    double setting_log_sum = 0;
    int setting_compared = 0;
    double kernel_log_sum = 0;  // rows long enough to time the kernel
    int kernel_compared = 0;
    std::printf("-- use_dsg_tiebreak=%s\n", tiebreak ? "True" : "False");
    for (const Board& board : boards) {
      Run fast = run(board.lanes, SearchCore::fast, 1, 0, tiebreak);
      const int64_t nodes = fast.outcome.nodes;
      // The reference runs the whole board when it fits the budget, else the
      // same prefix of the search as a fast run stopped at the same node.
      const bool capped = nodes > reference_budget;
      const int64_t ref_budget = capped ? reference_budget : 0;
      Run ref = run(board.lanes, SearchCore::reference, 1, ref_budget, tiebreak);
      // The machine is shared: each kernel keeps its fastest of kKernelRepeats
      // runs, taken in turn.
      for (int repeat = 1; repeat < kKernelRepeats; ++repeat) {
        const Run fast_again = run(board.lanes, SearchCore::fast, 1, 0, tiebreak);
        if (fast_again.seconds < fast.seconds) fast.seconds = fast_again.seconds;
        const Run ref_again = run(board.lanes, SearchCore::reference, 1, ref_budget, tiebreak);
        if (ref_again.seconds < ref.seconds) ref.seconds = ref_again.seconds;
      }
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

  work_sharing(sharing_boards);
  balance(sharing_boards);

  reach_overhead(boards, 3);

  if (!all_same) std::printf("\nRESULTS DIFFER between the reference and the fast core\n");
  std::printf("\ngeomean speed-up (both settings): %.2f\n",
              compared ? std::exp(log_sum / compared) : 0.0);
  return all_same ? 0 : 1;
}
