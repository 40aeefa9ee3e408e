#pragma once
// Registers plan() in the module.

#include <pybind11/pybind11.h>

namespace velmora {

void register_plan(pybind11::module_& m);

}  // namespace velmora
