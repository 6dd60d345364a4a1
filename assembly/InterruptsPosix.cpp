// Signals on POSIX: the interrupts end the program (or, while the box takes
// the image, warn first), SIGHUP ends it before the go message, SIGPIPE is
// ignored.
#include <signal.h>
#include <cerrno>
#include <termios.h>
#include <unistd.h>

#include "HostPorts.h"
#include "Interrupts.h"
#include "SignalName.h"

namespace stb::app {

namespace {

// What the handler may touch: the terminal settings to restore and the port
// to let go of.
struct TSignalState {
  volatile sig_atomic_t portFd = -1;
  volatile sig_atomic_t terminalSaved = 0;
  volatile sig_atomic_t stderrTerminal = 0;  // a progress line may stand there
  termios terminal{};
};
TSignalState gSignalState;

// Clears the console's progress line, so that what follows starts a line of
// its own; the line is drawn again with the next block.
void ClearProgressLine() {
  static const char kClear[] = "\r\033[K";
  if (!gSignalState.stderrTerminal) return;
  const ssize_t ignored = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
  (void)ignored;
}

[[noreturn]] void End(int sig) {
  if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
  WriteStopLines(SignalName(sig));
  if (gSignalState.portFd >= 0) serial::ReleasePortInSignal(gSignalState.portFd);
  _exit(128 + sig);
}

void OnInterrupt(int sig) {
  const int savedErrno = errno;
  const auto verdict = TakeInterrupt();
  if (verdict == TInterruptRule::TVerdict::Repeated) return;
  ClearProgressLine();
  if (verdict == TInterruptRule::TVerdict::Warn) {
    const ssize_t ignored = ::write(STDERR_FILENO, kStillUpgradingWarning, sizeof kStillUpgradingWarning - 1);
    (void)ignored;
    errno = savedErrno;
    return;
  }
  End(sig);
}

// A terminal that hung up: nobody watches any more.
void OnHangUp(int sig) {
  if (HangUpEnds()) End(sig);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  // One handler at a time: a second interrupt waits for the first to return.
  for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) sigaction(sig, &sa, nullptr);
  sa.sa_handler = OnHangUp;
  sigaction(SIGHUP, &sa, nullptr);
  // Output to a reader that went away fails with EPIPE and is dropped: no
  // reason to abandon a box.
  gSignalState.stderrTerminal = isatty(STDERR_FILENO);
  signal(SIGPIPE, SIG_IGN);
}

void SetPortToRelease(serial::THandle port) { gSignalState.portFd = static_cast<int>(port); }

TUnechoedInput::TUnechoedInput() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSignalState.terminal) != 0) return;
  termios raw = gSignalState.terminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  gSignalState.terminalSaved = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

TUnechoedInput::~TUnechoedInput() {
  if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
  gSignalState.terminalSaved = 0;
}

}  // namespace stb::app
