#include "LocalTime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace stb::app {

namespace {

std::tm Local(std::int64_t unixMs) {
  const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

std::string Formatted(const char* format, std::int64_t unixMs) {
  const std::tm local = Local(unixMs);
  char text[48];
  const std::size_t n = std::strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

std::string Millis(std::int64_t unixMs) {
  char ms[8];
  std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(unixMs % 1000));
  return ms;
}

}  // namespace

std::int64_t UnixMsNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string LogStamp(std::int64_t unixMs) { return Formatted("%Y-%m-%d %H:%M:%S", unixMs) + Millis(unixMs); }

std::string IsoTime(std::int64_t unixMs) {
  // The zone's offset: the local time read as if it were UTC, less the
  // moment itself. (strftime's %z gives the zone's name on Windows.)
  std::tm local = Local(unixMs);
#ifdef _WIN32
  const std::time_t asUtc = _mkgmtime(&local);
#else
  const std::time_t asUtc = timegm(&local);
#endif
  const long minutes = static_cast<long>(asUtc - static_cast<std::time_t>(unixMs / 1000)) / 60;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', std::labs(minutes) / 60,
                std::labs(minutes) % 60);
  return Formatted("%Y-%m-%dT%H:%M:%S", unixMs) + Millis(unixMs) + zone;
}

std::string FileStamp(std::int64_t unixMs) { return Formatted("%Y%m%d-%H%M%S", unixMs); }

}  // namespace stb::app
