// A production station under way: its ports, each upgrading box after box
// on a thread of its own, the display and the report they share, and how far
// the operator has asked it to stop. The console station and the station
// window each drive one from their main thread: Turn() a few times a second,
// StopTakingBoxes() on the first interrupt, EndNow() on the second.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RunOptions.h"
#include "StationShared.h"

namespace stb::app {

class TStationPorts;

// Whether `code` chooses a mode, with its include file and image readable:
// they are the same for every port, so a mistake is the operator's to fix
// before any box is touched. Returns -1 when all is well, else the exit
// status, with `why` for the operator.
int CheckStationCode(const std::string& code, std::string& why,
                     const std::string& includeFolder = std::string(upgrade::kDefaultIncludeFolder));

// What --port all takes: the devices --list-ports shows, less the second
// names of devices and the ones it marks as no box's line (the system
// console, a port without a UART, a port another program holds).
std::vector<std::string> StationAdapters();

class TStationRun {
 public:
  // What --port all takes: the serial adapters there are now.
  using TLister = std::function<std::vector<std::string>()>;

  // `console`: the live lines are drawn on standard output (on a terminal,
  // in place); a window draws from Snapshot() and the console gets only
  // the event lines.
  TStationRun(const TOptions& options, TLister adapters, bool console);
  ~TStationRun();
  TStationRun(const TStationRun&) = delete;
  TStationRun& operator=(const TStationRun&) = delete;

  // Checks what every port shares (the code, the log folder, the report)
  // and starts the ports. Returns -1 once they run, else the exit status,
  // with `why` for the operator.
  int Start(std::string& why);
  // Lets go of ports gone for good, looks for new adapters, redraws. False
  // once the station stopped taking boxes and every port has ended.
  bool Turn();
  // The first interrupt (or "Stop taking boxes"): no new box is taken,
  // upgrades under way go on to their end. `cause` names it on the console.
  // With none under way there is nothing to wait for: the ports end within
  // a second and the station with them.
  void StopTakingBoxes(const std::string& cause);
  // The station window's "Stop taking boxes": as StopTakingBoxes, but the
  // ports stay, idle, until TakeBoxesAgain() (or a stop).
  void Pause(const std::string& cause);
  void TakeBoxesAgain(const std::string& cause);
  // The second interrupt: every upgrade under way ends at once, says where
  // it stood and writes its report line. Waits at most `bound` for the
  // ports, then shows the summary; returns the exit status. The caller
  // ends the process: a port hung in a system call is not waited for.
  int EndNow(const char* cause, std::chrono::milliseconds bound);
  // An end the process cannot put off (Windows ends it `deadline` from now
  // whatever it does: a closed console). No new box is taken; the upgrades
  // under way get the time left, short of what ending the rest takes, to
  // come to their end; any still under way then ends as by EndNow and says
  // where it stood. Shows the summary within `deadline` and returns the
  // exit status; the caller ends the process.
  int EndWithin(const char* cause, std::chrono::milliseconds deadline);
  // Once Turn() returned false: joins the ports, seals the report, shows the
  // summary. Returns the exit status.
  int Finish();

  TStopLevel StopLevel() const { return static_cast<TStopLevel>(shared_.StopLevel.load()); }
  // Boxes being upgraded now.
  int RunningUpgrades();
  // Every port's view, for a window to draw.
  std::vector<TPortView> Snapshot() { return shared_.Display.Snapshot(); }
  std::chrono::steady_clock::time_point Started() const { return started_; }
  TStationShared& Shared() { return shared_; }

 private:
  std::string Summary(long reportLost, bool& allDone);

  TStationShared shared_;
  std::unique_ptr<TStationPorts> ports_;
  const bool console_;
  bool everyAdapter_ = false;
  bool saidWaiting_ = false;
  std::chrono::steady_clock::time_point nextScan_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace stb::app
