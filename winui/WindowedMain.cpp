// stb-downloaderw.exe: the operator window without a console, for the Start
// menu. Windows gives the console build (stb-downloader.exe) a console
// window whenever it is not started from one; this build is linked for the
// windows subsystem instead, so no console flashes up. Both are built from
// the same sources. What the console build prints (--help, --version,
// --list-ports, a wrong command line) is shown here in a box; --headless
// needs a console and is refused with a box naming the build that has one.
#include <string>

#include "Boxes.h"
#include "GuiMain.h"
#include "Headless.h"
#include "HostPorts.h"
#include "Options.h"
#include "WideText.h"

namespace {

using stb::winui::TBoxKind;

void Say(TBoxKind kind, const std::string& text) {
  stb::winui::ShowBox(kind, stb::winui::WidenLatin1(text), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stb::app;
  std::string error;
  const auto options = ParseOptions({argv + 1, argv + argc}, error);
  if (!options) {
    Say(TBoxKind::Error,
        "stb-downloaderw: " + error + "\n\nstb-downloader.exe --help in a command prompt lists the options.");
    return kExitUsage;
  }
  if (options->Help) {
    Say(TBoxKind::Information, Usage());
    return 0;
  }
  if (options->Version) {
    Say(TBoxKind::Information, std::string("stb-downloader ") + STB_VERSION);
    return 0;
  }
  if (options->ListPorts) {
    std::string ports;
    for (const auto& port : stb::serial::ListSerialPorts()) ports += port + "\n";
    Say(TBoxKind::Information, ports.empty() ? "This machine has no serial ports." : ports);
    return 0;
  }
  if (options->Headless) {
    Say(TBoxKind::Error,
        "stb-downloaderw.exe has no console to run --headless on.\n\n"
        "Run stb-downloader.exe --headless from a command prompt.");
    return kExitUsage;
  }
  return RunWindow(*options, argc, argv);
}
