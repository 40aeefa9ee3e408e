#pragma once
// Root split into work items, and the queue the workers take them from.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "board/lane_state.h"
#include "search/path.h"

namespace velmora {

struct WorkItem {
  LaneState state;  // a child of the start state
  Path path;        // the one move that leads to it
  int64_t score;    // inherited tie-break score
};

// Every distinct child of the start state, in the order the search would
// visit them.
std::vector<WorkItem> split_root(const LaneState& start, const BoardLayout& layout,
                                 bool use_dsg_tiebreak);

class WorkQueue {
 public:
  void refill(const std::vector<WorkItem>& items);
  std::optional<WorkItem> take();
  void clear_queue();

 private:
  std::mutex queue_mutex_;
  std::deque<WorkItem> items_;
};

}  // namespace velmora
