// The station window on Windows: the program entry's RunStationWindow.
#include "Win32.h"
#include <commctrl.h>

#include "HostPorts.h"
#include "RunWindow.h"
#include "StationInterrupts.h"
#include "StationWindow.h"

namespace stb::app {

namespace {

// What --port all takes, as on the console: the ports --list-ports shows,
// less the ones it marks as no box's line.
std::vector<std::string> AdaptersNow() {
  std::vector<std::string> devices;
  for (const auto& port : serial::ListSerialPortEntries()) {
    if (port.ForEveryPort()) devices.push_back(port.Name);
  }
  return devices;
}

}  // namespace

int RunStationWindow(const TOptions& options, int /*argc*/, char** /*argv*/) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // Ctrl+C in the console the window was started from stops the station as
  // on the console station; taken before any port's thread starts.
  TStationInterrupts interrupts;
  winui::TStationWindow window(options, AdaptersNow, &interrupts);
  window.Show();
  return window.Run();
}

}  // namespace stb::app
