#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AssemblyConsole.h"
#include "Console.h"

namespace stb::app {

namespace {

// The terminal as a TUnechoedInput found it, for its end and an interrupt's.
termios gTerminal{};
volatile sig_atomic_t gTerminalSaved = 0;

}  // namespace

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

bool WaitForInput(bool watch, int ms) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(watch ? &p : nullptr, watch ? 1 : 0, ms) > 0 && p.revents != 0;
}

long ReadInput(char* buffer, std::size_t size) {
  const ssize_t n = read(STDIN_FILENO, buffer, size);
  if (n < 0) return errno == EAGAIN || errno == EINTR ? -1 : 0;
  return static_cast<long>(n);
}

TUnechoedInput::TUnechoedInput() {
  // An interrupt ends the program in the assembly's handler, which can put
  // the terminal back only through the console lent to it.
  LendConsoleToAssembly();
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gTerminal) != 0) return;
  termios raw = gTerminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  gTerminalSaved = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

TUnechoedInput::~TUnechoedInput() {
  RestoreTerminalInput();
  gTerminalSaved = 0;
}

void RestoreTerminalInput() {
  if (gTerminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
}

int CopyDescriptor(int fd) { return fd < 0 ? -1 : ::dup(fd); }

void CloseDescriptor(int fd) {
  if (fd >= 0) ::close(fd);
}

bool WriteConsoleText(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, text, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the terminal non-blocking: wait for it as for any other.
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 1000);
      continue;
    }
    if (n <= 0) return false;
    text += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
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
