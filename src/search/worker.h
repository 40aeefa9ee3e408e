#pragma once
// The record all workers of one run share, and the workers themselves.

#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "board/layout.h"
#include "search/path.h"
#include "search/types.h"
#include "search/work.h"

namespace velmora {

class FastSearch;

// Which kernel searches the work items. All visit the same nodes in the same
// order; the reference follows the textbook definition and is kept to check
// the fast one against (from C++ only). Two test variants of the fast one
// take the ways it takes only where hashes may collide: fast_hash_checked
// compares children's hashes at every node (as on boards too large for the
// proof that they never collide), fast_merging expands every node without
// shortcuts, evaluating every child and merging by hash.
enum class SearchCore { fast, reference, fast_merging, fast_hash_checked };

struct SearchShared {
  std::atomic<double> bound{0.0};
  std::atomic<double> next_bound{std::numeric_limits<double>::infinity()};
  std::atomic<bool> found{false};
  std::atomic<bool> stop{false};
  int32_t iteration = 0;
  bool use_dsg_tiebreak = false;
  SearchCore core = SearchCore::fast;
  // Idle workers take over parts of busy workers' subtrees (fast kernel,
  // more than one worker); off, each root item is searched by one worker.
  bool split_below_root = true;
  bool goals_are_leaves = false;  // a benchmark's whole iterations (fast kernel)
  int64_t start_time = 0;
  const BoardLayout* layout = nullptr;
  bool move_keys_distinct = false;  // no two children of a position share a hash
  const LaneState* start = nullptr;  // where the paths of root items and pieces begin
  WorkQueue queue;
  std::vector<ThreadCounters> counters;  // one per worker; never resized during a run
  std::mutex solution_mutex;
  Path solution_path;
  LogSink log_sink;      // bound to the caller's log
  StopQuery stop_query;  // bound to the caller's stop_fn
  // The first exception a worker caught; the driver rethrows it after the
  // join. A worker that fails also sets `stop` and empties the queue.
  std::mutex failure_mutex;
  std::exception_ptr failure;
};

// One worker of a run: made once per run with its kernel and buffers, and
// run by the same thread in every iteration. Its own cache lines: the
// members it writes at every node must not share one with another worker's.
class alignas(64) SearchWorker {
 public:
  SearchWorker(int32_t index, SearchShared& shared);
  ~SearchWorker();
  SearchWorker(const SearchWorker&) = delete;
  SearchWorker& operator=(const SearchWorker&) = delete;

  // Thread body for one iteration: takes work items until the queue is
  // empty, then (with the fast kernel and more than one worker) pieces of
  // the others' subtrees until the iteration is over, the goal is found or a
  // stop is requested. Lets no exception escape.
  void run_iteration() noexcept;

 private:
  void take_work();
  void help();
  SearchStatus search(const WorkItem& item);
  // Publishes a goal or passes a stop on; true when the worker is to end.
  bool ends_iteration(SearchStatus status, Path& path);
  void record_failure(std::exception_ptr failure) noexcept;

  const int32_t index_;
  SearchShared& shared_;
  SearchContext ctx_;
  std::unique_ptr<FastSearch> fast_;  // null with the reference kernel
  std::unique_ptr<LaneState> item_state_;  // the state of the root item being searched
  Path path_;  // the root item's path, then on to the goal when found
  bool shares_work_ = false;
  bool waits_for_start_ = false;  // workers outnumber cores: start together
};

// The machine's hardware threads, at least 1. Asked of the system once per
// process: the answer comes from reading a file, about 20 microseconds,
// which a short run would otherwise pay for every worker.
int32_t hardware_threads();

// The run's workers, indices 0 .. count-1; `shared.counters` must already
// hold `count` entries.
std::vector<std::unique_ptr<SearchWorker>> make_workers(SearchShared& shared, int32_t count);

}  // namespace velmora
