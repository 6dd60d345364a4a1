#include <cstdio>

#include "ExitStatus.h"
#include "RunWindow.h"

namespace stb::app {

int RunStationWindow(const TOptions&, int, char**) {
  std::fprintf(stderr, "stb-downloader: the station window is not built yet.\n");
  return kExitUsage;
}

}  // namespace stb::app
