// What every window of the program's own classes needs: its class
// registered, and a window procedure that takes each message to the object
// the window belongs to. That object is kept in the window's user data;
// while it is not there yet, or no longer (the object let go of its window
// first, or the window is on its way out), the system's default answers.
#pragma once

#include "Win32.h"

namespace stb::winui {

// The program's own module: the one its window classes are registered with.
inline HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

struct TWindowClass {
  const wchar_t* Name = nullptr;
  WNDPROC Proc = nullptr;
  UINT Style = 0;
  // The application's icon, for a window with a caption of its own.
  bool Icon = false;
  // Erased in the face colour before it paints; without, the window paints
  // every pixel itself and nothing flickers under it.
  bool FaceBackground = true;
};

// Registers `c` with an arrow cursor; false when the system refused it.
bool RegisterWindowClass(const TWindowClass& c);

// Gives `hwnd` to `owner`; nullptr: to none, and from then on what the
// window receives is the system's (an object letting go of its window
// before it goes, or a window on its way out).
inline void SetOwner(HWND hwnd, void* owner) {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
}

// The object `hwnd` belongs to; nullptr while there is none.
template <class T>
T* OwnerOf(HWND hwnd) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// The window procedure of a class whose windows are given their object once
// they are made (SetOwner): every message to `Handler`.
template <class T, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ToOwner(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  T* const self = OwnerOf<T>(hwnd);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return (self->*Handler)(message, wParam, lParam);
}

// The same for windows made with their object as CreateWindowExW's last
// argument. The object is theirs from the first message on (WM_NCCREATE),
// and learns its window then, in `Window`: what the window receives before
// CreateWindowExW returns reaches the object already.
template <class T, HWND T::*Window, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ToCreator(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetOwner(hwnd, self);
    self->*Window = hwnd;
  }
  return ToOwner<T, Handler>(hwnd, message, wParam, lParam);
}

}  // namespace stb::winui
