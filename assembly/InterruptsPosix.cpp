// Signals on POSIX: the interrupts end the program (or, while the box takes
// the image, warn first), SIGHUP ends it before the go message, SIGPIPE is
// ignored. What the console shows, and the terminal's settings, are the
// front end's: the handler reaches them only through the console seam.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "ConsoleSeam.h"
#include "HostPorts.h"
#include "Interrupts.h"
#include "SignalName.h"

namespace stb::app {

namespace {

// The port for the handler to let go of.
volatile sig_atomic_t gPortFd = -1;

// Whether stderr takes text now: a terminal stopped with Ctrl-S, or a pipe
// nobody reads, would hold the handler (and the exit) in its write.
bool StderrTakesText() {
  pollfd p{STDERR_FILENO, POLLOUT, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

[[noreturn]] void End(int sig) {
  IConsoleSeam& console = ConsoleSeam();
  console.RestoreInput();
  // What the console's writer still holds comes before the stop line.
  console.CatchUp();
  const bool toConsole = StderrTakesText();
  if (toConsole) console.ClearLive();
  WriteStopLines(SignalName(sig), toConsole);
  if (gPortFd >= 0) serial::ReleasePortInSignal(gPortFd);
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
    IConsoleSeam& console = ConsoleSeam();
    if (console.HasWriter()) {
      console.SayFromSignal(kStillUpgradingWarning);
    } else if (StderrTakesText()) {
      console.ClearLive();
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

void BlockSignalsOfThisThread() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

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
  signal(SIGPIPE, SIG_IGN);
}

void SetPortToRelease(serial::THandle port) { gPortFd = static_cast<int>(port); }

}  // namespace stb::app
