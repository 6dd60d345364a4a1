#include <windows.h>

#include <string>

#include "HostPorts.h"

namespace stb::serial {

std::vector<TPortEntry> ListSerialPortEntries() {
  // Every COM name the system knows, with the device behind it.
  std::vector<TPortEntry> ports;
  char target[512];
  for (int n = 1; n <= 256; ++n) {
    TPortEntry port;
    port.Name = "COM" + std::to_string(n);
    if (QueryDosDeviceA(port.Name.c_str(), target, sizeof target) == 0) continue;
    port.Target = target;
    ports.push_back(std::move(port));
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

bool PortIsThere(const std::string& port) {
  // The system's own name for it, without the "\\.\" that opening needs:
  // a COM name is there for as long as its adapter is plugged in.
  const std::string name = port.rfind("\\\\.\\", 0) == 0 ? port.substr(4) : port;
  char target[512];
  if (!name.empty() && QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
  // A device or file named some other way.
  return GetFileAttributesA(port.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace stb::serial
