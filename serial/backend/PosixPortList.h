// The Linux port listing, with the root of the file system it looks in as a
// parameter: "/" for the machine, a folder laid out like it for a test, so
// that no test needs (or touches) the machine's own serial devices.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace stb::serial::posix {

// What ListSerialPorts() gives, read under `root`: the /dev/ttyS* whose
// sysfs entry (sys/class/tty/NAME/type) names a UART, /dev/ttyUSB*,
// /dev/ttyACM*, then each /dev/serial/by-id name with the device it links
// to. Names are given as the machine sees them, from "/". No device is
// opened: a UART's driver raises DTR and RTS on every open, and the box or
// the system console behind one must not see that.
std::vector<std::string> ListSerialPortsUnder(const std::filesystem::path& root);

}  // namespace stb::serial::posix
