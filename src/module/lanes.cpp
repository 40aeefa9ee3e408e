#include "module/lanes.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr auto kLaneLimit = static_cast<std::size_t>(kMaxLanes);
constexpr auto kCellLimit = static_cast<std::size_t>(kMaxCells);

// What the module takes for a board or a lane: a sequence but not a string,
// or one of the common iterables (the binding library's own rule).
bool sequence_like(py::handle obj) { return py::detail::object_is_convertible_to_std_vector(obj); }

// The length `obj` claims, for the kinds that have one; it may lie.
std::optional<std::size_t> claimed_length(py::handle obj) {
  if (PySequence_Check(obj.ptr()) == 0 && !py::hasattr(obj, "__len__")) {
    return std::nullopt;
  }
  const Py_ssize_t size = PyObject_Size(obj.ptr());
  if (size < 0) throw py::error_already_set();
  return static_cast<std::size_t>(size);
}

// The first items of `iterable`, one more than `cap` when it holds more.
py::list take(py::handle iterable, std::size_t cap) {
  py::list items;
  for (py::handle item : py::iter(iterable)) {
    items.append(item);
    if (items.size() > cap) break;
  }
  return items;
}

// A lane's values, or nullopt when one is not an int of 32 bits. Stops with
// `refusal` set once it yields more than `most` values (a lying length).
std::optional<std::vector<int32_t>> lane_values(py::handle lane, std::size_t claimed,
                                                std::size_t most, std::size_t lane_count,
                                                std::optional<std::string>& refusal) {
  std::vector<int32_t> values;
  values.reserve(std::min(claimed, most));
  for (py::handle item : py::iter(lane)) {
    if (values.size() == most) {
      refusal = check_shape(lane_count, most + 1);
      return values;
    }
    py::detail::make_caster<int32_t> value;
    if (!value.load(item, /*convert=*/true)) return std::nullopt;
    values.push_back(py::detail::cast_op<int32_t>(value));
  }
  return values;
}

}  // namespace

std::optional<LanesInput> convert_lanes(py::handle board) {
  if (!sequence_like(board)) return std::nullopt;
  LanesInput input;
  // The shape first, from lengths: lanes without one (generators) are
  // collected up to the point where they alone break the cell limit.
  if (const auto count = claimed_length(board); count && *count > kLaneLimit) {
    input.refusal = check_shape(*count, 0);
    return input;
  }
  const py::list rows = take(board, kLaneLimit);
  if (rows.size() > kLaneLimit) {
    input.refusal = check_shape(rows.size(), 0);
    return input;
  }
  std::vector<py::object> lanes;
  std::vector<std::size_t> lengths;
  std::size_t capacity = 0;
  for (py::handle row : rows) {
    if (!sequence_like(row)) return std::nullopt;
    py::object lane = py::reinterpret_borrow<py::object>(row);
    std::optional<std::size_t> length = claimed_length(row);
    if (!length) {
      lane = take(row, kCellLimit);
      length = py::len(lane);
    }
    capacity = std::max(capacity, *length);
    lanes.push_back(std::move(lane));
    lengths.push_back(*length);
  }
  input.refusal = check_shape(lanes.size(), capacity);
  if (input.refusal) return input;

  // The values, never more per lane than the cell limit leaves room for.
  const std::size_t most = lanes.empty() ? 0 : kCellLimit / lanes.size();
  input.lanes.reserve(lanes.size());
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    auto values = lane_values(lanes[i], lengths[i], most, lanes.size(), input.refusal);
    if (!values) return std::nullopt;
    if (input.refusal) {
      input.lanes.clear();
      return input;
    }
    input.lanes.push_back(std::move(*values));
  }
  return input;
}

const Lanes& accepted(const LanesInput& input) {
  if (input.refusal) throw std::invalid_argument(*input.refusal);
  return input.lanes;
}

}  // namespace velmora
