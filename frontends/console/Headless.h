// stb-downloader --headless: the upgrade on the console, for production-line
// PCs, test rigs and remote shells. Returns the exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "HostPorts.h"
#include "RunOptions.h"

namespace stb::app {

// What a run learns of the machine's ports. A test gives its own, so that
// no test depends on (or opens) the machine's own serial ports.
struct THeadlessSeams {
  // The serial devices as the port listing sees them.
  std::function<std::vector<serial::TPortEntry>()> Ports = serial::ListSerialPortEntries;
  // The port a run without --port takes; empty: the platform's first
  // serial port.
  std::string DefaultPort;
};

int RunHeadless(const TOptions& options, const THeadlessSeams& seams = {});

// What a run does about a port that is the machine's system console (the
// kernel writes its messages there, and reads a login from it): the default
// port is not opened then, a port named on the command line is, with a
// warning. The listing decides, as for --port all.
enum class TConsolePort { NotConsole, Refuse, Warn };
TConsolePort SystemConsoleCheck(const std::string& device, bool named,
                                const std::vector<serial::TPortEntry>& ports);
// What the operator is told for Refuse and for Warn.
std::string SystemConsoleText(const std::string& device, TConsolePort check);

}  // namespace stb::app
