#include "PortLogWindow.h"

#include <algorithm>

#include "FileByName.h"
#include "StationWindowLayout.h"
#include "WideText.h"
#include "WindowClass.h"

namespace stb::winui {

namespace {

namespace s = layout::station;

constexpr wchar_t kClass[] = L"StbPortLog";
constexpr UINT_PTR kRefreshTimer = 1;
// The most one refresh reads: a log far behind catches up over a few.
constexpr DWORD kMostPerRefresh = 1 << 20;

}  // namespace

TPortLogWindow::TPortLogWindow(HWND owner, const std::string& port, const std::string& logFile, HFONT font)
    : logFile_(logFile) {
  static const bool registered = RegisterWindowClass(
      {.Name = kClass,
       .Proc = ToCreator<TPortLogWindow, &TPortLogWindow::hwnd_, &TPortLogWindow::OnMessage>,
       .Icon = true});
  (void)registered;
  // Owned by the station window: above it, and gone with it.
  hwnd_ = CreateWindowExW(0, kClass, WidenLatin1(s::kLogCaption + port).c_str(),
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 640, 420,
                          owner, nullptr, Instance(), this);
  text_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                              ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL,
                          0, 0, 0, 0, hwnd_, nullptr, Instance(), nullptr);
  SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(text_, EM_SETLIMITTEXT, 0, 0);
  RECT client;
  GetClientRect(hwnd_, &client);
  MoveWindow(text_, 0, 0, client.right, client.bottom, FALSE);
  if (logFile_.empty()) {
    SetWindowTextW(text_, WidenLatin1(s::kNoLog).c_str());
  } else {
    Refresh();
    SetTimer(hwnd_, kRefreshTimer, s::kLogRefreshMs, nullptr);
  }
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(text_);
}

TPortLogWindow::~TPortLogWindow() {
  if (hwnd_) {
    SetOwner(hwnd_, nullptr);
    DestroyWindow(hwnd_);
  }
}

void TPortLogWindow::Raise() {
  if (!hwnd_) return;
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  SetForegroundWindow(hwnd_);
  SetFocus(text_);
}

void TPortLogWindow::Refresh() {
  if (!hwnd_ || logFile_.empty()) return;
  // Shared every way: the port's thread keeps the file open for appending.
  const HANDLE file =
      CreateFileW(upgrade::WideFileName(logFile_).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;  // not written yet
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  if (static_cast<std::uint64_t>(size.QuadPart) < read_) {
    // A new file in the old one's place: shown from its start.
    SetWindowTextW(text_, L"");
    read_ = 0;
    lastWasCr_ = false;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > read_) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(read_);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    const auto want = static_cast<DWORD>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size.QuadPart) - read_, kMostPerRefresh));
    std::string bytes(want, '\0');
    DWORD got = 0;
    if (ReadFile(file, bytes.data(), want, &got, nullptr) && got > 0) {
      bytes.resize(got);
      read_ += got;
      Append(bytes);
    }
  }
  CloseHandle(file);
}

void TPortLogWindow::Append(const std::string& bytes) {
  // A line break may fall between two reads: a CR at the end of one and its
  // LF at the start of the next make one break, not two.
  std::wstring wide;
  wide.reserve(bytes.size() + bytes.size() / 32);
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == '\n') {
      if (!lastWasCr_) wide += L'\r';
      wide += L'\n';
    } else {
      wide += c == '\0' ? L'\u2400' : static_cast<wchar_t>(c);
    }
    lastWasCr_ = c == '\r';
  }
  // Follows the end only when the reader is there: a selection elsewhere
  // stays where it is.
  DWORD from = 0, to = 0;
  SendMessageW(text_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  const auto end = static_cast<DWORD>(GetWindowTextLengthW(text_));
  const bool atEnd = from == end && to == end;
  SendMessageW(text_, EM_SETSEL, end, end);
  SendMessageW(text_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  if (atEnd) {
    SendMessageW(text_, EM_SCROLLCARET, 0, 0);
  } else {
    SendMessageW(text_, EM_SETSEL, from, to);
  }
}

LRESULT TPortLogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kRefreshTimer) Refresh();
      return 0;
    case WM_SIZE:
      if (text_) MoveWindow(text_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS: SetFocus(text_); return 0;
    case WM_CTLCOLORSTATIC:
      // A read-only edit would take the face colour: the log stays a text page.
      SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_DESTROY: {
      const HWND hwnd = hwnd_;
      KillTimer(hwnd, kRefreshTimer);
      SetOwner(hwnd, nullptr);
      hwnd_ = nullptr;
      text_ = nullptr;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace stb::winui
