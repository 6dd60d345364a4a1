// Signals on POSIX: the interrupts end the program (or, while the box takes
// the image, warn first), SIGHUP ends it before the go message, SIGPIPE is
// ignored.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "ConsoleWriter.h"
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

// Whether stderr takes text now: a terminal stopped with Ctrl-S, or a pipe
// nobody reads, would hold the handler (and the exit) in its write.
bool StderrTakesText() {
  pollfd p{STDERR_FILENO, POLLOUT, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

// Gives the console's writer up to a second to write what it holds, so the
// stop line comes after it.
void LetTheConsoleCatchUp(TConsoleWriter& console) {
  for (int i = 0; i < 100 && !console.Idle(); ++i) {
    const timespec tenMs{0, 10 * 1000 * 1000};
    nanosleep(&tenMs, nullptr);
  }
}

[[noreturn]] void End(int sig) {
  if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
  if (TConsoleWriter* console = ConsoleOutputIfMade()) LetTheConsoleCatchUp(*console);
  const bool toConsole = StderrTakesText();
  if (toConsole) ClearProgressLine();
  WriteStopLines(SignalName(sig), toConsole);
  if (gSignalState.portFd >= 0) serial::ReleasePortInSignal(gSignalState.portFd);
  _exit(128 + sig);
}

void OnInterrupt(int sig) {
  const int savedErrno = errno;
  const auto verdict = TakeInterrupt();
  if (verdict == TInterruptRule::TVerdict::Repeated) {
    errno = savedErrno;
    return;
  }
  if (verdict == TInterruptRule::TVerdict::Warn) {
    // Never written here: the upgrade this handler interrupts must go on
    // whether or not the terminal takes text.
    if (TConsoleWriter* console = ConsoleOutputIfMade()) {
      console->SayFromSignal(kStillUpgradingWarning);
    } else if (StderrTakesText()) {
      ClearProgressLine();
      const ssize_t ignored =
          ::write(STDERR_FILENO, kStillUpgradingWarning, sizeof kStillUpgradingWarning - 1);
      (void)ignored;
    }
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
