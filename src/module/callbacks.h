#pragma once
// The only two routines that call the caller's Python callables. Both are
// entered without the GIL and take it only for their own duration.

#include <pybind11/pybind11.h>

#include <optional>
#include <string_view>

namespace velmora {

namespace py = pybind11;

// Passes one log line to `log_fn`, or writes it to standard output when
// `log_fn` is None. A failing log_fn is reported on standard error and
// otherwise ignored.
void emit_log(const py::object& log_fn, std::string_view text);

// Asks `callable` whether to stop. None never stops; a callable that fails,
// or whose answer cannot be read as a bool, stops.
bool poll_stop(const py::object& callable);

// Runs the interpreter's pending signal handlers, even when one has already
// raised; true when `pending` holds an exception, the first one raised (e.g.
// KeyboardInterrupt), now or before, or when the interpreter is exiting.
//
// All three enter the interpreter only through PythonScope (interpreter_gate.h):
// once the interpreter exits, no line is logged and every stop callable says
// stop; on a thread that can get no thread state they throw std::bad_alloc,
// which ends the run in MemoryError.
bool check_signals(std::optional<py::error_already_set>& pending);

}  // namespace velmora
