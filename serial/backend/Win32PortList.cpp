#include <windows.h>

#include <string>

#include "HostPorts.h"
#include "PortName.h"

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

std::string HostPortName(const std::string& given, std::string& mistake) {
  mistake = ComNameMistake(given);
  return ComPortName(given);
}

std::string PortDevicePath(const std::string& port) {
  const std::string name = ComPortName(port);
  return IsComPortName(name) ? "\\\\.\\" + name : port;
}

bool PortIsThere(const std::string& port) {
  // The system's own name for it, without the "\\.\" that opening needs:
  // a COM name is there for as long as its adapter is plugged in.
  const std::string name = ComPortName(port);
  char target[512];
  if (IsComPortName(name) && QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
  // A device or file named some other way.
  return GetFileAttributesA(port.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace stb::serial
