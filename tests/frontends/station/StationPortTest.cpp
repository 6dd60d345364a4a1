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
#include "BoxRecord.h"
#include "StationBox.h"
#include "StationPort.h"
#include "StationPorts.h"
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
  EXPECT_TRUE(shared.Display.WaitWritten(2s));

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
  TStationBox box(shared, shared.Display.AddPort("/dev/ttyUSB0"), "/dev/ttyUSB0", &loop);
  const int log = ::open("port.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
  ASSERT_GE(log, 0);
  box.SetStopRecord(log);
  box.HandlerError({"Cannot open file ./inc/a\nb\r\t\x01.bin", 0, {}});
  box.HandlerError({"I/O error 5.", 5, {}});
  ::close(log);
  const auto lines = Lines("port.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(24), "[error] Cannot open file ./inc/a\\nb\\r\\t\\x01.bin");
  EXPECT_EQ(lines[1].substr(24), "[error] I/O error 5. (Input/output error)");
}

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

TEST(StationBox, TheReportLineIsWhatTheEventsToldTheRecorder) {
  stb::testing::TScratchDir dir;
  TOptions options;
  TOperatorScreen screen;
  TStationShared shared(options, false, screen.fd);
  const auto slot = shared.Display.AddPort("/dev/ttyUSB0");
  upgrade::TBoxIdentity id;
  id.Oui = {0x00, 0x22};
  id.Model = {1, 2};
  id.Date = "D0101";
  id.Record[1] = 0x22;

  {  // a block the box kept refusing
    TStationBox box(shared, slot, "/dev/ttyUSB0", nullptr);
    TBoxRecorder recorder("/dev/ttyUSB0");
    upgrade::TUpgradeListeners both;
    both.Add(&recorder);
    both.Add(&box);
    both.BoxAcknowledged();
    EXPECT_TRUE(box.Arrived());
    EXPECT_TRUE(shared.Display.Snapshot().at(slot).Running);
    both.BoxArrived(3);
    both.IdentityReceived(id);
    both.AddressesReceived(0x9FC10000, 0x9FC10000);
    both.GoMessageSent(0x9FC10000, 6);
    both.StepReached(upgrade::TStep::StartUpgrade);
    both.StepReached(upgrade::TStep::StartDownload);
    both.BlockAccepted(0, 1024, 6144);
    both.BlockRefused(1, 1);
    both.BlockRefused(1, 2);
    upgrade::TUpgradeEnd end;
    end.Outcome = upgrade::TOutcome::Failed;
    end.Failure = upgrade::TFailure::BlockRefused;
    end.Step = 3;
    end.Seen = upgrade::TSeen::BlockNotAccepted;
    end.Sent = 1024;
    end.Total = 6144;
    both.Ended(end);
    const std::string line = RecordLine(recorder.Record());
    EXPECT_TRUE(Has(line, R"("mode":3,"result":"failed","decided_by":"  DownLoad Fail !!")")) << line;
    EXPECT_TRUE(Has(line, R"("reason":"block refused","step":3,)")) << line;
    EXPECT_TRUE(Has(line, R"("box":{"oui":"0022","model":"1.2",)")) << line;
    EXPECT_TRUE(Has(line, R"("date":"D0101","address":"0x9FC10000","record":"0022)")) << line;
    EXPECT_TRUE(Has(line, R"("blocks":6,"address":"0x9FC10000"})")) << line;
    EXPECT_TRUE(Has(line, R"("resends":2,)")) << line;
    EXPECT_EQ(box.StopLine("SIGTERM"),
              "stopped by SIGTERM after \"3. Start DownLoad\", 1024 of 6144 bytes sent");
  }
  {  // another maker's box
    TStationBox box(shared, slot, "/dev/ttyUSB0", nullptr);
    TBoxRecorder recorder("/dev/ttyUSB0");
    upgrade::TUpgradeListeners both;
    both.Add(&recorder);
    both.Add(&box);
    both.BoxAcknowledged();
    both.BoxArrived(3);
    both.IdentityReceived(id);
    both.StepReached(upgrade::TStep::CheckMachine);
    upgrade::TUpgradeEnd end;
    end.Outcome = upgrade::TOutcome::Refused;
    end.Check = upgrade::TCheck::Oui;
    end.Step = 1;
    both.Ended(end);
    const std::string line = RecordLine(recorder.Record());
    EXPECT_TRUE(Has(line, R"("result":"refused","decided_by":"  - Invalid OUI !!","reason":"OUI","step":1,)"))
        << line;
    EXPECT_TRUE(Has(line, R"("written":null)")) << line;
  }
  {  // an upgraded one has no reason
    TStationBox box(shared, slot, "/dev/ttyUSB0", nullptr);
    TBoxRecorder recorder("/dev/ttyUSB0");
    upgrade::TUpgradeListeners both;
    both.Add(&recorder);
    both.Add(&box);
    both.BoxAcknowledged();
    upgrade::TUpgradeEnd end;
    end.Outcome = upgrade::TOutcome::Upgraded;
    end.Step = 7;
    both.Ended(end);
    EXPECT_TRUE(Has(
        RecordLine(recorder.Record()),
        R"("result":"upgraded","decided_by":"Congraturation! Software Upgrade OK !!!","reason":null,"step":7,"box":null)"));
  }
}

// The threads of this process.
int Threads() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

TEST(StationPorts, AnAdapterGoneForGoodLetsItsThreadGoAndComesBackOnItsOldLine) {
  stb::testing::TScratchDir dir;
  TOptions options;
  options.Code = "APP103";
  TOperatorScreen screen;
  TStationShared shared(options, false, screen.fd);
  shared.GoneAfter = 100ms;
  shared.RetryAfter = 50ms;
  std::vector<std::string> listed;
  TStationPorts ports(shared, [&] { return listed; });
  const int before = Threads();
  // 200 names listed once and gone since; one of them stays (a file that
  // will not open as a port, but is there).
  for (int i = 0; i < 200; ++i) listed.push_back((dir.Path() / ("ttyUSB" + std::to_string(i))).string());
  std::ofstream("ttyUSB7") << "x";
  ports.Scan();
  listed.clear();
  EXPECT_EQ(ports.Running(), 200u);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (ports.Running() > 1 && std::chrono::steady_clock::now() < until) {
    ports.Reap();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(ports.Running(), 1u);
  EXPECT_EQ(Threads(), before + 1);

  // What a port gone for good did still counts; one that did nothing is not
  // named in the summary.
  auto views = shared.Display.Snapshot();
  ASSERT_EQ(views.size(), 200u);
  shared.Display.Update(3, [](TPortView& v) { ++v.Refused; });
  EXPECT_TRUE(ports.Named(3, shared.Display.Snapshot()[3]));
  EXPECT_FALSE(ports.Named(4, views[4]));
  EXPECT_TRUE(ports.Named(7, views[7]));
  EXPECT_EQ(views[4].State, "gone");

  // Back again: on its old line, with a thread of its own.
  listed = {(dir.Path() / "ttyUSB4").string()};
  ports.Scan();
  EXPECT_EQ(ports.Running(), 2u);
  views = shared.Display.Snapshot();
  EXPECT_EQ(views.size(), 200u);
  EXPECT_TRUE(ports.Named(4, views[4]));

  shared.StopLevel = kNoNewBoxes;
  ports.JoinAll();
  EXPECT_EQ(Threads(), before);
}

}  // namespace
}  // namespace stb::app
