#include "PosixPortList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace stb::serial {

namespace posix {

namespace {

namespace fs = std::filesystem;

// The kernel keeps ttyS nodes for ports that have no UART; their sysfs type
// is 0 (PORT_UNKNOWN). A port whose type cannot be read is taken to have one.
bool HasUart(const fs::path& root, const std::string& name) {
  std::ifstream type(root / "sys/class/tty" / name / "type");
  int value = -1;
  return !(type >> value) || value != 0;
}

// The terminals the kernel writes its console to ("ttyS0 tty0"): a box on
// one of them would be sent the kernel's messages, and the console the
// station's wake-up bytes.
std::set<std::string> Consoles(const fs::path& root) {
  std::ifstream active(root / "sys/class/tty/console/active");
  std::set<std::string> names;
  for (std::string name; active >> name;) names.insert(name);
  return names;
}

// Who holds each device open: "/dev/NAME" to "PROGRAM (pid N)", from every
// process's descriptors that this user may look at. A device held by a
// process we may not see is found busy when it is opened, as before.
std::map<std::string, std::string> Holders(const fs::path& root, pid_t self) {
  std::map<std::string, std::string> holders;
  std::error_code ec;
  for (const auto& process : fs::directory_iterator(root / "proc", ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    if (pid == std::to_string(self)) continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      const std::string device = fs::read_symlink(fd.path(), linkError).string();
      if (linkError || device.rfind("/dev/tty", 0) != 0 || holders.count(device)) continue;
      std::string program;
      std::getline(std::ifstream(process.path() / "comm"), program);
      holders[device] =
          "held by " + (program.empty() ? std::string("a program") : program) + " (pid " + pid + ")";
    }
  }
  return holders;
}

// A path under root as the machine names it.
std::string AsSeen(const fs::path& path, const fs::path& root) {
  return "/" + path.lexically_relative(root).generic_string();
}

}  // namespace

std::vector<TPortEntry> ListSerialPortsUnder(const fs::path& root, pid_t self) {
  const std::set<std::string> consoles = Consoles(root);
  const std::map<std::string, std::string> holders = Holders(root, self);
  std::vector<TPortEntry> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root / "dev", ec)) {
    const std::string name = entry.path().filename().string();
    const bool uart = name.rfind("ttyS", 0) == 0;
    if (!uart && name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0) continue;
    TPortEntry port;
    port.Name = "/dev/" + name;
    if (consoles.count(name)) {
      port.LeftOut = "system console";
    } else if (uart && !HasUart(root, name)) {
      port.LeftOut = "no UART";
    } else if (const auto holder = holders.find(port.Name); holder != holders.end()) {
      port.LeftOut = holder->second;
    }
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(), [](const TPortEntry& a, const TPortEntry& b) {
    return a.Name.size() != b.Name.size() ? a.Name.size() < b.Name.size() : a.Name < b.Name;
  });
  // Resolved within root; a link to a device that is gone shows where it points.
  const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
  std::vector<TPortEntry> byId;
  for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
    std::error_code linkError;
    const fs::path target = fs::weakly_canonical(entry.path(), linkError);
    TPortEntry name;
    name.Name = AsSeen(entry.path(), root);
    name.Target = linkError ? "?" : AsSeen(target, canonicalRoot);
    name.Alias = true;
    byId.push_back(std::move(name));
  }
  std::sort(byId.begin(), byId.end(),
            [](const TPortEntry& a, const TPortEntry& b) { return a.Name < b.Name; });
  ports.insert(ports.end(), byId.begin(), byId.end());
  return ports;
}

}  // namespace posix

std::vector<TPortEntry> ListSerialPortEntries() { return posix::ListSerialPortsUnder("/", ::getpid()); }

std::string HostPortName(const std::string& given, std::string&) { return given; }

std::string PortDevicePath(const std::string& port) { return port; }

bool PortIsThere(const std::string& port) {
  struct stat st {};
  return ::stat(port.c_str(), &st) == 0;
}

}  // namespace stb::serial
