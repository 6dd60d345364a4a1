// The console's control events on Windows: Ctrl+C and Ctrl+Break as an
// interrupt, closing the console as a hang-up. The handler runs on a thread
// of its own while the upgrade goes on.
//
// A closed console cannot be refused: Windows ends the process once the
// handler returns, or a few seconds after the event (5 s by default) if it
// does not. Before the go message that is what the tool wants anyway. While
// the box takes the image, the close counts as the first interrupt: the
// handler holds on for as long as Windows allows, so that an image about to
// end still ends, and, if it cannot, says where it stood before the time is
// up rather than being cut off without a word. What the console shows, and
// its input mode, are the front end's: the handler reaches them only through
// the console seam.
#include <windows.h>

#include <string>

#include "ConsoleSeam.h"
#include "HostPorts.h"
#include "Interrupts.h"

namespace stb::app {

namespace {

HANDLE gPort = INVALID_HANDLE_VALUE;

// How long the handler of a closed console may keep the process: short of
// the 5 s Windows grants, with time left to write the stop line.
constexpr DWORD kCloseGraceMs = 4300;
// The exit statuses of a hang-up and of an interrupt, as on POSIX (SIGHUP,
// SIGINT).
constexpr UINT kHungUp = 129;
constexpr UINT kInterrupted = 130;

// Through the console's writer when there is one: in order with what it
// holds, and never waiting on a console that takes nothing.
void SayToStderr(const char* text, std::size_t n) {
  if (IConsoleSeam& console = ConsoleSeam(); console.HasWriter()) {
    console.Write(std::string(text, n));
    return;
  }
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(n), &written, nullptr);
}

[[noreturn]] void End(const char* cause, UINT status) {
  IConsoleSeam& console = ConsoleSeam();
  console.RestoreInput();
  // What the console still holds comes before the stop line, if it takes it
  // within a second; a console that does not (a selection holding it, a
  // pipe nobody reads) would hold the exit too: the log file has the line.
  const bool consoleTakesText = console.CatchUp();
  WriteStopLines(cause, consoleTakesText);
  if (gPort != INVALID_HANDLE_VALUE) serial::ReleasePortInSignal(reinterpret_cast<serial::THandle>(gPort));
  ExitProcess(status);
}

// The console went away during the image: wait for its end while Windows
// lets the process live.
void HoldOnWhileTheImageGoes() {
  static const char kClosing[] =
      "stb-downloader: the console was closed while the box takes the image; Windows ends the program "
      "within seconds.\n";
  SayToStderr(kClosing, sizeof kClosing - 1);
  WriteStampedRecord(kClosing, sizeof kClosing - 1);
  const ULONGLONG until = GetTickCount64() + kCloseGraceMs;
  // Once the upgrade has ended the box is safe, and Windows may go on.
  while (BoxTakingImage()) {
    if (GetTickCount64() >= until) End("the console closing", kHungUp);
    Sleep(50);
  }
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    const char* cause = event == CTRL_C_EVENT ? "Ctrl+C" : "Ctrl+Break";
    switch (TakeInterrupt()) {
      case TInterruptRule::TVerdict::Repeated: return TRUE;
      case TInterruptRule::TVerdict::Warn:
        if (IConsoleSeam& console = ConsoleSeam(); console.HasWriter()) {
          console.SayFromSignal(kStillUpgradingWarning);
        } else {
          SayToStderr(kStillUpgradingWarning, sizeof kStillUpgradingWarning - 1);
        }
        return TRUE;
      case TInterruptRule::TVerdict::End: End(cause, kInterrupted);
    }
  }
  // The console closing, the session ending: a hang-up.
  if (HangUpEnds()) End("the console closing", kHungUp);
  // A deliberate Ctrl+C well before this was the first step: this is the second.
  if (TakeInterrupt() == TInterruptRule::TVerdict::End) End("the console closing", kHungUp);
  HoldOnWhileTheImageGoes();
  return TRUE;
}

}  // namespace

// Console control events come on a thread of their own, never to ours.
void BlockSignalsOfThisThread() {}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void SetPortToRelease(serial::THandle port) {
  gPort = port == serial::kNoHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(port);
}

}  // namespace stb::app
