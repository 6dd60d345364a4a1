// Linux: --list-ports over a folder laid out like the machine's /dev and
// /sys, so that no real serial device is looked at, let alone opened.
#include <gtest/gtest.h>

#include <filesystem>

#include "PosixPortList.h"
#include "ScratchDir.h"

namespace stb::serial {
namespace {

namespace fs = std::filesystem;

constexpr pid_t kSelf = 4242;

std::vector<std::string> Lines(const std::vector<TPortEntry>& entries) {
  std::vector<std::string> lines;
  for (const auto& entry : entries) lines.push_back(PortListLine(entry));
  return lines;
}

std::vector<std::string> ForEveryPort(const std::vector<TPortEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    if (entry.ForEveryPort()) names.push_back(entry.Name);
  }
  return names;
}

TEST(PortList, SerialDevicesInOrderWithTheStableNamesLast) {
  testing::TScratchDir root;
  for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyACM0", "ttyUSB1", "tty0",
                           "tty", "console", "ttyprintk", "ptmx", "null"}) {
    root.Write(std::string("dev/") + node, "");
  }
  // ttyS1 is a node the kernel keeps for a port with no UART behind it;
  // ttyS2's type cannot be read, so it is taken to have one.
  root.Write("sys/class/tty/ttyS0/type", "4\n");
  root.Write("sys/class/tty/ttyS1/type", "0\n");
  root.Write("sys/class/tty/ttyS10/type", "4\n");
  root.Write("sys/class/tty/ttyUSB0/type", "0\n");  // only a ttyS is judged by it
  fs::create_directories(root.Path() / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB1", root.Path() / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  fs::create_symlink("../../ttyACM0", root.Path() / "dev/serial/by-id/usb-Prolific-if00");

  const auto entries = posix::ListSerialPortsUnder(root.Path(), kSelf);
  EXPECT_EQ(Lines(entries), (std::vector<std::string>{
                                "/dev/ttyS0", "/dev/ttyS1  (left out of --port all: no UART)", "/dev/ttyS2",
                                "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0 -> /dev/ttyUSB1",
                                "/dev/serial/by-id/usb-Prolific-if00 -> /dev/ttyACM0"}));
  // Each device once, by its own name.
  EXPECT_EQ(ForEveryPort(entries),
            (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyACM0",
                                      "/dev/ttyUSB0", "/dev/ttyUSB1"}));
}

TEST(PortList, TheSystemConsoleAndPortsOthersHoldAreMarkedAndLeftOutOfAll) {
  testing::TScratchDir root;
  for (const char* node : {"ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyUSB2"}) {
    root.Write(std::string("dev/") + node, "");
  }
  root.Write("sys/class/tty/ttyS0/type", "4\n");
  root.Write("sys/class/tty/ttyS1/type", "4\n");
  // The kernel writes its messages to ttyS0 and the first virtual console.
  root.Write("sys/class/tty/console/active", "ttyS0 tty0\n");
  // A terminal program holds ttyUSB0; this program itself holds ttyUSB1 (a
  // station's own port is no other program's).
  root.Write("proc/1234/comm", "minicom\n");
  fs::create_directories(root.Path() / "proc/1234/fd");
  fs::create_symlink("/dev/ttyUSB0", root.Path() / "proc/1234/fd/3");
  fs::create_symlink("/dev/null", root.Path() / "proc/1234/fd/0");
  fs::create_directories(root.Path() / ("proc/" + std::to_string(kSelf) + "/fd"));
  fs::create_symlink("/dev/ttyUSB1", root.Path() / ("proc/" + std::to_string(kSelf) + "/fd/7"));
  fs::create_directories(root.Path() / "proc/sys");

  const auto entries = posix::ListSerialPortsUnder(root.Path(), kSelf);
  EXPECT_EQ(Lines(entries), (std::vector<std::string>{
                                "/dev/ttyS0  (left out of --port all: system console)",
                                "/dev/ttyS1",
                                "/dev/ttyUSB0  (left out of --port all: held by minicom (pid 1234))",
                                "/dev/ttyUSB1",
                                "/dev/ttyUSB2",
                            }));
  EXPECT_EQ(ForEveryPort(entries), (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyUSB1", "/dev/ttyUSB2"}));
}

TEST(PortList, AMachineWithoutSerialDevicesListsNone) {
  testing::TScratchDir root;
  root.Write("dev/tty0", "");
  EXPECT_TRUE(posix::ListSerialPortsUnder(root.Path(), kSelf).empty());
  EXPECT_TRUE(posix::ListSerialPortsUnder(root.Path() / "nowhere", kSelf).empty());
}

}  // namespace
}  // namespace stb::serial
