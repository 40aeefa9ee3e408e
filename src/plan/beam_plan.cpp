#include "plan/beam_plan.h"

#include <algorithm>
#include <limits>
#include <random>
#include <unordered_set>
#include <vector>

#include "plan/lower_bound.h"
#include "plan/plan_board.h"
#include "plan/symmetry.h"

namespace velmora {
namespace {

std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }

constexpr int64_t kStopPollMask = 1023;
// The children of a level are cut down to the width's best whenever they
// reach this many times the width, plus a few.
constexpr std::size_t kCompactAt = 3;
constexpr std::size_t kCompactAtLeast = 256;

// How a node was reached: its parent's index in the level above, the move.
struct Step {
  int32_t parent;
  Move move;
};

struct Candidate {
  int32_t f;
  int32_t tie;  // smaller first
  int32_t parent;
  Move move;
  uint64_t key;
  bool operator<(const Candidate& o) const { return f != o.f ? f < o.f : tie < o.tie; }
};

// A lane in order with free slots keeps room for misplaced items up to its
// front item: its free slots times that item (an empty lane takes any).
// Summed over the board, more is better; it prefers the tightest fit. With
// `ready`, a lane out of order that one move would put in order counts what
// its base would then accept.
int32_t room_of(const PlanBoard& board, int32_t lane, bool ready) {
  const PlanLane& l = board.lane(lane);
  if (l.broken) {
    return ready && l.misplaced == 1 && l.base_accepts >= 0 ? std::min(l.base_accepts, kTopLevel + 1)
                                                            : 0;
  }
  if (!board.has_room(lane)) return 0;
  const int32_t front = board.front(lane);
  const int32_t free = front < 0 ? board.lane_len(lane) : front;
  const int32_t accepts = front < 0 ? kTopLevel + 1 : std::min(board.front_item(lane), kTopLevel + 1);
  return free * accepts;
}

class Beam {
 public:
  Beam(const BoardLayout& layout, const BeamOptions& options, const std::function<bool()>& stop)
      : layout_(layout), options_(options), stop_(stop), rng_(options.seed) {}

  BeamOutcome run();

 private:
  bool halted();
  // Weighs the children of boards_[p] at `g` moves; true when one is sorted.
  bool expand(int32_t p, int32_t g);
  void keep_best(std::size_t count);
  void advance();
  Plan plan_to(int32_t parent, Move last) const;

  const BoardLayout& layout_;
  BeamOptions options_;
  const std::function<bool()>& stop_;
  std::minstd_rand rng_;
  BeamOutcome out_;
  std::vector<PlanBoard> boards_;  // the level's positions
  std::vector<Move> last_;         // the move that made each
  std::vector<std::vector<Step>> levels_;  // levels_[d]: how level d + 1 was reached
  std::vector<Candidate> candidates_;
  std::unordered_set<uint64_t> seen_;        // positions of earlier levels
  std::array<int32_t, kMaxLanes> room_{};
  int32_t cutoff_ = 0;  // children above this f cannot be kept at this level
};

bool Beam::halted() {
  if (out_.stopped) return true;
  if ((out_.nodes & kStopPollMask) == 0 && stop_ && stop_()) out_.stopped = true;
  if (options_.node_budget >= 0 && out_.nodes >= options_.node_budget) out_.stopped = true;
  return out_.stopped;
}

Plan Beam::plan_to(int32_t parent, Move last) const {
  Plan plan{last};
  for (std::size_t d = levels_.size(); d-- > 0;) {
    const Step& s = levels_[d][at(parent)];
    plan.push_back(s.move);
    parent = s.parent;
  }
  plan.insert(plan.end(), options_.prefix.rbegin(), options_.prefix.rend());
  std::reverse(plan.begin(), plan.end());
  return plan;
}

bool Beam::expand(int32_t p, int32_t g) {
  PlanBoard& board = boards_[at(p)];
  const Move last = last_[at(p)];
  const int32_t n = board.lane_count();
  int32_t room = 0;
  for (int32_t i = 0; i < n; ++i) {
    room_[at(i)] = room_of(board, i, options_.ready_lanes);
    room += room_[at(i)];
  }
  for (int32_t src = 0; src < n; ++src) {
    if (board.front(src) < 0 || src == last.dst) continue;  // the last item moves no more
    for (int32_t dst = 0; dst < n; ++dst) {
      if (!board.can_move(src, dst)) continue;
      if (later_empty_lane(board, dst) || other_order(last, src, dst)) continue;
      ++out_.nodes;
      if (halted()) return false;
      board.do_move(src, dst);
      if (board.sorted()) {
        out_.plan = plan_to(p, {src, dst});
        board.undo_move();
        return true;
      }
      // The bound costs most: every misplaced item moves at least once, so
      // the children that count alone rules out, and those seen before,
      // are not weighed further.
      const auto fits = [&](int32_t f) {
        return (options_.shorter_than <= 0 || f < options_.shorter_than) && f <= cutoff_;
      };
      const uint64_t key = board.key().a;
      const bool open = fits(g + 1 + board.misplaced()) && !seen_.contains(key);
      const int32_t f = open ? g + 1 + lower_bound(board) : -1;
      if (open && fits(f)) {
        const bool ready = options_.ready_lanes;
        const int32_t after = room - room_[at(src)] - room_[at(dst)] +
                              room_of(board, src, ready) + room_of(board, dst, ready);
        const int32_t jitter = options_.seed != 0 ? static_cast<int32_t>(rng_() & 7) : 0;
        candidates_.push_back({f, -after * 8 + jitter, p, {src, dst}, key});
      }
      board.undo_move();
      if (candidates_.size() >= kCompactAt * static_cast<std::size_t>(options_.width) + kCompactAtLeast) {
        keep_best(static_cast<std::size_t>(options_.width));
      }
    }
  }
  return false;
}

// The best `count` children, each position once.
void Beam::keep_best(std::size_t count) {
  std::sort(candidates_.begin(), candidates_.end(), [](const Candidate& x, const Candidate& y) {
    return x.key != y.key ? x.key < y.key : x < y;
  });
  candidates_.erase(std::unique(candidates_.begin(), candidates_.end(),
                                [](const Candidate& x, const Candidate& y) { return x.key == y.key; }),
                    candidates_.end());
  if (candidates_.size() <= count) return;
  std::nth_element(candidates_.begin(), candidates_.begin() + static_cast<std::ptrdiff_t>(count),
                   candidates_.end());
  candidates_.resize(count);
  cutoff_ = std::max_element(candidates_.begin(), candidates_.end())->f;
}

// The kept children become the level.
void Beam::advance() {
  keep_best(static_cast<std::size_t>(options_.width));
  std::vector<PlanBoard> next;
  next.reserve(candidates_.size());
  std::vector<Step> steps;
  steps.reserve(candidates_.size());
  last_.clear();
  for (const Candidate& c : candidates_) {
    next.push_back(boards_[at(c.parent)]);
    next.back().do_move(c.move.src, c.move.dst);
    steps.push_back({c.parent, c.move});
    last_.push_back(c.move);
    seen_.insert(c.key);
  }
  boards_ = std::move(next);
  levels_.push_back(std::move(steps));
}

BeamOutcome Beam::run() {
  boards_.emplace_back(layout_);
  PlanBoard& start = boards_[0];
  seen_.insert(start.key().a);
  for (const Move m : options_.prefix) {
    start.do_move(m.src, m.dst);
    seen_.insert(start.key().a);  // a loop back onto the prefix is no shorter
  }
  last_.push_back(options_.prefix.empty() ? Move{-1, -1} : options_.prefix.back());
  const auto g0 = static_cast<int32_t>(options_.prefix.size());
  if (start.sorted()) {
    if (options_.shorter_than <= 0 || g0 < options_.shorter_than) out_.plan = options_.prefix;
    return out_;
  }
  // Past this many levels the beam is lost (the constructive rule needs fewer).
  const int32_t max_levels = g0 + 8 * start.misplaced() + 100;
  for (int32_t g = g0; g < max_levels; ++g) {
    if (options_.shorter_than > 0 && g + 1 >= options_.shorter_than) break;
    candidates_.clear();
    cutoff_ = std::numeric_limits<int32_t>::max();
    for (int32_t p = 0; p < static_cast<int32_t>(boards_.size()); ++p) {
      if (expand(p, g)) return out_;
      if (out_.stopped) return out_;
    }
    if (candidates_.empty()) break;
    advance();
  }
  return out_;
}

}  // namespace

std::size_t beam_bytes(int32_t width, int32_t levels) {
  const auto w = static_cast<std::size_t>(width);
  const auto d = static_cast<std::size_t>(levels);
  const std::size_t board = sizeof(PlanBoard) + d * sizeof(Move);  // and its undo record
  constexpr std::size_t kSetEntry = 48;  // a node of the set of positions seen, its bucket
  const std::size_t data = 2 * w * board + w * d * (sizeof(Step) + kSetEntry) +
                           2 * (kCompactAt * w + kCompactAtLeast) * sizeof(Candidate);
  // The allocator's share: the peak resident growth of beams of 64 to 512
  // on 30 to 100 lanes was 1.4 to 2.0 times the data.
  return 2 * data;
}

BeamOutcome beam_plan(const BoardLayout& layout, const BeamOptions& options,
                      const std::function<bool()>& stop) {
  Beam beam(layout, options, stop);
  return beam.run();
}

}  // namespace velmora
