#pragma once
// The log lines of a plan() run, each one ASCII text ending in "\n".

#include <cstdint>
#include <string>

namespace velmora::plan_log {

std::string started(int32_t lower_bound, int32_t lanes);
std::string found(int32_t moves, int32_t lower_bound, double elapsed_s);
std::string bound_done(int32_t bound, int32_t next_bound, int64_t nodes, double elapsed_s);
std::string ended(const char* status, int32_t moves, int32_t lower_bound, int64_t nodes,
                  double elapsed_s);

}  // namespace velmora::plan_log
