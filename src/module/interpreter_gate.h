#pragma once
// How every thread of a run enters the interpreter: through a gate that
// closes when the interpreter begins to exit, before finalization. A thread
// that asks for the GIL from then on would be made to hang, or (with a new
// thread state, once the runtime is torn down) end the process with a fatal
// error; runs see the gate closed as an interruption and end.

#include <pybind11/pybind11.h>

#include <optional>

namespace velmora {

namespace py = pybind11;

// Closes the gate from the interpreter's exit handlers (atexit), which run
// while the interpreter is whole: there it waits, with the GIL released, for
// threads already inside to leave (at most a second; one still inside a
// callable then is left to the interpreter, which stops it at its next switch).
void close_gate_at_exit(py::module_& module);

// Holds the GIL for its scope, on any thread, unless the gate is closed (then
// false, and nothing is taken). A thread the interpreter does not know gets a
// thread state, deleted again at the end; when none can be allocated this
// throws std::bad_alloc, where the interpreter itself would end the process.
class PythonScope {
 public:
  PythonScope();
  ~PythonScope();
  PythonScope(const PythonScope&) = delete;
  PythonScope& operator=(const PythonScope&) = delete;

  explicit operator bool() const { return open_; }

 private:
  bool open_ = false;
  PyThreadState* own_ = nullptr;
  std::optional<py::gil_scoped_acquire> gil_;
};

}  // namespace velmora
