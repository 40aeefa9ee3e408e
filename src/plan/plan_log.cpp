#include "plan/plan_log.h"

#include <cstdio>

namespace velmora::plan_log {
namespace {

// Every line here is short: one buffer holds it.
template <class... Args>
std::string line(const char* pattern, Args... args) {
  char text[256];
  const int length = std::snprintf(text, sizeof text, pattern, args...);
  return std::string(text, length < 0 ? 0 : static_cast<std::size_t>(length));
}

}  // namespace

std::string started(int32_t lower_bound, int32_t lanes) {
  return line("Plan basladi. alt_sinir=%d serit=%d\n", lower_bound, lanes);
}

std::string found(int32_t moves, int32_t lower_bound, double elapsed_s) {
  return line("Plan bulundu. adim=%d alt_sinir=%d sure=%f\n", moves, lower_bound, elapsed_s);
}

std::string bound_done(int32_t bound, int32_t next_bound, int64_t nodes, double elapsed_s) {
  return line("Esik %d bitti. alt_sinir=%d dugum=%lld sure=%f\n", bound, next_bound,
              static_cast<long long>(nodes), elapsed_s);
}

std::string ended(const char* status, int32_t moves, int32_t lower_bound, int64_t nodes,
                  double elapsed_s) {
  return line("Plan bitti. durum=%s adim=%d alt_sinir=%d dugum=%lld sure=%f\n", status, moves,
              lower_bound, static_cast<long long>(nodes), elapsed_s);
}

}  // namespace velmora::plan_log
