#pragma once
// The read-only description of one board, built once per call.

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

inline constexpr int32_t kMaxLanes = 100;
inline constexpr int32_t kMaxCells = 2000;     // lane_count * capacity
inline constexpr int32_t kMaxLaneItems = 20;   // items (non-zero cells) in one lane
inline constexpr int32_t kTopLevel = 5;        // levels 1..5 are counted

using Lanes = std::vector<std::vector<int32_t>>;
using Grid = std::array<uint8_t, kMaxCells>;

struct BoardLayout {
  int32_t lane_count = 0;
  int32_t capacity = 0;  // longest lane; row stride of every grid
  std::array<int32_t, kMaxLanes> lane_len{};
  Grid start_grid{};
};

// The first limit a board of `lane_count` lanes, the longest `capacity` slots
// long, breaks (lanes, then cells), as a message naming the limit and the
// offending figure; nullopt when its shape fits the model. Whoever knows the
// shape before the values (e.g. a conversion from Python) asks this first.
std::optional<std::string> check_shape(std::size_t lane_count, std::size_t capacity);

// The first limit `lanes` breaks (its shape, then the items of each lane),
// as a message naming the limit and the offending figure; nullopt when the
// board fits the model.
std::optional<std::string> check_limits(const Lanes& lanes);

// Lays `lanes` out as a grid, keeping each value's low 8 bits. Throws
// std::invalid_argument for a board that check_limits refuses.
BoardLayout build_layout(const Lanes& lanes);

inline int32_t cell_of(const BoardLayout& layout, int32_t lane, int32_t slot) {
  assert(lane >= 0 && lane < layout.lane_count && slot >= 0 && slot < layout.capacity);
  return lane * layout.capacity + slot;
}

}  // namespace velmora
