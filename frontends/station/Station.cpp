#include "Station.h"

#include <cstdio>
#include <cstdlib>

#include "InterruptRule.h"
#include "StationInterrupts.h"
#include "StationRun.h"

namespace stb::app {

namespace {

// How often the live lines are redrawn (and the main thread wakes).
constexpr auto kRedraw = std::chrono::milliseconds(500);
// How often it looks whether every port has ended once the station stops
// taking boxes: an operator who stopped an idle station waits for nothing.
constexpr auto kEnding = std::chrono::milliseconds(50);

// How long the main thread waits, after the second interrupt, for every
// port to have said where its box stood and let its port go.
constexpr auto kEndNowBound = std::chrono::seconds(3);

}  // namespace

int RunStation(const TOptions& options) { return RunStation(options, StationAdapters); }

int RunStation(const TOptions& options, const std::function<std::vector<std::string>()>& adapters) {
  std::string why;
  if (const int status = CheckStationCode(options.Code, why, options.IncludeDir); status >= 0) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return status;
  }
  // The interrupts are taken here, by the main thread, between redraws: no
  // handler runs inside a port's upgrade.
  TStationInterrupts interrupts;
  TStationRun station(options, adapters, true);
  if (const int status = station.Start(why); status >= 0) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return status;
  }

  TInterruptRule interruptRule;
  while (station.Turn()) {
    const char* cause = interrupts.Wait(
        station.StopLevel() != kRunning && station.RunningUpgrades() == 0 ? kEnding : kRedraw);
    if (cause == nullptr) continue;
    // Every interrupt is guarded here: the first one only stops new boxes.
    const auto verdict = interruptRule.Take(true, MonotonicMs());
    if (const auto deadline = interrupts.Deadline(); deadline.count() > 0) {
      // Windows ends the process within seconds (a closed console): what
      // can end in that time ends, the rest says where it stood. After a
      // deliberate first interrupt this one is the second: all end at once,
      // within a third of the time, as EndNow may take three times its bound.
      if (verdict == TInterruptRule::TVerdict::End) std::_Exit(station.EndNow(cause, deadline / 3));
      std::_Exit(station.EndWithin(cause, deadline));
    }
    if (verdict == TInterruptRule::TVerdict::Repeated) continue;
    if (verdict == TInterruptRule::TVerdict::Warn) {
      station.StopTakingBoxes(cause);
    } else {
      // A port hung in a system call is not waited for past the bound.
      std::_Exit(station.EndNow(cause, kEndNowBound));
    }
  }
  return station.Finish();
}

}  // namespace stb::app
