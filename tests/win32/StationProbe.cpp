// What another Windows program reads of the station window, as a screen
// reader or a test does: every control the window holds, with its text, and
// each tile with its place on the screen (for its colour in a picture).
//
//   station_probe read CAPTION
//
// prints one line a control, in the window's own order:
//   tile INDEX LEFT TOP RIGHT BOTTOM LINE | LINE | ...
//   CLASS enabled|disabled TEXT
//
//   station_probe end-session CAPTION
//
// asks the window, as Windows does before a log-off, whether the session may
// end, and prints "may end" or "refused".
// The window is found by its caption, waiting up to 30 s for it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Text(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  // A tile's lines on one line.
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " | ");
  return text;
}

BOOL CALLBACK Print(HWND child, LPARAM) {
  char kind[64] = "";
  GetClassNameA(child, kind, sizeof kind);
  if (std::strcmp(kind, "StbStationTile") == 0) {
    RECT r;
    GetWindowRect(child, &r);
    std::printf("tile %d %ld %ld %ld %ld %s\n", GetDlgCtrlID(child) - 1, r.left, r.top, r.right, r.bottom,
                Text(child).c_str());
  } else if (std::strcmp(kind, "StbStationTiles") != 0) {
    std::printf("%s %s %s\n", kind, IsWindowEnabled(child) ? "enabled" : "disabled", Text(child).c_str());
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const bool read = argc == 3 && std::strcmp(argv[1], "read") == 0;
  const bool endSession = argc == 3 && std::strcmp(argv[1], "end-session") == 0;
  if (!read && !endSession) {
    std::fprintf(stderr, "usage: station_probe read|end-session CAPTION\n");
    return 2;
  }
  HWND window = nullptr;
  for (int i = 0; i < 300 && !window; ++i) {
    window = FindWindowA(nullptr, argv[2]);
    if (!window) Sleep(100);
  }
  if (!window) {
    std::fprintf(stderr, "station_probe: no window captioned '%s'\n", argv[2]);
    return 2;
  }
  if (endSession) {
    DWORD_PTR answer = TRUE;
    if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000,
                             &answer)) {
      std::fprintf(stderr, "station_probe: no answer to the end of the session\n");
      return 1;
    }
    std::printf("%s\n", answer ? "may end" : "refused");
  } else {
    EnumChildWindows(window, Print, 0);
  }
  std::fflush(stdout);
  return 0;
}
