#include "StationDisplay.h"

#include <unistd.h>

#include <cstdio>

namespace stb::app {

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

std::string TStationDisplay::TextLocked(const std::string& tail) {
  std::string text;
  if (terminal_ && drawn_ > 0) {
    // Back to the first live line, and everything from there on cleared.
    text += "\033[" + std::to_string(drawn_) + "F\033[J";
  }
  for (const auto& e : events_) text += e + "\n";
  events_.clear();
  drawn_ = 0;
  if (terminal_ && tail.empty()) {
    for (const auto& v : views_) text += LiveLine(v) + "\n";
    drawn_ = views_.size();
  }
  changed_ = false;
  return text + tail;
}

void TStationDisplay::Write(const std::string& text) const {
  // One write: a terminal never shows half a redraw.
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(out_, text.data() + done, text.size() - done);
    if (n <= 0) break;  // nobody reads any more: the station goes on
    done += static_cast<std::size_t>(n);
  }
}

void TStationDisplay::Redraw() {
  const std::lock_guard drawing(drawing_);
  std::string text;
  {
    const std::lock_guard lock(mutex_);
    if (!changed_) return;
    if (!terminal_ && events_.empty()) return;
    text = TextLocked("");
  }
  Write(text);
}

void TStationDisplay::Finish(const std::string& summary) {
  const std::lock_guard drawing(drawing_);
  std::string text;
  {
    const std::lock_guard lock(mutex_);
    if (terminal_) {
      for (const auto& v : views_) events_.push_back(LiveLine(v));
    }
    text = TextLocked(summary);
  }
  Write(text);
}

std::vector<TPortView> TStationDisplay::Snapshot() {
  const std::lock_guard lock(mutex_);
  return {views_.begin(), views_.end()};
}

}  // namespace stb::app
