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

}  // namespace stb::serial
