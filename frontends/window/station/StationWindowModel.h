// What both station windows do, whatever toolkit draws them: take the mode
// code (from --code, or typed into the window and checked against the mode
// table before any port is touched), start the run, stop taking boxes,
// close only once no box is under way, and count. The window calls Turn()
// from its timer and draws what Ports() and Counters() give; nothing here
// waits for a port, and no port ever waits for the window.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "InterruptRule.h"
#include "RunOptions.h"
#include "StationRun.h"

namespace stb::app {

class TStationInterrupts;

// Where the station window keeps its logs and report unless told:
// $XDG_STATE_HOME/stb-downloader/station (~/.local/state/...) on Linux,
// %LOCALAPPDATA%\stb-downloader\station on Windows.
std::string DefaultStationFolder();

// What a typed code that chooses no mode is answered with.
inline constexpr char kTypedCodeChoosesNoMode[] = "This code chooses no mode. Type the code again.";

class TStationWindowModel {
 public:
  // Without --log-dir the logs go to DefaultStationFolder(), and without
  // --report the report goes there too, so that every tile can show its
  // port's log. `interrupts`: the process's (made before any other thread, the
  // toolkit's included), taken at each turn as on the console; none: the
  // window's own buttons alone stop the station.
  TStationWindowModel(const TOptions& options, TStationRun::TLister adapters, TStationInterrupts* interrupts);
  ~TStationWindowModel();

  // Starts with the code from --code, if one came. Empty once the run
  // started or when a code must be typed; else what to tell the operator.
  std::string Begin();
  // The run waits for a code to be typed.
  bool WaitsForCode() const { return !run_; }
  // A typed code. Empty once the run started; else what to tell the
  // operator (the window then waits for another code).
  std::string EnterCode(const std::string& code);

  // One turn of the window's timer (a few times a second).
  void Turn();
  // The button: no new box is taken, the upgrades under way go on to their
  // end, and the ports stay, idle, so that TakeBoxesAgain() undoes it.
  void StopTakingBoxes();
  void TakeBoxesAgain();
  // The station takes no new boxes now, at the button's word (not at a
  // close or an interrupt, which are not undone).
  bool Paused() const { return StopLevel() == kPaused; }

  enum class TClose {
    Now,      // nothing under way: the window closes once Closes() says so
    Ask,      // upgrades under way: ask the operator once
    Waiting,  // already closing once the last upgrade ends
  };
  // The operator closes the window.
  TClose CloseRequested();
  // The operator said yes to the question: no new boxes, and the window
  // closes itself when the last running upgrade ends.
  void CloseConfirmed();
  // The window is to close now: it was asked to and no box is under way.
  bool Closes() const { return closes_; }
  // The application quits under the window (the desktop session ends) while
  // the station may still run: what the second interrupt does. Returns the
  // exit status; with a run still under way the caller ends the process (a
  // port hung in a system call is not waited for).
  int EndNow(const char* cause);
  // The run ended (or never began): nothing is left to end.
  bool Ended() const { return !run_ || ended_; }
  // The run's exit status, once it ended (2 while the code was never given).
  int ExitStatus() const { return status_; }

  struct TCounters {
    int Upgraded = 0;
    int Refused = 0;
    int Failed = 0;  // failed, silent and stopped, as the console's summary counts them
    int Total = 0;
    int Running = 0;
    long Seconds = 0;  // since the run started
  };
  TCounters Counters() const;
  // Every port's view; before a code was accepted, the ports given by name,
  // waiting for it.
  std::vector<TPortView> Ports() const;
  // One line on the whole station: "taking boxes", "taking no new boxes:
  // 2 upgrade(s) under way", "closing when the last upgrade ends".
  std::string StatusLine() const;
  // The counters as the window's bar shows them.
  static std::string CountersLine(const TCounters& counters);
  TStopLevel StopLevel() const { return run_ ? run_->StopLevel() : kRunning; }
  const TOptions& Options() const { return options_; }

 private:
  std::string StartWith(const std::string& code);

  TOptions options_;
  TStationRun::TLister adapters_;
  TStationInterrupts* interrupts_;
  std::unique_ptr<TStationRun> run_;
  bool closing_ = false;  // close once the last upgrade ends
  bool closes_ = false;
  bool ended_ = false;
  int status_ = 2;
  TInterruptRule rule_;
};

}  // namespace stb::app
