// The station's console: the live lines, the event lines and the summary as
// the operator sees them, and a terminal that stops taking text never
// holding up a port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

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
