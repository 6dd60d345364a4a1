// The port as the operator names it on Windows, and as it is opened.
#pragma once

#include <string>

namespace stb::winui {

// "COM1" opens only COM1 to COM9 on Windows; "\\.\COM1" opens every number.
// A bare COM name is given its device prefix, anything else stays as it is.
inline std::string DevicePathOfPort(const std::string& port) {
  if (port.size() < 4) return port;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (upper(port[0]) != 'C' || upper(port[1]) != 'O' || upper(port[2]) != 'M') return port;
  for (std::size_t i = 3; i < port.size(); ++i) {
    if (port[i] < '0' || port[i] > '9') return port;
  }
  return "\\\\.\\" + port;
}

}  // namespace stb::winui
