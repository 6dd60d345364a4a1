// The machine's own serial ports, beyond the seam: which there are, and
// letting go of one on the way out of the program. Each backend implements
// these beside its CreateFile and CloseHandle, so that how a port is opened
// and let go is known in one place.
#pragma once

#include <string>
#include <vector>

#include "SerialPlatform.h"

namespace stb::serial {

// One serial device of this machine as the port listing sees it.
struct TPortEntry {
  std::string Name;    // as the operator gives it to --port
  std::string Target;  // the device a stable name links to, or (Windows) the one behind a COM name
  bool Alias = false;  // a second name of a device that is listed on its own
  // Why `--port all` leaves the device out: "system console", "no UART",
  // "held by PROGRAM (pid N)"; empty when it takes it.
  std::string LeftOut;

  bool ForEveryPort() const { return !Alias && LeftOut.empty(); }
};

// The serial devices of this machine, for an operator choosing the port: on
// Linux every /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, then the stable
// /dev/serial/by-id names (with the device each names); on Windows every COM
// name the system knows, with the device behind it. Devices that are no
// box's line are listed with the reason, so that an operator sees why
// `--port all` passes them by.
std::vector<TPortEntry> ListSerialPortEntries();

// An entry as --list-ports shows it: "NAME[ -> TARGET][  (left out of --port
// all: WHY)]".
std::string PortListLine(const TPortEntry& entry);

// Every entry's line, in the listing's order.
std::vector<std::string> ListSerialPorts();

// The one name of a port however the operator spells it, for the logs, the
// report and telling two ports apart before either is opened: on Windows
// "com1", "COM1:" and "\\.\COM1" are "COM1" (ComPortName); elsewhere a name is
// kept as it is (one device by two paths is told apart as the second one
// opens: it is held already). `mistake` says why the name can never be a
// port ("COM 1" on Windows), else is left empty.
std::string HostPortName(const std::string& given, std::string& mistake);

// The device to open for a port as the operator names it. On Windows a COM
// port by any of its spellings becomes "\\.\COMn": COM1 to COM9 open by the
// bare name too, but COM10 and up only so. Every other name, and every name
// elsewhere, stays as it is.
std::string PortDevicePath(const std::string& port);

// Whether a port by this name is there now, without opening it (an open
// raises DTR and RTS on whatever is behind it): on Linux whether the device
// node (or the name linking to it) exists; on Windows whether the system
// knows the COM name ("COM3", "\\.\COM10"), or the device by that name.
bool PortIsThere(const std::string& port);

// Lets go of a port that HostSerialPlatform() opened, as its CloseHandle
// would, from a signal handler (POSIX) or a console control handler on a
// thread of its own (Windows): only async-signal-safe calls, nothing
// allocated, no lock taken. Meant for the way out: the backend's own
// bookkeeping of the port is left as it is.
void ReleasePortInSignal(THandle h) noexcept;

}  // namespace stb::serial
