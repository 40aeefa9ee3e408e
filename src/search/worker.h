#pragma once
// The record all workers of one run share, and the body of one worker.

#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <vector>

#include "board/layout.h"
#include "search/hooks.h"
#include "search/path.h"
#include "search/work.h"

namespace velmora {

// Which kernel searches the work items. Both visit the same nodes in the same
// order; the reference follows the textbook definition and is kept to check
// the fast one against (from C++ only).
enum class SearchCore { fast, reference };

struct SearchShared {
  std::atomic<double> bound{0.0};
  std::atomic<double> next_bound{std::numeric_limits<double>::infinity()};
  std::atomic<bool> found{false};
  std::atomic<bool> stop{false};
  int32_t iteration = 0;
  bool use_dsg_tiebreak = false;
  SearchCore core = SearchCore::fast;
  int64_t start_time = 0;
  const BoardLayout* layout = nullptr;
  WorkQueue queue;
  std::vector<ThreadCounters> counters;
  std::mutex solution_mutex;
  Path solution_path;
  LogSink log_sink;      // bound to the caller's log
  StopQuery stop_query;  // bound to the caller's stop_fn
  // The first exception a worker caught; the driver rethrows it after the
  // join. A worker that fails also sets `stop` and empties the queue.
  std::mutex failure_mutex;
  std::exception_ptr failure;
};

// Thread body for one iteration: takes work items until the queue is empty,
// the goal is found or a stop is requested. Lets no exception escape.
void search_worker(int32_t worker_index, SearchShared& shared) noexcept;

}  // namespace velmora
