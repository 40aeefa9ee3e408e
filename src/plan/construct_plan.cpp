#include "plan/construct_plan.h"

#include <algorithm>
#include <random>

#include "plan/plan_board.h"

namespace velmora {
namespace {

// Random ties among targets within about two items' cost of each other.
constexpr uint32_t kWideJitter = 512;

struct Pick {
  int32_t src = -1;
  int32_t dst = -1;
  int64_t score = 0;  // lower is better
};

class Builder {
 public:
  Builder(const BoardLayout& layout, const ConstructOptions& options)
      : board_(layout), rng_(options.seed), random_(options.seed != 0) {}

  std::optional<Plan> run(int32_t max_moves);

 private:
  // A small random part of a score, when ties are to be broken at random.
  int64_t jitter(uint32_t spread = 4) { return random_ ? static_cast<int64_t>(rng_() % spread) : 0; }
  bool misplaced_front(int32_t lane) const { return board_.front(lane) >= 0 && board_.lane(lane).broken; }
  Pick good_move();
  bool choose_target();
  Pick dig_move();
  int32_t items_in(int32_t lane) const;
  void make(const Pick& p) {
    board_.do_move(p.src, p.dst);
    plan_.push_back({p.src, p.dst});
  }

  PlanBoard board_;
  std::mt19937 rng_;
  bool random_;
  Plan plan_;
  int32_t target_ = -1;   // the lane being dug out or emptied
  bool empty_it_ = false;  // emptied rather than dug to its run
};

// A misplaced front item onto a lane where it stays in order.
Pick Builder::good_move() {
  Pick best;
  const int32_t n = board_.lane_count();
  for (int32_t src = 0; src < n; ++src) {
    if (!misplaced_front(src)) continue;
    const int32_t x = board_.front_item(src);
    for (int32_t dst = 0; dst < n; ++dst) {
      if (dst == src || dst == target_ || !board_.lands_well(dst, x)) continue;
      // The tightest fit; an empty lane last, and then for the greatest item.
      const int64_t fit = board_.front(dst) < 0 ? 1000 + (kAnyItem - x) : board_.front_item(dst) - x;
      const int64_t score = fit * 64 + board_.lane(src).misplaced * 4 + jitter();
      if (best.src < 0 || score < best.score) best = {src, dst, score};
    }
  }
  return best;
}

int32_t Builder::items_in(int32_t lane) const {
  int32_t count = 0;
  for (int32_t s = 0; s < board_.lane_len(lane); ++s) count += board_.cell(lane, s) != 0;
  return count;
}

// The lane cheapest to turn into a place where some misplaced item of
// another lane stays in order.
bool Builder::choose_target() {
  const int32_t n = board_.lane_count();
  int64_t best = -1;
  target_ = -1;
  for (int32_t lane = 0; lane < n; ++lane) {
    if (board_.lane_len(lane) == 0) continue;
    // The least misplaced item elsewhere, and the greatest.
    int32_t least = kAnyItem;
    bool any = false;
    for (int32_t other = 0; other < n; ++other) {
      if (other == lane || board_.lane(other).misplaced == 0) continue;
      any = true;
      least = std::min(least, board_.lane(other).least_misplaced);
    }
    if (!any) continue;
    const int32_t items = items_in(lane);
    const int32_t accepts = board_.lane(lane).base_accepts;
    if (board_.lane(lane).broken && accepts >= least) {
      // Dig: every item in front of the run.
      int32_t run = 0;
      int32_t behind = -1;
      for (int32_t s = board_.lane_len(lane) - 1; s >= 0; --s) {
        const int32_t v = board_.cell(lane, s);
        if (v == 0) continue;
        if (behind >= 0 && v > behind) break;
        behind = v;
        ++run;
      }
      const int64_t score = (items - run) * 256 + (kAnyItem - accepts) / 64 + jitter(kWideJitter);
      if (best < 0 || score < best) best = score, target_ = lane, empty_it_ = false;
    }
    const int64_t score = items * 256 + 1 + jitter(kWideJitter);
    if (best < 0 || score < best) best = score, target_ = lane, empty_it_ = true;
  }
  return target_ >= 0;
}

// The target's front item onto the best other lane.
Pick Builder::dig_move() {
  Pick best;
  const int32_t src = target_;
  const int32_t x = board_.front_item(src);
  for (int32_t dst = 0; dst < board_.lane_count(); ++dst) {
    if (!board_.can_move(src, dst)) continue;
    const PlanLane& lane = board_.lane(dst);
    int64_t score;
    if (board_.lands_well(dst, x)) {
      score = board_.front(dst) < 0 ? 2000 : board_.front_item(dst) - x;
    } else if (lane.broken) {
      score = 10'000 + (board_.front_item(dst) >= x ? 0 : 500) - lane.misplaced;
    } else {
      score = 100'000 + (lane.base_accepts < 0 ? 0 : lane.base_accepts);
    }
    score = score * 4 + jitter(kWideJitter * 8);
    if (best.src < 0 || score < best.score) best = {src, dst, score};
  }
  return best;
}

std::optional<Plan> Builder::run(int32_t max_moves) {
  while (!board_.sorted()) {
    if (static_cast<int32_t>(plan_.size()) >= max_moves) return std::nullopt;
    if (target_ >= 0) {
      const bool done = empty_it_ ? board_.front(target_) < 0 : !board_.lane(target_).broken;
      if (done) target_ = -1;
    }
    const Pick good = good_move();
    if (good.src >= 0) {
      make(good);
      continue;
    }
    if (target_ < 0 && !choose_target()) return std::nullopt;
    const Pick dig = dig_move();
    if (dig.src < 0) {  // the target cannot be dug: try another next time
      target_ = -1;
      if (!choose_target()) return std::nullopt;
      const Pick other = dig_move();
      if (other.src < 0) return std::nullopt;
      make(other);
      continue;
    }
    make(dig);
  }
  return plan_;
}

}  // namespace

std::optional<Plan> construct_plan(const BoardLayout& layout, const ConstructOptions& options) {
  Builder builder(layout, options);
  int32_t items = 0;
  for (int32_t c = 0; c < layout.lane_count * layout.capacity; ++c) {
    items += layout.start_grid[static_cast<std::size_t>(c)] != 0;
  }
  return builder.run(options.max_moves > 0 ? options.max_moves : 8 * items + 100);
}

std::optional<Plan> construct_any_plan(const BoardLayout& layout, uint32_t tries) {
  std::optional<Plan> plan;
  for (uint32_t seed = 0; !plan && seed < tries; ++seed) plan = construct_plan(layout, {0, seed});
  return plan;
}

}  // namespace velmora
