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
    // Built in place: a work item holds a whole state, too big for the stack
    // of a caller's thread.
    WorkItem& item = items.emplace_back();
    if (!apply_move_into(start, layout, successor.src, successor.dst, item.state)) {
      items.pop_back();
      continue;
    }
    item.path = Path{make_path_step(start, item.state, layout, successor.src, successor.dst)};
    item.score = successor.score;
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
