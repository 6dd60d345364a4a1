// stb-downloader --headless: the upgrade on the console, for production-line
// PCs, test rigs and remote shells. Returns the exit status.
#pragma once

#include "Options.h"

namespace stb::app {

enum TExitStatus : int {
  kExitUpgraded = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitFileError = 3,
  kExitNoPort = 4,
};

int RunHeadless(const TOptions& options);

// What to tell the operator about a port that would not open.
std::string PortFailureReason(const std::string& device, int failure, int systemError);

}  // namespace stb::app
