// stb-downloader: program entry. Opens the operator window, runs the
// upgrade on the console with --headless, or a production station with
// --station.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "Headless.h"
#include "HostPorts.h"
#include "Arguments.h"
#include "Options.h"
#include "Station.h"
#if defined(STB_WITH_QT) || defined(STB_WITH_WINUI)
#include "RunWindow.h"
#endif

namespace {

bool HasDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// A standard descriptor that came closed (`>&-`, `<&-`) is opened on
// /dev/null before anything else is opened: the port would otherwise become
// descriptor 1 and take the log text, or descriptor 0 and have the box's
// bytes read as the typed code.
void OpenClosedStandardDescriptors() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDWR);  // the lowest free descriptor: this one
    if (opened != fd && opened >= 0) close(opened);
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stb::app;
  OpenClosedStandardDescriptors();
  std::string error;
  const auto options = ParseOptions(Arguments(argc, argv), error);
  if (!options) {
    // The mistake and where to look, as command-line tools say it: the whole
    // help would push the one line that matters off the screen.
    std::fprintf(stderr, "stb-downloader: %s\nTry 'stb-downloader --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options->Help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (options->Version) {
    std::printf("stb-downloader %s\n", STB_VERSION);
    return 0;
  }
  if (options->ListPorts) {
    for (const auto& port : stb::serial::ListSerialPorts()) std::puts(port.c_str());
    return 0;
  }
  if (options->Station && options->Window) {
#if defined(STB_WITH_WINUI)
    return RunStationWindow(*options, argc, argv);
#elif defined(STB_WITH_QT)
    if (HasDisplay()) return RunStationWindow(*options, argc, argv);
    std::fprintf(stderr, "stb-downloader: no display to open the station window on (DISPLAY is not set).\n");
    return kExitUsage;
#else
    std::fprintf(stderr, "stb-downloader: this build has no window; run the station without --window.\n");
    return kExitUsage;
#endif
  }
  if (options->Station) return RunStation(*options);
  if (options->Headless) return RunHeadless(*options);
#if defined(STB_WITH_WINUI)
  // Windows always has a desktop to open the window on.
  (void)HasDisplay;
  return RunWindow(*options, argc, argv);
#elif defined(STB_WITH_QT)
  if (HasDisplay()) return RunWindow(*options, argc, argv);
  std::fprintf(stderr,
               "stb-downloader: no display to open the window on (DISPLAY is not set).\n"
               "Run it on a desktop, or on the console with --headless.\n");
#else
  (void)HasDisplay;
  std::fprintf(stderr, "stb-downloader: this build has no window; run it with --headless.\n");
#endif
  return kExitUsage;
}
