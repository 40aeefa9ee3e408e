#include "search/node_check.h"

#include "search/log_lines.h"

namespace velmora {

void log_progress(const SearchContext& ctx, double bound) {
  emit(ctx.log_sink, log_line::progress(ctx.iteration, ctx.counters.nodes, bound,
                                        ctx.counters.min_h, seconds_since(ctx.start_time)));
}

}  // namespace velmora
