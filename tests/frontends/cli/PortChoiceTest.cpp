// Devices that are not a box's line: the tool refuses them before it changes
// anything on them. Over the real executable, on a pseudo-terminal that is
// the tool's own terminal.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <cerrno>

#include "ChildProcess.h"
#include "Console.h"
#include "Headless.h"
#include "PtyPair.h"
#include "ScratchDir.h"

namespace stb::app {
namespace {

using stb::testing::TChildProcess;
using stb::testing::TStdio;

std::string Read(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && cfgetospeed(&a) == cfgetospeed(&b);
}

TEST(PortChoice, TheToolsOwnTerminalIsRefusedAndLeftAsItWas) {
  // By its own name (the terminal the tool's streams are on), and as
  // /dev/tty with the terminal as the session's controlling terminal.
  struct {
    const char* name;
    bool controlling;
  } cases[] = {{"by its name", false}, {"as /dev/tty", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stb::testing::TScratchDir dir;
    stb::testing::TPtyPair terminal;
    termios before{};
    ASSERT_EQ(tcgetattr(terminal.Device(), &before), 0);

    std::vector<std::string> args = {STB_DOWNLOADER_PATH,
                                     "--headless",
                                     "--code",
                                     "APP103",
                                     "--port",
                                     c.controlling ? "/dev/tty" : terminal.DevicePath()};
    // setsid -c makes the terminal on its standard input the new session's.
    if (c.controlling) args.insert(args.begin(), {"setsid", "-w", "-c"});
    TChildProcess tool;
    ASSERT_TRUE(tool.Start(args, {.In = TStdio::Fd(terminal.Device()),
                                  .Out = TStdio::Fd(terminal.Device()),
                                  .Err = TStdio::To("stderr.txt")}))
        << tool.Error();
    EXPECT_EQ(tool.Wait(10000), 4);
    const std::string err = Read("stderr.txt");
    EXPECT_NE(err.find("it is a terminal of this session"), std::string::npos) << err;

    termios after{};
    ASSERT_EQ(tcgetattr(terminal.Device(), &after), 0);
    EXPECT_TRUE(SameSettings(before, after));
    // Not a byte of the wake-up or the announce word reached it.
    EXPECT_EQ(terminal.Receive(64, 200).find('\x1F'), std::string::npos);
  }
}

// The system console as the port listing marks it: the default port is
// never opened there, a port named on the command line is, with a warning.
TEST(PortChoice, TheSystemConsoleIsNoDefaultPortAndANamedOneIsWarnedOf) {
  const std::vector<serial::TPortEntry> ports = {
      {"/dev/ttyS0", "", false, "system console"},
      {"/dev/ttyS1", "", false, "no UART"},
      {"/dev/ttyUSB0", "", false, ""},
      {"/dev/serial/by-id/console-port", "/dev/ttyS0", true, ""},
  };
  EXPECT_EQ(SystemConsoleCheck("/dev/ttyS0", false, ports), TConsolePort::Refuse);
  EXPECT_EQ(SystemConsoleCheck("/dev/ttyS0", true, ports), TConsolePort::Warn);
  EXPECT_EQ(SystemConsoleCheck("/dev/serial/by-id/console-port", true, ports), TConsolePort::Warn);
  EXPECT_EQ(SystemConsoleCheck("/dev/ttyS1", false, ports), TConsolePort::NotConsole);
  EXPECT_EQ(SystemConsoleCheck("/dev/ttyUSB0", false, ports), TConsolePort::NotConsole);
  EXPECT_EQ(SystemConsoleCheck("/dev/ttyS0", false, {}), TConsolePort::NotConsole);
  const std::string refusal = SystemConsoleText("/dev/ttyS0", TConsolePort::Refuse);
  EXPECT_NE(refusal.find("system console"), std::string::npos);
  EXPECT_NE(refusal.find("--list-ports"), std::string::npos);
}

// The whole way out, in this process: the default port (a pseudo-terminal
// here, never the machine's own) reported as the system console is left
// closed, exit 4; the far end hears nothing.
TEST(PortChoice, ARunWithoutPortLeavesTheSystemConsoleClosed) {
  stb::testing::TScratchDir dir;
  stb::testing::TPtyPair line;
  TOptions options;
  options.Headless = true;
  options.Code = "APP103";
  THeadlessSeams seams;
  seams.DefaultPort = line.DevicePath();
  seams.Ports = [&] {
    return std::vector<serial::TPortEntry>{{line.DevicePath(), "", false, "system console"}};
  };
  EXPECT_EQ(RunHeadless(options, seams), kExitNoPort);
  EXPECT_EQ(line.Receive(64, 300), "");
}

// A port that will not open is one line where a log or an event line takes
// it; the console puts the hint on a line of its own.
TEST(PortChoice, APortFailureIsOneLineUnlessTheConsoleAsksForTwo) {
  const int busy = static_cast<int>(serial::TOpenFailure::Busy);
  const std::string line = PortFailureReason("/dev/ttyUSB0", busy, EBUSY);
  EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  EXPECT_NE(line.find(". Another program holds the port"), std::string::npos) << line;
  EXPECT_NE(PortFailureReason("/dev/ttyUSB0", busy, EBUSY, "\n  ").find(":"), std::string::npos);
  EXPECT_EQ(PortFailureReason("/dev/ttyUSB0", busy, EBUSY, "\n  ").find("\n  Another program holds the port"),
            line.find(". Another program holds the port"));
  const std::string own =
      PortFailureReason("/dev/tty", static_cast<int>(serial::TOpenFailure::OwnTerminal), 0);
  EXPECT_EQ(own.find('\n'), std::string::npos) << own;
}

}  // namespace
}  // namespace stb::app
