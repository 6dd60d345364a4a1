#include "StationTileText.h"

#include <cstdio>

namespace stb::app {

const char* StatusName(TPortStatus status) {
  switch (status) {
    case TPortStatus::Waiting: return "waiting for a box";
    case TPortStatus::Upgrading: return "upgrading";
    case TPortStatus::Passed: return "upgraded";
    case TPortStatus::Refused: return "refused";
    case TPortStatus::Failed: return "failed";
    case TPortStatus::Gone: return "port gone";
  }
  return "";
}

std::string ResultWord(const TPortView& v) {
  // The port says "failed (stopped)" on its live line, where a stop counts
  // among the failures; the tile names it as the report's reason does.
  if (v.Last == "failed (stopped)") return "stopped";
  return v.Last;
}

TTileText TileText(const TPortView& v) {
  TTileText t;
  t.Port = v.Port;
  const TPortStatus status = StatusOf(v);
  // While a box is under way the port's own state says more ("flash
  // write"), as it does while the port cannot serve or waits for a box to
  // be taken off; otherwise how its last box came out.
  const bool ownState = status == TPortStatus::Upgrading || status == TPortStatus::Gone ||
                        v.State == "remove box" || v.State == "taking no boxes" || v.State == kWaitingForCode;
  if (ownState) {
    t.State = v.State;
  } else if (status == TPortStatus::Waiting) {
    t.State = StatusName(status);
  } else {
    t.State = ResultWord(v);
  }
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
  if (!v.Running && !v.Last.empty()) t.Outcome = ResultWord(v) + (v.Reason.empty() ? "" : ": " + v.Reason);
  t.Why = v.Why;
  // As the console's summary counts them: "failed" takes in the silent and
  // the stopped boxes too.
  t.Counters = "upgraded " + std::to_string(v.Upgraded) + "  refused " + std::to_string(v.Refused) +
               "  failed " + std::to_string(v.Failed);
  return t;
}

const std::string& TileNote(const TTileText& t) { return t.Why.empty() ? t.Outcome : t.Why; }

std::string TileDetails(const TTileText& t) {
  std::string text;
  for (const std::string* line : {&t.Port, &t.State, &t.Step, &t.Pace, &t.Identity, &t.Before, &t.After,
                                  &t.Outcome, &t.Why, &t.Counters}) {
    if (line->empty()) continue;
    if (!text.empty()) text += '\n';
    text += *line;
  }
  return text;
}

}  // namespace stb::app
