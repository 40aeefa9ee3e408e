#include "plan/beam_round.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace velmora {

std::vector<BeamOutcome> run_beams(const BoardLayout& layout, std::span<const BeamOptions> beams,
                                   const std::function<bool()>& stop) {
  std::vector<BeamOutcome> outcomes(beams.size());
  if (beams.empty()) return outcomes;
  std::atomic<bool> halt{false};
  const std::function<bool()> others_stop = [&halt] { return halt.load(std::memory_order_relaxed); };
  std::vector<std::future<void>> done;
  std::vector<std::jthread> threads;
  // Whatever leaves this scope, the other beams are told to stop and joined.
  struct Joiner {
    std::atomic<bool>& halt;
    std::vector<std::jthread>& threads;
    ~Joiner() {
      halt.store(true);
      threads.clear();
    }
  } joiner{halt, threads};
  for (std::size_t i = 1; i < beams.size(); ++i) {
    std::packaged_task<void()> task([&, i] { outcomes[i] = beam_plan(layout, beams[i], others_stop); });
    done.push_back(task.get_future());
    threads.emplace_back(std::move(task));
  }
  const std::function<bool()> own_stop = [&] {
    if (halt.load(std::memory_order_relaxed)) return true;
    if (stop && stop()) halt.store(true);
    return halt.load(std::memory_order_relaxed);
  };
  outcomes[0] = beam_plan(layout, beams[0], own_stop);
  for (std::future<void>& f : done) {
    while (f.wait_for(std::chrono::milliseconds(3)) != std::future_status::ready) own_stop();
  }
  threads.clear();
  for (std::future<void>& f : done) f.get();  // a beam's exception, if any
  return outcomes;
}

}  // namespace velmora
