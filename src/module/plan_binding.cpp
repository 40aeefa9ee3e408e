// plan(): the second engine, shortest and anytime plans.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "module/callbacks.h"
#include "module/lanes.h"
#include "module/plan_binding.h"
#include "module/plan_result.h"
#include "plan/plan_driver.h"

namespace py = pybind11;

namespace velmora {
namespace {

constexpr const char* kPlanDoc = R"doc(Plan the moves that sort a board: a plan at once, then shorter ones, until the shortest is proven.

The board, its limits and errors, and the goal are those of velmora(). A
first plan comes from a greedy construction in milliseconds; then an exact
search deepens an admissible lower bound on the plan's length until it meets
the best plan, which is then proven shortest. While that search has not met
it, beam searches look for shorter plans for a while (up to half the time
limit). Stopped or out of time, the call returns the best plan so far with
the bound proven by then.

Parameters (all but lanes by keyword only):
  lanes: sequence of sequences of int, as for velmora().
  time_limit: seconds (a number of at least 0), or None for no limit.
  num_threads: workers of the exact search; below 1 means as many as the
    machine has (at most 256).
  stop_fn: callable with no arguments, asked a few times a second; a true
    answer (or one that raises or is not a bool, None or number) ends the
    run with what it has.
  on_plan: callable taking the result dict as it would be if the run ended
    now, called each time a shorter plan is found. A failing on_plan is
    reported on standard error and otherwise ignored.
  log_fn: callable taking one str (a log line ending in a newline), or None
    to write the lines to standard output.
All three callables are called on the calling thread only, with the GIL.

Returns a dict with the keys status ("optimal": the plan is proven shortest;
"feasible": stopped or out of time with a plan; "no_solution": proven that
none exists; "stopped": stopped before any plan), moves (the 9-tuples of
velmora(), with h the lower bound after the move), num_moves, lower_bound
(proven: no plan is shorter; num_moves when optimal), nodes_expanded, time
(float seconds) and plans (the improvements in order, (seconds, num_moves)).
Every plan returned has been replayed by the move rules to a sorted board.

The GIL is released while it searches; Ctrl-C on the main thread raises
KeyboardInterrupt.)doc";

constexpr int32_t kMaxPlanThreads = 256;

void report_callback_failure() {
  static constexpr char kText[] = "Plan callback hatasi.\n";
  std::fwrite(kText, 1, sizeof kText - 1, stderr);
  std::fflush(stderr);
}

// Calls on_plan with the GIL; a failure is reported and dropped.
void call_on_plan(const py::object& on_plan, const PlanReport& report) {
  bool failed = false;
  {
    py::gil_scoped_acquire gil;
    try {
      on_plan(build_plan_result(report));
    } catch (py::error_already_set&) {
      failed = true;
    } catch (...) {
      PyErr_Clear();
      failed = true;
    }
  }
  if (failed) report_callback_failure();
}

py::dict plan(const LanesInput& board, const std::optional<double>& time_limit, int32_t num_threads,
              const py::object& stop_fn, const py::object& on_plan, const py::object& log_fn) {
  const Lanes& lanes = accepted(board);
  if (time_limit && !(*time_limit >= 0.0)) throw py::value_error("time_limit must be at least 0");
  // Every callable runs on this thread. A Ctrl-C that arrived meanwhile is
  // taken before and after each call (raised inside one, it would count as
  // that callable's failure), and once one is taken no callable is called
  // again; the driver asks `interrupted` and ends the run.
  std::optional<py::error_already_set> pending_signal;
  const auto signalled = [&pending_signal] { return check_signals(pending_signal); };
  PlanHooks hooks;
  hooks.log = [&](std::string_view text) {
    if (log_fn.is_none()) return emit_log(log_fn, text);
    if (signalled()) return;
    emit_log(log_fn, text);
    signalled();
  };
  hooks.stop = [&] {
    if (stop_fn.is_none()) return false;
    if (signalled()) return true;
    const bool stop = poll_stop(stop_fn);
    return signalled() || stop;
  };
  hooks.on_plan = [&](const PlanReport& report) {
    if (on_plan.is_none() || signalled()) return;
    call_on_plan(on_plan, report);
    signalled();
  };
  hooks.interrupted = signalled;

  PlanOptions options;
  options.time_limit = time_limit.value_or(-1.0);
  options.num_threads = std::min(num_threads, kMaxPlanThreads);
  PlanReport report;
  {
    py::gil_scoped_release nogil;
    report = run_plan(lanes, options, hooks);
  }
  if (pending_signal) throw std::move(*pending_signal);
  return build_plan_result(report);
}

}  // namespace

void register_plan(py::module_& m) {
  m.def("plan", &plan, kPlanDoc, py::arg("lanes"), py::kw_only(),
        py::arg("time_limit") = py::none(), py::arg("num_threads") = 0,
        py::arg("stop_fn") = py::none(), py::arg("on_plan") = py::none(),
        py::arg("log_fn") = py::none());
}

}  // namespace velmora
