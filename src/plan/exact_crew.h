#pragma once
// The workers of the exact search: one ExactSearch each (its own board and
// table, kept for the whole run), sharing one iteration's work items, the
// subtrees below the nodes a few moves deep, through an atomic index. A
// worker's hot loop reads only the halt flag; it writes shared memory only
// to take an item and to publish a plan.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

struct IterationEnd {
  SearchEnd end = SearchEnd::exhausted;
  Plan plan;           // when found
  int32_t next_bound;  // when exhausted: the least f above the bound met
};

class ExactCrew {
 public:
  // `table_bytes` is the budget of all workers together.
  ExactCrew(const BoardLayout& layout, const PruneRules& rules, int32_t workers,
            std::size_t table_bytes);
  ~ExactCrew();

  // Searches every item at `bound`. `wait` is called on the calling thread
  // every few milliseconds while the workers run; true stops the iteration.
  IterationEnd run(const std::vector<Plan>& items, int32_t bound,
                   const std::function<bool()>& wait);

  int64_t nodes() const;
  int32_t workers() const { return static_cast<int32_t>(searches_.size()); }
  std::size_t table_bytes() const;
  int64_t evicted() const;

 private:
  void work(std::size_t w, const std::vector<Plan>& items, int32_t bound);

  std::vector<std::unique_ptr<ExactSearch>> searches_;
  std::atomic<bool> halt_{false};
  std::atomic<std::size_t> next_item_{0};
  std::mutex found_mutex_;
  bool found_ = false;  // under found_mutex_
  Plan found_plan_;     // under found_mutex_
};

}  // namespace velmora
