// The real program under what a terminal, a shell or an operator can do to
// it mid-upgrade: a reader that goes away, a session that hangs up,
// interrupts before and during the image, standard descriptors that come
// closed, a log file that cannot be written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "BoxSim.h"
#include "ChildProcess.h"
#include "ModeTable.h"
#include "ScratchDir.h"

namespace stb::app {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The program with its standard descriptors as a test sets them: -1 leaves
// one closed. One that outlives its time fails the test.
struct TTool {
  stb::testing::TChildProcess process;

  void Start(const std::vector<std::string>& args, int in, int out, int err) {
    std::vector<std::string> all = {STB_DOWNLOADER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    using stb::testing::TStdio;
    ASSERT_TRUE(process.Start(all, {.In = TStdio::Fd(in), .Out = TStdio::Fd(out), .Err = TStdio::Fd(err)}))
        << process.Error();
  }
  void Signal(int sig) const { process.Signal(sig); }
  int Wait(int ms = 20000) { return process.Wait(ms); }
};

int Null() { return open("/dev/null", O_RDWR); }

// A scratch folder with the include file of mode 3 and a paced box, so that
// the image takes a few seconds to go.
struct TRun {
  stb::testing::TScratchDir dir;
  sim::TBoxConfig box;
  std::unique_ptr<sim::TBoxSim> sim;
  TTool tool;
  int err = -1;

  explicit TRun(std::size_t imageBytes = 40 * 1024) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'q'));
    box.Bps = 115200;
  }
  ~TRun() {
    if (err >= 0) close(err);
  }
  void Start(std::vector<std::string> extra, int in, int out, bool logFile = true) {
    sim = std::make_unique<sim::TBoxSim>(box);
    sim->Start();
    err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {"--headless", "--port", sim->DevicePath()};
    if (logFile) args.insert(args.end(), {"--log-file", "run.log"});
    args.insert(args.end(), extra.begin(), extra.end());
    tool.Start(args, in, out, err);
  }
  // Waits until the log file holds `line`.
  bool WaitLogged(const std::string& line, int ms = 10000) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
      if (ReadAll("run.log").find(line) != std::string::npos) return true;
      poll(nullptr, 0, 20);
    }
    return false;
  }
  // Starts the upgrade of mode 3 with nothing on stdin and stdout, and
  // waits until the image goes.
  bool StartImage() {
    const int null = Null();
    Start({"--code", "APP103"}, null, null);
    close(null);
    return WaitLogged("3. Start DownLoad");
  }
  std::string Err() const { return ReadAll("stderr.txt"); }
  std::string Log() const { return ReadAll("run.log"); }
  bool BoxUpgraded() {
    sim->WaitFinished(5000);
    sim->Stop();
    return sim->Summary().End == "done";
  }
};

TEST(Interrupts, AClosedPipeAndAHangUpNeverEndAnUpgrade) {
  TRun run;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const int in = Null();
  run.Start({"--code", "APP103"}, in, pipeFds[1]);
  close(pipeFds[1]);
  close(pipeFds[0]);  // `| head -1` that has had its line
  close(in);
  ASSERT_TRUE(run.WaitLogged("3. Start DownLoad"));
  run.tool.Signal(SIGHUP);  // the ssh session drops
  EXPECT_EQ(run.tool.Wait(), 0) << run.Err();
  EXPECT_TRUE(run.BoxUpgraded());
  EXPECT_NE(run.Log().find("Please Turn Off and On the STB set !!!"), std::string::npos);
}

TEST(Interrupts, TheFirstInterruptDuringTheImageOnlyWarns) {
  TRun run;
  ASSERT_TRUE(run.StartImage());
  run.tool.Signal(SIGINT);
  EXPECT_EQ(run.tool.Wait(), 0) << run.Err();
  EXPECT_TRUE(run.BoxUpgraded());
  EXPECT_EQ(Count(run.Err(), "stopping now can leave it unusable"), 1u) << run.Err();
  EXPECT_EQ(Count(run.Err(), "stopped by"), 0u);
}

TEST(Interrupts, ASecondInterruptStopsAndSaysWhere) {
  TRun run;
  ASSERT_TRUE(run.StartImage());
  run.tool.Signal(SIGTERM);
  poll(nullptr, 0, 1200);  // past the echoes of the first (InterruptRule.h)
  run.tool.Signal(SIGTERM);
  EXPECT_EQ(run.tool.Wait(), 143);
  const std::string where = "stb-downloader: stopped by SIGTERM after \"3. Start DownLoad\", ";
  const std::string err = run.Err();
  EXPECT_NE(err.find(where), std::string::npos) << err;
  EXPECT_NE(err.find(" bytes sent; the box may be left unusable\n"), std::string::npos) << err;
  // The log file's last line says the same, after its time stamp.
  const std::string log = run.Log();
  const std::size_t last = log.rfind('\n', log.size() - 2) + 1;
  EXPECT_EQ(log.substr(last + 24, where.size()), where) << log;
}

TEST(Interrupts, OnePressThatArrivesTwiceIsOneInterrupt) {
  // `timeout 3600 stb-downloader ...`: the terminal signals both, and
  // `timeout` passes its copy on.
  TRun run;
  ASSERT_TRUE(run.StartImage());
  run.tool.Signal(SIGINT);
  run.tool.Signal(SIGINT);
  poll(nullptr, 0, 50);
  for (int i = 0; i < 8; ++i) run.tool.Signal(SIGTERM);  // and a service manager's burst
  EXPECT_EQ(run.tool.Wait(), 0) << run.Err();
  EXPECT_TRUE(run.BoxUpgraded());
  EXPECT_EQ(Count(run.Err(), "stopping now can leave it unusable"), 1u) << run.Err();
  EXPECT_EQ(Count(run.Err(), "stopped by"), 0u);
}

TEST(Interrupts, ATerminalThatHangsUpBeforeTheBoxAnswersEndsTheRun) {
  // The ssh session drops before the operator switched the box on: no
  // orphan may keep the port and upgrade a box later with nobody watching.
  TRun run;
  run.box.SilentFrom = sim::TBoxPhase::Acknowledge;
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  run.sim = std::make_unique<sim::TBoxSim>(run.box);
  run.sim->Start();
  run.err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // A session of its own with the terminal as its controlling one, as a
  // login shell's job has it.
  stb::testing::TChildProcess tool;
  using stb::testing::TStdio;
  ASSERT_TRUE(
      tool.Start({"setsid", "--ctty", "--wait", STB_DOWNLOADER_PATH, "--headless", "--port",
                  run.sim->DevicePath(), "--code", "APP103", "--log-file", "run.log"},
                 {.In = TStdio::Fd(terminal), .Out = TStdio::Fd(terminal), .Err = TStdio::Fd(run.err)}))
      << tool.Error();
  close(terminal);
  ASSERT_TRUE(run.WaitLogged("The Download Address is"));
  char drain[4096];
  pollfd readable{master, POLLIN, 0};
  while (poll(&readable, 1, 0) > 0 && read(master, drain, sizeof drain) > 0) {
  }
  close(master);  // the terminal hangs up
  EXPECT_EQ(tool.Wait(5000), 128 + SIGHUP) << run.Err();
  const std::string log = run.Log();
  EXPECT_NE(log.find("stb-downloader: stopped by SIGHUP after \""), std::string::npos) << log;
  EXPECT_NE(log.find("; nothing of the image was sent\n"), std::string::npos) << log;
}

TEST(Interrupts, BeforeTheImageAnInterruptEndsAtOnceAndPutsTheTerminalBack) {
  TRun run;
  run.box.SilentFrom = sim::TBoxPhase::Acknowledge;
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  termios before{};
  ASSERT_EQ(tcgetattr(terminal, &before), 0);
  ASSERT_TRUE(before.c_lflag & ECHO);
  const int null = Null();
  run.Start({}, terminal, null);  // the code is typed, so nothing is echoed meanwhile
  close(null);
  // Wait for the program to take the terminal, then press Ctrl+\.
  termios now{};
  for (int i = 0; i < 250 && tcgetattr(terminal, &now) == 0 && (now.c_lflag & ECHO); ++i)
    poll(nullptr, 0, 20);
  ASSERT_FALSE(now.c_lflag & ECHO);
  ASSERT_EQ(write(master, "APP1", 4), 4);
  poll(nullptr, 0, 200);
  run.tool.Signal(SIGQUIT);
  EXPECT_EQ(run.tool.Wait(5000), 128 + SIGQUIT);
  ASSERT_EQ(tcgetattr(terminal, &now), 0);
  EXPECT_TRUE(now.c_lflag & ECHO);
  EXPECT_TRUE(now.c_lflag & ICANON);
  EXPECT_NE(
      run.Err().find(
          "stb-downloader: stopped by SIGQUIT before a mode was chosen; nothing of the image was sent\n"),
      std::string::npos)
      << run.Err();
  close(master);
  close(terminal);
}

TEST(StandardDescriptors, ClosedOnesNeverBecomeThePort) {
  {
    // `>&-`: the log text must not go to the box.
    TRun run(3000);
    run.box.Bps = 0;
    const int null = Null();
    run.Start({"--code", "APP103"}, null, -1, false);
    close(null);
    EXPECT_EQ(run.tool.Wait(), 0) << run.Err();
    EXPECT_TRUE(run.BoxUpgraded());
  }
  {
    // `<&-`: the box's bytes must not be read as the typed code; standard
    // input is simply empty.
    TRun run(3000);
    run.box.Bps = 0;
    const int null = Null();
    run.Start({}, -1, null, false);
    close(null);
    EXPECT_EQ(run.tool.Wait(5000), 2);
    EXPECT_NE(run.Err().find("standard input ended before a mode code was typed"), std::string::npos)
        << run.Err();
  }
}

TEST(LogFile, AFailedWriteIsSaidOnceAndAFileThatCannotBeOpenedIsRefused) {
  TRun run(3000);
  run.box.Bps = 0;
  const int null = Null();
  run.sim = std::make_unique<sim::TBoxSim>(run.box);
  run.sim->Start();
  run.err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  run.tool.Start(
      {"--headless", "--port", run.sim->DevicePath(), "--code", "APP103", "--log-file", "/dev/full"}, null,
      null, run.err);
  close(null);
  EXPECT_EQ(run.tool.Wait(), 0) << run.Err();
  EXPECT_TRUE(run.BoxUpgraded());
  EXPECT_EQ(Count(run.Err(), "stb-downloader: cannot write the log file /dev/full: No space left on device"),
            1u)
      << run.Err();

  // One that cannot even be opened is refused before the port is.
  TTool refused;
  const int err = open("refused.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  refused.Start({"--headless", "--port", "/dev/does-not-exist-stb", "--code", "APP103", "--log-file",
                 "no/such/run.log"},
                -1, -1, err);
  close(err);
  EXPECT_EQ(refused.Wait(), 2);
  EXPECT_EQ(ReadAll("refused.txt"),
            "stb-downloader: cannot write the log file no/such/run.log: No such file or directory\n");
}

}  // namespace
}  // namespace stb::app
