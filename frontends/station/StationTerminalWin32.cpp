#include <io.h>
#include <windows.h>

#include "StationTerminal.h"

namespace stb::app {

TTerminalSize TerminalSizeOf(int fd) {
  // The console's window, not its buffer: the buffer is as wide as the
  // window on Windows 10 on, but may be far taller (its scroll-back).
  const HANDLE handle =
      fd == 1 ? GetStdHandle(STD_OUTPUT_HANDLE) : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return {};
  return {info.srWindow.Right - info.srWindow.Left + 1, info.srWindow.Bottom - info.srWindow.Top + 1};
}

}  // namespace stb::app
