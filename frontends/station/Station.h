// stb-downloader --station: a production station. Every port given (or
// every serial adapter, with --port all, also those plugged in later)
// upgrades box after box, each port on a thread of its own and each box
// exactly as a single headless run would; one live line per port, one log
// file per port, one JSON line per box in the report. Returns the exit
// status: 0 when every box was upgraded, 1 when any was not.
#pragma once

#include "RunOptions.h"

namespace stb::app {

int RunStation(const TOptions& options);

}  // namespace stb::app
