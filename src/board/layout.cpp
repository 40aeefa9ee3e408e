#include "board/layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace velmora {

std::optional<std::string> check_shape(std::size_t lane_count, std::size_t capacity) {
  if (lane_count > static_cast<std::size_t>(kMaxLanes)) {
    return "too many lanes: " + std::to_string(lane_count) + " (at most " +
           std::to_string(kMaxLanes) + ")";
  }
  // Only a capacity no real lane has (a length a Python object claims) could
  // overflow the product, so it saturates.
  std::size_t cells = 0;
  if (__builtin_mul_overflow(lane_count, capacity, &cells)) cells = SIZE_MAX;
  if (cells > static_cast<std::size_t>(kMaxCells)) {
    return "too many cells: " + std::to_string(cells) + " (" + std::to_string(lane_count) +
           " lanes of up to " + std::to_string(capacity) + " slots; at most " +
           std::to_string(kMaxCells) + ")";
  }
  return std::nullopt;
}

std::optional<std::string> check_limits(const Lanes& lanes) {
  const std::size_t lane_count = lanes.size();
  std::size_t capacity = 0;
  for (const auto& lane : lanes) capacity = std::max(capacity, lane.size());
  if (auto refusal = check_shape(lane_count, capacity)) return refusal;
  for (std::size_t i = 0; i < lane_count; ++i) {
    // Count what the grid will hold: a value whose low 8 bits are 0 is an empty slot.
    const auto items = std::count_if(lanes[i].begin(), lanes[i].end(),
                                     [](int32_t v) { return static_cast<uint8_t>(v) != 0; });
    if (items > kMaxLaneItems) {
      return "too many items in lane " + std::to_string(i) + ": " + std::to_string(items) +
             " (at most " + std::to_string(kMaxLaneItems) + ")";
    }
  }
  return std::nullopt;
}

BoardLayout build_layout(const Lanes& lanes) {
  if (auto refusal = check_limits(lanes)) throw std::invalid_argument(*refusal);
  BoardLayout layout;
  layout.lane_count = static_cast<int32_t>(lanes.size());
  for (const auto& lane : lanes) {
    layout.capacity = std::max(layout.capacity, static_cast<int32_t>(lane.size()));
  }
  layout.start_grid.fill(0);
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    const auto& lane = lanes[static_cast<std::size_t>(i)];
    layout.lane_len[static_cast<std::size_t>(i)] = static_cast<int32_t>(lane.size());
    for (std::size_t k = 0; k < lane.size(); ++k) {
      // Only the low 8 bits are kept: 256 is an empty slot, -1 the item 255.
      layout.start_grid[static_cast<std::size_t>(cell_of(layout, i, static_cast<int32_t>(k)))] =
          static_cast<uint8_t>(lane[k]);
    }
  }
  return layout;
}

}  // namespace velmora
