#include "module/interpreter_gate.h"

#include <atomic>
#include <chrono>
#include <cstdint>
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

GatePass::GatePass() {
  inside.fetch_add(1);
  // Py_IsFinalizing needs no GIL; it covers an exit whose handlers did not run.
  open_ = !closing.load() && !Py_IsFinalizing();
  if (!open_) inside.fetch_sub(1);
}

GatePass::~GatePass() {
  if (open_) inside.fetch_sub(1);
}

}  // namespace velmora
