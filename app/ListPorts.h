#pragma once

#include <string>
#include <vector>

namespace stb::app {

// The serial devices of this machine, one a line: /dev/ttyS* that have a
// UART behind them, /dev/ttyUSB*, /dev/ttyACM*, and the /dev/serial/by-id
// names (with the device each names).
std::vector<std::string> ListSerialPorts();

}  // namespace stb::app
