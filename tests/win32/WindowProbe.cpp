// A small Windows program that does to another program's window what the
// desktop and an impatient operator do, from a process of its own:
//
//   window_probe ping CAPTION [STOP] sends WM_NULL every 100 ms until the window
//                                    goes away, the file STOP shows up or 300 s
//                                    pass, each time waiting
//                                    up to a second for it to be answered, as the
//                                    system does before it calls a window hung;
//                                    prints how many were answered and the
//                                    slowest, and fails when one was not
//   window_probe type CAPTION TEXT   posts TEXT to the window, a WM_CHAR a character
//   window_probe close CAPTION       posts WM_CLOSE, as the title bar's close does
//
// The window is found by its caption, waiting up to 30 s for it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;
constexpr UINT kAnswerBoundMs = 1000;

long long Milliseconds(TClock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

HWND FindByCaption(const char* caption) {
  for (int i = 0; i < 300; ++i) {
    if (const HWND w = FindWindowA(nullptr, caption)) return w;
    Sleep(100);
  }
  return nullptr;
}

int Ping(HWND window, const char* stopFile) {
  const auto end = TClock::now() + std::chrono::seconds(300);
  long answered = 0;
  TClock::duration slowest{};
  while (TClock::now() < end) {
    const auto sent = TClock::now();
    DWORD_PTR result = 0;
    const LRESULT ok =
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerBoundMs, &result);
    const auto took = TClock::now() - sent;
    const DWORD error = GetLastError();
    if (!IsWindow(window)) break;  // gone: the program ended
    if (!ok) {
      // The time of day, to be set beside the program's log.
      SYSTEMTIME now;
      GetLocalTime(&now);
      std::printf(
          "ping %ld given up at %02u:%02u:%02u.%03u not answered (after %lld ms, error %lu); %ld answered "
          "before\n",
          answered + 1, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, Milliseconds(took), error,
          answered);
      return 1;
    }
    ++answered;
    if (took > slowest) slowest = took;
    if (stopFile && GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(100);
  }
  std::printf("%ld pings answered, the slowest in %lld ms\n", answered, Milliseconds(slowest));
  return answered > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool ping = (argc == 3 || argc == 4) && std::strcmp(argv[1], "ping") == 0;
  const bool type = argc == 4 && std::strcmp(argv[1], "type") == 0;
  const bool close = argc == 3 && std::strcmp(argv[1], "close") == 0;
  if (!ping && !type && !close) {
    std::fprintf(stderr, "usage: window_probe ping CAPTION [STOP] | type CAPTION TEXT | close CAPTION\n");
    return 2;
  }
  const HWND window = FindByCaption(argv[2]);
  if (!window) {
    std::fprintf(stderr, "window_probe: no window captioned '%s'\n", argv[2]);
    return 2;
  }
  int status = 0;
  if (ping) {
    status = Ping(window, argc == 4 ? argv[3] : nullptr);
  } else if (type) {
    for (const char* c = argv[3]; *c; ++c)
      if (!PostMessageA(window, WM_CHAR, static_cast<unsigned char>(*c), 1)) status = 1;
  } else if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
    status = 1;
  }
  std::fflush(stdout);
  return status;
}
