// stb-downloader --station: a production station. Every port given (or
// every serial adapter, with --port all, also those plugged in later)
// upgrades box after box, each port on a thread of its own and each box
// exactly as a single headless run would; one live line per port, one log
// file per port, one JSON line per box in the report. Returns the exit
// status: 0 when every box was upgraded and every record written, 1 when
// any box was not or a record (a report line, a port's log) was lost.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "RunOptions.h"

namespace stb::app {

int RunStation(const TOptions& options);
// The same, with `adapters` saying which serial adapters --port all finds
// (the machine's own listing, or a test's).
int RunStation(const TOptions& options, const std::function<std::vector<std::string>()>& adapters);

}  // namespace stb::app
