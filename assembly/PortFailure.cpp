#include "Console.h"

namespace stb::app {

std::string PortFailureReason(const std::string& device, int failure, int systemError) {
  std::string reason = "stb-downloader: cannot open " + device + ": " + SystemErrorText(systemError);
  const std::string hint = PortFailureHint(static_cast<serial::TOpenFailure>(failure));
  if (!hint.empty()) reason += "\n  " + hint;
  return reason;
}

}  // namespace stb::app
