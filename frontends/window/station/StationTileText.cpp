#include "StationTileText.h"

#include <cstdio>

namespace stb::app {

const char* StatusName(TPortStatus status) {
  switch (status) {
    case TPortStatus::Waiting: return "waiting for a box";
    case TPortStatus::Upgrading: return "upgrading";
    case TPortStatus::Passed: return "passed";
    case TPortStatus::Failed: return "failed";
    case TPortStatus::Gone: return "port gone";
  }
  return "";
}

TTileText TileText(const TPortView& v) {
  TTileText t;
  t.Port = v.Port;
  const TPortStatus status = StatusOf(v);
  // While a box is under way the port's own state says more ("flash
  // write"); otherwise the colour's name, with what the port waits for.
  t.State = status == TPortStatus::Upgrading || status == TPortStatus::Gone || v.State == "remove box"
                ? v.State
                : StatusName(status);
  t.Step = v.Step;
  if (v.Running) {
    char pace[96] = "";
    if (v.Rate > 0 && v.SecondsLeft >= 0) {
      std::snprintf(pace, sizeof pace, "%.1f KiB/s  %ld:%02ld left", v.Rate / 1024, v.SecondsLeft / 60,
                    v.SecondsLeft % 60);
    } else if (v.Rate > 0) {
      std::snprintf(pace, sizeof pace, "%.1f KiB/s", v.Rate / 1024);
    }
    t.Pace = pace;
  }
  if (!v.Model.empty()) t.Identity = "model " + v.Model + "  hardware " + v.Hardware;
  if (!v.Before.empty()) t.Before = "before: " + v.Before;
  if (!v.After.empty()) t.After = "after: " + v.After;
  if (!v.Running && !v.Last.empty()) t.Outcome = v.Last + (v.Reason.empty() ? "" : ": " + v.Reason);
  const int failed = v.Refused + v.Failed;
  t.Counters = "passed " + std::to_string(v.Upgraded) + "  failed " + std::to_string(failed) + "  total " +
               std::to_string(v.Upgraded + failed);
  return t;
}

}  // namespace stb::app
