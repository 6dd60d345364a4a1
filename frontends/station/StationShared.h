// What every port of the station shares: the options, the display and the
// report, and how far the operator has asked it to stop.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "RunOptions.h"
#include "StationDisplay.h"
#include "BoxRecord.h"
#include "ConsoleWriter.h"
#include "ReportFile.h"

namespace stb::app {

enum TStopLevel : int {
  kRunning = 0,
  kNoNewBoxes = 1,  // the first interrupt: running upgrades go on to their end
  kEndNow = 2,      // the second: they end at once
  // The station window's "Stop taking boxes", which "Take boxes again"
  // undoes: as kNoNewBoxes, but the ports stay, idle, instead of ending.
  kPaused = 3,
};

// Whether a port goes on with what it does between boxes (waiting for a box
// to be taken off): a box left on a paused port is never taken again.
inline bool Serving(int level) { return level == kRunning || level == kPaused; }

struct TStationShared {
  // `out`: where the display writes (standard output unless a test says).
  TStationShared(const TOptions& options, bool terminal, int out = 1)
      : Options(options),
        Display(terminal, out),
        // Through the console's writer: in order with everything else, and
        // never waiting on a terminal that takes nothing.
        Report([](const std::string& text) {
          ConsoleOutput().Write(TConsoleStream::Err, text + "; the station goes on\n");
        }) {}

  const TOptions Options;
  TStationDisplay Display;
  TReportFile Report;
  std::atomic<int> StopLevel{kRunning};
  // The interrupt that asked for the stop at once, for the stop lines
  // ("SIGINT", "Ctrl+C").
  std::atomic<const char*> StopCause{"an interrupt"};
  // How long a port that would not serve (a refused open, a log or an
  // include file that does not open) waits before it tries again.
  std::chrono::milliseconds RetryAfter{5000};
  // How long a port that --port all found may be missing before it counts
  // as gone for good and its thread ends.
  std::chrono::milliseconds GoneAfter{10000};

  // A port's log that could not be written (a box's lines lost, or no log
  // to write them to): the summary says which and why, and the station
  // does not end as a success. Any thread.
  void LogLost(const std::string& port, const std::string& why) {
    const std::lock_guard lock(lostMutex_);
    lostLogs_.emplace(port, why);  // the first reason is the one to fix
  }
  std::map<std::string, std::string> LostLogs() {
    const std::lock_guard lock(lostMutex_);
    return lostLogs_;
  }

 private:
  std::mutex lostMutex_;
  std::map<std::string, std::string> lostLogs_;  // port, why
};

}  // namespace stb::app
