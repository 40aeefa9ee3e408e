#pragma once
// The worker threads of one run: started before the first iteration and kept
// for the next ones, each waiting for the driver's word between iterations
// (a thread start costs 15 to 100 microseconds on a virtual machine, a whole
// small iteration). They report the end of each iteration to a counter, so
// the driver can wait with a timeout. However the driver leaves, no thread
// is abandoned: the destructor stops a running iteration and joins them all.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "search/worker.h"

namespace velmora {

class WorkerCrew {
 public:
  WorkerCrew(SearchShared& shared, const std::vector<std::unique_ptr<SearchWorker>>& workers)
      : shared_(shared), workers_(workers) {}
  WorkerCrew(const WorkerCrew&) = delete;
  WorkerCrew& operator=(const WorkerCrew&) = delete;
  ~WorkerCrew();

  // Starts a thread per worker, to wait for the first iteration. When one
  // cannot be started, the ones already running are told to quit and joined
  // before the error is thrown.
  void start();

  // Sets every worker on the next iteration.
  void begin_iteration();

  bool finished();
  // True when every worker has ended the iteration, waiting at most `timeout`.
  bool wait_finished(std::chrono::milliseconds timeout);
  void wait_finished();

  void request_stop();

 private:
  bool all_finished() const { return finished_ == threads_.size(); }  // under mutex_
  // Thread body: one iteration for every word from the driver, until told to quit.
  void serve(int32_t index);
  // Joins in start order; only between iterations, or once they were stopped.
  void quit_all();

  SearchShared& shared_;
  const std::vector<std::unique_ptr<SearchWorker>>& workers_;
  std::mutex mutex_;
  std::condition_variable begin_cv_;
  std::condition_variable finish_cv_;
  uint64_t generation_ = 0;  // iterations begun
  std::size_t finished_ = 0;  // workers done with the current one
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace velmora
