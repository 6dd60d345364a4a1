#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Console.h"

namespace stb::app {

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
