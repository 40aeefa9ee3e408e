#include "search/work.h"

#include "board/move.h"
#include "bounds/successors.h"

namespace velmora {

std::vector<WorkItem> split_root(const LaneState& start, const BoardLayout& layout,
                                 bool use_dsg_tiebreak) {
  std::vector<Successor> successors = generate_successors(start, layout, 0, use_dsg_tiebreak);
  sort_successors(successors, use_dsg_tiebreak);

  std::vector<WorkItem> items;
  items.reserve(successors.size());
  for (const Successor& successor : successors) {
    std::optional<LaneState> child = apply_move(start, layout, successor.src, successor.dst);
    if (!child) continue;
    const PathStep step = make_path_step(start, *child, layout, successor.src, successor.dst);
    items.push_back(WorkItem{*child, Path{step}, successor.score});
  }
  return items;
}

void WorkQueue::refill(const std::vector<WorkItem>& items) {
  std::lock_guard lock(queue_mutex_);
  items_.assign(items.begin(), items.end());
}

std::optional<WorkItem> WorkQueue::take() {
  std::lock_guard lock(queue_mutex_);
  if (items_.empty()) return std::nullopt;
  std::optional<WorkItem> item(std::move(items_.front()));
  items_.pop_front();
  return item;
}

void WorkQueue::clear_queue() {
  std::lock_guard lock(queue_mutex_);
  items_.clear();
}

}  // namespace velmora
