// A control's text, whole: the window's own reads and its tests' alike.
#pragma once

#include "Win32.h"

#include <string>

namespace stb::winui {

inline std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace stb::winui
