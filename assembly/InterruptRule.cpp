#include "InterruptRule.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace stb::app {

TInterruptRule::TVerdict TInterruptRule::Take(bool guarded, long long nowMs) {
  if (!guarded) return TVerdict::End;
  long long warned = kNotWarned;
  // The first to get here gives the warning; whoever raced it is its echo.
  if (warnedAt_.compare_exchange_strong(warned, nowMs)) return TVerdict::Warn;
  return nowMs - warned < kEchoMs ? TVerdict::Repeated : TVerdict::End;
}

long long MonotonicMs() {
#ifdef _WIN32
  return static_cast<long long>(GetTickCount64());
#else
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
#endif
}

}  // namespace stb::app
