// The operator window on Windows: the program entry's RunWindow.
#include "Win32.h"
#include <commctrl.h>

#include <cstdio>

#include "RunWindow.h"
#include "AssemblyConsole.h"
#include "ExitStatus.h"
#include "OperatorWindow.h"
#include "WideText.h"

namespace stb::app {

int RunWindow(const TOptions& options, int /*argc*/, char** /*argv*/) {
  // What the assembly says outside the window (a log file that stopped
  // taking lines, an interrupt's warning) goes to stderr as the console
  // front end's does: through the console's writer, which nothing waits on.
  LendConsoleToAssembly();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  winui::TOperatorWindow window(options);
  if (!window.Refusal().empty()) {
    // As the console does, before the port is opened; the box says it too.
    std::string why = window.Refusal();
    std::fprintf(stderr, "stb-downloader: %s\n", why.c_str());
    if (why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 'a' + 'A');
    winui::ShowBox(winui::TBoxKind::Error, winui::WidenLatin1(why), nullptr);
    return kExitUsage;
  }
  window.Show();
  const int status = window.Run();
  // A record asked for and missing is no success.
  return window.SealRecord() > 0 && status == 0 ? kExitFailed : status;
}

}  // namespace stb::app
