// The wall clock as this program writes it, in local time: one place for
// the stamps of the log files, the station's report and its file names, so
// they never disagree about a moment.
#pragma once

#include <cstdint>
#include <string>

namespace stb::app {

// Milliseconds since 1970 (UTC).
std::int64_t UnixMsNow();
// "2026-12-08 14:03:11.482": a log line's stamp.
std::string LogStamp(std::int64_t unixMs);
// The same into `out` (kLogStampSize bytes, ended by a NUL) of local time
// `utcOffsetSeconds` ahead of UTC: no allocation, no lock, no library call,
// so a signal handler stamps its line as every other line is stamped.
inline constexpr std::size_t kLogStampSize = 24;
void FormatLogStamp(char* out, std::int64_t unixMs, long utcOffsetSeconds);
// Local time less UTC at `unixMs`, in seconds (outside a signal handler).
long UtcOffsetAt(std::int64_t unixMs);
// "2026-12-08T14:03:11.482+01:00": ISO 8601 with the zone's offset.
std::string IsoTime(std::int64_t unixMs);
// "20261208-140311": for a file name.
std::string FileStamp(std::int64_t unixMs);

}  // namespace stb::app
