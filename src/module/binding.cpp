// The module `velmora` and its one function.

#include <pybind11/pybind11.h>

#include <optional>
#include <thread>

#include "board/layout.h"
#include "module/callbacks.h"
#include "module/plan_binding.h"
#include "module/interpreter_gate.h"
#include "module/lanes.h"
#include "module/result.h"
#include "search/run_driver.h"

namespace py = pybind11;

namespace velmora {
namespace {

constexpr const char* kDoc = R"doc(Solve a lane-sorting puzzle by multi-threaded iterative-deepening A*.

A board is a list of lanes, each a list of small ints, slot 0 first (the
lane's front). 0 is an empty slot, any other value an item (stored as its low
8 bits). A move takes the front item of one lane and puts it directly in front
of the items of another lane (or into the last slot of an empty lane). The
board is solved when, in every lane, the item values of levels 1 to 5 never
decrease from front to back.

Parameters:
  lanes: sequence of sequences of int. At most 100 lanes, at most 2000 cells
    (lanes times the longest lane), at most 20 items in a lane; a board
    beyond these limits raises ValueError.
  log_fn: callable taking one str (one log line, ending in a newline),
    called from the worker threads with the GIL held; or None to write the
    log lines to standard output. A failing log_fn is reported on standard
    error and otherwise ignored.
  stop_get_best_fn: callable with no arguments, asked between iterations;
    a true answer stops the run.
  stop_fn: callable with no arguments, asked between iterations and every
    1000 expanded nodes of each worker, or sooner on boards of more than 20
    lanes: once the nodes it expanded since it last asked have had
    152,000,000 / lanes^2 children; a true answer stops the run. A stop
    callable that raises or answers something that is not a bool, None or a
    number stops the run too.
  use_dsg_tiebreak: bool; order successors of equal f by a deficit score.
  num_threads: int, worker threads per iteration; below 1 means as many as
    the machine has.

Returns a dict (the stub's Result) with the keys num_moves (int), moves (list
of 9-tuples (src_lane, src_slot, dst_lane, dst_slot, item, g, h, f, aux), the
stub's Move: 0-based lanes and slots before and after the move, the item, the
move's 1-based position g, h and f after it, aux always 0.0), time (float
seconds), h_values, f_values (lists of float, start state first), g_values
(list of int), nodes_expanded (int) and iterations (int); or None when the run
was stopped or no solution exists. The heuristic h may overestimate, so the
moves are the first solution found, not always the shortest.

The GIL is released while the search runs, so other Python threads go on and
several calls may run at once. Ctrl-C on the main thread stops the run and
raises KeyboardInterrupt.)doc";

py::object solve(const LanesInput& board, const py::object& log_fn, const py::object& stop_get_best_fn,
                 const py::object& stop_fn, bool use_dsg_tiebreak, int32_t num_threads) {
  // A board beyond the limits is refused (std::invalid_argument, raised as
  // ValueError) before anything is logged: by its shape here, by its items
  // in the run.
  const Lanes& lanes = accepted(board);
  // Workers reach the callables only through these hooks, which borrow the
  // handles and take the GIL themselves; no handle is copied without it.
  //
  // The interpreter runs signal handlers on the main thread whenever Python
  // code next runs there, and the driver calls the caller's callables on
  // this thread. A Ctrl-C that arrived meanwhile is therefore taken here,
  // before and after each such call: raised inside the callable, its
  // KeyboardInterrupt would count as that callable's failure and be lost.
  // Once one is taken no callable is called again, and the driver, which
  // asks `interrupted` after each hook it calls, ends the run. Only this
  // thread ever touches `pending_signal`.
  const std::thread::id caller = std::this_thread::get_id();
  std::optional<py::error_already_set> pending_signal;
  const auto signalled = [&pending_signal] { return check_signals(pending_signal); };
  const auto on_caller = [caller](const py::object& callable) {
    return !callable.is_none() && std::this_thread::get_id() == caller;
  };
  RunHooks hooks;
  hooks.log = [&](std::string_view text) {
    if (!on_caller(log_fn)) return emit_log(log_fn, text);
    if (signalled()) return;
    emit_log(log_fn, text);
    signalled();
  };
  // A signal taken counts as a stop; the driver then finds it through `interrupted`.
  const auto poll_on_caller = [&](const py::object& callable) {
    if (!on_caller(callable)) return poll_stop(callable);
    if (signalled()) return true;
    const bool stop = poll_stop(callable);
    return signalled() || stop;
  };
  hooks.stop = [&] { return poll_on_caller(stop_fn); };
  hooks.stop_get_best = [&] { return poll_on_caller(stop_get_best_fn); };
  hooks.interrupted = signalled;

  RunOutcome outcome;
  {
    py::gil_scoped_release nogil;
    RunOptions options;
    options.use_dsg_tiebreak = use_dsg_tiebreak;
    options.num_threads = num_threads;
    outcome = run_search(lanes, options, hooks);
  }
  // Taken during the run, whatever its end: raised now, or it is lost.
  if (pending_signal) throw std::move(*pending_signal);
  switch (outcome.end) {
    case RunEnd::solved_at_start:
    case RunEnd::solved:
      return build_result(outcome.start_h, outcome.start_f, outcome.path, outcome.time_s,
                          outcome.nodes, outcome.iterations);
    default:  // stopped, no solution, or (interrupted without a signal) exiting
      return py::none();
  }
}

}  // namespace
}  // namespace velmora

PYBIND11_MODULE(velmora, m, py::multiple_interpreters::not_supported()) {
  m.doc() = "Lane-sorting puzzle solver: multi-threaded iterative-deepening A*.";
  m.attr("__version__") = VELMORA_VERSION;  // pyproject.toml's, handed over by the build
  velmora::close_gate_at_exit(m);
  m.def("velmora", &velmora::solve, velmora::kDoc, py::arg("lanes"), py::arg("log_fn") = py::none(),
        py::arg("stop_get_best_fn") = py::none(), py::arg("stop_fn") = py::none(),
        py::arg("use_dsg_tiebreak") = false, py::arg("num_threads") = 8);
  velmora::register_plan(m);
}
