// How a run ends, as the process's exit status: the same for every front
// end that can report one (the console, the station, the windows).
#pragma once

namespace stb::app {

enum TExitStatus : int {
  kExitUpgraded = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitFileError = 3,
  kExitNoPort = 4,
};

}  // namespace stb::app
