// The station's console: the live lines, the event lines and the summary as
// the operator sees them, and a terminal that stops taking text never
// holding up a port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "StationDisplay.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;

// The display's output, a pipe read back by the test.
struct TScreen {
  int fds[2] = {-1, -1};
  TScreen() { EXPECT_EQ(::pipe(fds), 0); }
  ~TScreen() {
    for (int fd : fds) {
      if (fd >= 0) ::close(fd);
    }
  }
  int Out() const { return fds[1]; }
  std::size_t Pending() const {
    int n = 0;
    ::ioctl(fds[0], FIONREAD, &n);
    return static_cast<std::size_t>(n);
  }
  // What was written since the last call, once the display's writer has
  // written everything it was given.
  std::string Take(TStationDisplay& display) {
    EXPECT_TRUE(display.WaitWritten(2s));
    std::string text;
    while (Pending() > 0) {
      char buffer[4096];
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
};

TEST(StationDisplay, TheLiveLineTellsWhereTheBoxStands) {
  TPortView v;
  v.Port = "/dev/ttyUSB0";
  EXPECT_EQ(TStationDisplay::LiveLine(v),
            "/dev/ttyUSB0             starting                                       last: -");
  v.State = "download";
  v.Percent = 42;
  v.Rate = 10240;
  v.SecondsLeft = 75;
  v.Last = "upgraded";
  EXPECT_EQ(TStationDisplay::LiveLine(v),
            "/dev/ttyUSB0             download          42%   10.0 KiB/s  1:15 left  last: upgraded");
  // A long name keeps its end, where adapters differ.
  v.Port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  EXPECT_EQ(TStationDisplay::LiveLine(v).substr(0, 25), "...T_A50285BI-if00-port0 ");
}

TEST(StationDisplay, WithoutATerminalOnlyTheEventsAndTheSummary) {
  TScreen screen;
  TStationDisplay display(false, screen.Out());
  const auto slot = display.AddPort("/dev/ttyUSB0");
  display.Redraw();
  EXPECT_EQ(screen.Take(display), "");  // nothing happened yet
  display.Update(slot, [](TPortView& v) { v.Percent = 10; });
  display.Redraw();
  EXPECT_EQ(screen.Take(display), "");  // progress is for a terminal
  display.Event("/dev/ttyUSB0: a box answered; its upgrade begins");
  display.Event("/dev/ttyUSB0: upgraded (Congraturation! Software Upgrade OK !!!)");
  display.Redraw();
  EXPECT_EQ(screen.Take(display),
            "/dev/ttyUSB0: a box answered; its upgrade begins\n"
            "/dev/ttyUSB0: upgraded (Congraturation! Software Upgrade OK !!!)\n");
  display.Finish("summary\n");
  EXPECT_EQ(screen.Take(display), "summary\n");
}

TEST(StationDisplay, OnATerminalTheLiveLinesAreRedrawnInPlace) {
  TScreen screen;
  // Wide enough for the wide lines; the station's counters below them.
  TStationDisplay display(true, screen.Out(), [] { return TTerminalSize{200, 50}; });
  const auto first = display.AddPort("/dev/ttyUSB0");
  display.AddPort("/dev/ttyUSB1");
  display.Redraw();
  const std::string drawn = screen.Take(display);
  EXPECT_EQ(drawn.find("\033["), std::string::npos);  // nothing to draw over yet
  EXPECT_NE(drawn.find("/dev/ttyUSB1 "), std::string::npos);
  display.Redraw();
  EXPECT_EQ(screen.Take(display), "");  // nothing changed
  display.Update(first, [](TPortView& v) { v.State = "download"; });
  display.Event("an event");
  display.Redraw();
  const std::string again = screen.Take(display);
  // Up over the three lines, cleared; the event above the lines drawn anew.
  EXPECT_EQ(again.rfind("\033[3F\033[Jan event\n/dev/ttyUSB0             download", 0), 0u) << again;
  display.Finish("summary\n");
  const std::string last = screen.Take(display);
  EXPECT_EQ(last.rfind("\033[3F\033[J/dev/ttyUSB0", 0), 0u) << last;
  EXPECT_EQ(last.substr(last.size() - 8), "summary\n");
  EXPECT_EQ(display.Snapshot().at(first).State, "download");
}

// Characters on the screen (the test's names are ASCII but for one).
int Columns(const std::string& line) {
  int n = 0;
  for (const char c : line) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// Ports as an operator sees them at their busiest: a long adapter name, a
// download with every figure, the longest result, counters of every kind.
std::vector<TPortView> BusyPorts() {
  TPortView downloading;
  downloading.Port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  downloading.State = "download";
  downloading.Percent = 100;
  downloading.Rate = 11.2 * 1024;
  downloading.SecondsLeft = 754;
  downloading.Last = "no response";
  downloading.Upgraded = 12;
  downloading.Refused = 3;
  downloading.Failed = 4;
  downloading.NoResponse = 2;
  downloading.Stopped = 1;
  downloading.Running = true;
  TPortView waiting;
  waiting.Port = "/dev/ttyUSB1";
  waiting.State = "waiting for box";
  waiting.Last = "failed (stopped)";
  waiting.Failed = 1;
  waiting.Stopped = 1;
  TPortView named;
  named.Port = "COM12 журнал";
  return {downloading, waiting, named};
}

TEST(StationDisplay, EveryLiveLineFitsTheTerminalAndKeepsWhatTellsMost) {
  for (const int columns : {20, 40, 60, 80, 100, 132, 250}) {
    TScreen screen;
    TStationDisplay display(true, screen.Out(), [] { return TTerminalSize{}; });
    for (const auto& v : BusyPorts()) {
      const auto slot = display.AddPort(v.Port);
      display.Update(slot, [&](TPortView& view) { view = v; });
    }
    const auto lines = display.LiveLines({columns, 50});
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines) {
      // The last column stays free: some consoles wrap a full row at once.
      EXPECT_LE(Columns(line), std::max(20, columns - 1)) << columns << ": " << line;
    }
    if (columns < 80) continue;
    // From 80 columns on: the port's end, its state, its percent and its
    // counters, however busy it is.
    EXPECT_NE(lines[0].find("A50285BI-if00-port0 download"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("100%"), std::string::npos) << lines[0];
    // Short of room, the kinds of failed are left to the station's line.
    EXPECT_NE(lines[0].find(columns < 132 ? "  12 upgraded, 3 refused, 4 failed"
                                          : "  12 upgraded, 3 refused, 4 failed (2 no response, 1 stopped)"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("1 failed (1 stopped)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("0 upgraded"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "all ports: 12 upgraded, 3 refused, 5 failed (2 no response, 2 stopped)");
    // One layout for all: the states stand in one column.
    EXPECT_EQ(lines[0].find("download"), lines[1].find("waiting for box")) << lines[0] << "\n" << lines[1];
  }
  // Wide enough, the wide line stays as it always was, the counters after it.
  TPortView v = BusyPorts()[1];
  EXPECT_EQ(TStationDisplay::FitLine(v, 200),
            TStationDisplay::LiveLine(v) + "  0 upgraded, 1 failed (1 stopped)");
}

TEST(StationDisplay, AResizedTerminalHasTheLinesTakenOffByTheRowsTheyTakeNow) {
  TScreen screen;
  std::atomic<int> columns{80};
  TStationDisplay display(true, screen.Out(), [&] { return TTerminalSize{columns.load(), 30}; });
  for (const auto& v : BusyPorts()) {
    const auto slot = display.AddPort(v.Port);
    display.Update(slot, [&](TPortView& view) { view = v; });
  }
  display.Redraw();
  const std::string at80 = screen.Take(display);
  EXPECT_EQ(TStationDisplay::RowsOf(at80, 80), 4);
  display.Redraw();
  EXPECT_EQ(screen.Take(display), "");  // nothing changed, not even the size

  // Narrower: a terminal that wraps anew has each 79-column line on two rows
  // of 40 (the station's on two as well); all of them go, and the lines
  // come back fitted to 39.
  columns = 40;
  display.Event("an event");
  display.Redraw();
  const std::string at40 = screen.Take(display);
  const int rows = TStationDisplay::RowsOf(at80, 40);
  EXPECT_GT(rows, 4);
  EXPECT_EQ(at40.rfind("\033[" + std::to_string(rows) + "F\033[Jan event\n", 0), 0u) << at40;
  const std::string drawn = at40.substr(at40.find("an event\n") + 9);
  EXPECT_EQ(TStationDisplay::RowsOf(drawn, 40), 4) << drawn;

  // Wider, with nothing else changed: the rows they take at 120, one each.
  columns = 120;
  display.Redraw();
  const std::string at120 = screen.Take(display);
  EXPECT_EQ(at120.rfind("\033[4F\033[J", 0), 0u) << at120;
  EXPECT_EQ(TStationDisplay::RowsOf("", 80), 0);
  EXPECT_EQ(TStationDisplay::RowsOf(std::string(80, 'x') + "\n" + std::string(81, 'x') + "\n\n", 80), 4);
}

TEST(StationDisplay, MorePortsThanRowsShowTheBusyOnesAndCountTheRest) {
  TStationDisplay display(true, -1, [] { return TTerminalSize{80, 6}; });
  for (int i = 0; i < 10; ++i) display.AddPort("/dev/ttyUSB" + std::to_string(i));
  display.Update(7, [](TPortView& v) { v.Running = true; });
  display.Update(2, [](TPortView& v) { v.Upgraded = 1; });
  const auto lines = display.LiveLines({80, 6});
  // One row stays for the cursor below the lines.
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("/dev/ttyUSB0 ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("/dev/ttyUSB1 ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("/dev/ttyUSB7 ", 0), 0u) << lines[2];  // under way
  EXPECT_EQ(lines[3], "... and 7 more port(s)");
  EXPECT_EQ(lines[4].rfind("all ports: 1 upgraded", 0), 0u) << lines[4];
}

// A hub whose adapters come and go for days: a port whose adapter has been
// gone for a minute leaves the live lines, so that the ports at work stay
// in sight, but its boxes still count. Time is the test's, passed at once.
TEST(StationDisplay, APortGoneForAMinuteLeavesTheLiveLinesButItsBoxesStillCount) {
  TScreen screen;
  TStationDisplay display(true, screen.Out(), [] { return TTerminalSize{200, 30}; });
  auto now = TStationDisplay::TClock::time_point{} + 1h;
  display.SetClock([&now] { return now; });
  const auto there = display.AddPort("/dev/ttyUSB0");
  const auto pulled = display.AddPort("/dev/ttyUSB1");
  const auto held = display.AddPort("/dev/ttyUSB2");
  display.Update(there, [](TPortView& v) { v.State = "waiting for box"; });
  display.Update(held, [](TPortView& v) { v.State = "cannot open"; });
  display.Update(pulled, [](TPortView& v) {
    v.Upgraded = 2;
    v.Failed = 1;
    v.Last = "upgraded";
    v.State = "no port";
  });
  auto shows = [&](const std::string& port) {
    for (const auto& line : display.LiveLines({200, 30})) {
      if (line.rfind(port + " ", 0) == 0) return true;
    }
    return false;
  };
  now += 59s;
  // Its thread let go of it meanwhile: still gone since the same moment.
  display.Update(pulled, [](TPortView& v) { v.State = "gone"; });
  EXPECT_TRUE(shows("/dev/ttyUSB1"));
  now += 2s;
  EXPECT_FALSE(shows("/dev/ttyUSB1"));
  EXPECT_TRUE(shows("/dev/ttyUSB0"));
  // There but held by another program: the operator has something to fix.
  EXPECT_TRUE(shows("/dev/ttyUSB2"));
  EXPECT_EQ(display.LiveLines({200, 30}).back(),
            "all ports: 2 upgraded, 0 refused, 1 failed (0 no response, 0 stopped)");
  EXPECT_EQ(display.Snapshot().at(pulled).Upgraded, 2);
  // Nor among the last lines above the summary.
  display.Finish("summary\n");
  const std::string last = screen.Take(display);
  EXPECT_EQ(last.find("/dev/ttyUSB1"), std::string::npos) << last;
  EXPECT_NE(last.find("/dev/ttyUSB0"), std::string::npos) << last;

  // Plugged in again, it is back on its old line at once, and a minute is
  // counted afresh the next time it goes.
  display.Update(pulled, [](TPortView& v) { v.State = "waiting for box"; });
  EXPECT_TRUE(shows("/dev/ttyUSB1"));
  display.Update(pulled, [](TPortView& v) { v.State = "no port"; });
  now += 59s;
  EXPECT_TRUE(shows("/dev/ttyUSB1"));
}

TEST(StationDisplay, WithNoPortYetItSaysItWaitsForAdapters) {
  TScreen screen;
  TStationDisplay display(true, screen.Out(), [] { return TTerminalSize{80, 30}; });
  display.Redraw();
  EXPECT_EQ(screen.Take(display), "");  // ports given by name: nothing to wait for
  display.WaitForAdapters(true);
  display.Redraw();
  EXPECT_EQ(screen.Take(display).rfind("waiting for serial adapters (none yet) ... 0:0", 0), 0u);
  const auto slot = display.AddPort("/dev/ttyUSB0");
  display.Update(slot, [](TPortView& v) { v.State = "waiting for box"; });
  display.Redraw();
  const std::string drawn = screen.Take(display);
  EXPECT_EQ(drawn.rfind("\033[1F\033[J/dev/ttyUSB0 waiting for box", 0), 0u) << drawn;
  EXPECT_EQ(drawn.find("waiting for serial adapters"), std::string::npos) << drawn;
}

TEST(StationDisplay, ATerminalThatTakesNothingNeverHoldsUpAPort) {
  TScreen screen;
  TStationDisplay display(true, screen.Out());
  const auto slot = display.AddPort("/dev/ttyUSB0");
  // More than the pipe holds: the redraw stays in its write.
  display.Event(std::string(256 * 1024, 'x'));
  std::thread drawer([&] { display.Redraw(); });
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (screen.Pending() < 4096 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(100ms);

  std::atomic<bool> updated{false};
  std::thread port([&] {
    display.Update(slot, [](TPortView& v) { v.Percent = 50; });
    display.Event("/dev/ttyUSB0: upgraded");
    updated = true;
  });
  const auto limit = std::chrono::steady_clock::now() + 1s;
  while (!updated && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(updated) << "a port waited for the terminal";

  // Someone reads at last: everything comes to its end.
  std::atomic<bool> drawn{false};
  std::thread reader([&] {
    char buffer[65536];
    while (!drawn || screen.Pending() > 0) {
      if (screen.Pending() == 0) {
        std::this_thread::sleep_for(5ms);
        continue;
      }
      if (::read(screen.fds[0], buffer, sizeof buffer) <= 0) break;
    }
  });
  drawer.join();
  port.join();
  drawn = true;
  reader.join();
}

}  // namespace
}  // namespace stb::app
