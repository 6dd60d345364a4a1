// The layout's colours and its face font as GDI takes them, for every
// window here alike.
#pragma once

#include "Win32.h"

#include "OperatorWindowLayout.h"

namespace stb::winui {

inline COLORREF Rgb(const layout::TRgb& c) { return RGB(c.R, c.G, c.B); }

// The dialog face, sans-serif, `points` high on the screen's resolution.
// The caller deletes it.
inline HFONT FaceFont(int points, int weight) {
  const HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"MS Shell Dlg 2");
}

}  // namespace stb::winui
