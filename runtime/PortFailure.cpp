#include "Console.h"

namespace stb::app {

std::string PortFailureReason(const std::string& device, int failure, int systemError,
                              const char* beforeHint) {
  if (static_cast<serial::TOpenFailure>(failure) == serial::TOpenFailure::OwnTerminal) {
    return "stb-downloader: will not use " + device +
           ": it is a terminal of this session (where stb-downloader runs, or the system console),"
           " not a box's line" +
           beforeHint +
           "Give the port the box's cable is on; stb-downloader --list-ports shows"
           " the serial ports there are.";
  }
  std::string reason = "stb-downloader: cannot open " + device + ": " + SystemErrorText(systemError);
  const std::string hint = PortFailureHint(static_cast<serial::TOpenFailure>(failure));
  if (!hint.empty()) reason += beforeHint + hint;
  return reason;
}

std::string PortNotOpenReason(const serial::TOpenResult& open, std::string& hint) {
  switch (open.Failure) {
    // It opened, then went away while the window waited for a box.
    case serial::TOpenFailure::None: return "it went away";
    case serial::TOpenFailure::OwnTerminal:
      hint = "Give the port the box's cable is on.";
      return "it is a terminal of this session, not a box's line";
    default: hint = PortFailureHint(open.Failure); return SystemErrorText(open.SystemError);
  }
}

}  // namespace stb::app
