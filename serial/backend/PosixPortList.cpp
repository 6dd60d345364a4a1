#include "PosixPortList.h"

#include <algorithm>
#include <fstream>

#include "HostPorts.h"

namespace stb::serial {

namespace posix {

namespace {

namespace fs = std::filesystem;

// The kernel keeps ttyS nodes for ports that have no UART; their sysfs type
// is 0 (PORT_UNKNOWN). A port whose type cannot be read is listed rather
// than hidden.
bool HasUart(const fs::path& root, const std::string& name) {
  std::ifstream type(root / "sys/class/tty" / name / "type");
  int value = -1;
  return !(type >> value) || value != 0;
}

// A path under root as the machine names it.
std::string AsSeen(const fs::path& path, const fs::path& root) {
  return "/" + path.lexically_relative(root).generic_string();
}

}  // namespace

std::vector<std::string> ListSerialPortsUnder(const fs::path& root) {
  std::vector<std::string> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root / "dev", ec)) {
    const std::string name = entry.path().filename().string();
    const bool uart = name.rfind("ttyS", 0) == 0;
    if (!uart && name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0) continue;
    if (uart && !HasUart(root, name)) continue;
    ports.push_back("/dev/" + name);
  }
  std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  // Resolved within root; a link to a device that is gone shows where it points.
  const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
  std::vector<std::string> byId;
  for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
    std::error_code linkError;
    const fs::path target = fs::weakly_canonical(entry.path(), linkError);
    byId.push_back(AsSeen(entry.path(), root) + " -> " + (linkError ? "?" : AsSeen(target, canonicalRoot)));
  }
  std::sort(byId.begin(), byId.end());
  ports.insert(ports.end(), byId.begin(), byId.end());
  return ports;
}

}  // namespace posix

std::vector<std::string> ListSerialPorts() { return posix::ListSerialPortsUnder("/"); }

std::string PortDevicePath(const std::string& port) { return port; }

}  // namespace stb::serial
