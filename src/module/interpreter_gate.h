#pragma once
// The gate every thread of a run passes before it takes the GIL. It closes
// when the interpreter begins to exit, before finalization: a thread that
// asks for the GIL from then on would be made to hang, or (with a new thread
// state, once the runtime is torn down) would end the process with a fatal
// error. Runs see the gate closed as an interruption and end.

#include <pybind11/pybind11.h>

namespace velmora {

namespace py = pybind11;

// Closes the gate from the interpreter's exit handlers (atexit), which run
// while the interpreter is whole, before finalization: there it waits, with
// the GIL released, for threads already inside to leave (at most a second;
// one still inside a callable then is left to the interpreter, which stops
// it at its next switch).
void close_gate_at_exit(py::module_& module);

// A thread's passage while it is inside the interpreter: open unless the
// interpreter is exiting. Held across the GIL's acquisition and release.
class GatePass {
 public:
  GatePass();
  ~GatePass();
  GatePass(const GatePass&) = delete;
  GatePass& operator=(const GatePass&) = delete;

  explicit operator bool() const { return open_; }

 private:
  bool open_;
};

}  // namespace velmora
