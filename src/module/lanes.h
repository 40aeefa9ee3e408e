#pragma once
// The conversion of a Python board (a sequence of sequences of int) into
// Lanes, shared by every function of the module that takes a board.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "board/layout.h"

namespace velmora {

namespace py = pybind11;

struct LanesInput {
  Lanes lanes;
  // Set when the board's shape (lane count, longest lane) is past the limits:
  // found from the lengths before any value is converted, and `lanes` is empty.
  std::optional<std::string> refusal;
};

// Converts `board`: any sequence other than str/bytes, or a generator, set,
// dict view, map or zip object, of such sequences of ints that fit 32 bits
// (each kept whole; the board keeps the low 8 bits). Past the lane or cell
// limit it stops before materialising more (a length a lane or the board
// claims counts, so does what its iteration yields) and sets `refusal`.
// nullopt when the board does not convert (the caller raises TypeError);
// errors raised by the objects themselves (a failing __len__ or __iter__)
// propagate as error_already_set.
std::optional<LanesInput> convert_lanes(py::handle board);

// The board, or std::invalid_argument (ValueError) with its refusal.
const Lanes& accepted(const LanesInput& input);

}  // namespace velmora

namespace pybind11::detail {

// A parameter of type LanesInput converts through convert_lanes; a board that
// does not convert is an incompatible argument (TypeError).
template <>
struct type_caster<velmora::LanesInput> {
  PYBIND11_TYPE_CASTER(velmora::LanesInput,
                       io_name("collections.abc.Sequence", "list") + const_name("[") +
                           io_name("collections.abc.Sequence", "list") + const_name("[") +
                           make_caster<int32_t>::name + const_name("]]"));

  bool load(handle src, bool /*convert*/) {
    std::optional<velmora::LanesInput> input = velmora::convert_lanes(src);
    if (!input) return false;
    value = std::move(*input);
    return true;
  }
};

}  // namespace pybind11::detail
