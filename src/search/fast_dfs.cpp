#include "search/fast_dfs.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "base/open_table.h"
#include "search/node_check.h"
#include "search/successors.h"

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
  evals_.reserve(64);
  frames_.reserve(64);
}

FastSearch::NodeStart FastSearch::start_node() {
  const Measures& m = pos_->measures();
  return {static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(evals_.size()),
          use_dsg_tiebreak_ ? deficits(m.demand, m.supply) : LevelCounts{}};
}

int64_t FastSearch::score_of(const NodeStart& node, const ChildEval& child,
                             int64_t parent_score) const {
  if (!use_dsg_tiebreak_) return 0;
  return successor_score(node.parent_diff, child.diff, pos_->measures().h, child.m.h, parent_score);
}

bool kept_hash_repeats(std::span<const uint64_t> hashes, std::span<const uint64_t> kept,
                       std::vector<uint64_t>& scratch) {
  if (kept.size() <= kScanKept) {
    for (const uint64_t k : kept) {
      if (std::count(hashes.begin(), hashes.end(), k) > 1) return true;
    }
    return false;
  }
  scratch.assign(hashes.begin(), hashes.end());
  std::sort(scratch.begin(), scratch.end());
  return std::adjacent_find(scratch.begin(), scratch.end()) != scratch.end();
}

void FastSearch::new_stamp() {
  if (++stamp_ == 0) {  // wrapped: forget every old entry
    std::fill(seen_.begin(), seen_.end(), Seen{0, 0, 0});
    stamp_ = 1;
  }
}

bool FastSearch::remember(uint64_t hash, uint32_t index, uint32_t*& held) {
  const uint32_t stamp = stamp_;
  const std::size_t i = probe<Seen>(
      seen_, hash, [stamp](const Seen& e) { return e.stamp != stamp; },
      [hash](const Seen& e) { return e.hash == hash; });
  if (seen_[i].stamp == stamp_) {
    held = &seen_[i].index;
    return false;
  }
  seen_[i] = {hash, stamp_, index};
  return true;
}

void FastSearch::offer(double f) {
  if (f >= offered_) return;
  offered_ = f;
  lower_next_bound(ctx_.next_bound, f);
}

// Most children of a node lie above the bound, and all such a child does is
// offer its f to next_bound. Its f is at least g + blokaj, and every move out
// of one lane leaves the same blokaj before its item lands, which adds at
// most 1: when that cannot beat this worker's last offer, none of the lane's
// moves needs a look. Otherwise the destination lane's facts give the
// child's blokaj, and the two touched lanes the sign of its clearing cost.
//
// Children with equal hashes are merged by their full values. Distinct moves
// never make the same position, so only a 64-bit collision gets there, and on
// most boards it is ruled out before the run. Elsewhere: a merge of two
// children above the bound offers the same least f as both would alone, so
// hashes are only compared at a node with children within the bound, and a
// node where one of those meets another child's hash is expanded again the
// long way.
void FastSearch::expand(int64_t parent_score, double bound) {
  if (hash_check_ == HashCheck::merge_always) {
    expand_merging(parent_score, bound);
    return;
  }
  const Position& pos = *pos_;
  const Measures& m = pos.measures();
  const BoardLayout& layout = pos.layout();
  const NodeStart node = start_node();
  const double child_g = static_cast<double>(m.g + 1);
  const auto beyond_reach = [&](double least_f) { return least_f > bound && least_f >= offered_; };

  double least_above = kInfinity;
  int64_t children = 0;
  for (int32_t src = 0; src < layout.lane_count; ++src) {
    Lift lift;
    if (!pos.lift_front(src, lift)) continue;
    const bool reverses = src == m.last_dst && pos.has_room(m.last_src);
    children += pos.open_count() - (pos.has_room(src) ? 1 : 0) - (reverses ? 1 : 0);
    const double least_f = child_g + static_cast<double>(lift.blokaj);
    if (beyond_reach(least_f)) continue;
    // A move that breaks the destination's run adds 1 to blokaj.
    LaneSet in_reach = lift.item <= kTopLevel && beyond_reach(least_f + 1.0)
                           ? pos.open_lanes() & pos.lands_in_order(lift.item)
                           : pos.open_lanes();
    in_reach.erase(src);
    if (reverses) in_reach.erase(m.last_src);
    bool counted = false;  // lift_counts done
    in_reach.for_each([&](int32_t dst) {
      Sketch sketch{};
      pos.sketch(lift, dst, sketch);
      if (!counted) {
        pos.lift_counts(lift);
        counted = true;
      }
      // Next, whether the clearing cost is 0 (then f is known) or at least 1.
      const int32_t least_h = pos.least_h(lift, dst, sketch);
      const double floor_f = child_g + static_cast<double>(least_h);
      if (floor_f > bound) {
        const bool exact = least_h == sketch.blokaj;
        if (exact) least_above = std::min(least_above, floor_f);
        if (exact || floor_f >= offered_) return;
      }
      ChildEval& child = child_;
      pos.evaluate(src, dst, child);
      const Measures& c = child.m;
      if (c.f > bound) {
        least_above = std::min(least_above, c.f);
        return;
      }
      // Moves in generation order have increasing indices: full ties keep it.
      const int32_t order = src * layout.lane_count + dst;
      const int64_t score = score_of(node, child, parent_score);
      arena_.push_back(
          {c.f, c.h, score, src, dst, c.g, order, static_cast<uint32_t>(evals_.size())});
      evals_.push_back(child);
    });
  }
  if (hash_check_ == HashCheck::per_node && arena_.size() > node.begin) {
    pos.child_hashes(hashes_);
    kept_.clear();
    for (auto it = arena_.begin() + node.begin; it != arena_.end(); ++it) {
      kept_.push_back(evals_[it->eval].m.hash);
    }
    if (kept_hash_repeats(hashes_, kept_, sorted_)) {
      arena_.resize(node.begin);
      evals_.resize(node.evals_begin);
      expand_merging(parent_score, bound);
      return;
    }
  }
  ctx_.counters.children += children;
  if (least_above < kInfinity) offer(least_above);
  open_frame(node.begin, node.evals_begin);
}

void FastSearch::expand_merging(int64_t parent_score, double bound) {
  const Position& pos = *pos_;
  const Measures& m = pos.measures();
  const BoardLayout& layout = pos.layout();
  new_stamp();  // the dedupe table is only read here
  const NodeStart node = start_node();
  ChildEval& child = child_;

  int32_t order = 0;
  for (int32_t src = 0; src < layout.lane_count; ++src) {
    for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
      if (dst == src || (src == m.last_dst && dst == m.last_src)) continue;
      if (!pos.evaluate(src, dst, child)) continue;
      ++ctx_.counters.children;
      const Measures& c = child.m;
      const int64_t score = score_of(node, child, parent_score);
      const Child entry{c.f, c.h, score, src, dst, c.g, order, 0};
      uint32_t* held = nullptr;
      if (!remember(c.hash, static_cast<uint32_t>(arena_.size()), held)) {
        Child& kept = arena_[*held];
        if (takes_over(kept, entry)) {
          const int32_t place = kept.order;
          kept = entry;
          kept.order = place;
        }
        continue;
      }
      arena_.push_back(entry);
      ++order;
    }
  }

  // A child above the bound would only offer its f when visited: settle those now.
  const auto first = arena_.begin() + node.begin;
  const auto live_end =
      std::partition(first, arena_.end(), [bound](const Child& c) { return c.f <= bound; });
  double least_above = kInfinity;
  for (auto it = live_end; it != arena_.end(); ++it) least_above = std::min(least_above, it->f);
  if (least_above < kInfinity) offer(least_above);
  arena_.erase(live_end, arena_.end());
  // The descent needs each remaining child's evaluation.
  for (auto it = first; it != arena_.end(); ++it) {
    it->eval = static_cast<uint32_t>(evals_.size());
    pos.evaluate(it->src, it->dst, evals_.emplace_back());
  }
  open_frame(node.begin, node.evals_begin);
}

void FastSearch::open_frame(uint32_t begin, uint32_t evals_begin) {
  // Full ties on the keys keep the generation order, as a stable sort would.
  const bool use_dsg_tiebreak = use_dsg_tiebreak_;
  std::sort(arena_.begin() + begin, arena_.end(), [use_dsg_tiebreak](const Child& a, const Child& b) {
    if (visits_before(a, b, use_dsg_tiebreak)) return true;
    if (visits_before(b, a, use_dsg_tiebreak)) return false;
    return a.order < b.order;
  });
  frames_.push_back({begin, static_cast<uint32_t>(arena_.size()), begin, evals_begin});
}

// The recursive definition unrolled, as in bounded_dfs: found and stopped go
// straight to the top, any other child result undoes the child's move and
// moves on to the next sibling.
SearchStatus FastSearch::run(const LaneState& state, Path& path, int64_t score) {
  Position& pos = *pos_;
  pos.set(state);
  if (const auto end = examine_node(state.g, state.h, state.blokaj, ctx_)) {
    const SearchStatus status = *end;
    return status == SearchStatus::found && goals_are_leaves_ ? SearchStatus::not_found : status;
  }

  arena_.clear();
  evals_.clear();
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
      arena_.resize(frame.begin);
      evals_.resize(frame.evals_begin);
      frames_.pop_back();
      pos.undo_move();
      path.pop_back();
      continue;
    }
    if (ctx_.stop.load(std::memory_order_relaxed)) return SearchStatus::stopped;

    const Child next = arena_[frame.next++];
    const ChildEval& child = evals_[next.eval];
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
    expand(next.score, bound);
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
    piece.children.push_back({arena_[i].src, arena_[i].dst, arena_[i].score});
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
  arena_.clear();
  evals_.clear();
  frames_.clear();
  int32_t order = 0;
  for (const PieceChild& given : children) {
    const auto eval = static_cast<uint32_t>(evals_.size());
    ChildEval& child = evals_.emplace_back();
    pos.evaluate(given.src, given.dst, child);
    arena_.push_back({child.m.f, child.m.h, given.score, given.src, given.dst, child.m.g, order++, eval});
  }
  frames_.push_back({0, static_cast<uint32_t>(arena_.size()), 0, 0});
  return descend(path, ctx_.bound.load(std::memory_order_relaxed));
}

}  // namespace velmora
