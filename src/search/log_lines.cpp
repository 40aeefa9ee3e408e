#include "search/log_lines.h"

#include <cstdarg>
#include <cstdio>

namespace velmora::log_line {
namespace {

// printf-style formatting of one line, of any length.
[[gnu::format(printf, 1, 2)]] std::string format(const char* pattern, ...) {
  char small[256];
  va_list args;
  va_start(args, pattern);
  const int length = std::vsnprintf(small, sizeof small, pattern, args);
  va_end(args);
  if (length < 0) return {};
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<size_t>(length), '\0');
  va_start(args, pattern);
  std::vsnprintf(text.data(), text.size() + 1, pattern, args);
  va_end(args);
  return text;
}

}  // namespace

std::string started(int32_t blokaj, int32_t g_star, int32_t ds, double h, bool tiebreak) {
  return format("IDA* basladi. blokaj=%d g*=%d DS=%d h=%f dsg_tiebreak=%s\n", blokaj, g_star, ds,
                h, tiebreak ? "acik" : "kapali");
}

std::string iteration(int32_t iteration, double bound, int32_t workers) {
  return format("Iterasyon %d | esik=%f | %d thread aciliyor\n", iteration, bound, workers);
}

std::string worker_opened(int32_t worker) { return format("Thread %d acildi\n", worker); }

std::string worker_idle(int32_t worker) {
  return format("Thread %d bosta kaldi (hic is alamadi)\n", worker);
}

std::string progress(int32_t iteration, int64_t worker_nodes, double bound, double min_h,
                     double elapsed_s) {
  return format("[IDA*] iter=%d | thread_nodes=%lld | esik=%f | min_h=%f | sure=%fs\n",
                iteration, static_cast<long long>(worker_nodes), bound, min_h, elapsed_s);
}

std::string no_move() { return "Cozum bulunamadi.\n"; }

std::string stopped_between() { return "IDA* durduruldu, None donuluyor.\n"; }

std::string stopped_in_search() { return "IDA* durduruldu (dfs icinde), None donuluyor.\n"; }

std::string solved(int32_t moves, int32_t iteration, double elapsed_s) {
  return format("Cozum bulundu! adim=%d iter=%d sure=%f\n", moves, iteration, elapsed_s);
}

std::string exhausted(double elapsed_s) { return format("Cozum bulunamadi. sure=%f\n", elapsed_s); }

}  // namespace velmora::log_line
