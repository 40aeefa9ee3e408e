#pragma once
// The run driver: one whole IDA* run from the start state to the result.
// Plain C++: it reaches the caller only through RunHooks, which the binding
// points at emit_log / poll_stop and tests point at plain C++ code.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "board/layout.h"
#include "search/path.h"
#include "search/reachability.h"
#include "search/types.h"
#include "search/worker.h"

namespace velmora {

struct RunHooks {
  LogSink log;               // every log line
  StopQuery stop;            // stop_fn: between iterations and inside the search
  StopQuery stop_get_best;   // stop_get_best_fn: between iterations only
  // Asked by the driver's thread only: a few times a second while the workers
  // run or the reachable positions are enumerated, and after every other hook
  // it calls itself; true ends the run at once (e.g. a pending Ctrl-C). May be
  // empty.
  StopQuery interrupted;
};

enum class RunEnd {
  solved_at_start,
  solved,
  no_root_work,
  stopped_before_iteration,
  stopped_in_search,
  exhausted,  // the search ran out of moves, or no solved position is reachable
  interrupted,
};

struct RunOutcome {
  RunEnd end = RunEnd::exhausted;
  double start_h = 0.0;
  double start_f = 0.0;
  Path path;  // the solution, when solved
  double time_s = 0.0;
  int64_t nodes = 0;
  int32_t iterations = 0;
  int64_t children = 0;  // children evaluated by the fast kernel
  ReachReport reach;     // the enumeration of reachable positions
  // Per iteration begun, each worker's nodes in it (the balance of the work).
  std::vector<std::vector<int64_t>> iteration_nodes;
  int64_t pieces = 0;  // pieces of subtrees handed from busy workers to idle ones
};

// Switches for tests and benchmarks; the module leaves them as they are.
struct RunTesting {
  SearchCore core = SearchCore::fast;
  // Memory for proving that no solution exists (0: no proof, the search alone).
  std::size_t reach_memory_cap = kReachMemoryCap;
  // Off: each root item is searched by the worker that took it, to the end
  // (for comparisons; the result is exact either way).
  bool split_below_root = true;
  // For benchmarks of whole iterations (fast kernel): a goal is a leaf, so
  // no iteration ends early; the run ends by a stop or exhaustion.
  bool goals_are_leaves = false;
};

struct RunOptions {
  bool use_dsg_tiebreak = false;
  int32_t num_threads = 8;  // below 1: as many as the hardware reports
  RunTesting testing{};
};

// Throws std::invalid_argument for a board beyond the model's limits (before
// logging anything) and std::runtime_error / std::bad_alloc for platform
// failures, after every started worker has been joined.
RunOutcome run_search(const Lanes& lanes, const RunOptions& options, const RunHooks& hooks);

}  // namespace velmora
