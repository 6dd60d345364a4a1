// A port's log in a window of its own, read-only, following the file as the
// port writes it: every refresh reads only what was added since the last
// one, so a long log costs no more to follow than a short one. The port's
// thread writes the file and never waits for this window.
#pragma once

#include "Win32.h"

#include <cstdint>
#include <string>

namespace stb::winui {

class TPortLogWindow {
 public:
  // `logFile` empty: the station keeps no logs, and the window says so.
  TPortLogWindow(HWND owner, const std::string& port, const std::string& logFile, HFONT font);
  ~TPortLogWindow();
  TPortLogWindow(const TPortLogWindow&) = delete;
  TPortLogWindow& operator=(const TPortLogWindow&) = delete;

  // Brings the window to the front.
  void Raise();
  // Reads what the port added to its log (the window's timer calls it).
  void Refresh();
  bool Closed() const { return hwnd_ == nullptr; }
  HWND Handle() const { return hwnd_; }
  HWND Text() const { return text_; }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Append(const std::string& bytes);

  std::string logFile_;
  HWND hwnd_ = nullptr;
  HWND text_ = nullptr;
  std::uint64_t read_ = 0;  // bytes of the file shown
  bool lastWasCr_ = false;
};

}  // namespace stb::winui
