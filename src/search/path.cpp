#include "search/path.h"

#include "board/move.h"

namespace velmora {

PathStep make_path_step(const LaneState& parent, const LaneState& child,
                        const BoardLayout& layout, int32_t src, int32_t dst) {
  const int32_t src_slot = front_slot(parent.grid, layout, src);
  const int32_t dst_slot = front_slot(child.grid, layout, dst);
  const int32_t item = dst_slot < 0 ? 0 : child.grid[cell_of(layout, dst, dst_slot)];
  return PathStep{src, src_slot, dst, dst_slot, item, child.g, child.h, child.f, 0.0};
}

PathStep make_path_step(const ChildEval& child, int32_t src, int32_t dst) {
  return PathStep{src, child.src_slot, dst, child.dst_slot, child.item,
                  child.m.g, child.m.h, child.m.f, 0.0};
}

}  // namespace velmora
