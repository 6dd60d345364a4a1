// Windows: --list-ports names every COM port the system knows, with the
// device behind it. Under Wine only the null-modem cable's two ends are
// mapped by the test (tools/wine-tests.sh); Wine numbers any serial device
// of the machine after them, and listing opens none of them.
#include <gtest/gtest.h>
#include <cstdio>
#include <regex>

#include "HostPorts.h"

namespace stb::serial {
namespace {

TEST(PortList, EveryComNameWithTheDeviceBehindIt) {
  const auto ports = ListSerialPorts();
  for (const auto& port : ports) std::printf("  %s\n", port.c_str());
  ASSERT_GE(ports.size(), 2u);
  EXPECT_EQ(ports[0].rfind("COM1 -> ", 0), 0u) << ports[0];
  EXPECT_EQ(ports[1].rfind("COM2 -> ", 0), 0u) << ports[1];
  for (const auto& port : ports) {
    EXPECT_TRUE(std::regex_match(port, std::regex(R"(COM[1-9][0-9]* -> \S.*)"))) << port;
  }
}

}  // namespace
}  // namespace stb::serial
