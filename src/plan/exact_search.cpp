#include "plan/exact_search.h"

#include <cassert>

#include "plan/lower_bound.h"
#include "plan/symmetry.h"

namespace velmora {
namespace {

std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }
constexpr int32_t kStopPollMask = 4095;

}  // namespace

int32_t ExactSearch::bound_of(const PlanBoard& board) const {
  return rules_.room_bound ? lower_bound(board) : board.misplaced();
}

ExactSearch::ExactSearch(const BoardLayout& layout, const PruneRules& rules,
                         std::size_t table_bytes, const std::atomic<bool>* stop)
    : board_(layout), rules_(rules), table_(rules.table ? table_bytes : 0), stop_(stop) {
  last_use_.fill(-1);
  arrived_.fill(-2);  // never equal to a step
  from_.fill(-1);
  from_slot_.fill(-1);
}

bool ExactSearch::allowed(int32_t src, int32_t dst) const {
  const int32_t step = static_cast<int32_t>(moves_.size());
  const int32_t i = arrived_[at(src)];
  if (i >= 0 && last_use_[at(src)] == i) {
    const int32_t a = from_[at(src)];
    if (last_use_[at(a)] == i) {
      if (dst == a) {
        if (rules_.return_move && board_.landing_slot(a) == from_slot_[at(src)]) return false;
      } else if (rules_.relay && last_use_[at(dst)] < i) {
        return false;
      }
    }
  }
  if (rules_.one_order && step > 0 && other_order(moves_.back(), src, dst)) return false;
  return !(rules_.first_empty && later_empty_lane(board_, dst));
}

void ExactSearch::play(int32_t src, int32_t dst, History& h) {
  const int32_t step = static_cast<int32_t>(moves_.size());
  h = {last_use_[at(src)], last_use_[at(dst)], arrived_[at(dst)], from_[at(dst)],
       from_slot_[at(dst)]};
  from_slot_[at(dst)] = board_.front(src);
  board_.do_move(src, dst);
  moves_.push_back({src, dst});
  last_use_[at(src)] = step;
  last_use_[at(dst)] = step;
  arrived_[at(dst)] = step;
  from_[at(dst)] = src;
}

void ExactSearch::take_back(int32_t src, int32_t dst, const History& h) {
  board_.undo_move();
  moves_.pop_back();
  last_use_[at(src)] = h.src_use;
  last_use_[at(dst)] = h.dst_use;
  arrived_[at(dst)] = h.dst_arrived;
  from_[at(dst)] = h.dst_from;
  from_slot_[at(dst)] = h.dst_slot;
}

void ExactSearch::rewind() {
  while (!moves_.empty()) {
    board_.undo_move();
    moves_.pop_back();
  }
  last_use_.fill(-1);
  arrived_.fill(-2);
  from_.fill(-1);
  from_slot_.fill(-1);
}

template <class F>
bool ExactSearch::for_each_move(F&& f) {
  const int32_t n = board_.lane_count();
  for (int pass = 0; pass < 2; ++pass) {
    for (int32_t src = 0; src < n; ++src) {
      if (board_.front(src) < 0) continue;
      const int32_t v = board_.front_item(src);
      const bool from_misplaced = board_.lane(src).misplaced > 0;
      for (int32_t dst = 0; dst < n; ++dst) {
        if (!board_.can_move(src, dst)) continue;
        const bool good = from_misplaced && board_.lands_well(dst, v);
        if (good != (pass == 0) || !allowed(src, dst)) continue;
        if (f(src, dst)) return true;
      }
    }
  }
  return false;
}

bool ExactSearch::dfs(int32_t bound) {
  ++nodes_;
  if ((nodes_ & kStopPollMask) == 0 && stop_ != nullptr &&
      stop_->load(std::memory_order_relaxed)) {
    stopped_ = true;
  }
  if (stopped_) return false;
  if (board_.sorted()) {
    plan_ = moves_;
    return true;
  }
  const int32_t g = static_cast<int32_t>(moves_.size());
  const int32_t f = g + bound_of(board_);
  if (f > bound) {
    if (f < next_bound_) next_bound_ = f;
    return false;
  }
  // The same-round drop only without the one-order rule (exact_search.h).
  if (rules_.table && !table_.visit(board_.key(), g, rules_.one_order ? -1 : bound)) return false;
  return for_each_move([&](int32_t src, int32_t dst) {
    History h;
    play(src, dst, h);
    const bool found = dfs(bound);
    take_back(src, dst, h);
    return found || stopped_;
  }) && !stopped_;
}

SearchEnd ExactSearch::search(std::span<const Move> prefix, int32_t bound) {
  rewind();
  History h;
  for (const Move m : prefix) play(m.src, m.dst, h);
  stopped_ = false;
  const bool found = dfs(bound);
  rewind();
  if (stopped_) return SearchEnd::stopped;
  return found ? SearchEnd::found : SearchEnd::exhausted;
}

void ExactSearch::gather(int32_t bound, int32_t depth, std::vector<Plan>& out) {
  const int32_t g = static_cast<int32_t>(moves_.size());
  if (board_.sorted() || g == depth) {
    out.push_back(moves_);
    return;
  }
  const int32_t f = g + bound_of(board_);
  if (f > bound) {
    if (f < next_bound_) next_bound_ = f;
    return;
  }
  for_each_move([&](int32_t src, int32_t dst) {
    History h;
    play(src, dst, h);
    gather(bound, depth, out);
    take_back(src, dst, h);
    return false;
  });
}

void ExactSearch::collect(int32_t bound, int32_t depth, std::vector<Plan>& out) {
  rewind();
  gather(bound, depth, out);
}

}  // namespace velmora
