#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Console.h"

namespace stb::app {

namespace {

// What the signal handler may touch: the terminal settings to restore and the
// port to let go of.
struct TSignalState {
  volatile sig_atomic_t portFd = -1;
  volatile sig_atomic_t terminalSaved = 0;
  termios terminal{};
};
TSignalState gSignalState;

void OnTerminatingSignal(int sig) {
  if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
  if (gSignalState.portFd >= 0) {
    // As the port's own close does: a simulator holding the other side keeps
    // the tty, and the exclusive flag with it, alive.
    ioctl(gSignalState.portFd, TIOCNXCL);
    close(gSignalState.portFd);
  }
  _exit(128 + sig);
}

}  // namespace

std::int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool WaitForInput(bool watch, int ms) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(watch ? &p : nullptr, watch ? 1 : 0, ms) > 0 && p.revents != 0;
}

long ReadInput(char* buffer, std::size_t size) {
  const ssize_t n = read(STDIN_FILENO, buffer, size);
  if (n < 0) return errno == EAGAIN || errno == EINTR ? -1 : 0;
  return static_cast<long>(n);
}

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnTerminatingSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
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

std::string SystemErrorText(int error) { return std::strerror(error); }

std::string PortFailureHint(serial::TOpenFailure failure) {
  switch (failure) {
    case serial::TOpenFailure::AccessDenied:
      return "Join the dialout group to use serial ports: sudo adduser $USER dialout, then log in again.";
    case serial::TOpenFailure::Busy: return "Another program holds the port; close it and try again.";
    case serial::TOpenFailure::NotFound:
      return "No such device here; stb-downloader --list-ports shows the serial ports there are.";
    case serial::TOpenFailure::NotSerial: return "That is not a serial device.";
    default: return "";
  }
}

}  // namespace stb::app
