#include "search/run_driver.h"

#include <exception>
#include <memory>
#include <mutex>
#include <utility>

#include "board/lane_state.h"
#include "board/zobrist.h"
#include "search/interrupt_poll.h"
#include "search/log_lines.h"
#include "search/reach_pacer.h"
#include "search/work.h"
#include "search/worker_crew.h"

namespace velmora {

namespace {

int32_t worker_count(int32_t num_threads) {
  return num_threads >= 1 ? num_threads : hardware_threads();
}

enum class CrewEnd { finished, interrupted, no_solution };

// Runs one iteration's workers to their end, advancing the enumeration
// beside them; they are stopped early when the interruption hook asks to
// stop or the enumeration proves there is no solution. No mutex is held
// while the hook is called.
CrewEnd run_workers(WorkerCrew& crew, InterruptPoll& interrupt, ReachPacer& reach) {
  const int64_t began = monotonic_ns();
  crew.begin_iteration();
  CrewEnd end = CrewEnd::finished;
  while (interrupt.enabled() || reach.open()) {
    if (reach.open()) {
      reach.beside(monotonic_ns() - began, [&crew] { return crew.finished(); });
      if (reach.proves_no_solution()) {
        end = CrewEnd::no_solution;
        crew.request_stop();
        break;
      }
    }
    if (crew.wait_finished(reach.open() ? kReachPeriod : kInterruptPeriod)) break;
    if (interrupt.ask_if_due()) {
      end = CrewEnd::interrupted;
      crew.request_stop();
      break;
    }
  }
  crew.wait_finished();
  reach.searched(monotonic_ns() - began);
  return end;
}

void rethrow_worker_failure(SearchShared& shared) {
  std::exception_ptr failure;
  {
    std::lock_guard lock(shared.failure_mutex);
    failure = shared.failure;
  }
  if (failure) std::rethrow_exception(failure);
}

// The record the workers share, for a run of `start` on `layout`.
std::unique_ptr<SearchShared> share_run(const LaneState& start, const BoardLayout& layout,
                                        const RunOptions& options, const RunHooks& hooks,
                                        int64_t start_time) {
  auto shared = std::make_unique<SearchShared>();
  shared->bound.store(start.h);
  shared->next_bound.store(kInfinity);
  shared->use_dsg_tiebreak = options.use_dsg_tiebreak;
  shared->core = options.testing.core;
  shared->split_below_root = options.testing.split_below_root;
  shared->goals_are_leaves = options.testing.goals_are_leaves;
  shared->start = &start;
  shared->start_time = start_time;
  shared->layout = &layout;
  shared->move_keys_distinct =
      options.testing.core == SearchCore::fast && move_keys_distinct(layout, kMoveKeyBudget);
  shared->log_sink = hooks.log;
  shared->stop_query = hooks.stop;
  shared->counters.assign(static_cast<std::size_t>(worker_count(options.num_threads)),
                          ThreadCounters{});
  return shared;
}

// Sets the shared record on the next iteration and writes its line.
void open_iteration(SearchShared& shared, const std::vector<WorkItem>& root_items,
                    const LaneState& start, const LogSink& log) {
  ++shared.iteration;
  shared.queue.refill(root_items);
  shared.next_bound.store(kInfinity);
  for (ThreadCounters& c : shared.counters) c.min_h = start.h;
  emit(log, log_line::iteration(shared.iteration, shared.bound.load(),
                                static_cast<int32_t>(shared.counters.size())));
}

// The workers' counts after an iteration: the totals, and each worker's
// nodes in it (`nodes` holds its count before, negated).
void count_iteration(const SearchShared& shared, std::vector<int64_t>& nodes, RunOutcome& outcome) {
  outcome.nodes = 0;
  outcome.children = 0;
  outcome.pieces = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const ThreadCounters& c = shared.counters[i];
    nodes[i] += c.nodes;
    outcome.nodes += c.nodes;
    outcome.children += c.children;
    outcome.pieces += c.pieces;
  }
}

// The ending's time, line and outcome: written once for every ending.
RunOutcome& finish(RunOutcome& outcome, RunEnd end, int64_t start_time, const LogSink& log) {
  outcome.end = end;
  if (end == RunEnd::solved_at_start) return outcome;  // time 0: no search ran
  outcome.time_s = seconds_since(start_time);
  switch (end) {
    case RunEnd::solved:
      emit(log, log_line::solved(static_cast<int32_t>(outcome.path.size()), outcome.iterations,
                                 outcome.time_s));
      break;
    case RunEnd::no_root_work:
      emit(log, log_line::no_move());
      break;
    case RunEnd::stopped_before_iteration:
      emit(log, log_line::stopped_between());
      break;
    case RunEnd::stopped_in_search:
      emit(log, log_line::stopped_in_search());
      break;
    case RunEnd::exhausted:
      emit(log, log_line::exhausted(outcome.time_s));
      break;
    case RunEnd::solved_at_start:
    case RunEnd::interrupted:
      break;
  }
  return outcome;
}

}  // namespace

RunOutcome run_search(const Lanes& lanes, const RunOptions& options, const RunHooks& hooks) {
  const int64_t start_time = monotonic_ns();
  // build_layout refuses a board beyond the limits, before anything is logged.
  // Heap, not the caller's stack: the driver may run on a thread with a small
  // one. `new` from the returned value builds the record in place, where
  // make_unique would pass it through a temporary on the stack.
  const std::unique_ptr<const BoardLayout> layout(new BoardLayout(build_layout(lanes)));
  const std::unique_ptr<const LaneState> start(new LaneState(evaluate_start(*layout)));
  InterruptPoll interrupt(hooks.interrupted);
  RunOutcome outcome;
  outcome.start_h = start->h;
  outcome.start_f = start->f;
  const auto end = [&](RunEnd ending) { return finish(outcome, ending, start_time, hooks.log); };

  emit(hooks.log, log_line::started(start->blokaj, start->g_star, start->ds, start->h,
                                    options.use_dsg_tiebreak));
  // A hook called on this thread may take a pending signal (Ctrl-C); the run
  // then ends before anything else happens, so the caller's callables are not
  // called again.
  if (interrupt.ask()) return end(RunEnd::interrupted);
  if (start->blokaj == 0) return end(RunEnd::solved_at_start);

  const std::vector<WorkItem> root_items = split_root(*start, *layout, options.use_dsg_tiebreak);
  if (root_items.empty()) return end(RunEnd::no_root_work);
  const auto shared = share_run(*start, *layout, options, hooks, start_time);
  const std::vector<std::unique_ptr<SearchWorker>> workers =
      make_workers(*shared, static_cast<int32_t>(shared->counters.size()));

  // After the workers and the shared record, so that its threads are
  // joined before either goes. Started before the enumeration's first slice,
  // so that they are ready by the first iteration.
  WorkerCrew crew(*shared, workers);
  crew.start();
  ReachPacer reach(*layout, options.testing.reach_memory_cap);
  const bool went_on = reach.first_slice(interrupt);
  outcome.reach = reach.report();
  if (!went_on) return end(RunEnd::interrupted);
  // No solved position reachable: the exhausted ending, whatever the bound.
  if (reach.proves_no_solution()) return end(RunEnd::exhausted);

  for (;;) {
    // stop_get_best is only asked when stop said no.
    const bool stop = asks_to_stop(hooks.stop) || asks_to_stop(hooks.stop_get_best);
    if (interrupt.ask()) return end(RunEnd::interrupted);
    if (stop) return end(RunEnd::stopped_before_iteration);
    open_iteration(*shared, root_items, *start, hooks.log);
    outcome.iterations = shared->iteration;
    if (interrupt.ask()) return end(RunEnd::interrupted);

    std::vector<int64_t>& nodes = outcome.iteration_nodes.emplace_back();
    for (const ThreadCounters& c : shared->counters) nodes.push_back(-c.nodes);
    const CrewEnd crew_end = run_workers(crew, interrupt, reach);
    count_iteration(*shared, nodes, outcome);
    outcome.reach = reach.report();
    rethrow_worker_failure(*shared);

    if (crew_end == CrewEnd::interrupted || interrupt.ask()) return end(RunEnd::interrupted);
    // Before the stop test: the stop was the enumeration's own.
    if (crew_end == CrewEnd::no_solution) return end(RunEnd::exhausted);
    // stop before found: a stop anywhere voids a solution found alongside it.
    if (shared->stop.load()) return end(RunEnd::stopped_in_search);
    if (shared->found.load()) {
      {
        std::lock_guard lock(shared->solution_mutex);
        outcome.path = shared->solution_path;
      }
      return end(RunEnd::solved);  // the log is written with no lock held
    }
    const double next_bound = shared->next_bound.load();
    if (next_bound == kInfinity) return end(RunEnd::exhausted);
    shared->bound.store(next_bound);
    // Iterations shorter than one wait would never reach the timed poll.
    if (interrupt.ask_if_due()) return end(RunEnd::interrupted);
  }
}

}  // namespace velmora
