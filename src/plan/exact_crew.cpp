#include "plan/exact_crew.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <thread>

namespace velmora {

ExactCrew::ExactCrew(const BoardLayout& layout, const PruneRules& rules, int32_t workers,
                     std::size_t table_bytes) {
  const int32_t n = std::max(workers, 1);
  for (int32_t w = 0; w < n; ++w) {
    searches_.push_back(std::make_unique<ExactSearch>(layout, rules,
                                                      table_bytes / static_cast<std::size_t>(n),
                                                      &halt_));
  }
}

ExactCrew::~ExactCrew() = default;

void ExactCrew::work(std::size_t w, const std::vector<Plan>& items, int32_t bound) {
  ExactSearch& search = *searches_[w];
  for (;;) {
    const std::size_t i = next_item_.fetch_add(1, std::memory_order_relaxed);
    if (i >= items.size() || halt_.load(std::memory_order_relaxed)) return;
    if (search.search(items[i], bound) != SearchEnd::found) continue;
    std::lock_guard lock(found_mutex_);
    if (!found_) {
      found_ = true;
      found_plan_ = search.plan();
    }
    halt_.store(true, std::memory_order_relaxed);
    return;
  }
}

IterationEnd ExactCrew::run(const std::vector<Plan>& items, int32_t bound,
                            const std::function<bool()>& wait) {
  halt_.store(false);
  next_item_.store(0);
  found_ = false;
  for (auto& s : searches_) s->reset_next_bound();
  std::mutex done_mutex;
  std::condition_variable done_cv;
  std::size_t done = 0;
  bool stopped = false;
  {
    std::vector<std::jthread> threads;
    threads.reserve(searches_.size());
    try {
      for (std::size_t w = 0; w < searches_.size(); ++w) {
        threads.emplace_back([&, w] {
          work(w, items, bound);
          std::lock_guard lock(done_mutex);
          ++done;
          done_cv.notify_one();
        });
      }
    } catch (...) {
      halt_.store(true);
      throw;  // the jthreads join on the way out
    }
    std::unique_lock lock(done_mutex);
    while (done < threads.size()) {
      if (done_cv.wait_for(lock, std::chrono::milliseconds(5), [&] { return done == threads.size(); })) break;
      lock.unlock();
      if (!stopped && wait && wait()) {
        stopped = true;
        halt_.store(true);
      }
      lock.lock();
    }
  }  // every worker joined here
  IterationEnd end;
  end.next_bound = std::numeric_limits<int32_t>::max();
  for (const auto& s : searches_) end.next_bound = std::min(end.next_bound, s->next_bound());
  if (found_) {
    end.end = SearchEnd::found;
    end.plan = found_plan_;
  } else if (stopped) {
    end.end = SearchEnd::stopped;
  }
  return end;
}

int64_t ExactCrew::nodes() const {
  int64_t n = 0;
  for (const auto& s : searches_) n += s->nodes();
  return n;
}

std::size_t ExactCrew::table_bytes() const {
  std::size_t n = 0;
  for (const auto& s : searches_) n += s->table().bytes();
  return n;
}

int64_t ExactCrew::evicted() const {
  int64_t n = 0;
  for (const auto& s : searches_) n += s->table().evicted();
  return n;
}

}  // namespace velmora
