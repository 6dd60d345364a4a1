#include "HostPorts.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace stb::serial {

namespace {

// The kernel keeps ttyS nodes for ports that have no UART; they answer the
// serial-info query with an unknown port type.
bool HasUart(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;  // cannot look: list it rather than hide it
  serial_struct info{};
  const bool known = ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
  close(fd);
  return known;
}

}  // namespace

std::vector<std::string> ListSerialPorts() {
  namespace fs = std::filesystem;
  std::vector<std::string> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    const bool uart = name.rfind("ttyS", 0) == 0;
    if (!uart && name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0) continue;
    if (uart && !HasUart(entry.path().string())) continue;
    ports.push_back(entry.path().string());
  }
  std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  std::vector<std::string> byId;
  for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
    byId.push_back(entry.path().string() + " -> " + fs::canonical(entry.path(), ec).string());
  }
  std::sort(byId.begin(), byId.end());
  ports.insert(ports.end(), byId.begin(), byId.end());
  return ports;
}

std::string PortDevicePath(const std::string& port) { return port; }

}  // namespace stb::serial
