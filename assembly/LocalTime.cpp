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

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long>(yoe) + era * 400 + (m <= 2);
}

// `value` as `width` decimal digits at `out`, leading zeros and all.
char* Digits(char* out, long value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
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

void FormatLogStamp(char* out, std::int64_t unixMs, long utcOffsetSeconds) {
  const std::int64_t ms = ((unixMs % 1000) + 1000) % 1000;
  const std::int64_t seconds = (unixMs - ms) / 1000 + utcOffsetSeconds;
  const std::int64_t ofDay = ((seconds % 86400) + 86400) % 86400;
  long y = 0;
  unsigned m = 0;
  unsigned d = 0;
  CivilFromDays(static_cast<long>((seconds - ofDay) / 86400), y, m, d);
  char* p = Digits(out, y, 4);
  *p++ = '-';
  p = Digits(p, m, 2);
  *p++ = '-';
  p = Digits(p, d, 2);
  *p++ = ' ';
  p = Digits(p, static_cast<long>(ofDay / 3600), 2);
  *p++ = ':';
  p = Digits(p, static_cast<long>(ofDay / 60 % 60), 2);
  *p++ = ':';
  p = Digits(p, static_cast<long>(ofDay % 60), 2);
  *p++ = '.';
  p = Digits(p, static_cast<long>(ms), 3);
  *p = '\0';
}

long UtcOffsetAt(std::int64_t unixMs) {
  const std::tm local = Local(unixMs);
  const long localSeconds = DaysFromCivil(local.tm_year + 1900L, static_cast<unsigned>(local.tm_mon + 1),
                                          static_cast<unsigned>(local.tm_mday)) *
                                86400L +
                            local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
  const auto utcSeconds = static_cast<long>((unixMs - ((unixMs % 1000) + 1000) % 1000) / 1000);
  return localSeconds - utcSeconds;
}

std::string LogStamp(std::int64_t unixMs) {
  char stamp[kLogStampSize];
  FormatLogStamp(stamp, unixMs, UtcOffsetAt(unixMs));
  return stamp;
}

std::string IsoTime(std::int64_t unixMs) {
  // The zone's offset as the stamps take it. (strftime's %z gives the
  // zone's name on Windows.)
  const long minutes = UtcOffsetAt(unixMs) / 60;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', std::labs(minutes) / 60,
                std::labs(minutes) % 60);
  return Formatted("%Y-%m-%dT%H:%M:%S", unixMs) + Millis(unixMs) + zone;
}

std::string FileStamp(std::int64_t unixMs) { return Formatted("%Y%m%d-%H%M%S", unixMs); }

}  // namespace stb::app
