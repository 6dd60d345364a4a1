#include "TickCount.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace stb::serial {

std::uint32_t GetTickCount() {
#ifdef _WIN32
  return ::GetTickCount();  // the platform's own counter, wrapping after 49.7 days
#else
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ms =
      static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
#endif
}

TTickSource TickSourceStartingAt(std::uint32_t start) {
  const std::uint32_t offset = start - GetTickCount();
  return [offset] { return GetTickCount() + offset; };
}

}  // namespace stb::serial
