#include "module/plan_result.h"

namespace velmora {

py::dict build_plan_result(const PlanReport& report) {
  py::list moves;
  for (const PathStep& step : report.moves) {
    moves.append(py::make_tuple(step.src_lane, step.src_slot, step.dst_lane, step.dst_slot,
                                step.item, step.g, step.h, step.f, step.aux));
  }
  py::list plans;
  for (const auto& [seconds, count] : report.plans) plans.append(py::make_tuple(seconds, count));
  py::dict result;
  result["status"] = py::str(status_name(report.status));
  result["moves"] = std::move(moves);
  result["num_moves"] = py::int_(report.moves.size());
  result["lower_bound"] = py::int_(report.lower_bound);
  result["nodes_expanded"] = py::int_(report.nodes);
  result["time"] = py::float_(report.time_s);
  result["plans"] = std::move(plans);
  return result;
}

}  // namespace velmora
