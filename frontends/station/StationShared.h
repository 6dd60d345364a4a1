// What every port of the station shares: the options, the display and the
// report, and how far the operator has asked it to stop.
#pragma once

#include <atomic>

#include "RunOptions.h"
#include "StationDisplay.h"
#include "StationReport.h"

namespace stb::app {

enum TStopLevel : int {
  kRunning = 0,
  kNoNewBoxes = 1,  // the first interrupt: running upgrades go on to their end
  kEndNow = 2,      // the second: they end at once
};

struct TStationShared {
  explicit TStationShared(const TOptions& options, bool terminal) : Options(options), Display(terminal) {}

  const TOptions Options;
  TStationDisplay Display;
  TReportFile Report;
  std::atomic<int> StopLevel{kRunning};
};

}  // namespace stb::app
