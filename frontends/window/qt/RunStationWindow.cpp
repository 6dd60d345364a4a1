#include <QApplication>
#include <cstdlib>

#include "HostPorts.h"
#include "RunWindow.h"
#include "StationInterrupts.h"
#include "StationWindow.h"
#include "StationWindowLayout.h"

namespace stb::app {

namespace {

// What --port all takes, as the console station takes it: the adapters
// --list-ports shows unmarked.
std::vector<std::string> AdaptersNow() {
  std::vector<std::string> devices;
  for (const auto& port : serial::ListSerialPortEntries()) {
    if (port.ForEveryPort()) devices.push_back(port.Name);
  }
  return devices;
}

}  // namespace

int RunStationWindow(const TOptions& options, int argc, char** argv) {
  // Before the application and its threads: every thread made from here on
  // leaves Ctrl+C and SIGTERM to the window's turns, which take them as the
  // console station does (the first stops taking boxes, the second ends the
  // upgrades under way).
  TStationInterrupts interrupts;
  QApplication app(argc, argv);
  QApplication::setApplicationName(layout::kApplicationTitle);
  ui::TStationWindow window(options, AdaptersNow, &interrupts);
  window.show();
  QApplication::exec();
  if (!window.Model().Ended()) {
    // Quit from outside (the session ends) rather than closed: the boxes
    // under way are ended and say where they stood, as at a second Ctrl+C.
    std::_Exit(window.EndNow("the application was quit"));
  }
  return window.ExitStatus();
}

}  // namespace stb::app
