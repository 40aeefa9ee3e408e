#include "search/worker.h"

#include <memory>
#include <utility>

#include "search/bounded_dfs.h"
#include "search/fast_dfs.h"

namespace velmora {

namespace {

void run_worker(int32_t worker_index, SearchShared& shared) {
  emit(shared.log_sink, format_line("Thread %d acildi\n", worker_index));

  // The fast kernel's board and buffers, made once and reused for every item.
  std::unique_ptr<FastSearch> fast;
  if (shared.core == SearchCore::fast) fast = std::make_unique<FastSearch>(*shared.layout);

  bool took_work = false;
  for (;;) {
    std::optional<WorkItem> item = shared.queue.take();
    if (!item) {
      if (!took_work) {
        emit(shared.log_sink, format_line("Thread %d bosta kaldi (hic is alamadi)\n", worker_index));
      }
      return;
    }
    took_work = true;
    if (shared.found.load() || shared.stop.load()) return;

    ThreadCounters& counters = shared.counters[static_cast<size_t>(worker_index)];
    const double result =
        fast ? fast->run(item->state, shared.bound, shared.next_bound, shared.found, shared.stop,
                         shared.iteration, item->path, counters, item->score,
                         shared.use_dsg_tiebreak, shared.start_time, shared.log_sink,
                         shared.stop_query)
             : bounded_dfs(item->state, *shared.layout, shared.bound, shared.next_bound,
                           shared.found, shared.stop, shared.iteration, item->path, counters,
                           item->score, shared.use_dsg_tiebreak, shared.start_time,
                           shared.log_sink, shared.stop_query);
    if (result == FOUND) {
      bool expected = false;
      if (shared.found.compare_exchange_strong(expected, true)) {
        std::lock_guard lock(shared.solution_mutex);
        shared.solution_path = std::move(item->path);
      }
      // Only after solution_mutex is released: the two locks are never nested.
      shared.queue.clear_queue();
      return;
    }
    if (result == STOPPED) {
      shared.stop.store(true);
      shared.queue.clear_queue();
      return;
    }
  }
}

void record_failure(SearchShared& shared, std::exception_ptr failure) {
  std::lock_guard lock(shared.failure_mutex);
  if (!shared.failure) shared.failure = std::move(failure);
}

}  // namespace

// An exception leaving a thread body would end the process; instead it is
// kept for the driver, and the other workers are told to stop.
void search_worker(int32_t worker_index, SearchShared& shared) noexcept {
  try {
    run_worker(worker_index, shared);
  } catch (...) {
    shared.stop.store(true);
    try {
      record_failure(shared, std::current_exception());
      shared.queue.clear_queue();
    } catch (...) {
      // A mutex that cannot be locked: stop is set, which is all that is left to do.
    }
  }
}

}  // namespace velmora
