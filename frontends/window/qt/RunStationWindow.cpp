#include <QApplication>
#include <cstdlib>

#include "RunWindow.h"
#include "StationInterrupts.h"
#include "StationRun.h"
#include "StationWindow.h"
#include "StationWindowLayout.h"

namespace stb::app {

int RunStationWindow(const TOptions& options, int argc, char** argv) {
  // Before the application and its threads: every thread made from here on
  // leaves Ctrl+C and SIGTERM to the window's turns, which take them as the
  // console station does (the first stops taking boxes, the second ends the
  // upgrades under way).
  TStationInterrupts interrupts;
  QApplication app(argc, argv);
  QApplication::setApplicationName(layout::kApplicationTitle);
  ui::TStationWindow window(options, StationAdapters, &interrupts);
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
