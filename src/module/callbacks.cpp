#include "module/callbacks.h"

#include <cstdio>
#include <optional>

#include "module/interpreter_gate.h"

namespace velmora {

namespace {

void report_log_failure() {
  static constexpr char kText[] = "Log callback hatasi.\n";
  std::fwrite(kText, 1, sizeof kText - 1, stderr);
  std::fflush(stderr);
}

}  // namespace

void emit_log(const py::object& log_fn, std::string_view text) {
  if (log_fn.is_none()) {
    // Flushed line by line: a pipe's buffer would hold it back behind later
    // output of the process, and lose it on an exit that skips the flush.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return;
  }
  bool failed = false;
  {
    // Makes a thread state on threads the interpreter does not know yet and
    // discards it again on release.
    const PythonScope python;
    if (!python) return;  // the interpreter is exiting: the line has nowhere to go
    try {
      py::str line(text.data(), text.size());
      log_fn(line);
    } catch (py::error_already_set&) {
      failed = true;  // the error was fetched into the exception: now dropped
    } catch (...) {
      PyErr_Clear();
      failed = true;
    }
  }
  if (failed) report_log_failure();
}

bool poll_stop(const py::object& callable) {
  if (callable.is_none()) return false;
  const PythonScope python;
  if (!python) return true;  // the interpreter is exiting: the run ends
  try {
    py::object answer = callable();
    py::detail::make_caster<bool> as_bool;
    if (!as_bool.load(answer, /*convert=*/true)) {
      PyErr_Clear();
      return true;  // not readable as a bool: treated as a stop request
    }
    return py::detail::cast_op<bool>(as_bool);
  } catch (py::error_already_set&) {
    return true;
  } catch (...) {
    PyErr_Clear();
    return true;
  }
}

bool check_signals(std::optional<py::error_already_set>& pending) {
  const PythonScope python;
  if (!python) return true;  // the interpreter is exiting: as good as Ctrl-C
  if (PyErr_CheckSignals() != 0) {
    if (pending) {
      PyErr_Clear();  // the first one is what the call raises
    } else {
      pending.emplace();  // fetches the raised exception
    }
  }
  return pending.has_value();
}

}  // namespace velmora
