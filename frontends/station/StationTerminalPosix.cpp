#include <sys/ioctl.h>

#include "StationTerminal.h"

namespace stb::app {

TTerminalSize TerminalSizeOf(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return {};
  return {size.ws_col, size.ws_row};
}

}  // namespace stb::app
