// The station window on Windows: the program entry's RunStationWindow.
#include "Win32.h"
#include <commctrl.h>

#include "RunWindow.h"
#include "StationInterrupts.h"
#include "StationRun.h"
#include "StationWindow.h"

namespace stb::app {

int RunStationWindow(const TOptions& options, int /*argc*/, char** /*argv*/) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // Ctrl+C in the console the window was started from stops the station as
  // on the console station; taken before any port's thread starts.
  TStationInterrupts interrupts;
  winui::TStationWindow window(options, StationAdapters, &interrupts);
  window.Show();
  return window.Run();
}

}  // namespace stb::app
