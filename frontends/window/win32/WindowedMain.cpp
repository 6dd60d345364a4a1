// stb-downloaderw.exe: the operator window, or with --station --window the
// station window, without a console, for the Start menu. Windows gives the console build (stb-downloader.exe)
// a console window whenever it is not started from one; this build is linked for the windows subsystem
// instead, so no console flashes up. Both are built from the same sources. What the console build prints
// (--help, --version,
// --list-ports, a wrong command line) is shown here in a box; --headless
// and the console station need a console and are refused with a box naming
// the build that has one.
#include <string>

#include "Arguments.h"
#include "Boxes.h"
#include "RunWindow.h"
#include "ExitStatus.h"
#include "HostPorts.h"
#include "Options.h"
#include "WideText.h"

namespace {

using stb::winui::TBoxKind;

constexpr char kWindowUsage[] =
    "stb-downloaderw.exe opens the operator window: type the mode code into its log, then switch the box "
    "on.\n\n"
    "Options:\n"
    "--port COMn\tthe box's serial port (default COM1)\n"
    "--log-file FILE\tappend every log line to FILE, with the time\n"
    "--trace FILE\tevery byte on the line, with times, to FILE\n"
    "--response-timeout SEC\thow long the box may stay silent (default 30)\n\n"
    "stb-downloader.exe --help in a command prompt lists every option, --headless among them.";

void Say(TBoxKind kind, const std::string& text) {
  stb::winui::ShowBox(kind, stb::winui::WidenLatin1(text), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stb::app;
  std::string error;
  const auto options = ParseOptions(Arguments(argc, argv), error);
  if (!options) {
    Say(TBoxKind::Error,
        "stb-downloaderw: " + error + "\n\nstb-downloader.exe --help in a command prompt lists the options.");
    return kExitUsage;
  }
  if (options->Help) {
    // The whole usage is a console's text: its columns do not survive a box.
    Say(TBoxKind::Message, kWindowUsage);
    return 0;
  }
  if (options->Version) {
    Say(TBoxKind::Message, std::string("stb-downloader ") + STB_VERSION);
    return 0;
  }
  if (options->ListPorts) {
    std::string ports;
    for (const auto& port : stb::serial::ListSerialPorts()) ports += port + "\n";
    Say(TBoxKind::Message, ports.empty() ? "This machine has no serial ports." : ports);
    return 0;
  }
  // The station has a window of its own: the Start menu's "stb-downloader
  // station" opens it.
  if (options->Station && options->Window) return RunStationWindow(*options, argc, argv);
  if (options->Headless || options->Station) {
    Say(TBoxKind::Error, std::string("stb-downloaderw.exe has no console to run ") +
                             (options->Headless ? "--headless" : "--station") +
                             " on.\n\nRun stb-downloader.exe from a command prompt instead.");
    return kExitUsage;
  }
  return RunWindow(*options, argc, argv);
}
