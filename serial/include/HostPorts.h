// The machine's own serial ports, beyond the seam: which there are, and
// letting go of one on the way out of the program. Each backend implements
// these beside its CreateFile and CloseHandle, so that how a port is opened
// and let go is known in one place.
#pragma once

#include <string>
#include <vector>

#include "SerialPlatform.h"

namespace stb::serial {

// The serial devices of this machine, one a line, for an operator choosing
// the port: on Linux the /dev/ttyS* that have a UART behind them,
// /dev/ttyUSB*, /dev/ttyACM* and the stable /dev/serial/by-id names (with the
// device each names); on Windows every COM name the system knows, with the
// device behind it.
std::vector<std::string> ListSerialPorts();

// The device to open for a port as the operator names it. On Windows a bare
// "COMn" becomes "\\.\COMn": COM1 to COM9 open by the bare name too, but
// COM10 and up only so. Every other name, and every name elsewhere, stays as
// it is.
std::string PortDevicePath(const std::string& port);

// Lets go of a port that HostSerialPlatform() opened, as its CloseHandle
// would, from a signal handler (POSIX) or a console control handler on a
// thread of its own (Windows): only async-signal-safe calls, nothing
// allocated, no lock taken. Meant for the way out: the backend's own
// bookkeeping of the port is left as it is.
void ReleasePortInSignal(THandle h) noexcept;

}  // namespace stb::serial
