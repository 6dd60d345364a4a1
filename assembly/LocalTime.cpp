#include "LocalTime.h"

#include <chrono>
#include <cstdio>
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
  const std::string zone = Formatted("%z", unixMs);  // +0100
  return Formatted("%Y-%m-%dT%H:%M:%S", unixMs) + Millis(unixMs) + zone.substr(0, 3) + ":" +
         zone.substr(3, 2);
}

std::string FileStamp(std::int64_t unixMs) { return Formatted("%Y%m%d-%H%M%S", unixMs); }

}  // namespace stb::app
