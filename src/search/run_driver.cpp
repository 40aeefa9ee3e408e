#include "search/run_driver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "board/lane_state.h"
#include "board/zobrist.h"
#include "search/log_lines.h"
#include "search/reachability.h"
#include "search/work.h"
#include "search/worker.h"

namespace velmora {

namespace {

constexpr std::chrono::milliseconds kInterruptPeriod{50};

// The enumeration of reachable positions: one slice before the first
// iteration settles small boards (a few thousand positions); after that it
// runs on this thread while the workers search, in slices of at most
// kReachSlice and with at most kReachShare of the time they have searched.
constexpr int64_t kReachFirstWork = int64_t{3} << 16;  // 65,536 moves on a board of 64-bit positions
constexpr int64_t kReachSliceNs = 2'500'000;
constexpr int64_t kReachMinSliceNs = 250'000;
constexpr double kReachShare = 0.10;
constexpr std::chrono::milliseconds kReachPeriod{10};

int32_t worker_count(int32_t num_threads) {
  return num_threads >= 1 ? num_threads : hardware_threads();
}

int64_t total_nodes(const std::vector<ThreadCounters>& counters) {
  int64_t total = 0;
  for (const ThreadCounters& c : counters) total += c.nodes;
  return total;
}

// Asks the interruption hook, at most once per period at iteration
// boundaries, and after every timed wait while workers run.
class InterruptPoll {
 public:
  explicit InterruptPoll(const StopQuery& query) : query_(query), last_ns_(monotonic_ns()) {}

  bool enabled() const { return static_cast<bool>(query_); }

  bool ask() {
    last_ns_ = monotonic_ns();
    return asks_to_stop(query_);
  }

  bool ask_if_due() {
    const int64_t period_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(kInterruptPeriod).count();
    return enabled() && monotonic_ns() - last_ns_ >= period_ns && ask();
  }

 private:
  const StopQuery& query_;
  int64_t last_ns_;
};

// The worker threads of one run: started before the first iteration and kept
// for the next ones, each waiting for the driver's word between iterations
// (a thread start costs 15 to 100 microseconds on a virtual machine, a whole
// small iteration). They report the end of each iteration to a counter, so
// the driver can wait with a timeout. However the driver leaves, no thread
// is abandoned: the destructor stops a running iteration and joins them all.
class WorkerCrew {
 public:
  WorkerCrew(SearchShared& shared, const std::vector<std::unique_ptr<SearchWorker>>& workers)
      : shared_(shared), workers_(workers) {}
  WorkerCrew(const WorkerCrew&) = delete;
  WorkerCrew& operator=(const WorkerCrew&) = delete;

  ~WorkerCrew() {
    if (threads_.empty()) return;
    if (generation_ > 0 && !finished()) request_stop();  // left mid-iteration
    quit_all();
  }

  // Starts a thread per worker, to wait for the first iteration. When one
  // cannot be started, the ones already running are told to quit and joined
  // before the error is thrown.
  void start() {
    const auto count = static_cast<int32_t>(workers_.size());
    threads_.reserve(static_cast<size_t>(count));
    std::exception_ptr failure;
    try {
      for (int32_t index = 0; index < count; ++index) {
        threads_.emplace_back([this, index] { serve(index); });
      }
    } catch (const std::system_error& error) {
      failure = std::make_exception_ptr(
          std::runtime_error(std::string("could not start worker thread: ") + error.what()));
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) {
      quit_all();
      std::rethrow_exception(failure);
    }
  }

  // Sets every worker on the next iteration.
  void begin_iteration() {
    {
      std::lock_guard lock(mutex_);
      ++generation_;
      finished_ = 0;
    }
    begin_cv_.notify_all();
  }

  bool finished() {
    std::lock_guard lock(mutex_);
    return all_finished();
  }

  // True when every worker has ended the iteration, waiting at most `timeout`.
  bool wait_finished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return finish_cv_.wait_for(lock, timeout, [this] { return all_finished(); });
  }

  void wait_finished() {
    std::unique_lock lock(mutex_);
    finish_cv_.wait(lock, [this] { return all_finished(); });
  }

  void request_stop() {
    shared_.stop.store(true);
    shared_.queue.clear_queue();
  }

 private:
  bool all_finished() const { return finished_ == threads_.size(); }  // under mutex_

  // Thread body: one iteration for every word from the driver, until told to quit.
  void serve(int32_t index) {
    uint64_t done = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        begin_cv_.wait(lock, [&] { return quit_ || generation_ != done; });
        if (quit_) return;
        done = generation_;
      }
      workers_[static_cast<size_t>(index)]->run_iteration();
      {
        std::lock_guard lock(mutex_);
        ++finished_;
      }
      finish_cv_.notify_all();
    }
  }

  // Joins in start order; only between iterations, or once they were stopped.
  void quit_all() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    begin_cv_.notify_all();
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

  SearchShared& shared_;
  const std::vector<std::unique_ptr<SearchWorker>>& workers_;
  std::mutex mutex_;
  std::condition_variable begin_cv_;
  std::condition_variable finish_cv_;
  uint64_t generation_ = 0;  // iterations begun
  size_t finished_ = 0;      // workers done with the current one
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

// The enumeration of one run, paced so that it costs the search little: it
// never calls a hook, and it is freed as soon as it has its verdict.
class ReachPacer {
 public:
  ReachPacer(const BoardLayout& layout, std::size_t memory_cap) {
    if (memory_cap > 0) reach_ = std::make_unique<Reachability>(layout, memory_cap);
  }

  bool open() const { return reach_ && reach_->verdict() == ReachVerdict::open; }
  bool proves_no_solution() const {
    return reach_ && reach_->verdict() == ReachVerdict::no_solution;
  }
  ReachReport report() const { return reach_ ? reach_->report() : ReachReport{}; }

  // Before the first iteration; false when the interruption hook asked to stop.
  bool first_slice(InterruptPoll& interrupt) {
    bool interrupted = false;
    if (open()) {
      reach_->advance(kReachFirstWork, [&] { return interrupted = interrupt.ask_if_due(); });
    }
    return !interrupted;
  }

  // While the workers search, `searching_ns` into the iteration: a slice of
  // what their search time affords, cut short when `done` says they ended.
  void beside(int64_t searching_ns, const std::function<bool()>& done) {
    const auto afford =
        static_cast<int64_t>(kReachShare * static_cast<double>(searched_ns_ + searching_ns)) -
        spent_ns_;
    if (!open() || afford < kReachMinSliceNs) return;
    const int64_t limit = std::min(afford, kReachSliceNs);
    const int64_t began = monotonic_ns();
    reach_->advance(std::numeric_limits<int64_t>::max(),
                    [&] { return monotonic_ns() - began >= limit || done(); });
    spent_ns_ += monotonic_ns() - began;
  }

  void searched(int64_t ns) { searched_ns_ += ns; }

 private:
  std::unique_ptr<Reachability> reach_;
  int64_t searched_ns_ = 0;  // workers' wall time over the finished iterations
  int64_t spent_ns_ = 0;     // enumeration beside them
};

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

}  // namespace

RunOutcome run_search(const Lanes& lanes, const RunOptions& options, const RunHooks& hooks) {
  const int64_t start_time = monotonic_ns();
  // build_layout refuses a board beyond the limits, before anything is logged.
  // Heap, not the caller's stack: the driver may run on a thread with a small
  // one. `new` from the returned value builds the record in place, where
  // make_unique would pass it through a temporary on the stack.
  const std::unique_ptr<const BoardLayout> layout(new BoardLayout(build_layout(lanes)));
  const std::unique_ptr<const LaneState> start(new LaneState(evaluate_start(*layout)));
  const bool tiebreak = options.use_dsg_tiebreak;
  InterruptPoll interrupt(hooks.interrupted);

  RunOutcome outcome;
  outcome.start_h = start->h;
  outcome.start_f = start->f;
  const auto interrupted = [&] {
    outcome.end = RunEnd::interrupted;
    outcome.time_s = seconds_since(start_time);
    return outcome;
  };
  emit(hooks.log, log_line::started(start->blokaj, start->g_star, start->ds, start->h, tiebreak));
  // A hook called on this thread may take a pending signal (Ctrl-C); the run
  // then ends before anything else happens, so the caller's callables are not
  // called again.
  if (interrupt.ask()) return interrupted();
  if (start->blokaj == 0) {
    outcome.end = RunEnd::solved_at_start;
    return outcome;
  }

  const int32_t thread_count = worker_count(options.num_threads);
  const auto shared = std::make_unique<SearchShared>();
  shared->bound.store(start->h);
  shared->next_bound.store(kInfinity);
  shared->use_dsg_tiebreak = tiebreak;
  shared->core = options.core;
  shared->split_below_root = options.split_below_root;
  shared->goals_are_leaves = options.goals_are_leaves;
  shared->start = start.get();
  shared->start_time = start_time;
  shared->layout = layout.get();
  shared->move_keys_distinct =
      options.core == SearchCore::fast && move_keys_distinct(*layout, kMoveKeyBudget);
  shared->log_sink = hooks.log;
  shared->stop_query = hooks.stop;

  const std::vector<WorkItem> root_items = split_root(*start, *layout, tiebreak);
  if (root_items.empty()) {
    emit(hooks.log, log_line::no_move());
    outcome.end = RunEnd::no_root_work;
    outcome.time_s = seconds_since(start_time);
    return outcome;
  }
  shared->counters.assign(static_cast<size_t>(thread_count), ThreadCounters{});
  shared->iteration = 0;
  const std::vector<std::unique_ptr<SearchWorker>> workers = make_workers(*shared, thread_count);

  // No solved position reachable: the exhausted ending, whatever the bound.
  const auto unreachable = [&] {
    outcome.time_s = seconds_since(start_time);
    emit(hooks.log, log_line::exhausted(outcome.time_s));
    outcome.end = RunEnd::exhausted;
    return outcome;
  };
  // After the workers and the shared record, so that its threads are
  // joined before either goes. Started before the enumeration's first slice,
  // so that they are ready by the first iteration.
  WorkerCrew crew(*shared, workers);
  crew.start();
  ReachPacer reach(*layout, options.reach_memory_cap);
  const bool went_on = reach.first_slice(interrupt);
  outcome.reach = reach.report();
  if (!went_on) return interrupted();
  if (reach.proves_no_solution()) return unreachable();

  for (;;) {
    // stop_get_best is only asked when stop said no.
    const bool stop = asks_to_stop(hooks.stop) || asks_to_stop(hooks.stop_get_best);
    if (interrupt.ask()) return interrupted();
    if (stop) {
      emit(hooks.log, log_line::stopped_between());
      outcome.end = RunEnd::stopped_before_iteration;
      outcome.time_s = seconds_since(start_time);
      return outcome;
    }
    ++shared->iteration;
    outcome.iterations = shared->iteration;
    shared->queue.refill(root_items);
    shared->next_bound.store(kInfinity);
    for (ThreadCounters& c : shared->counters) c.min_h = start->h;
    emit(hooks.log, log_line::iteration(shared->iteration, shared->bound.load(), thread_count));
    if (interrupt.ask()) return interrupted();

    // Each worker's count before the iteration, negated; its count after is added.
    std::vector<int64_t>& nodes = outcome.iteration_nodes.emplace_back();
    for (const ThreadCounters& c : shared->counters) nodes.push_back(-c.nodes);

    const CrewEnd crew_end = run_workers(crew, interrupt, reach);

    outcome.nodes = total_nodes(shared->counters);
    outcome.children = 0;
    outcome.pieces = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
      const ThreadCounters& c = shared->counters[i];
      nodes[i] += c.nodes;
      outcome.children += c.children;
      outcome.pieces += c.pieces;
    }
    outcome.reach = reach.report();
    rethrow_worker_failure(*shared);
    if (crew_end == CrewEnd::interrupted || interrupt.ask()) return interrupted();
    // Before the stop test: the stop was the enumeration's own.
    if (crew_end == CrewEnd::no_solution) return unreachable();
    // stop before found: a stop anywhere voids a solution found alongside it.
    if (shared->stop.load()) {
      emit(hooks.log, log_line::stopped_in_search());
      outcome.end = RunEnd::stopped_in_search;
      outcome.time_s = seconds_since(start_time);
      return outcome;
    }
    if (shared->found.load()) {
      outcome.time_s = seconds_since(start_time);
      {
        std::lock_guard lock(shared->solution_mutex);
        outcome.path = shared->solution_path;
      }
      emit(hooks.log, log_line::solved(static_cast<int32_t>(outcome.path.size()), shared->iteration,
                                     outcome.time_s));
      outcome.end = RunEnd::solved;
      return outcome;
    }
    const double next_bound = shared->next_bound.load();
    if (next_bound == kInfinity) {
      outcome.time_s = seconds_since(start_time);
      emit(hooks.log, log_line::exhausted(outcome.time_s));
      outcome.end = RunEnd::exhausted;
      return outcome;
    }
    shared->bound.store(next_bound);
    // Iterations shorter than one wait would never reach the timed poll.
    if (interrupt.ask_if_due()) return interrupted();
  }
}

}  // namespace velmora
