#include <windows.h>

#include <string>

#include "HostPorts.h"

namespace stb::serial {

std::vector<std::string> ListSerialPorts() {
  // Every COM name the system knows, with the device behind it.
  std::vector<std::string> ports;
  char target[512];
  for (int n = 1; n <= 256; ++n) {
    const std::string name = "COM" + std::to_string(n);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) ports.push_back(name + " -> " + target);
  }
  return ports;
}

std::string PortDevicePath(const std::string& port) {
  if (port.size() < 4) return port;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (upper(port[0]) != 'C' || upper(port[1]) != 'O' || upper(port[2]) != 'M') return port;
  for (std::size_t i = 3; i < port.size(); ++i) {
    if (port[i] < '0' || port[i] > '9') return port;
  }
  return "\\\\.\\" + port;
}

}  // namespace stb::serial
