// The header's drawn parts, with GDI: the rounded frame and the banner,
// which the window paints on itself (they take no input and need no window),
// and the animation of a sheet copied from one folder to another, a child
// window with a frame timer of its own.
#pragma once

#include "Win32.h"

#include "OperatorWindowLayout.h"

namespace stb::winui {

// A rounded rectangle outline drawn inside its bounds.
class TRoundedFrame {
 public:
  TRoundedFrame(const layout::TBounds& bounds, layout::TRgb pen) : bounds_(bounds), pen_(pen) {}
  void Paint(HDC dc) const;

 private:
  layout::TBounds bounds_;
  layout::TRgb pen_;
};

// The banner picture of the header.
class TBanner {
 public:
  explicit TBanner(const layout::TBounds& bounds) : bounds_(bounds) {}
  void Paint(HDC dc) const;

 private:
  layout::TBounds bounds_;
};

// A sheet flying from the left folder to the right one, frame by frame.
// While it does not run, the stop frame is shown.
class TCopyAnimation {
 public:
  static constexpr int kFrames = layout::animation::kFrames;
  static constexpr int kStopFrame = layout::animation::kStopFrame;

  TCopyAnimation(HWND parent, const layout::TBounds& bounds);
  ~TCopyAnimation();
  TCopyAnimation(const TCopyAnimation&) = delete;
  TCopyAnimation& operator=(const TCopyAnimation&) = delete;

  void SetActive(bool active);
  bool Active() const { return active_; }
  int Frame() const { return frame_; }
  HWND Handle() const { return hwnd_; }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc) const;

  HWND hwnd_ = nullptr;
  bool active_ = false;
  int frame_ = kStopFrame;
};

}  // namespace stb::winui
