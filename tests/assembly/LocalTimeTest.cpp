// The stamps of the log files, the stop lines and the report: the stamp a
// signal handler makes without the C library reads as the library's own.
#include <gtest/gtest.h>

#include <ctime>

#include "LocalTime.h"

namespace stb::app {
namespace {

// The library's reading of the same moment, `offset` seconds east of UTC.
std::string LibraryStamp(std::int64_t unixMs, long offset) {
  const std::int64_t ms = ((unixMs % 1000) + 1000) % 1000;
  const std::time_t shifted = static_cast<std::time_t>((unixMs - ms) / 1000 + offset);
  std::tm tm{};
  gmtime_r(&shifted, &tm);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(ms));
  return std::string(text, n) + millis;
}

TEST(LocalTime, TheHandlersStampReadsAsTheLibrarysAtEveryTurnOfTheCalendar) {
  const std::int64_t moments[] = {
      0,              // the epoch
      951782399999,   // the last millisecond of 28 February 2000
      951782400000,   // 29 February 2000, a leap day of a century
      4107542399999,  // the last millisecond of 2099
      1796083200123,  // a new year's morning
      -1,             // a millisecond before the epoch
  };
  for (const std::int64_t ms : moments) {
    for (const long offset : {0L, 3600L, -5L * 3600 - 1800, 14L * 3600, -12L * 3600}) {
      char stamp[kLogStampSize];
      FormatLogStamp(stamp, ms, offset);
      EXPECT_EQ(std::string(stamp), LibraryStamp(ms, offset)) << ms << " " << offset;
    }
  }
  // The stamp of a log line is the same formatter with the zone's own offset.
  const std::int64_t now = UnixMsNow();
  EXPECT_EQ(LogStamp(now), LibraryStamp(now, UtcOffsetAt(now)));
  EXPECT_EQ(IsoTime(now).substr(0, 10), LogStamp(now).substr(0, 10));
}

}  // namespace
}  // namespace stb::app
