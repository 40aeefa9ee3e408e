#pragma once
// The dictionary plan() returns, and hands to on_plan.

#include <pybind11/pybind11.h>

#include "plan/plan_driver.h"

namespace velmora {

namespace py = pybind11;

// Keys in their documented order. Call with the GIL held.
py::dict build_plan_result(const PlanReport& report);

}  // namespace velmora
