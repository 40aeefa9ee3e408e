#include "search/worker.h"

#include <algorithm>
#include <iterator>
#include <thread>
#include <utility>

#include "board/move.h"
#include "search/bounded_dfs.h"
#include "search/fast_dfs.h"
#include "search/log_lines.h"

namespace velmora {

SearchWorker::SearchWorker(int32_t index, SearchShared& shared)
    : index_(index),
      shared_(shared),
      ctx_{shared.bound,
           shared.next_bound,
           shared.found,
           shared.stop,
           shared.iteration,
           shared.counters.at(static_cast<std::size_t>(index)),
           shared.start_time,
           shared.log_sink,
           shared.stop_query},
      item_state_(std::make_unique<LaneState>()) {
  if (shared.core != SearchCore::reference) {
    const HashCheck check = shared.core == SearchCore::fast_merging ? HashCheck::merge_always
                            : shared.core == SearchCore::fast && shared.move_keys_distinct
                                ? HashCheck::proven_distinct
                                : HashCheck::per_node;
    fast_ = std::make_unique<FastSearch>(*shared.layout, ctx_, shared.use_dsg_tiebreak, check);
    if (shared.goals_are_leaves) fast_->treat_goals_as_leaves();
    // One worker never splits: it visits every node anyway, in its own order.
    shares_work_ = shared.split_below_root && shared.counters.size() > 1;
    if (shares_work_) fast_->share_work(shared.queue, *shared.start);
    // With a core per worker they start promptly anyway, and the gate would
    // only add a wake-up to every iteration.
    waits_for_start_ = shares_work_ && std::ssize(shared.counters) > hardware_threads();
  }
}

SearchWorker::~SearchWorker() = default;

SearchStatus SearchWorker::search(const WorkItem& item) {
  LaneState& state = *item_state_;
  apply_move_into(*shared_.start, *shared_.layout, item.step.src_lane, item.step.dst_lane, state);
  path_.assign(1, item.step);
  if (fast_) return fast_->run(state, path_, item.score);
  return bounded_dfs(state, *shared_.layout, ctx_, path_, item.score, shared_.use_dsg_tiebreak);
}

void SearchWorker::take_work() {
  emit(shared_.log_sink, log_line::worker_opened(index_));
  if (fast_) fast_->begin_iteration();
  if (waits_for_start_) shared_.queue.wait_for_start();

  bool took_work = false;
  for (;;) {
    std::optional<WorkItem> item = shared_.queue.take();
    if (!item) break;
    took_work = true;
    if (shared_.found.load() || shared_.stop.load()) return;
    if (ends_iteration(search(*item), path_)) return;
  }
  if (!took_work) {
    emit(shared_.log_sink, log_line::worker_idle(index_));
  }
  if (shares_work_) help();
}

// Out of root items: take over pieces of the others' subtrees until the
// iteration is over.
void SearchWorker::help() {
  for (;;) {
    std::optional<Piece> piece = shared_.queue.wait_piece();
    if (!piece) return;
    if (shared_.found.load() || shared_.stop.load()) return;
    ++ctx_.counters.pieces;
    if (ends_iteration(fast_->run_piece(piece->children, piece->path), piece->path)) return;
  }
}

bool SearchWorker::ends_iteration(SearchStatus status, Path& path) {
  switch (status) {
    case SearchStatus::found: {
      bool expected = false;
      if (shared_.found.compare_exchange_strong(expected, true)) {
        std::lock_guard lock(shared_.solution_mutex);
        shared_.solution_path = std::move(path);
      }
      // Only after solution_mutex is released: the two locks are never nested.
      shared_.queue.clear_queue();
      return true;
    }
    case SearchStatus::stopped:
      shared_.stop.store(true);
      shared_.queue.clear_queue();
      return true;
    case SearchStatus::not_found:
      break;
  }
  return false;
}

void SearchWorker::record_failure(std::exception_ptr failure) noexcept {
  shared_.stop.store(true);
  try {
    {
      std::lock_guard lock(shared_.failure_mutex);
      if (!shared_.failure) shared_.failure = std::move(failure);
    }
    shared_.queue.clear_queue();
  } catch (...) {
    // A mutex that cannot be locked: stop is set, which is all that is left to do.
  }
}

// An exception leaving a thread body would end the process; instead it is
// kept for the driver, and the other workers are told to stop.
void SearchWorker::run_iteration() noexcept {
  try {
    take_work();
  } catch (...) {
    record_failure(std::current_exception());
  }
}

int32_t hardware_threads() {
  static const int32_t count = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return count;
}

std::vector<std::unique_ptr<SearchWorker>> make_workers(SearchShared& shared, int32_t count) {
  std::vector<std::unique_ptr<SearchWorker>> workers;
  workers.reserve(static_cast<std::size_t>(count));
  shared.queue.set_workers(count);
  for (int32_t index = 0; index < count; ++index) {
    workers.push_back(std::make_unique<SearchWorker>(index, shared));
  }
  return workers;
}

}  // namespace velmora
