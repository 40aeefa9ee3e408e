#pragma once
// Root split into work items, the queue the workers take them from, and the
// pieces that busy workers hand to idle ones once the queue is empty.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "board/lane_state.h"
#include "search/path.h"

namespace velmora {

// A child of the start state. Its state is made again by whoever takes it:
// a whole state per item would cost about 8 KB each, so tens of megabytes
// for a board of a hundred lanes, copied into the queue in every iteration.
struct WorkItem {
  PathStep step;  // the one move that leads to it
  int64_t score;  // inherited tie-break score
};

// Every distinct child of the start state, in the order the search would
// visit them.
std::vector<WorkItem> split_root(const LaneState& start, const BoardLayout& layout,
                                 bool use_dsg_tiebreak);

// One child still to visit in a piece: the move and its inherited score.
struct PieceChild {
  int32_t src;
  int32_t dst;
  int64_t score;
};

// Part of a busy worker's subtree, handed over whole: the children of one
// node on its path that it had not visited yet, in its visiting order. The
// node is not sent as a state; the receiver replays the path from the start
// state, which is cheaper for the giver than building one.
struct Piece {
  Path path;                         // the moves from the start state to the node
  std::vector<PieceChild> children;  // in visiting order
};

// Root items, taken from the front, then pieces. A worker that runs out of
// both waits for a piece until the iteration is over: cleared (a goal, a
// stop, a failure) or every worker waiting with no piece left. Waiting
// workers are counted in a cell that busy workers read without a lock.
class WorkQueue {
 public:
  // Workers per iteration, for the end of an iteration: once all of them
  // wait, no piece can come any more.
  void set_workers(int32_t count);
  // A new iteration: the root items, no pieces, nobody waiting.
  void refill(const std::vector<WorkItem>& items);
  // Holds a worker until every worker of the iteration has started, or the
  // iteration is over. Where workers outnumber cores, the first ones to get
  // a core would otherwise search while the rest wait for their turn (when
  // threads were started for each iteration, 16 workers on 2 cores began
  // over 23 ms of the demo puzzle's 80 ms iteration).
  void wait_for_start();
  std::optional<WorkItem> take();
  // Ends the iteration: items and pieces dropped, every waiting worker woken
  // with nothing.
  void clear_queue();

  // A relaxed load, cheap enough for the node loop: some worker waits and
  // no piece is on offer for it.
  bool wants_work() const { return hungry_.value.load(std::memory_order_relaxed) > 0; }
  // Hands a piece over; false (and the piece untouched) when nobody needs it
  // any more, so that the giver keeps its children.
  bool offer_piece(Piece& piece);
  // The next piece; nullopt once the iteration is over. Holds no lock while
  // the caller searches, and waits without spinning.
  std::optional<Piece> wait_piece();

 private:
  void update_hunger();  // under queue_mutex_

  std::mutex queue_mutex_;
  std::condition_variable piece_ready_;
  std::deque<WorkItem> items_;
  std::deque<Piece> pieces_;
  int32_t workers_ = 0;
  int32_t started_ = 0;
  int32_t waiting_ = 0;
  bool over_ = false;
  // Alone on its cache line: busy workers read it at every expansion, and
  // the queue's own fields change at every take.
  struct alignas(64) Hunger {
    std::atomic<int32_t> value{0};
  };
  Hunger hungry_;
};

}  // namespace velmora
