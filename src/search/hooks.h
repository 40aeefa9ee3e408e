#pragma once
// The plain C++ callables through which the search reaches its caller. The
// core never sees a Python object: the module binds these to emit_log and
// poll_stop, tests and benchmarks to whatever they like.

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

using LogSink = std::function<void(std::string_view text)>;
using StopQuery = std::function<bool()>;

// An empty sink swallows the line.
inline void emit(const LogSink& sink, std::string_view text) {
  if (sink) sink(text);
}

// An empty query never asks to stop.
inline bool asks_to_stop(const StopQuery& query) { return query ? query() : false; }

// printf-style formatting of one log line, of any length.
[[gnu::format(printf, 1, 2)]] inline std::string format_line(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) return {};
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<size_t>(length), '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace velmora
