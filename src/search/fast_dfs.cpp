#include "search/fast_dfs.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "bounds/successors.h"
#include "search/node_check.h"

namespace velmora {

FastSearch::FastSearch(const BoardLayout& layout) : pos_(std::make_unique<Position>(layout)) {
  const auto pairs = static_cast<uint64_t>(layout.lane_count) *
                     static_cast<uint64_t>(std::max(layout.lane_count - 1, 0));
  seen_.resize(std::bit_ceil(std::max<uint64_t>(16, 2 * pairs)), Seen{0, 0, 0});
  arena_.reserve(static_cast<std::size_t>(pairs) * 8);
  frames_.reserve(64);
}

void FastSearch::expand(int64_t parent_score, bool use_dsg_tiebreak, double bound,
                        std::atomic<double>& next_bound) {
  const Position& pos = *pos_;
  const Measures& m = pos.measures();
  const BoardLayout& layout = pos.layout();
  const auto begin = static_cast<uint32_t>(arena_.size());
  const uint64_t mask = seen_.size() - 1;
  if (++stamp_ == 0) {  // wrapped: forget every old entry
    std::fill(seen_.begin(), seen_.end(), Seen{0, 0, 0});
    stamp_ = 1;
  }
  const LevelCounts parent_diff = use_dsg_tiebreak ? deficits(m.demand, m.supply) : LevelCounts{};
  ChildEval& child = child_;

  int32_t order = 0;
  for (int32_t src = 0; src < layout.lane_count; ++src) {
    if (pos.front(src) < 0) continue;
    for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
      if (dst == src || (src == m.last_dst && dst == m.last_src)) continue;
      if (!pos.evaluate(src, dst, child)) continue;
      ++counters_->children;
      const Measures& c = child.m;
      const int64_t score =
          use_dsg_tiebreak ? successor_score(parent_diff, child.diff, m.h, c.h, parent_score) : 0;
      const Child entry{c.f, c.h, score, src, dst, c.g, order};

      // Positions are told apart by hash alone; the first place is kept and
      // a lower f, or equal f and lower score, takes the entry over.
      uint64_t i = c.hash & mask;
      while (seen_[i].stamp == stamp_ && seen_[i].hash != c.hash) i = (i + 1) & mask;
      if (seen_[i].stamp == stamp_) {
        Child& held = arena_[seen_[i].index];
        if (entry.f < held.f || (entry.f == held.f && entry.score < held.score)) {
          const int32_t place = held.order;
          held = entry;
          held.order = place;
        }
        continue;
      }
      seen_[i] = {c.hash, stamp_, static_cast<uint32_t>(arena_.size())};
      arena_.push_back(entry);
      ++order;
    }
  }

  // A child above the bound is only cut off when visited: all it does is
  // offer its f to next_bound, and the smallest offer is all that counts. So
  // those children are settled here at once, and only the others are sorted
  // and visited; they come first in the visiting order in any case.
  const auto first = arena_.begin() + begin;
  const auto live_end = std::partition(first, arena_.end(),
                                       [bound](const Child& c) { return c.f <= bound; });
  if (live_end != arena_.end()) {
    double least = live_end->f;
    for (auto it = live_end; it != arena_.end(); ++it) least = std::min(least, it->f);
    lower_next_bound(next_bound, least);
    arena_.erase(live_end, arena_.end());
  }
  if (use_dsg_tiebreak) {
    std::sort(first, arena_.end(), [](const Child& a, const Child& b) {
      if (a.f != b.f) return a.f < b.f;
      if (a.h != b.h) return a.h < b.h;
      if (a.score != b.score) return a.score < b.score;
      if (a.g != b.g) return a.g > b.g;
      return a.order < b.order;
    });
  } else {
    std::sort(first, arena_.end(), [](const Child& a, const Child& b) {
      return a.f != b.f ? a.f < b.f : a.order < b.order;
    });
  }
  frames_.push_back({begin, static_cast<uint32_t>(arena_.size()), begin});
}

// The recursive definition unrolled, as in bounded_dfs: FOUND and STOPPED go
// straight to the top, any other child result undoes the child's move and
// moves on to the next sibling.
double FastSearch::run(const LaneState& state, const std::atomic<double>& bound,
                       std::atomic<double>& next_bound, const std::atomic<bool>& found,
                       std::atomic<bool>& stop, int32_t iteration, Path& path,
                       ThreadCounters& counters, int64_t score, bool use_dsg_tiebreak,
                       int64_t start_time, const LogSink& log_sink,
                       const StopQuery& stop_query) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  SearchContext ctx{bound,    next_bound, found,      stop,      iteration,
                    counters, start_time, log_sink, stop_query};
  Position& pos = *pos_;
  pos.set(state);
  counters_ = &counters;
  if (const auto end = examine_node(state.g, state.h, state.blokaj, ctx)) return *end;

  arena_.clear();
  frames_.clear();
  const double current_bound = bound.load(std::memory_order_relaxed);
  expand(score, use_dsg_tiebreak, current_bound, next_bound);
  for (;;) {
    Frame& frame = frames_.back();
    if (found.load(std::memory_order_relaxed) || frame.next == frame.end) {
      if (frames_.size() == 1) return kInfinity;
      arena_.resize(frame.begin);
      frames_.pop_back();
      pos.undo_move();
      path.pop_back();
      continue;
    }
    if (stop.load(std::memory_order_relaxed)) return STOPPED;

    const Child next = arena_[frame.next++];
    ChildEval& child = child_;
    if (!pos.evaluate(next.src, next.dst, child)) continue;
    const Measures& c = child.m;
    path.push_back({next.src, child.src_slot, next.dst, child.dst_slot, child.item, c.g, c.h, c.f,
                    0.0});
    pos.do_move(next.src, next.dst, child);
    if (const auto end = examine_node(c.g, c.h, c.blokaj, ctx)) {
      if (*end == FOUND || *end == STOPPED) return *end;
      pos.undo_move();
      path.pop_back();
      continue;
    }
    expand(next.score, use_dsg_tiebreak, current_bound, next_bound);
  }
}

}  // namespace velmora
