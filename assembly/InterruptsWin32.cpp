// The console's control events on Windows: Ctrl+C and Ctrl+Break as an
// interrupt, closing the console as a termination. The handler runs on a
// thread of its own while the upgrade goes on.
#include <windows.h>

#include "ConsoleWriter.h"
#include "HostPorts.h"
#include "Interrupts.h"

namespace stb::app {

namespace {

HANDLE gPort = INVALID_HANDLE_VALUE;
DWORD gConsoleMode = 0;
bool gModeSaved = false;

BOOL WINAPI OnConsoleControl(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  // A console being closed or a session ending cannot be refused.
  TConsoleWriter* console = ConsoleOutputIfMade();
  if (interrupt && !InterruptEnds()) {
    if (console) {
      console->SayFromSignal(kStillUpgradingWarning);
    } else {
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStillUpgradingWarning, sizeof kStillUpgradingWarning - 1,
                &written, nullptr);
    }
    return TRUE;
  }
  if (gModeSaved) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), gConsoleMode);
  // What the console still holds comes before the stop line, if it takes it
  // within a second; a console that does not (a selection holding it, a
  // pipe nobody reads) would hold the exit too: the log file has the line.
  const bool consoleTakesText = !console || console->Drain(std::chrono::seconds(1));
  WriteStopLines(event == CTRL_C_EVENT       ? "Ctrl+C"
                 : event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                                             : "the console closing",
                 consoleTakesText);
  if (gPort != INVALID_HANDLE_VALUE) serial::ReleasePortInSignal(reinterpret_cast<serial::THandle>(gPort));
  ExitProcess(interrupt ? 130 : 143);
}

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void SetPortToRelease(serial::THandle port) {
  gPort = port == serial::kNoHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(port);
}

TUnechoedInput::TUnechoedInput() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(in, &gConsoleMode)) return;
  gModeSaved = SetConsoleMode(in, gConsoleMode & ~(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT)) != 0;
}

TUnechoedInput::~TUnechoedInput() {
  if (gModeSaved) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), gConsoleMode);
  gModeSaved = false;
}

}  // namespace stb::app
