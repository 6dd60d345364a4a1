#include "RecordStore.h"

#include <cctype>

namespace stb::app {

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool Digits(const std::string& s, std::size_t at, std::size_t n, int& value) {
  if (at + n > s.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[at + i]))) return false;
    value = value * 10 + (s[at + i] - '0');
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> IsoToUnixMs(const std::string& s) {
  // "2026-12-08T14:03:11.482+01:00" (the fraction and the offset's colon
  // optional, Z for UTC); a space in place of the T too.
  int y, mo, d, h, mi, sec;
  if (!Digits(s, 0, 4, y) || s.size() < 19 || s[4] != '-' || !Digits(s, 5, 2, mo) || s[7] != '-' ||
      !Digits(s, 8, 2, d) || (s[10] != 'T' && s[10] != ' ') || !Digits(s, 11, 2, h) || s[13] != ':' ||
      !Digits(s, 14, 2, mi) || s[16] != ':' || !Digits(s, 17, 2, sec)) {
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) return std::nullopt;
  std::size_t at = 19;
  int ms = 0;
  if (at < s.size() && s[at] == '.') {
    ++at;
    int scale = 100;
    while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) {
      ms += (s[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
  }
  long offset = 0;
  if (at < s.size() && (s[at] == 'Z' || s[at] == 'z')) {
    ++at;
  } else if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
    const int sign = s[at] == '-' ? -1 : 1;
    int oh, om = 0;
    if (!Digits(s, at + 1, 2, oh)) return std::nullopt;
    at += 3;
    if (at < s.size() && s[at] == ':') ++at;
    if (at < s.size()) {
      if (!Digits(s, at, 2, om)) return std::nullopt;
      at += 2;
    }
    offset = sign * (oh * 3600L + om * 60L);
  } else {
    return std::nullopt;  // a time without its zone is no moment
  }
  if (at != s.size()) return std::nullopt;
  const std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  const std::int64_t seconds = days * 86400 + h * 3600 + mi * 60 + sec - offset;
  return seconds * 1000 + ms;
}

}  // namespace stb::app
