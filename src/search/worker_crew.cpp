#include "search/worker_crew.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>

namespace velmora {

WorkerCrew::~WorkerCrew() {
  if (threads_.empty()) return;
  if (generation_ > 0 && !finished()) request_stop();  // left mid-iteration
  quit_all();
}

void WorkerCrew::start() {
  const auto count = static_cast<int32_t>(workers_.size());
  threads_.reserve(static_cast<std::size_t>(count));
  std::exception_ptr failure;
  try {
    for (int32_t index = 0; index < count; ++index) {
      threads_.emplace_back([this, index] { serve(index); });
    }
  } catch (const std::system_error& error) {
    failure = std::make_exception_ptr(
        std::runtime_error(std::string("could not start worker thread: ") + error.what()));
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    quit_all();
    std::rethrow_exception(failure);
  }
}

void WorkerCrew::begin_iteration() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    finished_ = 0;
  }
  begin_cv_.notify_all();
}

bool WorkerCrew::finished() {
  std::lock_guard lock(mutex_);
  return all_finished();
}

bool WorkerCrew::wait_finished(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return finish_cv_.wait_for(lock, timeout, [this] { return all_finished(); });
}

void WorkerCrew::wait_finished() {
  std::unique_lock lock(mutex_);
  finish_cv_.wait(lock, [this] { return all_finished(); });
}

void WorkerCrew::request_stop() {
  shared_.stop.store(true);
  shared_.queue.clear_queue();
}

void WorkerCrew::serve(int32_t index) {
  uint64_t done = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      begin_cv_.wait(lock, [&] { return quit_ || generation_ != done; });
      if (quit_) return;
      done = generation_;
    }
    workers_[static_cast<std::size_t>(index)]->run_iteration();
    {
      std::lock_guard lock(mutex_);
      ++finished_;
    }
    finish_cv_.notify_all();
  }
}

void WorkerCrew::quit_all() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  begin_cv_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
}

}  // namespace velmora
