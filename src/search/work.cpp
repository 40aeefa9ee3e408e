#include "search/work.h"

#include <memory>
#include <utility>

#include "board/move.h"
#include "search/successors.h"

namespace velmora {

std::vector<WorkItem> split_root(const LaneState& start, const BoardLayout& layout,
                                 bool use_dsg_tiebreak) {
  std::vector<Successor> successors = generate_successors(start, layout, 0, use_dsg_tiebreak);
  sort_successors(successors, use_dsg_tiebreak);

  std::vector<WorkItem> items;
  items.reserve(successors.size());
  // On the heap: a state is too big for the stack of a caller's thread.
  const auto child = std::make_unique<LaneState>();
  for (const Successor& successor : successors) {
    if (!apply_move_into(start, layout, successor.src, successor.dst, *child)) continue;
    items.push_back({make_path_step(start, *child, layout, successor.src, successor.dst),
                     successor.score});
  }
  return items;
}

void WorkQueue::set_workers(int32_t count) {
  std::lock_guard lock(queue_mutex_);
  workers_ = count;
}

void WorkQueue::refill(const std::vector<WorkItem>& items) {
  std::lock_guard lock(queue_mutex_);
  items_.assign(items.begin(), items.end());
  pieces_.clear();
  started_ = 0;
  waiting_ = 0;
  over_ = false;
  update_hunger();
}

void WorkQueue::wait_for_start() {
  std::unique_lock lock(queue_mutex_);
  if (++started_ >= workers_) {
    lock.unlock();
    piece_ready_.notify_all();
    return;
  }
  piece_ready_.wait(lock, [this] { return over_ || started_ >= workers_; });
}

std::optional<WorkItem> WorkQueue::take() {
  std::lock_guard lock(queue_mutex_);
  if (items_.empty()) return std::nullopt;
  std::optional<WorkItem> item(std::move(items_.front()));
  items_.pop_front();
  return item;
}

void WorkQueue::clear_queue() {
  {
    std::lock_guard lock(queue_mutex_);
    items_.clear();
    pieces_.clear();
    over_ = true;
    update_hunger();
  }
  piece_ready_.notify_all();
}

void WorkQueue::update_hunger() {
  const auto offered = static_cast<int32_t>(pieces_.size());
  hungry_.value.store(over_ || waiting_ <= offered ? 0 : waiting_ - offered,
                      std::memory_order_relaxed);
}

bool WorkQueue::offer_piece(Piece& piece) {
  {
    std::lock_guard lock(queue_mutex_);
    if (over_ || waiting_ <= static_cast<int32_t>(pieces_.size())) return false;
    pieces_.push_back(std::move(piece));
    update_hunger();
  }
  piece_ready_.notify_one();
  return true;
}

std::optional<Piece> WorkQueue::wait_piece() {
  std::unique_lock lock(queue_mutex_);
  ++waiting_;
  for (;;) {
    if (over_) return std::nullopt;
    if (!pieces_.empty()) {
      std::optional<Piece> piece(std::move(pieces_.front()));
      pieces_.pop_front();
      --waiting_;
      update_hunger();
      return piece;
    }
    // Nobody is searching, so nobody can hand out a piece: the iteration is done.
    if (waiting_ >= workers_) {
      over_ = true;
      update_hunger();
      lock.unlock();
      piece_ready_.notify_all();
      return std::nullopt;
    }
    update_hunger();
    piece_ready_.wait(lock);
  }
}

}  // namespace velmora
