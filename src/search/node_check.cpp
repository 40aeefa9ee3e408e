#include "search/node_check.h"

namespace velmora {

void log_progress(const SearchContext& ctx, double bound) {
  const double elapsed = static_cast<double>(monotonic_ns() - ctx.start_time) / 1e9;
  emit(ctx.log_sink,
       format_line("[IDA*] iter=%d | thread_nodes=%lld | esik=%f | min_h=%f | sure=%fs\n",
                   ctx.iteration, static_cast<long long>(ctx.counters.nodes), bound,
                   ctx.counters.min_h, elapsed));
}

}  // namespace velmora
