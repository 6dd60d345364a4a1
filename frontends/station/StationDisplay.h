// What the station shows and keeps of each port: the live line (port,
// state, percent, rate, time left, last result), the counts for the summary,
// and whether a box is under way. The one object
// the port threads share with the main thread, behind one mutex; what is
// drawn is put together under it and handed to the console's writer, so a
// terminal that is slow to take its text (or takes none) never holds up a
// port, nor the main thread that takes the interrupts.
#pragma once

#include <cstddef>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ConsoleWriter.h"
#include "StationTerminal.h"

namespace stb::app {

struct TPortView {
  std::string Port;
  std::string State = "starting";
  int Percent = -1;  // of the download or of the flash write; -1: none
  double Rate = 0;   // bytes a second in the download
  long SecondsLeft = -1;
  std::string Last;  // what the last box came to
  int Upgraded = 0;
  int Refused = 0;
  int Failed = 0;  // "no response" included
  // Of those failed: silent boxes, and boxes the station stopped at once.
  int NoResponse = 0;
  int Stopped = 0;

  // A box is under way on this port (from its answer to its report).
  bool Running = false;

  // For the station window's tile. The numbered step the box is in ("3.
  // Start DownLoad"), empty before the first.
  std::string Step;
  // The box's model and hardware as it gave them ("1.2"), and its software
  // ("boot 1.0 nat 2.0 app 3.1/4.0") before the upgrade and as the
  // include file has it written; empty until known.
  std::string Model;
  std::string Hardware;
  std::string Before;
  std::string After;
  // What decided the last box's result (its log line, or the error).
  std::string Reason;
  // The port's log file, empty without a log folder.
  std::string LogFile;
  // Why the port cannot serve now ("cannot open", ...), as the console says
  // it; empty while it serves.
  std::string Why;
};

// A port's state as the station window colours it.
enum class TPortStatus {
  Waiting,    // for a box (none has come yet, or the last one has been taken off)
  Upgrading,  // a box is under way
  Passed,     // the last box was upgraded
  Failed,     // the last box was not upgraded (silent, failed or stopped)
  Gone,       // the port is not there, or will not open
  Refused,    // the last box was refused (a check ended it; nothing was written)
};
TPortStatus StatusOf(const TPortView& view);

class TStationDisplay {
 public:
  // On a terminal the live lines are redrawn in place; elsewhere each event
  // is a plain line.
  // `out` is where the text goes (standard output, through the process's
  // console writer, unless a test says).
  explicit TStationDisplay(bool terminal, int out = 1);
  // The terminal's size as `size` says it (a test's), asked at each redraw.
  using TSizeSource = std::function<TTerminalSize()>;
  TStationDisplay(bool terminal, int out, TSizeSource size);

  // Where the display takes the time from: the steady clock, unless a test
  // passes a minute at once.
  using TClock = std::chrono::steady_clock;
  using TNow = std::function<TClock::time_point()>;
  void SetClock(TNow now);
  // How long a port's adapter may be gone (its state "no port" or "gone")
  // before its line leaves the live part: a hub whose adapters come and go
  // would otherwise fill the terminal with names long gone, and push the
  // ports at work out of sight. Its counters stay in the station's line and
  // the summary; it is shown again as soon as it comes back.
  static constexpr std::chrono::seconds kGoneLineLeaves{60};

  std::size_t AddPort(const std::string& port);
  // Changes one port's view under the lock.
  template <typename F>
  void Update(std::size_t slot, F change) {
    const std::lock_guard lock(mutex_);
    change(views_[slot]);
    NoteAbsenceLocked(slot);
    changed_ = true;
  }
  // A line for the operator ("/dev/ttyUSB0: upgraded ..."), shown with the
  // next redraw.
  void Event(const std::string& line);
  // Draws what changed since the last call (the main thread, a few times a
  // second at most).
  void Redraw();
  // The last redraw, with the summary below it.
  void Finish(const std::string& summary);
  // A line for stderr, in its place among the display's own.
  void ErrorLine(const std::string& line);
  // Waits at most `bound` for everything drawn so far to be written.
  bool WaitWritten(std::chrono::milliseconds bound);

  std::vector<TPortView> Snapshot();
  bool Terminal() const { return terminal_; }
  // --port all: while there is no port yet, the live part says it waits
  // for adapters (an operator facing a blank screen cannot tell a station
  // that waits from one that hangs).
  void WaitForAdapters(bool waiting);

  // One port's live line, as wide as it comes.
  static std::string LiveLine(const TPortView& view);
  // One port's live line in at most `columns` characters (at least 20):
  // the wide line with the port's counters when they fit, else the line
  // put together again from the most telling parts that fit.
  // `portWidth`: the width of the port's column.
  static std::string FitLine(const TPortView& view, int columns, int portWidth = 24);
  // A port's counters, those that are not 0 ("2 upgraded, 1 failed (1 no
  // response)"); "0 upgraded" before the first box.
  static std::string PortCounters(const TPortView& view);
  // The station's counters, every one of them: "all ports: 5 upgraded, 1
  // refused, 2 failed (1 no response, 0 stopped)", in at most `columns`.
  static std::string StationLine(const std::vector<TPortView>& views, int columns);
  // The live lines for a terminal `size` big: a line for each port, then
  // the station's counters; cut to the terminal's height.
  std::vector<std::string> LiveLines(TTerminalSize size);
  // How many rows `text` (lines each ending with a line end) takes on a
  // terminal `columns` wide that wraps the lines wider than it.
  static int RowsOf(const std::string& text, int columns);

 private:
  // Hands the events, then `tail` or (on a terminal) the live lines, to
  // the writer; under mutex_.
  void ShowLocked(const std::string& tail);
  std::vector<std::string> LiveLinesLocked(TTerminalSize size);
  // Every port's line, `columns` wide at most.
  std::vector<std::string> PortLinesLocked(int columns, const std::vector<std::size_t>& slots);
  // Since when the port's adapter is gone, as its view now says.
  void NoteAbsenceLocked(std::size_t slot);
  // The ports that have a live line: all but those gone for kGoneLineLeaves.
  std::vector<std::size_t> ShownLocked() const;

  std::mutex mutex_;
  const bool terminal_;
  std::unique_ptr<TConsoleWriter> own_;  // a test's
  TConsoleWriter& writer_;
  const TSizeSource size_;
  TNow now_ = [] { return TClock::now(); };
  std::deque<TPortView> views_;
  // For each port, since when its adapter is gone; none while it is there.
  std::deque<std::optional<TClock::time_point>> absentSince_;
  std::vector<std::string> events_;
  bool changed_ = true;
  bool waitingForAdapters_ = false;
  std::chrono::steady_clock::time_point waitingSince_;
  // What the live part was drawn with last, and at which size.
  std::string drawn_;
  TTerminalSize drawnAt_;
};

}  // namespace stb::app
