#include <conio.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "AssemblyConsole.h"
#include "Console.h"

namespace stb::app {

namespace {

// The console's input mode as a TUnechoedInput found it, for its end and an
// interrupt's.
DWORD gConsoleMode = 0;
bool gModeSaved = false;

bool StdinHasData() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  switch (GetFileType(in)) {
    case FILE_TYPE_CHAR: return _kbhit() != 0;
    case FILE_TYPE_PIPE: {
      DWORD available = 0;
      // A broken pipe is the end of the input: there is something to read (0 bytes).
      if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;
      return available > 0;
    }
    default: return true;  // a file: reads never wait
  }
}

}  // namespace

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StdoutIsTerminal() {
  if (_isatty(_fileno(stdout)) == 0) return false;
  // A console takes the cursor moves once asked to (Windows 10 on); one
  // that will not gets plain lines, as a file does.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(out, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool WaitForInput(bool watch, int ms) {
  // Standard input offers nothing to wait on here: look every 10 ms.
  using namespace std::chrono_literals;
  const auto until = TClock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (watch && StdinHasData()) return true;
    const auto left = until - TClock::now();
    if (left <= 0ms) return false;
    std::this_thread::sleep_for(std::min<TClock::duration>(left, 10ms));
  }
}

long ReadInput(char* buffer, std::size_t size) {
  if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR) {
    if (!_kbhit()) return -1;
    buffer[0] = static_cast<char>(_getch());  // unechoed, one at a time
    return 1;
  }
  const int n = _read(_fileno(stdin), buffer, static_cast<unsigned>(size));
  return n < 0 ? 0 : n;
}

TUnechoedInput::TUnechoedInput() {
  // An interrupt ends the program in the assembly's handler, which can put
  // the console's input mode back only through the console lent to it.
  LendConsoleToAssembly();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(in, &gConsoleMode)) return;
  gModeSaved = SetConsoleMode(in, gConsoleMode & ~(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT)) != 0;
}

TUnechoedInput::~TUnechoedInput() {
  RestoreTerminalInput();
  gModeSaved = false;
}

void RestoreTerminalInput() {
  if (gModeSaved) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), gConsoleMode);
}

int CopyDescriptor(int fd) { return fd < 0 ? -1 : _dup(fd); }

void CloseDescriptor(int fd) {
  if (fd >= 0) _close(fd);
}

bool WriteConsoleText(int fd, const char* text, std::size_t size) {
  // The descriptor's text mode turns each line end into the system's.
  while (size > 0) {
    const int n = _write(fd, text, static_cast<unsigned>(size));
    if (n <= 0) return false;
    text += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The console's control events come on a thread of their own, never here.
std::string SystemErrorText(int error) {
  char text[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string s(text, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s.empty() ? "error " + std::to_string(error) : s;
}

std::string PortFailureHint(serial::TOpenFailure failure) {
  switch (failure) {
    case serial::TOpenFailure::Busy: return "Another program holds the port; close it and try again.";
    case serial::TOpenFailure::NotFound:
      return "No such port here; stb-downloader --list-ports shows the serial ports there are.";
    default: return "";
  }
}

}  // namespace stb::app
