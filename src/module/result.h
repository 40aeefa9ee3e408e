#pragma once
// The result dictionary handed back to Python.

#include <pybind11/pybind11.h>

#include "search/run_driver.h"

namespace velmora {

namespace py = pybind11;

// Builds the dictionary of a solved run (keys in their documented order).
// Takes the GIL itself.
py::object build_result(double start_h, double start_f, const Path& path, double time_s,
                        int64_t nodes, int32_t iterations);

}  // namespace velmora
