// Linux: --list-ports over a folder laid out like the machine's /dev and
// /sys, so that no real serial device is looked at, let alone opened.
#include <gtest/gtest.h>

#include <filesystem>

#include "PosixPortList.h"
#include "ScratchDir.h"

namespace stb::serial {
namespace {

namespace fs = std::filesystem;

TEST(PortList, SerialDevicesOnlyUartsThatExistAndTheStableNamesLast) {
  testing::TScratchDir root;
  for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyACM0", "ttyUSB1", "tty0",
                           "tty", "console", "ttyprintk", "ptmx", "null"}) {
    root.Write(std::string("dev/") + node, "");
  }
  // ttyS1 is a node the kernel keeps for a port with no UART behind it;
  // ttyS2's type cannot be read, so it is listed rather than hidden.
  root.Write("sys/class/tty/ttyS0/type", "4\n");
  root.Write("sys/class/tty/ttyS1/type", "0\n");
  root.Write("sys/class/tty/ttyS10/type", "4\n");
  root.Write("sys/class/tty/ttyUSB0/type", "0\n");  // only a ttyS is judged by it
  fs::create_directories(root.Path() / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB1", root.Path() / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  fs::create_symlink("../../ttyACM0", root.Path() / "dev/serial/by-id/usb-Prolific-if00");

  EXPECT_EQ(posix::ListSerialPortsUnder(root.Path()),
            (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyACM0",
                                      "/dev/ttyUSB0", "/dev/ttyUSB1",
                                      "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0 -> /dev/ttyUSB1",
                                      "/dev/serial/by-id/usb-Prolific-if00 -> /dev/ttyACM0"}));
}

TEST(PortList, AMachineWithoutSerialDevicesListsNone) {
  testing::TScratchDir root;
  root.Write("dev/tty0", "");
  EXPECT_TRUE(posix::ListSerialPortsUnder(root.Path()).empty());
  EXPECT_TRUE(posix::ListSerialPortsUnder(root.Path() / "nowhere").empty());
}

}  // namespace
}  // namespace stb::serial
