#include "HostPorts.h"

namespace stb::serial {

std::string PortListLine(const TPortEntry& entry) {
  std::string line = entry.Name;
  if (!entry.Target.empty()) line += " -> " + entry.Target;
  if (!entry.LeftOut.empty()) line += "  (left out of --port all: " + entry.LeftOut + ")";
  return line;
}

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> lines;
  for (const auto& entry : ListSerialPortEntries()) lines.push_back(PortListLine(entry));
  return lines;
}

}  // namespace stb::serial
