#include "WindowClass.h"

namespace stb::winui {

bool RegisterWindowClass(const TWindowClass& c) {
  WNDCLASSEXW w{};
  w.cbSize = sizeof w;
  w.style = c.Style;
  w.lpfnWndProc = c.Proc;
  w.hInstance = Instance();
  w.hIcon = c.Icon ? LoadIconW(nullptr, IDI_APPLICATION) : nullptr;
  w.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  w.hbrBackground = c.FaceBackground ? reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1) : nullptr;
  w.lpszClassName = c.Name;
  return RegisterClassExW(&w) != 0;
}

}  // namespace stb::winui
