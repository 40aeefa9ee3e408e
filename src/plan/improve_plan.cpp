#include "plan/improve_plan.h"

#include <cstddef>
#include <unordered_map>

#include "plan/plan_board.h"

namespace velmora {
namespace {

// Whether `plan` is legal from the start and ends sorted.
bool sorts(const BoardLayout& layout, const Plan& plan) {
  PlanBoard board(layout);
  for (const Move m : plan) {
    if (!board.can_move(m.src, m.dst)) return false;
    board.do_move(m.src, m.dst);
  }
  return board.sorted();
}

// Cuts the moves between two visits of one position; true when it cut.
bool cut_loop(const BoardLayout& layout, Plan& plan) {
  PlanBoard board(layout);
  std::unordered_map<uint64_t, std::size_t> seen;  // first hash -> moves made
  seen.emplace(board.key().a ^ board.key().b, 0);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    board.do_move(plan[i].src, plan[i].dst);
    const auto [it, fresh] = seen.emplace(board.key().a ^ board.key().b, i + 1);
    if (fresh) continue;
    Plan shorter(plan.begin(), plan.begin() + static_cast<std::ptrdiff_t>(it->second));
    shorter.insert(shorter.end(), plan.begin() + static_cast<std::ptrdiff_t>(i + 1), plan.end());
    if (!sorts(layout, shorter)) return false;  // a false match of the hash
    plan = std::move(shorter);
    return true;
  }
  return false;
}

bool touches(const Move m, int32_t lane) { return m.src == lane || m.dst == lane; }

// The first move j whose item arrived by move i from lane a, with a, the
// item's lane and j's destination untouched in between: j then goes from a
// (and i is dropped), or both go when j returns the item to a.
bool shortcut(const BoardLayout& layout, Plan& plan) {
  for (std::size_t j = 1; j < plan.size(); ++j) {
    const int32_t b = plan[j].src;
    const int32_t c = plan[j].dst;
    std::size_t i = j;
    while (i-- > 0 && !touches(plan[i], b)) {
    }
    if (i >= j || plan[i].dst != b) continue;
    const int32_t a = plan[i].src;
    bool clear = true;
    for (std::size_t k = i + 1; k < j && clear; ++k) clear = !touches(plan[k], a) && !touches(plan[k], c);
    if (!clear) continue;
    Plan shorter = plan;
    shorter.erase(shorter.begin() + static_cast<std::ptrdiff_t>(j));
    if (c == a) {
      shorter.erase(shorter.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      shorter[i] = {a, c};
    }
    if (!sorts(layout, shorter)) continue;  // e.g. the item went back behind a gap
    plan = std::move(shorter);
    return true;
  }
  return false;
}

}  // namespace

Plan improve_plan(const BoardLayout& layout, Plan plan) {
  while (cut_loop(layout, plan) || shortcut(layout, plan)) {
  }
  return plan;
}

}  // namespace velmora
