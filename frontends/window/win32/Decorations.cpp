#include "Decorations.h"

#include <cmath>
#include <string>

#include "LayoutGdi.h"
#include "WideText.h"
#include "WindowClass.h"

namespace stb::winui {

namespace {

constexpr wchar_t kAnimationClass[] = L"StbCopyAnimation";
constexpr UINT_PTR kFrameTimer = 1;

// A pen and a brush selected into a device context for as long as this lives.
class TPenAndBrush {
 public:
  TPenAndBrush(HDC dc, HPEN pen, HBRUSH brush)
      : dc_(dc),
        pen_(pen),
        brush_(brush),
        oldPen_(SelectObject(dc, pen)),
        oldBrush_(SelectObject(dc, brush)) {}
  ~TPenAndBrush() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    if (brush_ != GetStockObject(NULL_BRUSH)) DeleteObject(brush_);
  }
  TPenAndBrush(const TPenAndBrush&) = delete;
  TPenAndBrush& operator=(const TPenAndBrush&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_, oldBrush_;
};

HBRUSH NoBrush() { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }

// A GDI rectangle covers its right and bottom edges only with one more.
void Outline(HDC dc, const layout::TBounds& b, int dx = 0, int dy = 0) {
  Rectangle(dc, dx + b.Left, dy + b.Top, dx + b.Left + b.Width + 1, dy + b.Top + b.Height + 1);
}

TRIVERTEX Vertex(int x, int y, const layout::TRgb& from, const layout::TRgb& to, double t) {
  auto mix = [t](std::uint8_t a, std::uint8_t b) {
    return static_cast<COLOR16>(static_cast<int>((a + (b - a) * t) * 256.0 + 0.5));
  };
  return {x, y, mix(from.R, to.R), mix(from.G, to.G), mix(from.B, to.B), 0};
}

// A linear gradient from the top left corner to the bottom right one: two
// triangles whose corners carry the gradient's own value there.
void DiagonalGradient(HDC dc, int w, int h, const layout::TRgb& from, const layout::TRgb& to) {
  const double d = static_cast<double>(w) * w + static_cast<double>(h) * h;
  TRIVERTEX v[4] = {Vertex(0, 0, from, to, 0), Vertex(w, 0, from, to, w * static_cast<double>(w) / d),
                    Vertex(w, h, from, to, 1), Vertex(0, h, from, to, h * static_cast<double>(h) / d)};
  GRADIENT_TRIANGLE t[2] = {{0, 1, 2}, {0, 2, 3}};
  GradientFill(dc, v, 4, t, 2, GRADIENT_FILL_TRIANGLE);
}

HFONT BannerFont(HDC dc, int points, bool bold) {
  return CreateFontW(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                     FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, L"MS Shell Dlg 2");
}

void Text(HDC dc, const char* text, HFONT font, COLORREF color, RECT place) {
  const HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, color);
  const std::wstring wide = WidenLatin1(text);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &place,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteObject(font);
}

}  // namespace

void TRoundedFrame::Paint(HDC dc) const {
  TPenAndBrush tools(dc, CreatePen(PS_SOLID, 1, Rgb(pen_)), NoBrush());
  const int d = 2 * layout::kHeaderFrameCornerRadius;
  RoundRect(dc, bounds_.Left, bounds_.Top, bounds_.Left + bounds_.Width, bounds_.Top + bounds_.Height, d, d);
}

void TBanner::Paint(HDC dc) const {
  namespace b = layout::banner;
  const int w = bounds_.Width;
  const int h = bounds_.Height;
  const int saved = SaveDC(dc);
  OffsetViewportOrgEx(dc, bounds_.Left, bounds_.Top, nullptr);
  IntersectClipRect(dc, 0, 0, w, h);
  DiagonalGradient(dc, w, h, b::kSkyFrom, b::kSkyTo);

  // A set-top box with its front panel, and a cable running out to the text.
  {
    TPenAndBrush tools(dc, CreatePen(PS_SOLID, 1, Rgb(b::kBoxEdge)), CreateSolidBrush(Rgb(b::kBoxFace)));
    const int d = 2 * b::kBoxCornerRadius;
    RoundRect(dc, b::kBox.Left, b::kBox.Top, b::kBox.Left + b::kBox.Width + 1,
              b::kBox.Top + b::kBox.Height + 1, d, d);
  }
  {
    TPenAndBrush tools(dc, CreatePen(PS_SOLID, 1, Rgb(b::kBoxEdge)), CreateSolidBrush(Rgb(b::kLamp)));
    const layout::TPoint c = b::kLampCentre;
    Ellipse(dc, c.X - b::kLampRadius, c.Y - b::kLampRadius, c.X + b::kLampRadius + 1,
            c.Y + b::kLampRadius + 1);
  }
  {
    TPenAndBrush tools(dc, CreatePen(PS_SOLID, 2, Rgb(b::kCable)), NoBrush());
    POINT cable[4];
    for (int i = 0; i < 4; ++i) cable[i] = {b::kCablePath[i].X, b::kCablePath[i].Y};
    PolyBezier(dc, cable, 4);
  }

  SetBkMode(dc, TRANSPARENT);
  Text(dc, b::kTitle, BannerFont(dc, b::kTitlePoints, true), Rgb(b::kTitleColor),
       {b::kTitleLeft, b::kTitleTop, w - 10, b::kTitleTop + b::kTitleHeight});
  Text(dc, b::kSubtitle, BannerFont(dc, b::kSubtitlePoints, false), Rgb(b::kSubtitleColor),
       {b::kSubtitleLeft, b::kSubtitleTop, w - 8, b::kSubtitleTop + b::kSubtitleHeight});
  RestoreDC(dc, saved);
}

TCopyAnimation::TCopyAnimation(HWND parent, const layout::TBounds& bounds) {
  static const bool registered = RegisterWindowClass(
      {.Name = kAnimationClass,
       .Proc = ToCreator<TCopyAnimation, &TCopyAnimation::hwnd_, &TCopyAnimation::OnMessage>,
       .FaceBackground = false});
  (void)registered;
  hwnd_ = CreateWindowExW(0, kAnimationClass, L"", WS_CHILD | WS_VISIBLE, bounds.Left, bounds.Top,
                          bounds.Width, bounds.Height, parent, nullptr, Instance(), this);
}

TCopyAnimation::~TCopyAnimation() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TCopyAnimation::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (!hwnd_) return;
  if (active) {
    SetTimer(hwnd_, kFrameTimer, layout::animation::kFrameMs, nullptr);
  } else {
    KillTimer(hwnd_, kFrameTimer);
    frame_ = kStopFrame;
  }
  InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT TCopyAnimation::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  switch (message) {
    case WM_TIMER:
      if (wParam != kFrameTimer || !active_) break;
      frame_ = (frame_ + 1) % kFrames;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND: return 1;  // painted whole, through a bitmap: no flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd, &ps);
      Paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      // With its parent, before this object goes.
      KillTimer(hwnd, kFrameTimer);
      SetOwner(hwnd, nullptr);
      hwnd_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void TCopyAnimation::Paint(HDC target) const {
  namespace a = layout::animation;
  RECT client;
  GetClientRect(hwnd_, &client);
  const int w = client.right;
  const int h = client.bottom;
  const HDC dc = CreateCompatibleDC(target);
  const HBITMAP bitmap = CreateCompatibleBitmap(target, w, h);
  const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

  {
    TPenAndBrush tools(dc, CreatePen(PS_SOLID, 1, Rgb(a::kFolderEdge)),
                       CreateSolidBrush(Rgb(a::kFolderFace)));
    for (const a::TPointF at : {a::SourceFolder(w, h), a::TargetFolder(w, h)}) {
      const int x = static_cast<int>(at.X);
      const int y = static_cast<int>(at.Y);
      Outline(dc, a::kFolderTab, x, y);
      Outline(dc, a::kFolderBody, x, y);
    }
  }

  const a::TSheetPlace sheet = a::SheetAt(frame_, w, h);
  SetGraphicsMode(dc, GM_ADVANCED);
  const double turn = sheet.Degrees * 3.14159265358979323846 / 180.0;
  const XFORM place{static_cast<FLOAT>(std::cos(turn)),  static_cast<FLOAT>(std::sin(turn)),
                    static_cast<FLOAT>(-std::sin(turn)), static_cast<FLOAT>(std::cos(turn)),
                    static_cast<FLOAT>(sheet.X),         static_cast<FLOAT>(sheet.Y)};
  SetWorldTransform(dc, &place);
  {
    TPenAndBrush tools(dc, CreatePen(PS_SOLID, 1, Rgb(a::kSheetEdge)),
                       CreateSolidBrush(RGB(0xff, 0xff, 0xff)));
    Outline(dc, a::kSheet);
    for (int i = 0; i < a::kSheetLines; ++i) {
      MoveToEx(dc, -6, -8 + 5 * i, nullptr);
      LineTo(dc, 7, -8 + 5 * i);
    }
  }
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);

  BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace stb::winui
