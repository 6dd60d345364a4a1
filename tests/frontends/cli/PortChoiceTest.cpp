// Devices that are not a box's line: the tool refuses them before it changes
// anything on them. Over the real executable, on a pseudo-terminal that is
// the tool's own terminal.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ChildProcess.h"
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

}  // namespace
}  // namespace stb::app
