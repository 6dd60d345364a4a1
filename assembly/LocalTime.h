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
// "2026-12-08T14:03:11.482+01:00": ISO 8601 with the zone's offset.
std::string IsoTime(std::int64_t unixMs);
// "20261208-140311": for a file name.
std::string FileStamp(std::int64_t unixMs);

}  // namespace stb::app
