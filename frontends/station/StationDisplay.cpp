#include "StationDisplay.h"

#include <cstdio>

namespace stb::app {

TStationDisplay::TStationDisplay(bool terminal, int out)
    : terminal_(terminal),
      own_(out == 1 ? nullptr : std::make_unique<TConsoleWriter>(out, 2)),
      writer_(own_ ? *own_ : ConsoleOutput()) {}

std::size_t TStationDisplay::AddPort(const std::string& port) {
  const std::lock_guard lock(mutex_);
  views_.emplace_back();
  views_.back().Port = port;
  changed_ = true;
  return views_.size() - 1;
}

void TStationDisplay::Event(const std::string& line) {
  const std::lock_guard lock(mutex_);
  events_.push_back(line);
  changed_ = true;
}

TPortStatus StatusOf(const TPortView& v) {
  if (v.Running) return TPortStatus::Upgrading;
  if (v.State == "no port" || v.State == "gone" || v.State == "cannot open") return TPortStatus::Gone;
  if (v.Last.empty()) return TPortStatus::Waiting;
  if (v.Last == "refused") return TPortStatus::Refused;
  return v.Last == "upgraded" ? TPortStatus::Passed : TPortStatus::Failed;
}

std::string TStationDisplay::LiveLine(const TPortView& v) {
  std::string port = v.Port;
  if (port.size() > 24) port = "..." + port.substr(port.size() - 21);
  char percent[16] = "";
  if (v.Percent >= 0) std::snprintf(percent, sizeof percent, "%3d%%", v.Percent);
  char rate[24] = "";
  if (v.Rate > 0) std::snprintf(rate, sizeof rate, "%6.1f KiB/s", v.Rate / 1024);
  char left[48] = "";
  if (v.SecondsLeft >= 0)
    std::snprintf(left, sizeof left, "%ld:%02ld left", v.SecondsLeft / 60, v.SecondsLeft % 60);
  char line[256];
  std::snprintf(line, sizeof line, "%-24s %-16s %4s %12s %10s  last: %s", port.c_str(), v.State.c_str(),
                percent, rate, left, v.Last.empty() ? "-" : v.Last.c_str());
  return line;
}

void TStationDisplay::ShowLocked(const std::string& tail) {
  // The writer takes the live lines standing on the terminal off it before
  // the first event line.
  for (const auto& e : events_) writer_.Write(TConsoleStream::Out, e + "\n");
  events_.clear();
  if (!tail.empty()) {
    writer_.Write(TConsoleStream::Out, tail);
  } else if (terminal_ && !views_.empty()) {
    // One text for all the lines, drawn over the last ones; a redraw the
    // terminal has not taken yet is replaced by this one.
    std::string lines;
    for (const auto& v : views_) lines += LiveLine(v) + "\n";
    // Back to the first live line, and everything from there on cleared.
    writer_.Live(TConsoleStream::Out, lines, "\033[" + std::to_string(views_.size()) + "F\033[J", false);
  }
  changed_ = false;
}

void TStationDisplay::Redraw() {
  const std::lock_guard lock(mutex_);
  if (!changed_) return;
  if (!terminal_ && events_.empty()) return;
  ShowLocked("");
}

void TStationDisplay::Finish(const std::string& summary) {
  const std::lock_guard lock(mutex_);
  if (terminal_) {
    for (const auto& v : views_) events_.push_back(LiveLine(v));
  }
  ShowLocked(summary);
}

void TStationDisplay::ErrorLine(const std::string& line) { writer_.Write(TConsoleStream::Err, line + "\n"); }

bool TStationDisplay::WaitWritten(std::chrono::milliseconds bound) { return writer_.Drain(bound); }

std::vector<TPortView> TStationDisplay::Snapshot() {
  const std::lock_guard lock(mutex_);
  return {views_.begin(), views_.end()};
}

}  // namespace stb::app
