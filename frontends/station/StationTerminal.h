// The size of the terminal the station draws on, asked for at each redraw:
// a live line wider than the terminal wraps onto a second row, and the
// cursor moves that redraw the lines in place then leave copies behind.
#pragma once

namespace stb::app {

struct TTerminalSize {
  int Columns = 0;  // 0: not known (a pipe, a file, a console that will not say)
  int Rows = 0;
  bool operator==(const TTerminalSize&) const = default;
};

// The size of the terminal `fd` is on (1: standard output).
TTerminalSize TerminalSizeOf(int fd);

}  // namespace stb::app
