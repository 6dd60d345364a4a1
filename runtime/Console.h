// What the console front end needs of the operating system: the standard
// streams, the terminal's input mode and the system's words for an error.
// Its clock is the standard one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "SerialPlatform.h"

namespace stb::app {

// The console's clock: monotonic, never set back.
using TClock = std::chrono::steady_clock;

// Monotonic milliseconds.
inline std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch()).count();
}

bool StdinIsTerminal();
bool StderrIsTerminal();
// Standard output on a terminal that takes the cursor moves of ANSI
// terminals (on Windows a console, once it has been asked to take them).
bool StdoutIsTerminal();
// Waits at most `ms` for standard input to have something (or to end);
// with `watch` false, only waits.
bool WaitForInput(bool watch, int ms);
// Reads what standard input has: the count, 0 at its end, -1 on nothing now.
long ReadInput(char* buffer, std::size_t size);

// Characters typed reach the program one at a time and are not shown, for
// as long as this lives (on a terminal; elsewhere it does nothing). An
// interrupt puts the terminal back as it found it (AssemblyConsole.h).
class TUnechoedInput {
 public:
  TUnechoedInput();
  ~TUnechoedInput();
  TUnechoedInput(const TUnechoedInput&) = delete;
  TUnechoedInput& operator=(const TUnechoedInput&) = delete;
};
// Puts the terminal back as the living TUnechoedInput found it; nothing
// when there is none. Safe in a signal handler.
void RestoreTerminalInput();

// For the console's writer (ConsoleWriter.h), which alone writes there:
// a descriptor of its own for one of the standard ones (-1: none),
int CopyDescriptor(int fd);
void CloseDescriptor(int fd);
// the text written whole, waiting as long as the console needs; false when
// it will not take it (nobody reads any more).
bool WriteConsoleText(int fd, const char* text, std::size_t size);

// The system's text for an error number of the serial seam's open.
std::string SystemErrorText(int error);
// What to tell the operator to do about an open that was refused for this reason.
std::string PortFailureHint(serial::TOpenFailure failure);
// Why a port is not open after `open` (None: it opened, then went away),
// in the console's words; `hint`: what to do about it, where there is
// something. For a window's connection box.
std::string PortNotOpenReason(const serial::TOpenResult& open, std::string& hint);
// What to tell the operator about a port that would not open: the device,
// the system's reason and, where there is one, what to do about it, after
// `beforeHint`. One line by default, as a log, a report or a station's
// event line takes it; the console gives "\n  " to put the hint on a line
// of its own.
std::string PortFailureReason(const std::string& device, int failure, int systemError,
                              const char* beforeHint = ". ");

}  // namespace stb::app
