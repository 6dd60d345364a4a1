// The operator presses Ctrl-S once the image is going, and keeps the
// terminal stopped far longer than a box waits for its next block: the real
// program, on the console and as a station of three boxes, must go on
// sending at line speed, and everything it had to say must come out once
// the terminal is let go.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "BoxSim.h"
#include "ChildProcess.h"
#include "ScratchDir.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;
using stb::testing::TChildProcess;
using stb::testing::TStdio;

constexpr std::uint32_t kBps = 115200;
constexpr std::size_t kImageBytes = 64 * 1024;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A terminal with flow control on, as a login has it; the test is its user
// and reads everything it shows.
class TTerminal {
 public:
  TTerminal() {
    EXPECT_EQ(openpty(&master_, &device_, nullptr, nullptr, nullptr), 0);
    termios t{};
    tcgetattr(device_, &t);
    t.c_iflag |= IXON;
    t.c_iflag &= ~static_cast<tcflag_t>(IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // line ends as the program wrote them
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(device_, TCSANOW, &t);
    reader_ = std::thread([this] { Read(); });
  }
  ~TTerminal() {
    Resume();
    done_ = true;
    reader_.join();
    ::close(device_);
    ::close(master_);
  }

  int Device() const { return device_; }
  void Stop() { Type("\x13"); }    // Ctrl-S
  void Resume() { Type("\x11"); }  // Ctrl-Q
  std::string Shown() {
    const std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  void Type(const char* c) { EXPECT_EQ(::write(master_, c, 1), 1); }
  void Read() {
    while (!done_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      const std::lock_guard lock(mutex_);
      shown_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  int master_ = -1;
  int device_ = -1;
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::string shown_;
  std::thread reader_;
};

// A scratch folder with the application include file and its image, and
// boxes on lines paced at kBps that keep what they received.
struct TBench {
  stb::testing::TScratchDir dir;
  std::string image = std::string(kImageBytes, 'q');
  std::vector<std::unique_ptr<sim::TBoxSim>> boxes;
  TTerminal terminal;
  TChildProcess program;

  TBench() {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 % 251);
    dir.Write("image.bin", image);
  }
  ~TBench() {
    program.Signal(SIGKILL);
    program.Wait(5000);
    for (auto& b : boxes) b->Stop();
  }
  void AddBoxes(int n) {
    for (int i = 0; i < n; ++i) {
      sim::TBoxConfig paced;
      paced.Bps = kBps;
      paced.KeepImage = true;
      boxes.push_back(std::make_unique<sim::TBoxSim>(paced));
      boxes.back()->Start();
    }
  }
  void Start(std::vector<std::string> args) {
    args.insert(args.begin(), STB_DOWNLOADER_PATH);
    const TStdio tty = TStdio::Fd(terminal.Device());
    ASSERT_TRUE(program.Start(args, {.In = TStdio::Null(), .Out = tty, .Err = tty})) << program.Error();
  }
  // Every box took the whole image, at the pace of its line: a tool held up
  // by its terminal would have left gaps between the blocks (or never got
  // to the end while the terminal was stopped).
  void ExpectEveryBoxUpgradedAtLineSpeed() {
    const double lineMs = (kImageBytes + kImageBytes / 1024 * 4.0) * 10 * 1000 / kBps;
    for (auto& box : boxes) {
      SCOPED_TRACE(box->DevicePath());
      ASSERT_TRUE(box->WaitFinished(static_cast<int>(lineMs) * 2 + 8000)) << "the box was left waiting";
      const auto& summary = box->Summary();
      EXPECT_EQ(summary.End, "done");
      EXPECT_EQ(std::string(summary.Image.begin(), summary.Image.end()), image);
      EXPECT_LT(summary.BlockPhaseMs, lineMs * 1.5 + 500);
    }
  }
  std::vector<std::string> PortLog(const std::string& device) const {
    std::string name = device.substr(5);
    std::replace(name.begin(), name.end(), '/', '_');
    std::error_code none;
    for (const auto& e : std::filesystem::directory_iterator("logs", none)) {
      if (e.path().filename().string().rfind(name + "-", 0) != 0) continue;
      std::ifstream in(e.path());
      std::vector<std::string> lines;
      for (std::string l; std::getline(in, l);) lines.push_back(l.size() > 24 ? l.substr(24) : "");
      return lines;
    }
    return {};
  }
};

TEST(StoppedTerminal, TheConsoleGoesOnSendingAndSaysEverythingOnceLetGo) {
  TBench bench;
  bench.AddBoxes(1);
  bench.Start({"--headless", "--code", "APP103", "--port", bench.boxes[0]->DevicePath(), "--response-timeout",
               "0.7"});
  ASSERT_TRUE(WaitFor([&] { return Count(bench.terminal.Shown(), "3. Start DownLoad") > 0; }, 10s));
  bench.terminal.Stop();
  bench.ExpectEveryBoxUpgradedAtLineSpeed();

  bench.terminal.Resume();
  EXPECT_EQ(bench.program.Wait(10000), 0);
  // Every line, in the order the upgrade said them, on stdout and stderr
  // as a person reads them.
  ASSERT_TRUE(WaitFor([&] { return Count(bench.terminal.Shown(), "[message]") > 0; }, 2s));
  const std::string shown = bench.terminal.Shown();
  std::size_t at = 0;
  for (const char* line :
       {"3. Start DownLoad\n", "4. DownLoad OK\n", "5. Ram Image CRC OK\n", "6. Flash Image CRC OK\n",
        "7. Update Version Table OK\n", "Please Turn Off and On the STB set !!!\n",
        "[message] Congraturation! Software Upgrade OK !!!!\n"}) {
    const auto found = shown.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " after " << at << " in:\n" << shown;
    at = found;
  }
  EXPECT_EQ(Count(shown, "dropped"), 0u);
}

TEST(StoppedTerminal, AStationOfThreeBoxesGoesOnAndItsInterruptIsTaken) {
  TBench bench;
  bench.AddBoxes(3);
  std::vector<std::string> args = {"--station",    "--code",    "APP103", "--report",
                                   "report.jsonl", "--log-dir", "logs",   "--response-timeout",
                                   "0.7"};
  for (const auto& box : bench.boxes) {
    args.push_back("--port");
    args.push_back(box->DevicePath());
  }
  bench.Start(args);
  for (const auto& box : bench.boxes) {
    ASSERT_TRUE(WaitFor(
        [&] {
          const auto log = bench.PortLog(box->DevicePath());
          return std::find(log.begin(), log.end(), "3. Start DownLoad") != log.end();
        },
        10s));
  }
  bench.terminal.Stop();
  bench.ExpectEveryBoxUpgradedAtLineSpeed();

  bench.terminal.Resume();
  EXPECT_TRUE(WaitFor([&] { return Count(bench.terminal.Shown(), ": upgraded (") == 3; }, 5s))
      << bench.terminal.Shown();

  // Stopped again, the station still takes its interrupt and ends: what it
  // had left to show is given up after a few seconds.
  bench.terminal.Stop();
  std::this_thread::sleep_for(600ms);
  const auto sent = std::chrono::steady_clock::now();
  bench.program.Signal(SIGINT);
  EXPECT_EQ(bench.program.Wait(15000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, 5s);
  std::ifstream report("report.jsonl");
  std::string all((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Count(all, "\"result\":\"upgraded\""), 3u) << all;
}

TEST(StoppedTerminal, BothInterruptsAreTakenWhileItIsStopped) {
  TBench bench;
  bench.AddBoxes(1);
  bench.Start({"--headless", "--code", "APP103", "--port", bench.boxes[0]->DevicePath(), "--response-timeout",
               "0.7", "--log-file", "run.log"});
  ASSERT_TRUE(WaitFor([&] { return Count(bench.terminal.Shown(), "3. Start DownLoad") > 0; }, 10s));
  bench.terminal.Stop();
  std::this_thread::sleep_for(300ms);
  bench.program.Signal(SIGINT);  // only warns: the box is taking the image
  // Past the second in which another interrupt counts as the same press.
  std::this_thread::sleep_for(1200ms);
  const auto sent = std::chrono::steady_clock::now();
  bench.program.Signal(SIGINT);
  EXPECT_EQ(bench.program.Wait(10000), 128 + SIGINT);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, 3s);
  std::ifstream log("run.log");
  const std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Count(all, "stopped by SIGINT after \"3. Start DownLoad\", "), 1u) << all;
}

// A pipe whose reader stopped reading, already full when the program starts.
TEST(StoppedTerminal, APipeNobodyReadsHoldsUpNoBox) {
  TBench bench;
  bench.AddBoxes(1);
  int pipeFds[2] = {-1, -1};
  ASSERT_EQ(::pipe(pipeFds), 0);
  // Filled through a description of its own, so the program's stays blocking.
  const int filler = ::open(("/proc/self/fd/" + std::to_string(pipeFds[1])).c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(filler, 0);
  const std::string block(4096, '.');
  while (::write(filler, block.data(), block.size()) > 0) {
  }
  ::close(filler);
  std::vector<std::string> args = {
      STB_DOWNLOADER_PATH,          "--headless",         "--code", "APP103", "--port",
      bench.boxes[0]->DevicePath(), "--response-timeout", "0.7"};
  ASSERT_TRUE(bench.program.Start(
      args, {.In = TStdio::Null(), .Out = TStdio::Fd(pipeFds[1]), .Err = TStdio::Fd(pipeFds[1])}));
  bench.ExpectEveryBoxUpgradedAtLineSpeed();
  // What it could not say is given up after a few seconds: the exit never
  // waits for a reader.
  EXPECT_EQ(bench.program.Wait(10000), 0);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
}

}  // namespace
}  // namespace stb::app
