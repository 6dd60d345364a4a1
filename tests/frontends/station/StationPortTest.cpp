// One port of the station in this process: what it writes to its log and
// shows the operator when it cannot serve.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "EventLoop.h"
#include "ScratchDir.h"
#include "StationBox.h"
#include "StationPort.h"
#include "StationShared.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

long Count(const std::vector<std::string>& lines, const std::string& part) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// The only log file in the folder.
std::vector<std::string> PortLog() {
  for (const auto& e : std::filesystem::directory_iterator("logs")) return Lines(e.path().string());
  return {};
}

// What the display wrote, once the port has ended.
struct TOperatorScreen {
  std::string path = "screen.txt";
  int fd = -1;
  TOperatorScreen() { fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); }
  ~TOperatorScreen() { ::close(fd); }
};

TEST(StationPort, APortThatWillNotOpenSaysSoOnceForEachReason) {
  stb::testing::TScratchDir dir;
  std::filesystem::create_directory("port");  // there, but no serial port
  std::filesystem::create_directory("logs");
  TOptions options;
  options.Code = "APP103";
  options.LogDir = "logs";
  TOperatorScreen screen;
  TStationShared shared(options, false, screen.fd);
  shared.RetryAfter = 50ms;
  {
    TStationPort port(shared, (dir.Path() / "port").string());
    std::this_thread::sleep_for(800ms);  // tried about fifteen times
    shared.Display.Redraw();
    // Another reason: a file that is no terminal.
    std::filesystem::remove("port");
    std::ofstream("port") << "x";
    std::this_thread::sleep_for(500ms);
    shared.StopLevel = kNoNewBoxes;
    port.Join();
  }
  shared.Display.Redraw();

  const auto log = PortLog();
  EXPECT_EQ(Count(log, "Error: could not connect.  Check COM port settings"), 1) << log.size();
  EXPECT_EQ(Count(log, "WARNING !!! --- Check DOWNLOAD ADDRESS"), 1);
  EXPECT_EQ(Count(log, "[error] stb-downloader: cannot open "), 2);
  const auto events = Lines(screen.path);
  EXPECT_EQ(Count(events, "cannot open"), 2) << events.size();
  EXPECT_EQ(shared.Display.Snapshot().at(0).State, "stopped");
}

TEST(StationBox, AnErrorIsOneLineOfThePortsLog) {
  stb::testing::TScratchDir dir;
  TOptions options;
  TOperatorScreen screen;
  TStationShared shared(options, false, screen.fd);
  TEventLoop loop;
  TStationBox box(shared, shared.Display.AddPort("/dev/ttyUSB0"), "/dev/ttyUSB0", loop);
  const int log = ::open("port.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
  ASSERT_GE(log, 0);
  box.SetStopRecord(log);
  box.HandlerError({"Cannot open file ./inc/a\nb\r\t\x01.bin", 0});
  box.HandlerError({"I/O error 5.", 5});
  ::close(log);
  const auto lines = Lines("port.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(24), "[error] Cannot open file ./inc/a\\nb\\r\\t\\x01.bin");
  EXPECT_EQ(lines[1].substr(24), "[error] I/O error 5. (Input/output error)");
}

}  // namespace
}  // namespace stb::app
