#include "StationTiles.h"

#include <algorithm>
#include <utility>

#include <commctrl.h>

#include "LayoutGdi.h"
#include "StationTileText.h"
#include "WideText.h"
#include "WindowClass.h"

namespace stb::winui {

namespace {

namespace s = layout::station;

constexpr wchar_t kAreaClass[] = L"StbStationTiles";
constexpr wchar_t kTileClass[] = L"StbStationTile";
constexpr int kRowStep = s::kTileHeight + s::kTileGap;
// A scroll bar's arrow moves the tiles this far; the wheel half a row a notch.
constexpr int kLineStep = 24;

constexpr std::size_t kNoteSlot = 3;

RECT LineRect(std::size_t slot) {
  if (slot == kNoteSlot)
    return {s::kTileNote.Left, s::kTileNote.Top, s::kTileNote.Left + s::kTileNote.Width,
            s::kTileNote.Top + s::kTileNote.Height};
  const int top = slot + 1 == TStationTiles::kLines
                      ? s::kTileCountersTop
                      : s::kTilePadding + static_cast<int>(slot) * s::kTileLineHeight;
  return {s::kTilePadding, top, s::kTileWidth - s::kTilePadding, top + s::kTileLineHeight};
}

RECT BarRect() {
  return {s::kTileBar.Left, s::kTileBar.Top, s::kTileBar.Left + s::kTileBar.Width,
          s::kTileBar.Top + s::kTileBar.Height};
}

// The lines a tile draws, each in its place: port, state, step (with the
// pace while the image goes), the note, the counters.
std::array<std::wstring, TStationTiles::kLines> Slots(const app::TTileText& t) {
  return {WidenLatin1(t.Port), WidenLatin1(t.State),
          WidenLatin1(t.Pace.empty() ? t.Step : t.Step + "  " + t.Pace), WidenLatin1(app::TileNote(t)),
          WidenLatin1(t.Counters)};
}

// The details as the window text has them: one line each, CR LF between.
std::wstring Details(const app::TTileText& t) { return WidenLatin1(app::TileDetails(t)); }

}  // namespace

TStationTiles::TStationTiles(HWND parent, HFONT face, HFONT bold, std::function<void(std::size_t)> open)
    : face_(face), bold_(bold), open_(std::move(open)) {
  static const bool registered =
      RegisterWindowClass({.Name = kAreaClass, .Proc = ToOwner<TStationTiles, &TStationTiles::OnArea>}) &&
      RegisterWindowClass(
          {.Name = kTileClass, .Proc = TileProc, .Style = CS_DBLCLKS, .FaceBackground = false});
  (void)registered;
  // The tiles take the keyboard in the parent's tab order (WS_EX_CONTROLPARENT).
  area_ = CreateWindowExW(WS_EX_CONTROLPARENT, kAreaClass, L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN, 0, 0, 0, 0, parent, nullptr,
                          Instance(), nullptr);
  SetOwner(area_, this);
  // The whole tile on hovering it: the compact tile cuts what it has no
  // room for.
  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, area_, nullptr,
                          Instance(), nullptr);
  SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, 480);
  SendMessageW(tips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  const HDC screen = GetDC(nullptr);
  canvas_ = CreateCompatibleDC(screen);
  canvasBitmap_ = CreateCompatibleBitmap(screen, s::kTileWidth, s::kTileHeight);
  ReleaseDC(nullptr, screen);
  canvasOld_ = SelectObject(canvas_, canvasBitmap_);
}

TStationTiles::~TStationTiles() {
  if (area_ && IsWindow(area_)) {
    SetOwner(area_, nullptr);
    for (const auto& tile : tiles_) SetOwner(tile->Window, nullptr);
  }
  SelectObject(canvas_, canvasOld_);
  DeleteObject(canvasBitmap_);
  DeleteDC(canvas_);
}

void TStationTiles::Place(int left, int top, int width, int height) {
  SetWindowPos(area_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  Arrange();
}

void TStationTiles::SetHint(const std::wstring& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  InvalidateRect(area_, nullptr, TRUE);
}

void TStationTiles::Show(const std::vector<app::TPortView>& views) {
  const bool grew = views.size() > tiles_.size();
  while (tiles_.size() < views.size()) AddTile();
  for (std::size_t i = 0; i < views.size(); ++i) Update(i, views[i]);
  if (grew) {
    Arrange();
    InvalidateRect(area_, nullptr, TRUE);  // the hint goes
  }
}

void TStationTiles::AddTile() {
  const std::size_t index = tiles_.size();
  auto tile = std::make_unique<TTile>();
  // The control id is the tile's index, one up (0 is no id).
  tile->Window =
      CreateWindowExW(0, kTileClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, s::kTileWidth,
                      s::kTileHeight, area_, reinterpret_cast<HMENU>(index + 1), Instance(), nullptr);
  SetOwner(tile->Window, this);
  TTTOOLINFOW tip{};
  tip.cbSize = sizeof tip;
  tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tip.hwnd = area_;
  tip.uId = reinterpret_cast<UINT_PTR>(tile->Window);
  tip.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
  tiles_.push_back(std::move(tile));
}

void TStationTiles::Update(std::size_t index, const app::TPortView& view) {
  TTile& tile = *tiles_[index];
  const app::TTileText text = app::TileText(view);
  const auto slots = Slots(text);
  const app::TPortStatus status = app::StatusOf(view);
  if (status != tile.Status) {
    tile.Status = status;
    InvalidateRect(tile.Window, nullptr, FALSE);
    ++repaints_;
  } else {
    bool repaint = false;
    for (std::size_t i = 0; i < kLines; ++i) {
      if (slots[i] == tile.Lines[i]) continue;
      const RECT line = LineRect(i);
      InvalidateRect(tile.Window, &line, FALSE);
      repaint = true;
    }
    if (view.Percent != tile.Percent) {
      const RECT bar = BarRect();
      InvalidateRect(tile.Window, &bar, FALSE);
      repaint = true;
    }
    repaints_ += repaint ? 1 : 0;
  }
  tile.Percent = view.Percent;
  tile.Lines = slots;
  std::wstring details = Details(text);
  if (details == tile.Details) return;
  tile.Details = std::move(details);
  SetWindowTextW(tile.Window, tile.Details.c_str());
}

void TStationTiles::PaintTile(std::size_t index, HDC target, const RECT& update) const {
  const TTile& tile = *tiles_[index];
  const RECT whole{0, 0, s::kTileWidth, s::kTileHeight};
  FillRect(canvas_, &whole, GetSysColorBrush(COLOR_BTNFACE));

  const HBRUSH fill = CreateSolidBrush(Rgb(s::kStatusColors[static_cast<int>(tile.Status)]));
  const HPEN edge = CreatePen(PS_SOLID, 1, Rgb(s::kTileEdge));
  const HGDIOBJ oldBrush = SelectObject(canvas_, fill);
  const HGDIOBJ oldPen = SelectObject(canvas_, edge);
  const int d = 2 * s::kTileCornerRadius;
  RoundRect(canvas_, 0, 0, s::kTileWidth, s::kTileHeight, d, d);

  // The bar: its frame, white, and the part done in the highlight colour.
  const RECT bar = BarRect();
  SelectObject(canvas_, GetStockObject(WHITE_BRUSH));
  Rectangle(canvas_, bar.left, bar.top, bar.right, bar.bottom);
  if (tile.Percent > 0) {
    RECT done{bar.left + 1, bar.top + 1,
              bar.left + 1 + (bar.right - bar.left - 2) * std::min(tile.Percent, 100) / 100, bar.bottom - 1};
    FillRect(canvas_, &done, GetSysColorBrush(COLOR_HIGHLIGHT));
  }
  SelectObject(canvas_, oldBrush);
  SelectObject(canvas_, oldPen);
  DeleteObject(fill);
  DeleteObject(edge);

  SetBkMode(canvas_, TRANSPARENT);
  SetTextColor(canvas_, Rgb(s::kTileText));
  const HGDIOBJ oldFont = SelectObject(canvas_, bold_);
  for (std::size_t i = 0; i < kLines; ++i) {
    if (i == 1) SelectObject(canvas_, face_);
    const std::wstring& line = tile.Lines[i];
    if (line.empty()) continue;
    RECT place = LineRect(i);
    // The note wraps at the words into its two lines; the tooltip has it whole.
    const UINT lines = i == kNoteSlot ? DT_WORDBREAK | DT_EDITCONTROL : DT_VCENTER | DT_SINGLELINE;
    DrawTextW(canvas_, line.c_str(), static_cast<int>(line.size()), &place,
              DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS | lines);
  }
  SelectObject(canvas_, oldFont);
  if (GetFocus() == tile.Window) {
    RECT focus{3, 3, s::kTileWidth - 3, s::kTileHeight - 3};
    DrawFocusRect(canvas_, &focus);
  }
  BitBlt(target, update.left, update.top, update.right - update.left, update.bottom - update.top, canvas_,
         update.left, update.top, SRCCOPY);
}

void TStationTiles::Arrange() {
  RECT client;
  GetClientRect(area_, &client);
  across_ = layout::station::TilesAcross(client.right);
  const int rows = (static_cast<int>(tiles_.size()) + across_ - 1) / across_;
  const int content = s::kTileGap + rows * kRowStep;
  scroll_ = std::clamp(scroll_, 0, std::max(0, content - static_cast<int>(client.bottom)));
  // The bar always shows, greyed when all fits: the tiles' width never
  // changes with it.
  SCROLLINFO info{sizeof info,
                  SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL,
                  0,
                  content - 1,
                  static_cast<UINT>(client.bottom),
                  scroll_,
                  0};
  SetScrollInfo(area_, SB_VERT, &info, TRUE);
  if (tiles_.empty()) return;
  HDWP moves = BeginDeferWindowPos(static_cast<int>(tiles_.size()));
  for (std::size_t i = 0; i < tiles_.size(); ++i) {
    const layout::TBounds place = s::TilePlace(static_cast<int>(i), across_);
    moves = DeferWindowPos(moves, tiles_[i]->Window, nullptr, place.Left, place.Top - scroll_, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  EndDeferWindowPos(moves);
}

void TStationTiles::ScrollTo(int position) {
  RECT client;
  GetClientRect(area_, &client);
  SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  GetScrollInfo(area_, SB_VERT, &info);
  const int most = std::max(0, info.nMax + 1 - static_cast<int>(info.nPage));
  position = std::clamp(position, 0, most);
  if (position == scroll_) return;
  scroll_ = position;
  Arrange();
  InvalidateRect(area_, nullptr, TRUE);
}

void TStationTiles::MakeVisible(std::size_t index) {
  RECT client;
  GetClientRect(area_, &client);
  const layout::TBounds place = s::TilePlace(static_cast<int>(index), across_);
  if (place.Top - s::kTileGap < scroll_) {
    ScrollTo(place.Top - s::kTileGap);
  } else if (place.Top + place.Height + s::kTileGap > scroll_ + client.bottom) {
    ScrollTo(place.Top + place.Height + s::kTileGap - client.bottom);
  }
}

void TStationTiles::MoveFocus(std::size_t from, int by) {
  const long to = static_cast<long>(from) + by;
  if (to < 0 || to >= static_cast<long>(tiles_.size())) return;
  SetFocus(tiles_[static_cast<std::size_t>(to)]->Window);
}

std::size_t TStationTiles::IndexOf(HWND tile) const {
  return static_cast<std::size_t>(GetDlgCtrlID(tile) - 1);
}

LRESULT TStationTiles::OnArea(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE: Arrange(); return 0;
    case WM_VSCROLL: {
      RECT client;
      GetClientRect(area_, &client);
      SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
      GetScrollInfo(area_, SB_VERT, &info);
      switch (LOWORD(wParam)) {
        case SB_LINEUP: ScrollTo(scroll_ - kLineStep); break;
        case SB_LINEDOWN: ScrollTo(scroll_ + kLineStep); break;
        case SB_PAGEUP: ScrollTo(scroll_ - client.bottom); break;
        case SB_PAGEDOWN: ScrollTo(scroll_ + client.bottom); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: ScrollTo(info.nTrackPos); break;
        case SB_TOP: ScrollTo(0); break;
        case SB_BOTTOM: ScrollTo(1 << 30); break;
      }
      return 0;
    }
    case WM_NOTIFY: {
      auto* tip = reinterpret_cast<NMTTDISPINFOW*>(lParam);
      if (tip->hdr.hwndFrom != tips_ || tip->hdr.code != TTN_GETDISPINFOW) break;
      const std::size_t index = IndexOf(reinterpret_cast<HWND>(tip->hdr.idFrom));
      if (index < tiles_.size()) tip->lpszText = const_cast<wchar_t*>(tiles_[index]->Details.c_str());
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(scroll_ - GET_WHEEL_DELTA_WPARAM(wParam) * (kRowStep / 2) / WHEEL_DELTA);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(area_, &ps);
      if (tiles_.empty() && !hint_.empty()) {
        RECT client;
        GetClientRect(area_, &client);
        SetBkMode(dc, TRANSPARENT);
        const HGDIOBJ old = SelectObject(dc, face_);
        DrawTextW(dc, hint_.c_str(), static_cast<int>(hint_.size()), &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
      }
      EndPaint(area_, &ps);
      return 0;
    }
  }
  return DefWindowProcW(area_, message, wParam, lParam);
}

LRESULT CALLBACK TStationTiles::TileProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = OwnerOf<TStationTiles>(hwnd);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  const std::size_t index = self->IndexOf(hwnd);
  if (index >= self->tiles_.size()) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->OnTile(index, message, wParam, lParam);
}

LRESULT TStationTiles::OnTile(std::size_t index, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = tiles_[index]->Window;
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd, &ps);
      PaintTile(index, dc, ps.rcPaint);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintTile(index, reinterpret_cast<HDC>(wParam), {0, 0, s::kTileWidth, s::kTileHeight});
      return 0;
    case WM_SETFOCUS:
      MakeVisible(index);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
    case WM_LBUTTONDBLCLK: open_(index); return 0;
    case WM_GETDLGCODE: {
      // The arrows move between the tiles; Enter opens the focused one
      // instead of pressing the window's default button.
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      const bool enter = msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN;
      return DLGC_WANTARROWS | (enter ? DLGC_WANTMESSAGE : 0);
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_RETURN: open_(index); return 0;
        case VK_LEFT: MoveFocus(index, -1); return 0;
        case VK_RIGHT: MoveFocus(index, 1); return 0;
        case VK_UP: MoveFocus(index, -across_); return 0;
        case VK_DOWN: MoveFocus(index, across_); return 0;
      }
      break;
    case WM_MOUSEWHEEL: return SendMessageW(area_, message, wParam, lParam);
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace stb::winui
