#include "StationDisplay.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace stb::app {

namespace {

// Where a terminal's width is not known (a console that will not say), the
// width every terminal has at the least.
constexpr int kDefaultColumns = 80;
// Narrower than this, a live line would say nothing.
constexpr int kLeastColumns = 20;
// The state's column: "waiting for box", the longest of the usual ones.
constexpr int kStateWidth = 15;

// Characters on the screen: the bytes that begin a UTF-8 sequence (a port
// or folder name may be in any script).
int Width(const std::string& text) {
  int n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// The first `columns` characters of `text`.
std::string Cut(const std::string& text, int columns) {
  int n = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && n++ == columns) return text.substr(0, at);
  }
  return text;
}

// The last `columns` characters of `text`, "..." for what was left off:
// adapters' names differ at their ends.
std::string KeepEnd(const std::string& text, int columns) {
  const int width = Width(text);
  if (width <= columns) return text;
  std::size_t at = 0;
  for (int skip = width - (columns - 3); at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && skip-- == 0) break;
  }
  return "..." + text.substr(at);
}

std::string Padded(std::string text, int columns) {
  const int width = Width(text);
  if (width < columns) text.append(static_cast<std::size_t>(columns - width), ' ');
  return text;
}

// Counters in the words of the box's record and the upgrade's outcome;
// "no response" and "stopped" are kinds of "failed", as in the summary.
std::string Counters(int upgraded, int refused, int failed, int noResponse, int stopped, bool zeros) {
  std::string text = std::to_string(upgraded) + " upgraded";
  if (zeros || refused > 0) text += ", " + std::to_string(refused) + " refused";
  if (zeros || failed > 0) text += ", " + std::to_string(failed) + " failed";
  std::string kinds;
  if (zeros || noResponse > 0) kinds += std::to_string(noResponse) + " no response";
  if (zeros || stopped > 0) kinds += (kinds.empty() ? "" : ", ") + std::to_string(stopped) + " stopped";
  if (!kinds.empty()) text += " (" + kinds + ")";
  return text;
}

std::string EraseRows(int rows) {
  // Back to the first live line (0 would still move one), everything from
  // there on cleared.
  return rows > 0 ? "\033[" + std::to_string(rows) + "F\033[J" : "";
}

// The compact line: the port, its state, and of the rest what fits, the
// least telling left off first.
std::string CompactLine(const TPortView& v, int columns, int portWidth) {
  const std::string head = Padded(KeepEnd(v.Port, portWidth), portWidth) + " " + Padded(v.State, kStateWidth);
  struct TPart {
    std::string Text;
    int Keep;                  // the part with the least is left off first
    std::string Shorter = {};  // what stands for it, once, before it is left off
  };
  std::vector<TPart> parts;
  if (v.Percent >= 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", v.Percent);
    parts.push_back({percent, 5});
  }
  if (v.SecondsLeft >= 0) {
    char left[48];
    std::snprintf(left, sizeof left, "%ld:%02ld left", v.SecondsLeft / 60, v.SecondsLeft % 60);
    parts.push_back({left, 3});
  }
  if (v.Rate > 0) {
    char rate[24];
    std::snprintf(rate, sizeof rate, "%.1f KiB/s", v.Rate / 1024);
    parts.push_back({rate, 1});
  }
  if (!v.Last.empty()) parts.push_back({"last: " + v.Last, 2});
  // Short of room, the kinds of failed are left to the station's line.
  parts.push_back(
      {TStationDisplay::PortCounters(v), 4, Counters(v.Upgraded, v.Refused, v.Failed, 0, 0, false)});
  auto join = [&] {
    std::string line = head;
    for (const auto& p : parts) line += (p.Keep == 5 ? " " : "  ") + p.Text;
    return line;
  };
  std::string line = join();
  while (Width(line) > columns && !parts.empty()) {
    const auto least = std::min_element(parts.begin(), parts.end(),
                                        [](const TPart& a, const TPart& b) { return a.Keep < b.Keep; });
    if (!least->Shorter.empty() && least->Shorter != least->Text) {
      least->Text = std::exchange(least->Shorter, {});
    } else {
      parts.erase(least);
    }
    line = join();
  }
  return Cut(line, columns);
}

std::string WideLine(const TPortView& v) {
  return TStationDisplay::LiveLine(v) + "  " + TStationDisplay::PortCounters(v);
}

}  // namespace

TStationDisplay::TStationDisplay(bool terminal, int out)
    : TStationDisplay(terminal, out, [out] { return TerminalSizeOf(out); }) {}

TStationDisplay::TStationDisplay(bool terminal, int out, TSizeSource size)
    : terminal_(terminal),
      own_(out == 1 ? nullptr : std::make_unique<TConsoleWriter>(out, 2)),
      writer_(own_ ? *own_ : ConsoleOutput()),
      size_(std::move(size)) {}

void TStationDisplay::SetClock(TNow now) {
  const std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

std::size_t TStationDisplay::AddPort(const std::string& port) {
  const std::lock_guard lock(mutex_);
  views_.emplace_back();
  views_.back().Port = port;
  absentSince_.emplace_back();
  changed_ = true;
  return views_.size() - 1;
}

void TStationDisplay::Event(const std::string& line) {
  const std::lock_guard lock(mutex_);
  events_.push_back(line);
  changed_ = true;
}

void TStationDisplay::WaitForAdapters(bool waiting) {
  const std::lock_guard lock(mutex_);
  if (waiting && !waitingForAdapters_) waitingSince_ = now_();
  waitingForAdapters_ = waiting;
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

std::string TStationDisplay::PortCounters(const TPortView& v) {
  return Counters(v.Upgraded, v.Refused, v.Failed, v.NoResponse, v.Stopped, false);
}

std::string TStationDisplay::FitLine(const TPortView& v, int columns, int portWidth) {
  columns = std::max(columns, kLeastColumns);
  if (const std::string wide = WideLine(v); Width(wide) <= columns) return wide;
  return CompactLine(v, columns, std::min(portWidth, columns / 3));
}

std::string TStationDisplay::StationLine(const std::vector<TPortView>& views, int columns) {
  int counts[5] = {};
  for (const auto& v : views) {
    counts[0] += v.Upgraded;
    counts[1] += v.Refused;
    counts[2] += v.Failed;
    counts[3] += v.NoResponse;
    counts[4] += v.Stopped;
  }
  for (const bool zeros : {true, false}) {
    const std::string line =
        "all ports: " + Counters(counts[0], counts[1], counts[2], counts[3], counts[4], zeros);
    if (Width(line) <= columns || !zeros) return Cut(line, std::max(columns, kLeastColumns));
  }
  return {};
}

int TStationDisplay::RowsOf(const std::string& text, int columns) {
  columns = std::max(columns, 1);
  int rows = 0;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
    const int width = Width(text.substr(from, end - from));
    rows += std::max(1, (width + columns - 1) / columns);
  }
  return rows;
}

std::vector<std::string> TStationDisplay::PortLinesLocked(int columns,
                                                          const std::vector<std::size_t>& slots) {
  int portWidth = 4;
  bool wide = true;
  for (const auto slot : slots) {
    portWidth = std::max(portWidth, std::min(24, Width(views_[slot].Port)));
    wide = wide && Width(WideLine(views_[slot])) <= columns;
  }
  // All in the one layout, so that the columns stand under each other.
  std::vector<std::string> lines;
  for (const auto slot : slots) {
    lines.push_back(wide ? WideLine(views_[slot])
                         : CompactLine(views_[slot], columns, std::min(portWidth, columns / 3)));
  }
  return lines;
}

void TStationDisplay::NoteAbsenceLocked(std::size_t slot) {
  const TPortView& v = views_[slot];
  const bool absent = !v.Running && (v.State == "no port" || v.State == "gone");
  if (!absent) {
    absentSince_[slot].reset();
  } else if (!absentSince_[slot]) {
    absentSince_[slot] = now_();
  }
}

std::vector<std::size_t> TStationDisplay::ShownLocked() const {
  const auto now = now_();
  std::vector<std::size_t> shown;
  for (std::size_t slot = 0; slot < views_.size(); ++slot) {
    if (!absentSince_[slot] || now - *absentSince_[slot] < kGoneLineLeaves) shown.push_back(slot);
  }
  return shown;
}

std::vector<std::string> TStationDisplay::LiveLines(TTerminalSize size) {
  const std::lock_guard lock(mutex_);
  return LiveLinesLocked(size);
}

std::vector<std::string> TStationDisplay::LiveLinesLocked(TTerminalSize size) {
  // The last column is left free: a line that fills it wraps at once on
  // some consoles, and the redraw would then be a row short.
  const int columns = std::max(kLeastColumns, (size.Columns > 0 ? size.Columns : kDefaultColumns) - 1);
  if (views_.empty()) {
    if (!waitingForAdapters_) return {};
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now_() - waitingSince_).count();
    char since[32];
    std::snprintf(since, sizeof since, " %lld:%02lld", static_cast<long long>(waited / 60),
                  static_cast<long long>(waited % 60));
    return {Cut("waiting for serial adapters (none yet) ..." + std::string(since), columns)};
  }
  // More ports than rows: lines drawn past the bottom would scroll off,
  // out of reach of the redraw. The ports with a box under way are shown
  // first, the rest counted on a line of their own.
  // Ports gone for long have no line; their counters stay in the last.
  const std::vector<std::size_t> shown = ShownLocked();
  const std::size_t room =
      size.Rows > 0 ? static_cast<std::size_t>(std::max(3, size.Rows - 1)) : shown.size() + 1;
  std::vector<std::size_t> slots;
  if (shown.size() + 1 <= room) {
    slots = shown;
  } else {
    for (const bool running : {true, false}) {
      for (const auto slot : shown) {
        if (slots.size() < room - 2 && views_[slot].Running == running) slots.push_back(slot);
      }
    }
    std::sort(slots.begin(), slots.end());
  }
  std::vector<std::string> lines = PortLinesLocked(columns, slots);
  if (slots.size() < shown.size()) {
    lines.push_back(Cut("... and " + std::to_string(shown.size() - slots.size()) + " more port(s)", columns));
  }
  lines.push_back(StationLine({views_.begin(), views_.end()}, columns));
  return lines;
}

void TStationDisplay::ShowLocked(const std::string& tail) {
  TTerminalSize size;
  if (terminal_) {
    size = size_();
    if (!drawn_.empty() && size.Columns > 0 && size.Columns != drawnAt_.Columns) {
      // The terminal wraps anew (or, drawn after the resize, wrapped) the
      // lines drawn for the old width: as many rows are taken off as they
      // take now. Said before any line below, which would take them off.
      writer_.LiveReshaped(
          [columns = size.Columns](const std::string& draw) { return EraseRows(RowsOf(draw, columns)); });
    }
    drawnAt_ = size;
  }
  // The writer takes the live lines standing on the terminal off it before
  // the first event line.
  for (const auto& e : events_) writer_.Write(TConsoleStream::Out, e + "\n");
  events_.clear();
  if (!tail.empty()) {
    writer_.Write(TConsoleStream::Out, tail);
    drawn_.clear();
  } else if (terminal_) {
    const auto live = LiveLinesLocked(size);
    // One text for all the lines, drawn over the last ones; a redraw the
    // terminal has not taken yet is replaced by this one.
    std::string lines;
    for (const auto& line : live) lines += line + "\n";
    if (live.empty()) {
      if (!drawn_.empty()) writer_.ClearLive();
    } else {
      writer_.Live(TConsoleStream::Out, lines, EraseRows(static_cast<int>(live.size())), false);
    }
    drawn_ = lines;
  }
  changed_ = false;
}

void TStationDisplay::Redraw() {
  const std::lock_guard lock(mutex_);
  if (terminal_) {
    // Drawn again when anything on it would change: a port, the clock of
    // the waiting line, or the terminal's size.
    if (events_.empty() && size_() == drawnAt_) {
      std::string lines;
      for (const auto& line : LiveLinesLocked(drawnAt_)) lines += line + "\n";
      if (lines == drawn_) return;
    }
    ShowLocked("");
    return;
  }
  if (!changed_) return;
  if (events_.empty()) return;
  ShowLocked("");
}

void TStationDisplay::Finish(const std::string& summary) {
  const std::lock_guard lock(mutex_);
  if (terminal_) {
    const TTerminalSize size = size_();
    const int columns = std::max(kLeastColumns, (size.Columns > 0 ? size.Columns : kDefaultColumns) - 1);
    for (auto& line : PortLinesLocked(columns, ShownLocked())) events_.push_back(std::move(line));
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
