// The fast kernel's descent: the frame loop, and the hand-over of pieces
// between workers. How a node's children are made and ordered is in
// fast_children.cpp.
#include "search/fast_dfs.h"

#include <algorithm>
#include <bit>
#include <cassert>

#include "search/node_check.h"

namespace velmora {

FastSearch::FastSearch(const BoardLayout& layout, const SearchContext& ctx, bool use_dsg_tiebreak,
                       HashCheck hash_check)
    : ctx_(ctx),
      use_dsg_tiebreak_(use_dsg_tiebreak),
      hash_check_(hash_check),
      pos_(std::make_unique<Position>(layout)) {
  const auto pairs = static_cast<uint64_t>(layout.lane_count) *
                     static_cast<uint64_t>(std::max(layout.lane_count - 1, 0));
  seen_.resize(std::bit_ceil(std::max<uint64_t>(16, 2 * pairs)), Seen{0, 0, 0});
  arena_.reserve(static_cast<std::size_t>(pairs) * 8);
  if (use_dsg_tiebreak) scores_.reserve(arena_.capacity());
  frames_.reserve(64);
}

void FastSearch::reevaluate(const Child& next, ChildEval& child) const {
  [[maybe_unused]] const bool legal = pos_->evaluate_counts(next.src, next.dst, child);
  assert(legal);
  Measures& m = child.m;
  m.h = static_cast<double>(next.h);
  m.extra = m.h - static_cast<double>(m.blokaj);
  m.f = static_cast<double>(m.g) + m.h;
#ifndef NDEBUG
  ChildEval full;
  pos_->evaluate(next.src, next.dst, full);
  assert(full.m.extra == m.extra && full.m.h == m.h && full.m.f == m.f);
#endif
}

// The recursive definition unrolled, as in bounded_dfs: found and stopped go
// straight to the top, any other child result undoes the child's move and
// moves on to the next sibling.
SearchStatus FastSearch::run(const LaneState& state, Path& path, int64_t score) {
  // Before the board is set up from the state, which costs a pass over its
  // cells: on a wide board most items are cut off right here.
  if (const auto end = examine_node(state.g, state.h, state.blokaj, ctx_)) {
    const SearchStatus status = *end;
    return status == SearchStatus::found && goals_are_leaves_ ? SearchStatus::not_found : status;
  }
  Position& pos = *pos_;
  pos.set(state);

  truncate(0);
  frames_.clear();
  const double bound = ctx_.bound.load(std::memory_order_relaxed);
  expand(score, bound);
  return descend(path, bound);
}

SearchStatus FastSearch::descend(Path& path, double bound) {
  Position& pos = *pos_;
  for (;;) {
    Frame& frame = frames_.back();
    if (ctx_.found.load(std::memory_order_relaxed) || frame.next == frame.end) {
      if (frames_.size() == 1) return SearchStatus::not_found;
      truncate(frame.begin);
      frames_.pop_back();
      pos.undo_move();
      path.pop_back();
      continue;
    }
    if (ctx_.stop.load(std::memory_order_relaxed)) return SearchStatus::stopped;

    const Child next = arena_[frame.next++];
    const int64_t score = score_at(frame.begin, next);
    ChildEval& child = child_;
    reevaluate(next, child);
    const Measures& c = child.m;
    path.push_back(make_path_step(child, next.src, next.dst));
    pos.do_move(next.src, next.dst, child);
    if (const auto end = examine_node(c.g, c.h, c.blokaj, ctx_)) {
      const SearchStatus status = *end;
      if (status == SearchStatus::stopped || (status == SearchStatus::found && !goals_are_leaves_)) {
        return status;
      }
      pos.undo_move();
      path.pop_back();
      continue;
    }
    expand(score, bound);
    if (pool_ != nullptr && pool_->wants_work()) give_piece(path);
  }
}

// The shallowest open node holds the children with the largest subtrees
// below them, so one hand-over keeps the taker busy longest. What is given
// is cut off this stack, so every child is still visited exactly once.
void FastSearch::give_piece(const Path& path) {
  std::size_t depth = 0;
  while (depth < frames_.size() && frames_[depth].next == frames_[depth].end) ++depth;
  if (depth == frames_.size()) return;
  Frame& frame = frames_[depth];
  // Below a shallower node this worker keeps the subtree it is in; at the
  // node just expanded it has started nothing, so it keeps the first child
  // (giving all would only swap the idle worker).
  const uint32_t first = depth + 1 == frames_.size() ? frame.next + 1 : frame.next;
  if (first >= frame.end) return;
  // The path holds one step per frame above the first one's node.
  const std::size_t node_steps = path.size() + 1 - frames_.size() + depth;
  Piece piece;
  piece.path.assign(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(node_steps));
  piece.children.reserve(frame.end - first);
  for (uint32_t i = first; i < frame.end; ++i) {
    piece.children.push_back({arena_[i].src, arena_[i].dst, score_at(frame.begin, arena_[i])});
  }
  if (pool_->offer_piece(piece)) frame.end = first;
}

// The piece's node is rebuilt by replaying its path on this worker's board,
// with the same evaluations the giver's board made on the way down; its
// children go into a first frame in the order given, and the descent is the
// giver's from there on.
SearchStatus FastSearch::run_piece(const std::vector<PieceChild>& children, Path& path) {
  Position& pos = *pos_;
  pos.set(*start_);
  for (const PathStep& step : path) {
    pos.evaluate(step.src_lane, step.dst_lane, child_);
    pos.do_move(step.src_lane, step.dst_lane, child_);
  }
  truncate(0);
  frames_.clear();
  for (const PieceChild& given : children) {
    pos.evaluate(given.src, given.dst, child_);
    add_child(0, child_, given.src, given.dst, given.score);
  }
  frames_.push_back({0, static_cast<uint32_t>(arena_.size()), 0});
  return descend(path, ctx_.bound.load(std::memory_order_relaxed));
}

}  // namespace velmora