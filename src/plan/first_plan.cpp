#include "plan/first_plan.h"

#include <algorithm>
#include <random>
#include <unordered_set>
#include <vector>

#include "plan/plan_board.h"

namespace velmora {
namespace {

struct KeyHash {
  std::size_t operator()(const PositionKey& k) const { return k.a ^ (k.b * 0x9e3779b97f4a7c15ULL); }
};

struct Candidate {
  int32_t score;
  int16_t src;
  int16_t dst;
};

bool counted(int32_t v) { return v >= 1 && v <= kTopLevel; }

// Lower is better. The first term is the change in misplaced items.
int32_t score(const PlanBoard& board, int32_t src, int32_t dst) {
  const int32_t x = board.front_item(src);
  const PlanLane& from = board.lane(src);
  const bool good = board.lands_well(dst, x);
  const int32_t change = (counted(x) && from.broken ? -1 : 0) + (counted(x) && !good ? 1 : 0);
  int32_t s = change * 100'000;
  if (good) {
    s += board.front(dst) < 0 ? 300 : board.front_item(dst) - x;  // the tightest fit first
  } else {
    s += 5'000;
    if (board.lane(dst).base_accepts >= 0 && !board.lane(dst).broken) s += 20'000;  // spoils a landing
  }
  if (!from.broken) s += 40'000;  // moves an item that stands well
  return s + from.misplaced * 16;  // dig the lane nearest to clean first
}

struct Frame {
  std::vector<Candidate> moves;
  std::size_t next = 0;
};

void expand(const PlanBoard& board, const GreedyOptions& options, std::mt19937& rng,
            Frame& frame) {
  frame.moves.clear();
  frame.next = 0;
  const int32_t n = board.lane_count();
  for (int32_t src = 0; src < n; ++src) {
    if (board.front(src) < 0) continue;
    for (int32_t dst = 0; dst < n; ++dst) {
      if (!board.can_move(src, dst)) continue;
      frame.moves.push_back({score(board, src, dst), static_cast<int16_t>(src),
                             static_cast<int16_t>(dst)});
    }
  }
  if (options.seed != 0) std::shuffle(frame.moves.begin(), frame.moves.end(), rng);
  const auto keep = std::min(frame.moves.size(), static_cast<std::size_t>(options.tries_per_position));
  const auto by_score = [](const Candidate& a, const Candidate& b) { return a.score < b.score; };
  std::partial_sort(frame.moves.begin(), frame.moves.begin() + static_cast<std::ptrdiff_t>(keep),
                    frame.moves.end(), by_score);
  frame.moves.resize(keep);
}

}  // namespace

GreedyOutcome first_plan(const BoardLayout& layout, const GreedyOptions& options,
                         const std::function<bool()>& stop) {
  GreedyOutcome out;
  PlanBoard board(layout);
  std::mt19937 rng(options.seed);
  std::unordered_set<PositionKey, KeyHash> seen;
  seen.insert(board.key());
  std::vector<Frame> frames(1);
  Plan moves;
  expand(board, options, rng, frames[0]);
  while (!board.sorted()) {
    if ((out.nodes & 255) == 0 && stop && stop()) {
      out.stopped = true;
      return out;
    }
    Frame& top = frames[moves.size()];
    if (top.next == top.moves.size()) {  // nothing new here: back up
      if (moves.empty()) return out;
      board.undo_move();
      moves.pop_back();
      continue;
    }
    const Candidate c = top.moves[top.next++];
    board.do_move(c.src, c.dst);
    if (!seen.insert(board.key()).second) {
      board.undo_move();
      continue;
    }
    if (++out.nodes > options.node_budget) return out;
    moves.push_back({c.src, c.dst});
    if (frames.size() <= moves.size()) frames.emplace_back();
    expand(board, options, rng, frames[moves.size()]);
  }
  out.plan = std::move(moves);
  return out;
}

}  // namespace velmora
