#include "module/result.h"

namespace velmora {

py::object build_result(double start_h, double start_f, const Path& path, double time_s,
                        int64_t nodes, int32_t iterations) {
  py::gil_scoped_acquire gil;
  py::list moves;
  py::list h_values;
  py::list f_values;
  py::list g_values;
  h_values.append(py::float_(start_h));
  f_values.append(py::float_(start_f));
  g_values.append(py::int_(0));
  for (const PathStep& step : path) {
    moves.append(py::make_tuple(step.src_lane, step.src_slot, step.dst_lane, step.dst_slot,
                                step.item, step.g, step.h, step.f, step.aux));
    h_values.append(py::float_(step.h));
    f_values.append(py::float_(step.f));
    g_values.append(py::int_(step.g));
  }
  py::dict result;
  result["num_moves"] = py::int_(path.size());
  result["moves"] = std::move(moves);
  result["time"] = py::float_(time_s);
  result["h_values"] = std::move(h_values);
  result["f_values"] = std::move(f_values);
  result["g_values"] = std::move(g_values);
  result["nodes_expanded"] = py::int_(nodes);
  result["iterations"] = py::int_(iterations);
  return result;
}

}  // namespace velmora
