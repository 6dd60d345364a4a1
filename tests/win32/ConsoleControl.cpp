// Starts a console program on a console of its own and presses Ctrl+C in
// that console whenever asked to, as an operator at its keyboard would: the
// way to reach a console program's control handler from a test.
//
//   console_control.exe OUT ERR ASK PROGRAM [ARGUMENTS...]
//
// PROGRAM runs with standard output to the file OUT, standard error to ERR
// and no input. Each time the file ASK appears it is removed and Ctrl+C is
// pressed. Ends with PROGRAM's exit status once it has ended.
//
// Under Wine (8.0) a Ctrl+C only reaches the processes of a console, not one
// process group (CTRL_BREAK_EVENT and a group's id fail with
// ERROR_INVALID_HANDLE), and a program started from a Unix shell without a
// terminal has no console to press it in. So this program takes a new
// console of its own, which PROGRAM shares, and is deaf to the Ctrl+C
// itself.
#include <windows.h>

#include <string>

namespace {

HANDLE gErr = INVALID_HANDLE_VALUE;

void Say(const std::string& text) {
  DWORD written = 0;
  const std::string line = "console_control: " + text + "\n";
  WriteFile(gErr, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Quoted for the program's command line as its C runtime splits it again.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

HANDLE Inheritable(const wchar_t* path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  gErr = GetStdHandle(STD_ERROR_HANDLE);
  if (argc < 5) {
    Say("usage: console_control.exe OUT ERR ASK PROGRAM [ARGUMENTS...]");
    return 2;
  }
  FreeConsole();
  if (!AllocConsole()) {
    Say("no console of its own (error " + std::to_string(GetLastError()) + ")");
    return 2;
  }

  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  start.hStdOutput = Inheritable(argv[1], GENERIC_WRITE, CREATE_ALWAYS);
  start.hStdError = Inheritable(argv[2], GENERIC_WRITE, CREATE_ALWAYS);
  if (start.hStdOutput == INVALID_HANDLE_VALUE || start.hStdError == INVALID_HANDLE_VALUE) {
    Say("cannot make the output files");
    return 2;
  }
  std::wstring command = Quoted(argv[4]);
  for (int i = 5; i < argc; ++i) command += L" " + Quoted(argv[i]);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &started)) {
    Say("cannot start the program (error " + std::to_string(GetLastError()) + ")");
    return 2;
  }
  CloseHandle(started.hThread);
  // Deaf to Ctrl+C only now: a child inherits it, and under Wine turning it
  // back on (SetConsoleCtrlHandler(nullptr, FALSE)) does not undo that.
  SetConsoleCtrlHandler(nullptr, TRUE);

  while (WaitForSingleObject(started.hProcess, 50) == WAIT_TIMEOUT) {
    if (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES) continue;
    DeleteFileW(argv[3]);
    if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
      Say("Ctrl+C pressed");
    } else {
      Say("Ctrl+C could not be pressed (error " + std::to_string(GetLastError()) + ")");
    }
  }
  DWORD status = 2;
  GetExitCodeProcess(started.hProcess, &status);
  return static_cast<int>(status);
}
