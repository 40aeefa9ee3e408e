#pragma once
// One whole plan() run in plain C++: a first plan at once, its local
// improvement, then iterative deepening on the admissible lower bound, which
// either meets the best plan (proven shortest) or is stopped (the best plan
// with the bound reached). The caller is reached only through PlanHooks,
// always from the calling thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "board/layout.h"
#include "plan/exact_search.h"
#include "search/types.h"
#include "search/path.h"
#include "search/reachability.h"

namespace velmora {

enum class PlanStatus : uint8_t { optimal, feasible, no_solution, stopped };

const char* status_name(PlanStatus status);

struct PlanReport {
  PlanStatus status = PlanStatus::stopped;
  Path moves;               // the best plan, replayed
  int32_t lower_bound = 0;  // proven; equal to moves.size() when optimal
  int64_t nodes = 0;
  double time_s = 0.0;
  std::vector<std::pair<double, int32_t>> plans;  // (seconds, moves) per improvement
  bool interrupted = false;  // ended by PlanHooks::interrupted
};

struct PlanHooks {
  LogSink log;
  // Asked a few times a second; true ends the run with what it has.
  StopQuery stop;
  // Each shorter plan, as the report would be if the run ended now.
  std::function<void(const PlanReport&)> on_plan;
  // Asked with stop, and after every hook; true ends the run at once.
  StopQuery interrupted;
};

// A run's memory for its tables of positions, all workers together.
inline constexpr std::size_t kPlanTableBytes = std::size_t{64} << 20;

struct PlanOptions {
  double time_limit = -1.0;  // seconds; negative: none
  int32_t num_threads = 0;   // below 1: as many as the hardware reports
  PruneRules rules;
  std::size_t table_bytes = kPlanTableBytes;
  std::size_t reach_memory_cap = kReachMemoryCap;
  int64_t greedy_nodes = 200'000;
  struct Testing {
    bool no_first_plan = false;  // the exact search alone finds the plan
  } testing;
};

// Throws std::invalid_argument for a board beyond the model's limits, before
// any hook is called.
PlanReport run_plan(const Lanes& lanes, const PlanOptions& options, const PlanHooks& hooks);

}  // namespace velmora
