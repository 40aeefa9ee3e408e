#include "plan/plan_driver.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>

#include "plan/beam_phase.h"
#include "plan/construct_plan.h"
#include "plan/exact_crew.h"
#include "plan/first_plan.h"
#include "plan/improve_plan.h"
#include "plan/lower_bound.h"
#include "plan/plan_board.h"
#include "plan/plan_log.h"
#include "plan/replay.h"

namespace velmora {

const char* status_name(PlanStatus status) {
  switch (status) {
    case PlanStatus::optimal: return "optimal";
    case PlanStatus::feasible: return "feasible";
    case PlanStatus::no_solution: return "no_solution";
    case PlanStatus::stopped: return "stopped";
  }
  return "stopped";
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kNoBound = std::numeric_limits<int32_t>::max();
constexpr int64_t kReachSlice = int64_t{1} << 20;  // enumeration work between iterations
constexpr std::size_t kItemsPerWorker = 8;
constexpr uint32_t kConstructTries = 64;
constexpr uint32_t kRetries = 200;
constexpr auto kRetryTime = std::chrono::milliseconds(50);
// The exact search first has a tenth of the time limit (a second without
// one) to close the gap alone; then the beams take the run to half of it,
// or to four fifths when the exact search completed no iteration (a node
// budget without a limit), and the exact search has the rest.
constexpr double kExactFirstShare = 0.1;
constexpr double kExactFirstSeconds = 1.0;
constexpr double kBeamShare = 0.5;
constexpr double kBeamShareStuck = 0.8;
constexpr int32_t kMaxBeams = 2;

int32_t worker_count(int32_t requested) {
  if (requested >= 1) return requested;
  return static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

class PlanRun {
 public:
  PlanRun(const Lanes& lanes, const PlanOptions& options, const PlanHooks& hooks)
      : layout_(std::make_unique<BoardLayout>(build_layout(lanes))),
        options_(options),
        hooks_(hooks),
        start_(Clock::now()) {}

  PlanReport run();

 private:
  double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  bool should_stop();
  void offer(const Plan& plan);
  PlanReport snapshot() const;
  bool settle_without_plan(const std::function<bool()>& halt);  // true when the enumeration proved there is none
  void find_first_plan();
  bool gap_closed() const {
    return have_plan_ && lower_ >= static_cast<int32_t>(best_.size());
  }
  void search_exactly(double until_s);
  void shorten_by_beams(double share);
  std::vector<Plan> work_items(ExactSearch& collector, int32_t bound, int32_t workers);

  std::unique_ptr<BoardLayout> layout_;
  PlanOptions options_;
  const PlanHooks& hooks_;
  Clock::time_point start_;
  Clock::time_point last_poll_{};
  bool stop_ = false;
  bool interrupted_ = false;
  bool no_solution_ = false;
  Path best_;
  bool have_plan_ = false;
  int32_t lower_ = 0;
  int64_t nodes_ = 0;
  std::vector<std::pair<double, int32_t>> plans_;
  std::unique_ptr<Reachability> reach_;
};

// The caller's stop callable at most every millisecond; the clock always.
bool PlanRun::should_stop() {
  if (stop_) return true;
  if (options_.time_limit >= 0 && elapsed() >= options_.time_limit) stop_ = true;
  const auto now = Clock::now();
  if (!stop_ && now - last_poll_ >= std::chrono::milliseconds(1)) {
    last_poll_ = now;
    if (asks_to_stop(hooks_.interrupted)) interrupted_ = true;
    else if (asks_to_stop(hooks_.stop)) stop_ = true;
    if (!interrupted_ && asks_to_stop(hooks_.interrupted)) interrupted_ = true;
  }
  stop_ = stop_ || interrupted_;
  return stop_;
}

PlanReport PlanRun::snapshot() const {
  PlanReport r;
  r.moves = best_;
  r.lower_bound = have_plan_ ? std::min<int32_t>(lower_, static_cast<int32_t>(best_.size())) : lower_;
  r.status = have_plan_ ? (r.lower_bound >= static_cast<int32_t>(best_.size()) ? PlanStatus::optimal
                                                                            : PlanStatus::feasible)
                        : (no_solution_ ? PlanStatus::no_solution : PlanStatus::stopped);
  r.nodes = nodes_;
  r.time_s = elapsed();
  r.plans = plans_;
  r.interrupted = interrupted_;
  return r;
}

// Keeps `plan` when it is shorter than the best; it must replay.
void PlanRun::offer(const Plan& plan) {
  if (have_plan_ && plan.size() >= best_.size()) return;
  std::optional<Path> path = replay(*layout_, plan);
  assert(path && "a plan that does not replay");
  if (!path) return;
  best_ = std::move(*path);
  have_plan_ = true;
  plans_.emplace_back(elapsed(), static_cast<int32_t>(best_.size()));
  emit(hooks_.log, plan_log::found(static_cast<int32_t>(best_.size()), lower_, elapsed()));
  if (hooks_.on_plan) hooks_.on_plan(snapshot());
  if (asks_to_stop(hooks_.interrupted)) interrupted_ = stop_ = true;
}

bool PlanRun::settle_without_plan(const std::function<bool()>& halt) {
  if (options_.reach_memory_cap == 0) return false;
  if (!reach_) reach_ = std::make_unique<Reachability>(*layout_, options_.reach_memory_cap);
  const ReachVerdict v = reach_->advance(kReachSlice, halt);
  return v == ReachVerdict::no_solution || v == ReachVerdict::search_ends;
}

// Work items: the nodes a few moves deep, enough for every worker to take several.
std::vector<Plan> PlanRun::work_items(ExactSearch& collector, int32_t bound, int32_t workers) {
  std::vector<Plan> items;
  const std::size_t enough = kItemsPerWorker * static_cast<std::size_t>(workers);
  for (int32_t depth = workers > 1 ? 1 : 0; depth <= bound; ++depth) {
    items.clear();
    collector.reset_next_bound();
    collector.collect(bound, depth, items);
    if (items.size() >= enough || depth >= 3) break;
  }
  return items;
}

// Until the gap closes, a stop, or `until_s` seconds into the run (the
// iteration under way is then given up; the bound stays what it proved).
void PlanRun::search_exactly(double until_s) {
  const std::function<bool()> halt = [this, until_s] { return should_stop() || elapsed() >= until_s; };
  const int32_t workers = worker_count(options_.num_threads);
  ExactCrew crew(*layout_, options_.rules, workers, options_.table_bytes);
  ExactSearch collector(*layout_, options_.rules, 0, nullptr);
  int64_t base_nodes = nodes_;
  for (int32_t bound = lower_;;) {
    lower_ = bound;
    if (have_plan_ && bound >= static_cast<int32_t>(best_.size())) return;
    if (halt()) return;
    const bool open = reach_ == nullptr || reach_->verdict() == ReachVerdict::open;
    if (!have_plan_ && open && settle_without_plan(halt)) {
      no_solution_ = true;
      return;
    }
    if (halt()) return;
    const std::vector<Plan> items = work_items(collector, bound, workers);
    int32_t next = collector.next_bound();
    IterationEnd end;
    end.next_bound = kNoBound;
    if (!items.empty()) end = crew.run(items, bound, halt);
    nodes_ = base_nodes + crew.nodes() + collector.nodes();
    if (end.end == SearchEnd::found) {
      offer(end.plan);
      lower_ = static_cast<int32_t>(end.plan.size());
      return;
    }
    if (end.end == SearchEnd::stopped) return;
    next = std::min(next, end.next_bound);
    if (next == kNoBound) {  // nothing left below any bound: no plan at all
      no_solution_ = !have_plan_;
      return;
    }
    emit(hooks_.log, plan_log::bound_done(bound, next, nodes_, elapsed()));
    bound = next;
  }
}

// The constructive rule, shortened; the greedy search when the rule is stuck.
void PlanRun::find_first_plan() {
  std::optional<Plan> first = construct_any_plan(*layout_, kConstructTries);
  if (!first) {
    GreedyOptions greedy;
    greedy.node_budget = options_.greedy_nodes;
    GreedyOutcome outcome = first_plan(*layout_, greedy, [this] { return should_stop(); });
    nodes_ += outcome.nodes;
    first = std::move(outcome.plan);
  }
  if (!first) return;
  offer(*first);
  offer(improve_plan(*layout_, std::move(*first)));
  // The rule again with ties broken at random, for a while: often shorter.
  // A tenth of the time limit at most: the exact search may prove a short plan.
  auto until = Clock::now() + kRetryTime;
  if (options_.time_limit >= 0) {
    until = std::min(until, start_ + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(options_.time_limit / 10)));
  }
  for (uint32_t seed = 1; seed <= kRetries && Clock::now() < until && !should_stop(); ++seed) {
    ConstructOptions retry;
    retry.seed = seed;
    retry.max_moves = static_cast<int32_t>(best_.size());
    if (std::optional<Plan> other = construct_plan(*layout_, retry)) {
      offer(improve_plan(*layout_, std::move(*other)));
    }
  }
}

// The beams while the gap is open, up to a share of the time limit (a node
// budget without one).
void PlanRun::shorten_by_beams(double share) {
  const bool timed = options_.time_limit >= 0;
  const double until_s = timed ? options_.time_limit * share : std::numeric_limits<double>::infinity();
  BeamPhaseOptions phase;
  phase.beams = std::min(worker_count(options_.num_threads), kMaxBeams);
  phase.node_budget = timed ? -1 : options_.beam_nodes;
  phase.memory_bytes = options_.beam_bytes;
  nodes_ += shorten_with_beams(
      *layout_, phase,
      [this] { return moves_of(best_); },
      [this](const Plan& plan) { offer(improve_plan(*layout_, plan)); },
      [&] { return should_stop() || elapsed() >= until_s || gap_closed(); });
}

PlanReport PlanRun::run() {
  PlanBoard root(*layout_);
  lower_ = options_.rules.room_bound ? lower_bound(root) : root.misplaced();
  emit(hooks_.log, plan_log::started(lower_, layout_->lane_count));
  if (root.sorted()) {
    offer({});
  } else if (!should_stop()) {
    if (!options_.testing.no_first_plan) find_first_plan();
    const double first_s = options_.exact_alone_s >= 0 ? options_.exact_alone_s
                           : options_.time_limit >= 0 ? options_.time_limit * kExactFirstShare
                                                      : kExactFirstSeconds;
    const int32_t root_bound = lower_;
    if (!stop_) search_exactly(first_s);
    // An exact search that completed no iteration in its slice is unlikely
    // to complete one later: the beams then take more of the time.
    const double beam_share = lower_ > root_bound ? kBeamShare : kBeamShareStuck;
    if (!stop_ && have_plan_ && !gap_closed()) shorten_by_beams(beam_share);
    if (!stop_ && !gap_closed() && !no_solution_) {
      search_exactly(std::numeric_limits<double>::infinity());
    }
  }
  PlanReport report = snapshot();
  emit(hooks_.log, plan_log::ended(status_name(report.status),
                                   static_cast<int32_t>(report.moves.size()), report.lower_bound,
                                   report.nodes, report.time_s));
  return report;
}

}  // namespace

PlanReport run_plan(const Lanes& lanes, const PlanOptions& options, const PlanHooks& hooks) {
  auto run = std::make_unique<PlanRun>(lanes, options, hooks);
  return run->run();
}

}  // namespace velmora
