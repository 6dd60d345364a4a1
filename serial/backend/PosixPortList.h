// The Linux port listing, with the root of the file system it looks in as a
// parameter: "/" for the machine, a folder laid out like it for a test, so
// that no test needs (or touches) the machine's own serial devices.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <vector>

#include "HostPorts.h"

namespace stb::serial::posix {

// What ListSerialPortEntries() gives, read under `root`: /dev/ttyS*,
// /dev/ttyUSB*, /dev/ttyACM*, then each /dev/serial/by-id name with the
// device it links to. Names are given as the machine sees them, from "/".
// Left out of `--port all`: the consoles the kernel names in
// sys/class/tty/console/active, a ttyS whose sysfs type is 0 (a node the
// kernel keeps for a port with no UART), and a device that a process other
// than `self` holds open (proc/PID/fd). No device is opened: a UART's driver
// raises DTR and RTS on every open, and the box or the system console
// behind one must not see that.
std::vector<TPortEntry> ListSerialPortsUnder(const std::filesystem::path& root, pid_t self);

}  // namespace stb::serial::posix
