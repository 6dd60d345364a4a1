// stb-downloader --station as a production line runs it: the real program
// against several simulated boxes at once, each on its own pseudo-terminal;
// the report, the per-port logs, the summary and the exit status checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "BoxSim.h"
#include "ChildProcess.h"
#include "JsonObject.h"
#include "ScratchDir.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;
using stb::testing::TChildProcess;
using stb::testing::TScratchDir;
using stb::testing::TStdio;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Text(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A field of a report line, as written: "result":"upgraded" gives upgraded.
std::string Field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const auto at = line.find(key);
  if (at == std::string::npos) return "<missing>";
  auto start = at + key.size();
  if (line[start] == '"') {
    const auto end = line.find('"', start + 1);
    return line.substr(start + 1, end - start - 1);
  }
  const auto end = line.find_first_of(",}", start);
  return line.substr(start, end - start);
}

// The station started in a scratch folder that holds include files for
// every mode and an image, with boxes to serve.
struct TStation {
  TScratchDir dir;
  std::vector<std::unique_ptr<sim::TBoxSim>> boxes;
  TChildProcess program;

  explicit TStation(std::size_t imageBytes = 6000) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'q'));
  }
  ~TStation() {
    // Gone before its boxes, as a station that was ended.
    program.Signal(SIGKILL);
    program.Wait(5000);
    for (auto& b : boxes) {
      if (b) b->Stop();
    }
  }

  sim::TBoxSim& AddBox(const sim::TBoxConfig& config = {}) {
    boxes.push_back(std::make_unique<sim::TBoxSim>(config));
    boxes.back()->Start();
    return *boxes.back();
  }

  // `launcher`: what starts the program, in front of it ("sh", "-c", ...).
  void Start(std::vector<std::string> ports, std::vector<std::string> extra = {},
             std::vector<std::string> launcher = {}) {
    std::vector<std::string> args = launcher;
    for (const char* a : {STB_DOWNLOADER_PATH, "--station", "--code", "APP103", "--report", "report.jsonl",
                          "--log-dir", "logs", "--response-timeout", "0.7"})
      args.push_back(a);
    for (const auto& p : ports) {
      args.push_back("--port");
      args.push_back(p);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(program.Start(
        args, {.In = TStdio::Null(), .Out = TStdio::To("stdout.txt"), .Err = TStdio::To("stderr.txt")}))
        << program.Error();
  }

  std::vector<std::string> Report() const { return Lines("report.jsonl"); }

  // Waits until `done` holds, at most `limit`.
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
  bool WaitForReports(std::size_t n, std::chrono::milliseconds limit = 20s) {
    return WaitFor([&] { return Report().size() >= n; }, limit);
  }

  // Sends `sig` and waits for the end; the exit status. A station still
  // running after `limit` fails the test.
  int Stop(int sig = SIGTERM, std::chrono::milliseconds limit = 15s) {
    Signal(sig);
    return Wait(limit);
  }
  void Signal(int sig) { program.Signal(sig); }
  int Wait(std::chrono::milliseconds limit = 15s) { return program.Wait(static_cast<int>(limit.count())); }

  // The port's log, without the time stamps.
  std::vector<std::string> PortLog(const std::string& device) const {
    std::string name = device.substr(5);
    for (char& c : name) c = c == '/' ? '_' : c;
    std::error_code none;  // no folder yet: no log yet
    for (const auto& e : std::filesystem::directory_iterator("logs", none)) {
      if (e.path().filename().string().rfind(name + "-", 0) != 0) continue;
      std::vector<std::string> lines;
      for (const auto& l : Lines(e.path().string())) lines.push_back(l.size() > 24 ? l.substr(24) : "");
      return lines;
    }
    return {};
  }
};

TEST(Station, EveryPortUpgradesItsOwnBoxAtTheSameTime) {
  TStation station;
  std::vector<std::string> ports;
  for (int i = 0; i < 3; ++i) ports.push_back(station.AddBox().DevicePath());
  station.Start(ports);
  ASSERT_TRUE(station.WaitForReports(3)) << Text("stderr.txt");
  for (auto& box : station.boxes) EXPECT_TRUE(box->WaitFinished(3000));
  EXPECT_EQ(station.Stop(SIGTERM), 0) << Text("stderr.txt");

  const auto report = station.Report();
  std::set<std::string> reported;
  for (const auto& line : report) {
    EXPECT_TRUE(stb::testing::IsJsonObject(line)) << line;
    reported.insert(Field(line, "port"));
    EXPECT_EQ(Field(line, "result"), "upgraded");
    EXPECT_EQ(Field(line, "decided_by"), "Congraturation! Software Upgrade OK !!!");
    EXPECT_EQ(Field(line, "mode"), "3");
    EXPECT_EQ(Field(line, "oui"), "0022");
    EXPECT_EQ(Field(line, "blocks"), "6");
    EXPECT_EQ(Field(line, "resends"), "0");
  }
  EXPECT_EQ(reported, std::set<std::string>(ports.begin(), ports.end()));
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(station.boxes[i]->Summary().End, "done");
    EXPECT_EQ(station.boxes[i]->Summary().BlocksAccepted, 6);
    // Each port's log holds its whole upgrade, as a single run logs it.
    const auto log = station.PortLog(ports[i]);
    ASSERT_FALSE(log.empty()) << ports[i];
    EXPECT_EQ(log.front(), "WARNING !!! --- Check DOWNLOAD ADDRESS");
    EXPECT_NE(std::find(log.begin(), log.end(), "3. Start DownLoad"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Please Turn Off and On the STB set !!!"), log.end());
  }
  const std::string out = Text("stdout.txt");
  EXPECT_TRUE(Contains(out, "all ports: 3 upgraded, 0 refused, 0 failed")) << out;
  EXPECT_TRUE(Contains(out, ports[0] + ": 1 upgraded, 0 refused, 0 failed")) << out;
}

TEST(Station, EachBoxGetsItsOwnResultAndTheOthersGoOn) {
  TStation station(40000);
  sim::TBoxConfig good;
  good.Bps = 115200;
  sim::TBoxConfig refusing;
  refusing.Identity[1] = 0x33;  // another maker
  sim::TBoxConfig silent;
  silent.SilentFrom = sim::TBoxPhase::Identity;
  sim::TBoxConfig hangingUp;
  hangingUp.HangUpAfterBlock = 3;
  const std::string goodPort = station.AddBox(good).DevicePath();
  const std::string refusingPort = station.AddBox(refusing).DevicePath();
  const std::string silentPort = station.AddBox(silent).DevicePath();
  const std::string hangingUpPort = station.AddBox(hangingUp).DevicePath();
  // The station looks for a port that went away once a second. Held open
  // here, the terminal's number is not handed to another test's box while
  // this station still runs.
  const int held = open(hangingUpPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  station.Start({goodPort, refusingPort, silentPort, hangingUpPort});
  ASSERT_TRUE(station.WaitForReports(4)) << Text("stderr.txt");
  EXPECT_EQ(station.Stop(SIGTERM), 1);
  close(held);

  std::map<std::string, std::string> lines;
  for (const auto& line : station.Report()) {
    EXPECT_TRUE(stb::testing::IsJsonObject(line)) << line;
    lines[Field(line, "port")] = line;
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Field(lines[goodPort], "result"), "upgraded");
  EXPECT_EQ(Field(lines[refusingPort], "result"), "refused");
  EXPECT_EQ(Field(lines[refusingPort], "decided_by"), "  - Invalid OUI !!");
  EXPECT_EQ(Field(lines[refusingPort], "oui"), "0033");
  EXPECT_TRUE(Contains(lines[refusingPort], "\"written\":null"));
  EXPECT_EQ(Field(lines[silentPort], "result"), "no response");
  EXPECT_EQ(Field(lines[silentPort], "decided_by"), "  ERROR: No Response from the Set-Top Box !!");
  EXPECT_TRUE(Contains(lines[silentPort], "\"box\":null"));  // the record never came
  EXPECT_EQ(Field(lines[hangingUpPort], "result"), "failed");
  EXPECT_EQ(Field(lines[hangingUpPort], "reason"), "port lost");
  EXPECT_EQ(Field(lines[hangingUpPort], "decided_by"),
            "  ERROR: The COM port " + hangingUpPort + " went away !!");
  EXPECT_EQ(Field(lines[hangingUpPort], "blocks"), "40");  // it was sent the go message

  EXPECT_EQ(station.boxes[0]->Summary().End, "done");
  const std::string out = Text("stdout.txt");
  EXPECT_TRUE(Contains(out, "all ports: 1 upgraded, 1 refused, 2 failed")) << out;
}

TEST(Station, TheNextBoxOnlyOnceTheLastHasGone) {
  TStation station;
  // The upgraded box stays on and would answer every announce word.
  sim::TBoxConfig line;
  line.Boxes = 2;
  line.StayOnMs = 4000;
  line.OffMs = 4000;
  auto& box = station.AddBox(line);
  station.Start({box.DevicePath()});
  ASSERT_TRUE(station.WaitForReports(1));
  const auto firstEnd = std::chrono::steady_clock::now();
  // Still switched on: not upgraded again.
  std::this_thread::sleep_for(3500ms);
  EXPECT_EQ(station.Report().size(), 1u);
  EXPECT_EQ(box.Upgraded(), 1);
  // Switched off for three ticks, then the next box: upgraded.
  ASSERT_TRUE(station.WaitForReports(2, 15s)) << Text("stdout.txt");
  EXPECT_GT(std::chrono::steady_clock::now() - firstEnd, 7s);
  EXPECT_TRUE(box.WaitFinished(3000));
  EXPECT_EQ(box.Upgraded(), 2);
  EXPECT_EQ(station.Stop(SIGINT), 0);
  for (const auto& line : station.Report()) EXPECT_EQ(Field(line, "result"), "upgraded");
}

TEST(Station, APortThatWentAndCameBackTakesTheNextBox) {
  TStation station;
  // A stable name for the port, as /dev/serial/by-id gives an adapter.
  auto& first = station.AddBox();
  std::filesystem::create_symlink(first.DevicePath(), "adapter");
  const std::string port = (station.dir.Path() / "adapter").string();
  station.Start({port});
  ASSERT_TRUE(station.WaitForReports(1));
  EXPECT_TRUE(first.WaitFinished(3000));
  first.Stop();
  station.boxes.front().reset();  // the box and its line are gone
  std::this_thread::sleep_for(1500ms);
  auto& second = station.AddBox();
  std::filesystem::remove("adapter");
  std::filesystem::create_symlink(second.DevicePath(), "adapter");
  ASSERT_TRUE(station.WaitForReports(2)) << Text("stdout.txt");
  EXPECT_TRUE(second.WaitFinished(3000));
  EXPECT_EQ(second.Summary().End, "done");
  EXPECT_EQ(station.Stop(SIGTERM), 0);
  EXPECT_TRUE(Contains(Text("stdout.txt"), port + ": 2 upgraded, 0 refused, 0 failed"));
}

// A port given by a name with nothing behind it yet: the station says so
// once (not at every look), waits, and takes it on as soon as it is there.
TEST(Station, APortNotThereYetIsSaidOnceAndTakenOnWhenItComes) {
  TStation station;
  const std::string port = (station.dir.Path() / "adapter").string();
  const std::string said = port + ": no such port; the station waits for it and takes it on once it is there";
  const auto times = [&] {
    const auto lines = Lines("stdout.txt");
    return std::count(lines.begin(), lines.end(), said);
  };
  station.Start({port});
  ASSERT_TRUE(station.WaitFor([&] { return times() > 0; }, 5s)) << Text("stdout.txt");
  std::this_thread::sleep_for(2500ms);  // the port is looked for every second
  EXPECT_EQ(times(), 1) << Text("stdout.txt");
  auto& box = station.AddBox();
  std::filesystem::create_symlink(box.DevicePath(), "adapter");
  ASSERT_TRUE(station.WaitForReports(1)) << Text("stdout.txt");
  EXPECT_TRUE(box.WaitFinished(3000));
  EXPECT_EQ(station.Stop(SIGTERM), 0);
  EXPECT_EQ(times(), 1) << Text("stdout.txt");
}

// An upgrade under way on the paced line: 40 blocks, about 3.6 s.
struct TUnderWay : TStation {
  sim::TBoxSim* box = nullptr;
  TUnderWay() : TStation(40000) {
    sim::TBoxConfig paced;
    paced.Bps = 115200;
    box = &AddBox(paced);
    Start({box->DevicePath()});
  }
  bool Transferring() {
    return WaitFor(
        [&] {
          const auto log = PortLog(box->DevicePath());
          return std::find(log.begin(), log.end(), "3. Start DownLoad") != log.end();
        },
        10s);
  }
};

TEST(Station, TheFirstInterruptLetsTheUpgradeFinish) {
  TUnderWay station;
  ASSERT_TRUE(station.Transferring());
  std::this_thread::sleep_for(500ms);
  station.Signal(SIGINT);
  EXPECT_EQ(station.Wait(15s), 0) << Text("stderr.txt");
  EXPECT_EQ(station.box->Summary().End, "done");
  ASSERT_EQ(station.Report().size(), 1u);
  EXPECT_EQ(Field(station.Report()[0], "result"), "upgraded");
  EXPECT_TRUE(Contains(Text("stdout.txt"), "1 upgrade(s) under way go on to their end"));
}

TEST(Station, ABurstOfTerminationRequestsIsOneInterrupt) {
  // A service manager or a script repeating its request within 100 ms.
  TUnderWay station;
  ASSERT_TRUE(station.Transferring());
  for (int i = 0; i < 10; ++i) {
    station.Signal(SIGTERM);
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(station.Wait(15s), 0) << Text("stderr.txt");
  EXPECT_EQ(station.box->Summary().End, "done");
  ASSERT_EQ(station.Report().size(), 1u);
  EXPECT_EQ(Field(station.Report()[0], "result"), "upgraded");
}

TEST(Station, ASecondInterruptEndsItAtOnceAndSaysWhere) {
  TUnderWay station;
  ASSERT_TRUE(station.Transferring());
  std::this_thread::sleep_for(400ms);
  station.Signal(SIGINT);
  std::this_thread::sleep_for(1200ms);  // past the echoes of the first
  const auto sent = std::chrono::steady_clock::now();
  station.Signal(SIGINT);
  EXPECT_EQ(station.Wait(5s), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, 1500ms);
  const std::string err = Text("stderr.txt");
  const std::string where = "stopped by SIGINT after \"3. Start DownLoad\", ";
  EXPECT_TRUE(Contains(err, station.box->DevicePath() + ": " + where)) << err;
  EXPECT_TRUE(Contains(err, "bytes sent; the box may be left unusable")) << err;
  ASSERT_EQ(station.Report().size(), 1u);
  const std::string line = station.Report()[0];
  EXPECT_TRUE(stb::testing::IsJsonObject(line)) << line;
  EXPECT_EQ(Field(line, "result"), "failed");
  EXPECT_TRUE(
      Contains(line, R"("decided_by":"stb-downloader: stopped by SIGINT after \"3. Start DownLoad\", )"))
      << line;
  const auto log = station.PortLog(station.box->DevicePath());
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(Contains(log.back(), where)) << log.back();
  EXPECT_NE(station.box->Summary().End, "done");
  EXPECT_TRUE(Contains(Text("stdout.txt"), "all ports: 0 upgraded, 0 refused, 1 failed"));
}

TEST(Station, ASecondInterruptStopsABoxThatHasOnlyAcknowledged) {
  TStation station;
  sim::TBoxConfig mute;
  mute.SilentFrom = sim::TBoxPhase::ModeEcho;  // acknowledges, then says nothing
  auto& box = station.AddBox(mute);
  station.Start({box.DevicePath()}, {"--response-timeout", "30"});
  ASSERT_TRUE(TStation::WaitFor([] { return Contains(Text("stdout.txt"), "a box answered"); }, 10s));
  station.Signal(SIGINT);
  std::this_thread::sleep_for(1200ms);  // past the echoes of the first
  station.Signal(SIGINT);
  EXPECT_EQ(station.Wait(5s), 1);
  const std::string where = "stopped by SIGINT after the box answered; nothing of the image was sent";
  EXPECT_TRUE(Contains(Text("stderr.txt"), box.DevicePath() + ": " + where)) << Text("stderr.txt");
  ASSERT_EQ(station.Report().size(), 1u);
  EXPECT_EQ(Field(station.Report()[0], "result"), "failed");
  EXPECT_EQ(Field(station.Report()[0], "decided_by"), "stb-downloader: " + where);
  EXPECT_TRUE(Contains(station.Report()[0], "\"box\":null,\"written\":null"));
  const auto log = station.PortLog(box.DevicePath());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "stb-downloader: " + where);
}

TEST(Station, MistakesEveryPortWouldShareEndItBeforeAnyBox) {
  TStation station;
  auto& box = station.AddBox();
  station.Start({box.DevicePath()}, {"--code", "XXXXXX"});
  EXPECT_EQ(station.Wait(), 2);
  EXPECT_TRUE(Contains(Text("stderr.txt"), "chooses no mode"));

  std::filesystem::remove("image.bin");
  station.Start({box.DevicePath()});
  EXPECT_EQ(station.Wait(), 3);
  EXPECT_TRUE(Contains(Text("stderr.txt"), "[error] Cannot open file ./image.bin"));
}

// Whether a program can be started with mounts of its own (unshare -Urm).
bool PrivateMounts() {
  TChildProcess probe;
  return probe.Start({"unshare", "-Urm", "true"}) && probe.Wait(5000) == 0;
}

// The threads of a process.
int Threads(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

// --port all on a hub whose adapters come and go: a name gone for good lets
// its thread go, and the summary names only the ports still there. The
// station sees a /dev of the test's own (a private mount), so that no real
// serial device is ever looked at.
TEST(Station, AdaptersGoneForGoodLeaveNoThreadBehind) {
  TStation station;
  if (!PrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
  for (int i = 0; i < 200; ++i) station.dir.Write("dev/ttyUSB" + std::to_string(i), "");
  station.dir.Write("dev/ttyACM0", "");  // stays
  station.Start({"all"}, {}, {"unshare", "-Urm", "sh", "-c", "mount --bind dev /dev && exec \"$@\"", "sh"});
  const pid_t pid = station.program.Pid();
  // One thread for each port, and the station's own.
  ASSERT_TRUE(TStation::WaitFor([&] { return Threads(pid) > 201; }, 5s)) << Threads(pid);
  // Counted once the count holds still: on a loaded machine the station's
  // own helpers (its writers) may still be starting at the first look.
  int serving = Threads(pid);
  for (int same = 0; same < 2;) {
    std::this_thread::sleep_for(300ms);
    const int now = Threads(pid);
    same = now == serving ? same + 1 : 0;
    serving = now;
  }
  for (int i = 0; i < 200; ++i) std::filesystem::remove("dev/ttyUSB" + std::to_string(i));
  EXPECT_TRUE(TStation::WaitFor([&] { return Threads(pid) <= serving - 200; }, 30s)) << Threads(pid);
  EXPECT_EQ(station.Stop(SIGTERM), 0);
  const std::string out = Text("stdout.txt");
  const std::string summary = out.substr(std::min(out.size(), out.find("station stopped.")));
  EXPECT_TRUE(Contains(summary, "/dev/ttyACM0: 0 upgraded")) << out;
  EXPECT_FALSE(Contains(summary, "/dev/ttyUSB")) << summary;
}

// A pipe or a device for a report could hold every port up (a FIFO no one
// reads), or swallow the records (/dev/full): refused before any port
// starts, and without waiting for a reader.
TEST(Station, AReportThatIsNoRegularFileIsRefusedAtOnce) {
  TStation station;
  ASSERT_EQ(mkfifo("unread.fifo", 0644), 0);
  ASSERT_EQ(mkfifo("read.fifo", 0644), 0);
  const int reader = open("read.fifo", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (const char* report : {"unread.fifo", "read.fifo", "/dev/full"}) {
    station.Start({"/nowhere/ttyUSB0"}, {"--report", report});
    EXPECT_EQ(station.Wait(5s), 2) << report;
    EXPECT_TRUE(Contains(Text("stderr.txt"), std::string("cannot write the report ") + report + ": "))
        << Text("stderr.txt");
  }
  close(reader);
}

// A disk that takes no more: the boxes are upgraded, but their records are
// not all there, and the station says so and does not end as a success.
TEST(Station, AReportLineThatCouldNotBeWrittenIsNoSuccess) {
  TStation station;
  // The file size limit (64 KiB) stands for a full disk: nearly reached
  // already, it leaves no room for a whole line.
  std::string lines;
  while (lines.size() < 64 * 1024 - 300) lines += "{\"port\":\"earlier\"}\n";
  station.dir.Write("report.jsonl", lines);
  std::vector<std::string> ports;
  for (int i = 0; i < 2; ++i) ports.push_back(station.AddBox().DevicePath());
  station.Start(ports, {}, {"sh", "-c", "ulimit -f 64 && exec \"$@\"", "sh"});
  for (auto& box : station.boxes) EXPECT_TRUE(box->WaitFinished(20000)) << Text("stderr.txt");
  ASSERT_TRUE(TStation::WaitFor([] { return Contains(Text("stderr.txt"), "cannot write the report"); }, 5s));
  EXPECT_EQ(station.Stop(SIGTERM), 1) << Text("stdout.txt");
  // Nothing of a cut line is left.
  EXPECT_EQ(Text("report.jsonl"), lines);
  const std::string out = Text("stdout.txt");
  EXPECT_TRUE(Contains(out, "all ports: 2 upgraded, 0 refused, 0 failed")) << out;
  EXPECT_TRUE(Contains(out, "not written: 2 line(s) of the report report.jsonl")) << out;
}

// The report removed while the station runs: the next box's line goes to
// the report made again at its path, which says why it holds no earlier
// line, and the operator is told. One that cannot be made again (its
// folder gone too) has its lines counted as not written: no success.
TEST(Station, AReportRemovedWhileRunningIsMadeAgainOrItsLinesAreCounted) {
  TStation station;
  sim::TBoxConfig line;
  line.Boxes = 3;
  line.StayOnMs = 300;
  line.OffMs = 3500;
  auto& box = station.AddBox(line);
  std::filesystem::create_directory("out");
  station.Start({box.DevicePath()}, {"--report", "out/report.jsonl"});
  ASSERT_TRUE(TStation::WaitFor([] { return Lines("out/report.jsonl").size() == 1; }, 20s))
      << Text("stderr.txt");
  std::filesystem::remove("out/report.jsonl");
  ASSERT_TRUE(TStation::WaitFor([] { return Lines("out/report.jsonl").size() == 1; }, 15s))
      << Text("stderr.txt");
  const std::string again = Lines("out/report.jsonl")[0];
  EXPECT_EQ(Field(again, "result"), "upgraded");
  EXPECT_EQ(Field(again, "report_made_again"), "the earlier report file was removed") << again;
  EXPECT_TRUE(stb::testing::IsJsonObject(again)) << again;
  EXPECT_TRUE(
      Contains(Text("stderr.txt"),
               "stb-downloader: the report out/report.jsonl was removed; it is made again there and takes "
               "the lines from here on; the station goes on\n"))
      << Text("stderr.txt");

  std::filesystem::remove_all("out");
  const std::string lost =
      "cannot write the report out/report.jsonl: the file was removed and cannot be made again";
  ASSERT_TRUE(TStation::WaitFor([&] { return Contains(Text("stderr.txt"), lost); }, 15s))
      << Text("stderr.txt");
  EXPECT_EQ(station.Stop(SIGTERM), 1) << Text("stdout.txt");
  const std::string out = Text("stdout.txt");
  EXPECT_TRUE(Contains(out, "all ports: 3 upgraded, 0 refused, 0 failed")) << out;
  EXPECT_TRUE(Contains(out,
                       "not written: 1 line(s) of the report out/report.jsonl (the file was removed and "
                       "cannot be made again: No such file or directory)"))
      << out;
  EXPECT_FALSE(std::filesystem::exists("out"));
}

// The log folder is checked before any port starts: one on a read-only file
// system would leave every port unserved, and the run end as a success.
TEST(Station, ALogFolderThatTakesNoFileEndsItAtTheStart) {
  TStation station;
  std::filesystem::create_directory("logs");
  if (!PrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
  station.Start({"/nowhere/ttyUSB0"}, {},
                {"unshare", "-Urm", "sh", "-c",
                 "mount --bind logs logs && mount -o remount,bind,ro logs && exec \"$@\"", "sh"});
  EXPECT_EQ(station.Wait(5s), 2);
  EXPECT_TRUE(Contains(Text("stderr.txt"), "cannot write in the log folder logs: Read-only file system"))
      << Text("stderr.txt");
}

// The log folder removed while the station runs is made again and the boxes
// go on; one that cannot be made again is said once and counted.
TEST(Station, ALogFolderRemovedWhileRunningIsMadeAgain) {
  TStation station;
  sim::TBoxConfig line;
  line.Boxes = 3;
  line.StayOnMs = 300;
  line.OffMs = 3500;
  auto& box = station.AddBox(line);
  station.Start({box.DevicePath()});
  ASSERT_TRUE(station.WaitForReports(1));
  std::filesystem::remove_all("logs");
  ASSERT_TRUE(station.WaitForReports(2, 15s)) << Text("stdout.txt");
  EXPECT_EQ(Field(station.Report()[1], "result"), "upgraded");
  const auto log = station.PortLog(box.DevicePath());
  EXPECT_NE(std::find(log.begin(), log.end(), "3. Start DownLoad"), log.end());

  // Now a file where the folder was: the third box is not taken.
  std::filesystem::remove_all("logs");
  station.dir.Write("logs", "not a folder");
  const std::string lost = box.DevicePath() + ": cannot write the log file logs/";
  ASSERT_TRUE(TStation::WaitFor([&] { return Contains(Text("stdout.txt"), lost); }, 15s))
      << Text("stdout.txt");
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(station.Stop(SIGTERM), 1);
  const std::string out = Text("stdout.txt");
  // Once as it happened, once in the summary.
  std::size_t said = 0;
  for (auto at = out.find(lost); at != std::string::npos; at = out.find(lost, at + 1)) ++said;
  EXPECT_EQ(said, 2u) << out;
  EXPECT_TRUE(Contains(out, "all ports: 2 upgraded, 0 refused, 0 failed")) << out;
  EXPECT_TRUE(Contains(out, "not written: " + lost)) << out;
  EXPECT_EQ(station.Report().size(), 2u);
}

// A terminal that is really drawn on: a tmux server of the test's own (its
// socket in the scratch folder, no configuration read), one window of the
// size asked for, read back as it shows it.
struct TTmux {
  std::string socket;
  bool started = false;

  static bool There() { return std::system("tmux -V > /dev/null 2>&1") == 0; }
  std::string Tmux(const std::string& args) const { return "tmux -S '" + socket + "' -f /dev/null " + args; }
  static std::string Output(const std::string& command) {
    std::string text;
    if (FILE* out = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
      pclose(out);
    }
    return text;
  }
  // `command` (shell words) run in a window `columns` by `rows`, kept once
  // it ended so that its last screen and its exit status can be read.
  bool Start(const std::string& command, int columns, int rows) {
    socket = (std::filesystem::current_path() / "tmux.sock").string();
    // The shell stays, with the screen as the program left it (tmux's own
    // way of keeping a pane that ended takes a row off it); an interrupt
    // typed is the program's alone.
    std::ofstream("station.sh") << "trap : INT\nsh -c 'echo $$ > pid.txt; exec \"$@\"' sh " << command
                                << "\necho $? > status.txt\nexec sleep 600\n";
    started = std::system(Tmux("new-session -d -s station -x " + std::to_string(columns) + " -y " +
                               std::to_string(rows) + " 'exec sh station.sh'")
                              .c_str()) == 0;
    return started;
  }
  ~TTmux() {
    if (!started) return;
    // The station outlives its terminal (it takes no hang-up): ended here.
    if (Status() < 0) {
      if (const pid_t pid = std::atoi(Text("pid.txt").c_str()); pid > 0) ::kill(pid, SIGKILL);
    }
    std::system(Tmux("kill-server 2> /dev/null").c_str());
  }
  std::vector<std::string> Screen() const {
    std::vector<std::string> rows;
    std::stringstream text(Output(Tmux("capture-pane -p -t station")));
    for (std::string row; std::getline(text, row);) rows.push_back(row);
    return rows;
  }
  void Resize(int columns) const {
    std::system(Tmux("resize-window -t station -x " + std::to_string(columns)).c_str());
  }
  void Keys(const std::string& keys) const { std::system(Tmux("send-keys -t station " + keys).c_str()); }
  // The exit status once the program ended, else -1.
  int Status() const {
    const std::string status = Text("status.txt");
    return status.empty() ? -1 : std::atoi(status.c_str());
  }
};

std::string Joined(const std::vector<std::string>& rows) {
  std::string text;
  for (const auto& row : rows) text += row + "\n";
  return text;
}

// What a screen shows of the live lines must be whole: each port's line
// once, on one row short of the terminal's width (a full row is a line that
// wrapped), and the station's counters once. Returns what is wrong.
std::string LiveLinesWhole(const std::vector<std::string>& screen, const std::vector<std::string>& ports,
                           std::size_t columns) {
  std::string wrong;
  for (const auto& port : ports) {
    int shown = 0;
    for (const auto& row : screen) {
      if (row.rfind(port + " ", 0) != 0) continue;
      ++shown;
      if (row.size() >= columns) wrong += "a full row: " + row + "\n";
    }
    if (shown != 1) wrong += port + " shown " + std::to_string(shown) + " times\n";
  }
  int totals = 0;
  for (const auto& row : screen) totals += row.rfind("all ports: ", 0) == 0 ? 1 : 0;
  if (totals != 1) wrong += "the station's counters shown " + std::to_string(totals) + " times\n";
  return wrong.empty() ? wrong : wrong + Joined(screen);
}

std::string Words(const std::vector<std::string>& args) {
  std::string text;
  for (const auto& a : args) text += (text.empty() ? "" : " ") + a;
  return text;
}

std::vector<std::string> StationArgs(const std::vector<std::string>& ports) {
  std::vector<std::string> args = {STB_DOWNLOADER_PATH, "--station",    "--code",    "APP103",
                                   "--report",          "report.jsonl", "--log-dir", "logs"};
  for (const auto& p : ports) {
    args.push_back("--port");
    args.push_back(p);
  }
  return args;
}

// The station on an 80-column terminal, looked at while it works: boxes
// under way, one refused, results coming in. Its live lines never wrap and
// never leave a copy behind, and the counters are there as they change.
TEST(StationOnATerminal, EightyColumnsHoldEveryLiveLineOnceAndWhole) {
  if (!TTmux::There()) GTEST_SKIP() << "no tmux here";
  TStation station(40000);
  sim::TBoxConfig paced;
  paced.Bps = 115200;
  sim::TBoxConfig refusing;
  refusing.Identity[1] = 0x33;
  std::vector<std::string> ports = {station.AddBox(paced).DevicePath(), station.AddBox(paced).DevicePath(),
                                    station.AddBox(refusing).DevicePath()};
  TTmux tmux;
  ASSERT_TRUE(tmux.Start(Words(StationArgs(ports)), 80, 30));
  bool sawDownload = false;
  bool sawRefusedCounted = false;
  ASSERT_TRUE(TStation::WaitFor(
      [&] {
        const auto screen = tmux.Screen();
        const std::string text = Joined(screen);
        if (!Contains(text, "all ports: ")) return false;  // not drawn yet
        const std::string wrong = LiveLinesWhole(screen, ports, 80);
        EXPECT_EQ(wrong, "");
        if (!wrong.empty()) return true;
        sawDownload = sawDownload || Contains(text, "% ");
        sawRefusedCounted = sawRefusedCounted || Contains(text, "all ports: 0 upgraded, 1 refused");
        return Contains(text, "all ports: 2 upgraded, 1 refused, 0 failed (0 no response, 0 stopped)");
      },
      30s))
      << Joined(tmux.Screen());
  EXPECT_TRUE(sawDownload);
  EXPECT_TRUE(sawRefusedCounted);
  const std::string text = Joined(tmux.Screen());
  EXPECT_TRUE(Contains(text, ports[0] + ": upgraded (Congraturation! Software Upgrade OK !!!)")) << text;
  EXPECT_TRUE(Contains(text, "last: refused  0 upgraded, 1 refused")) << text;
  // The refused box still waits for its go: taking no box, the station ends.
  tmux.Keys("C-c");
  ASSERT_TRUE(TStation::WaitFor([&] { return tmux.Status() >= 0; }, 10s)) << Joined(tmux.Screen());
  EXPECT_EQ(tmux.Status(), 1);  // one box was refused
  EXPECT_TRUE(Contains(Joined(tmux.Screen()), "  all ports: 2 upgraded, 1 refused, 0 failed"));
}

TEST(StationOnATerminal, AResizedTerminalIsDrawnAnewWithoutCopies) {
  if (!TTmux::There()) GTEST_SKIP() << "no tmux here";
  TStation station(200000);  // about 18 s on the paced line
  sim::TBoxConfig paced;
  paced.Bps = 115200;
  const std::vector<std::string> ports = {station.AddBox(paced).DevicePath(),
                                          station.AddBox(paced).DevicePath()};
  TTmux tmux;
  ASSERT_TRUE(tmux.Start(Words(StationArgs(ports)), 80, 30));
  ASSERT_TRUE(TStation::WaitFor([&] { return Contains(Joined(tmux.Screen()), " download "); }, 10s))
      << Joined(tmux.Screen());
  for (const int columns : {50, 120, 36, 80}) {
    tmux.Resize(columns);
    // Redrawn at once: well before the half-second redraw would come.
    std::this_thread::sleep_for(300ms);
    const auto screen = tmux.Screen();
    EXPECT_EQ(LiveLinesWhole(screen, ports, static_cast<std::size_t>(columns)), "") << columns;
  }
  EXPECT_TRUE(Contains(Joined(tmux.Screen()), "all ports: 0 upgraded, 0 refused, 0 failed"))
      << Joined(tmux.Screen());
}

// --port all with no adapter: the terminal says the station waits for
// one, and Ctrl-C, with nothing under way, ends it at once. The station sees
// a /dev of the test's own, with no serial device in it.
TEST(StationOnATerminal, WithNoAdapterItSaysItWaitsAndCtrlCEndsItAtOnce) {
  if (!TTmux::There()) GTEST_SKIP() << "no tmux here";
  TStation station;
  if (!PrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
  std::filesystem::create_directory("dev");
  TTmux tmux;
  ASSERT_TRUE(tmux.Start(
      "unshare -Urm sh -c 'mount --bind dev /dev && exec \"$@\"' sh " + Words(StationArgs({"all"})), 80, 30));
  ASSERT_TRUE(TStation::WaitFor(
      [&] { return Contains(Joined(tmux.Screen()), "waiting for serial adapters (none yet) ... 0:02"); },
      10s))
      << Joined(tmux.Screen());
  const auto pressed = std::chrono::steady_clock::now();
  tmux.Keys("C-c");
  ASSERT_TRUE(TStation::WaitFor([&] { return tmux.Status() >= 0; }, 5s)) << Joined(tmux.Screen());
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 1500ms);
  EXPECT_EQ(tmux.Status(), 0);
  const std::string text = Joined(tmux.Screen());
  EXPECT_TRUE(Contains(text, "stb-downloader: SIGINT: no upgrade is under way; the station ends.")) << text;
  EXPECT_FALSE(Contains(text, "Interrupt once more")) << text;
  EXPECT_TRUE(Contains(text, "  all ports: 0 upgraded, 0 refused, 0 failed")) << text;
}

// Without a terminal: the same, as lines. A port waiting for its box is no
// upgrade under way either.
TEST(StationOnATerminal, WithoutOneTheWaitAndTheQuickEndAreLines) {
  TStation station;
  auto& box = station.AddBox();
  station.Start({"/nowhere/ttyUSB0", box.DevicePath()});
  // Its interrupts are taken from before it makes its log folder.
  ASSERT_TRUE(TStation::WaitFor([] { return std::filesystem::exists("logs"); }, 5s));
  ASSERT_TRUE(TStation::WaitFor([&] { return !station.PortLog(box.DevicePath()).empty(); }, 5s));
  const auto interrupted = std::chrono::steady_clock::now();
  station.Signal(SIGINT);
  EXPECT_EQ(station.Wait(5s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_TRUE(Contains(Text("stdout.txt"), "SIGINT: no upgrade is under way; the station ends."))
      << Text("stdout.txt");
  std::filesystem::remove_all("logs");

  if (!PrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
  std::filesystem::create_directory("dev");
  station.Start({"all"}, {}, {"unshare", "-Urm", "sh", "-c", "mount --bind dev /dev && exec \"$@\"", "sh"});
  ASSERT_TRUE(
      TStation::WaitFor([] { return Contains(Text("stdout.txt"), "waiting for serial adapters"); }, 5s))
      << Text("stdout.txt");
  const auto sent = std::chrono::steady_clock::now();
  station.Signal(SIGTERM);
  EXPECT_EQ(station.Wait(5s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, 1500ms);
  EXPECT_EQ(Text("stdout.txt"),
            "stb-downloader: waiting for serial adapters (none yet); each is taken on within 5 s of being "
            "plugged in\n"
            "stb-downloader: SIGTERM: no upgrade is under way; the station ends.\n"
            "stb-downloader: station stopped.\n"
            "  all ports: 0 upgraded, 0 refused, 0 failed\n");
}

}  // namespace
}  // namespace stb::app
