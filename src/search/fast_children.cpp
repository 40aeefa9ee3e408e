// The fast kernel's children of one node: which moves need a look, the
// merge of children with equal hashes, and the visiting order of a frame.
// The descent that walks the frames is in fast_dfs.cpp.
#include <algorithm>
#include <cassert>

#include "base/open_table.h"
#include "search/fast_dfs.h"
#include "search/successors.h"

namespace velmora {

FastSearch::NodeStart FastSearch::start_node() {
  const Measures& m = pos_->measures();
  return {static_cast<uint32_t>(arena_.size()),
          use_dsg_tiebreak_ ? deficits(m.demand, m.supply) : LevelCounts{}};
}

void FastSearch::add_child(uint32_t begin, const ChildEval& child, int32_t src, int32_t dst,
                           int64_t score) {
  const auto h = static_cast<int32_t>(child.m.h);
  const std::size_t order = arena_.size() - begin;
  assert(static_cast<double>(h) == child.m.h && order < 65536);
  arena_.push_back({h, static_cast<uint16_t>(order), static_cast<uint8_t>(src),
                    static_cast<uint8_t>(dst)});
  if (use_dsg_tiebreak_) scores_.push_back(score);
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
  if (hash_check_ == HashCheck::per_node) kept_.clear();
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
      // Moves come in generation order: full ties keep it.
      add_child(node.begin, child, src, dst, score_of(node, child, parent_score));
      if (hash_check_ == HashCheck::per_node) kept_.push_back(c.hash);
    });
  }
  if (hash_check_ == HashCheck::per_node && arena_.size() > node.begin) {
    pos.child_hashes(hashes_);
    if (kept_hash_repeats(hashes_, kept_, sorted_)) {
      truncate(node.begin);
      expand_merging(parent_score, bound);
      return;
    }
  }
  ctx_.counters.children += children;
  ctx_.counters.unpolled_children += children;
  if (least_above < kInfinity) offer(least_above);
  open_frame(node.begin);
}

void FastSearch::expand_merging(int64_t parent_score, double bound) {
  const Position& pos = *pos_;
  const Measures& m = pos.measures();
  const BoardLayout& layout = pos.layout();
  new_stamp();  // the dedupe table is only read here
  const NodeStart node = start_node();
  ChildEval& child = child_;

  const int32_t child_g = m.g + 1;
  for (int32_t src = 0; src < layout.lane_count; ++src) {
    for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
      if (dst == src || (src == m.last_dst && dst == m.last_src)) continue;
      if (!pos.evaluate(src, dst, child)) continue;
      ++ctx_.counters.children;
      ++ctx_.counters.unpolled_children;
      const int64_t score = score_of(node, child, parent_score);
      uint32_t* held = nullptr;
      if (remember(child.m.hash, static_cast<uint32_t>(arena_.size()), held)) {
        add_child(node.begin, child, src, dst, score);
        continue;
      }
      Child& kept = arena_[*held];
      const auto h = static_cast<double>(child.m.h);
      if (takes_over(keys_of(kept, child_g, score_at(node.begin, kept)),
                     Keys{child_g + h, h, score, child_g})) {
        kept.h = static_cast<int32_t>(child.m.h);
        kept.src = static_cast<uint8_t>(src);
        kept.dst = static_cast<uint8_t>(dst);
        if (use_dsg_tiebreak_) scores_[node.begin + kept.order] = score;
      }
    }
  }

  // A child above the bound would only offer its f when visited: settle
  // those now, and renumber the rest (their scores with them).
  double least_above = kInfinity;
  uint32_t kept = node.begin;
  for (uint32_t i = node.begin; i < arena_.size(); ++i) {
    Child c = arena_[i];
    const double f = child_g + static_cast<double>(c.h);
    if (f > bound) {
      least_above = std::min(least_above, f);
      continue;
    }
    if (use_dsg_tiebreak_) scores_[kept] = scores_[node.begin + c.order];
    c.order = static_cast<uint16_t>(kept - node.begin);
    arena_[kept++] = c;
  }
  if (least_above < kInfinity) offer(least_above);
  truncate(kept);
  open_frame(node.begin);
}

void FastSearch::open_frame(uint32_t begin) {
  // Full ties on the keys keep the generation order, as a stable sort would.
  const bool use_dsg_tiebreak = use_dsg_tiebreak_;
  const int32_t g = pos_->measures().g + 1;
  const int64_t* scores = use_dsg_tiebreak ? scores_.data() + begin : nullptr;
  const auto score = [scores](const Child& c) { return scores ? scores[c.order] : 0; };
  std::sort(arena_.begin() + begin, arena_.end(), [&](const Child& a, const Child& b) {
    const Keys ka = keys_of(a, g, score(a)), kb = keys_of(b, g, score(b));
    if (visits_before(ka, kb, use_dsg_tiebreak)) return true;
    if (visits_before(kb, ka, use_dsg_tiebreak)) return false;
    return a.order < b.order;
  });
  frames_.push_back({begin, static_cast<uint32_t>(arena_.size()), begin});
}
}  // namespace velmora
