// The helper every test that runs a real program waits with: a hang must
// fail the test and leave no process behind, and the child must see only
// the descriptors and environment it was given.
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "ScratchDir.h"

namespace stb::testing {
namespace {

std::string Text(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

TEST(ChildProcess, AHangFailsTheTestAndLeavesNoProcess) {
  TChildProcess child;
  ASSERT_TRUE(child.Start({"sleep", "10"})) << child.Error();
  const pid_t pid = child.Pid();
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  EXPECT_NONFATAL_FAILURE(status = child.Wait(200), "did not end within 200 ms; killed");
  EXPECT_EQ(status, TChildProcess::kHung);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(child.Running());
  // Reaped as well as killed: the number names no process any more.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);

  // A benchmark's own handler is told instead.
  std::string told;
  TChildProcess bench([&](const std::string& program, int ms) { told = program + " " + std::to_string(ms); });
  ASSERT_TRUE(bench.Start({"sleep", "10"}));
  EXPECT_EQ(bench.Wait(100), TChildProcess::kHung);
  EXPECT_NE(told.find("sleep 100"), std::string::npos) << told;
}

TEST(ChildProcess, ExitStatusesAndSignals) {
  TChildProcess child;
  ASSERT_TRUE(child.Start({"sh", "-c", "exit 3"}));
  EXPECT_EQ(child.Wait(5000), 3);
  ASSERT_TRUE(child.Start({"sleep", "10"}));
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(5000), 128 + SIGTERM);
  child.Signal(SIGTERM);  // ended and reaped: nothing is sent
  // A signal this process ignores is the child's to take again.
  signal(SIGINT, SIG_IGN);
  ASSERT_TRUE(child.Start({"sleep", "10"}));
  signal(SIGINT, SIG_DFL);
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(5000), 128 + SIGINT);

  EXPECT_FALSE(child.Start({"/no/such/program"}));
  EXPECT_NE(child.Error().find("No such file or directory"), std::string::npos) << child.Error();
  EXPECT_FALSE(child.Start({"sh"}, {.In = TStdio::From("/no/such/input")}));
  EXPECT_NE(child.Error().find("/no/such/input"), std::string::npos) << child.Error();
}

TEST(ChildProcess, StreamsEnvironmentAndNothingElseOfOurs) {
  TScratchDir dir;
  dir.Write("in.txt", "typed\n");
  // A descriptor of ours the child must not hold: a pipe's end held there
  // keeps its reader from ever seeing the end.
  int leaked[2];
  ASSERT_EQ(pipe(leaked), 0);
  TChildProcess child;
  ASSERT_TRUE(child.Start({"sh", "-c", "cat; echo \"$STB_CHILD_TEST\" >&2; ls /proc/$$/fd"},
                          {.In = TStdio::From("in.txt"),
                           .Out = TStdio::To("out.txt"),
                           .Err = TStdio::To("err.txt"),
                           .Env = {"STB_CHILD_TEST=given"}}))
      << child.Error();
  EXPECT_EQ(child.Wait(5000), 0);
  EXPECT_EQ(Text("out.txt"), "typed\n0\n1\n2\n");
  EXPECT_EQ(Text("err.txt"), "given\n");
  close(leaked[0]);
  close(leaked[1]);

  // Closed ones stay closed; a caller's descriptor is passed as it is.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ASSERT_TRUE(
      child.Start({"sh", "-c", "ls /proc/$$/fd"}, {.In = TStdio::Closed(), .Out = TStdio::Fd(pipeFds[1])}));
  close(pipeFds[1]);
  EXPECT_EQ(child.Wait(5000), 0);
  char listed[16] = {};
  EXPECT_EQ(read(pipeFds[0], listed, sizeof listed - 1), 4);
  EXPECT_STREQ(listed, "1\n2\n");
  close(pipeFds[0]);
}

}  // namespace
}  // namespace stb::testing
