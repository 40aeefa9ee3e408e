#include "module/interpreter_gate.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <thread>

namespace velmora {

namespace {

// Sequentially consistent: a thread that counted itself in before `closing`
// was set is waited for; one that counts itself in after sees it set.
std::atomic<bool> closing{false};
std::atomic<int64_t> inside{0};

constexpr std::chrono::seconds kLeaveWithin{1};

void close_gate() {
  closing.store(true);
  py::gil_scoped_release nogil;  // those inside may be waiting for it
  const auto deadline = std::chrono::steady_clock::now() + kLeaveWithin;
  while (inside.load() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

void close_gate_at_exit(py::module_& module) {
  py::module_::import("atexit").attr("register")(
      py::cpp_function(close_gate, py::name("_close_gate"), py::scope(module)));
}

PythonScope::PythonScope() {
  inside.fetch_add(1);
  // Py_IsFinalizing needs no GIL; it covers an exit whose handlers did not run.
  open_ = !closing.load() && !Py_IsFinalizing();
  if (!open_) {
    inside.fetch_sub(1);
    return;
  }
  if (PyGILState_GetThisThreadState() != nullptr) {
    gil_.emplace();  // a thread the interpreter knows: nothing to allocate
    return;
  }
  // Bound as this thread's own, so that the binding library's GIL guards
  // inside the scope find it instead of making another.
  own_ = PyThreadState_New(PyInterpreterState_Main());
  if (own_ == nullptr) {
    inside.fetch_sub(1);
    throw std::bad_alloc();
  }
  PyEval_AcquireThread(own_);
}

PythonScope::~PythonScope() {
  if (!open_) return;
  if (own_ != nullptr) {
    PyThreadState_Clear(own_);
    PyThreadState_DeleteCurrent();  // releases the GIL
  } else {
    gil_.reset();
  }
  inside.fetch_sub(1);
}

}  // namespace velmora
