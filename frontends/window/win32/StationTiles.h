// The station window's tiles on Win32: a scrolled area holding one small
// custom-drawn child window per port. Each tile keeps the texts it shows and,
// on a turn, repaints only the lines that changed, so that 64 ports under
// way cost a few small paints a turn rather than a whole window. A tile's
// window text is all of its lines, one a line: what a screen reader or
// another program reads of it.
#pragma once

#include "Win32.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "StationDisplay.h"
#include "StationWindowLayout.h"

namespace stb::winui {

class TStationTiles {
 public:
  // The lines of a tile from the top: port, state, step, the note (two
  // lines, wrapped), the counters last.
  static constexpr std::size_t kLines = 5;

  // `open`: a tile was double-clicked, or Enter pressed on it.
  TStationTiles(HWND parent, HFONT face, HFONT bold, std::function<void(std::size_t)> open);
  ~TStationTiles();
  TStationTiles(const TStationTiles&) = delete;
  TStationTiles& operator=(const TStationTiles&) = delete;

  // Places the area in its parent and the tiles in rows inside it.
  void Place(int left, int top, int width, int height);
  // Brings the tiles to the ports' views: a new port gets a tile, and a
  // tile repaints only what changed in its view.
  void Show(const std::vector<app::TPortView>& views);
  // What the area says while it holds no tile ("type the code").
  void SetHint(const std::wstring& hint);

  HWND Area() const { return area_; }
  std::size_t Count() const { return tiles_.size(); }
  HWND Tile(std::size_t index) const { return tiles_.at(index)->Window; }
  app::TPortStatus Status(std::size_t index) const { return tiles_.at(index)->Status; }
  // The tiles repainted since the count was last taken (tests, bench).
  long TakeRepaints() { return std::exchange(repaints_, 0); }

 private:
  struct TTile {
    HWND Window = nullptr;
    app::TPortStatus Status = app::TPortStatus::Waiting;
    int Percent = -1;
    std::array<std::wstring, kLines> Lines;
    std::wstring Details;  // every line, whole: the window text and the tooltip
  };

  static LRESULT CALLBACK TileProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnArea(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnTile(std::size_t index, UINT message, WPARAM wParam, LPARAM lParam);
  void AddTile();
  void Update(std::size_t index, const app::TPortView& view);
  void PaintTile(std::size_t index, HDC dc, const RECT& update) const;
  void Arrange();
  void ScrollTo(int position);
  void MakeVisible(std::size_t index);
  void MoveFocus(std::size_t from, int by);
  std::size_t IndexOf(HWND tile) const;

  HWND area_ = nullptr;
  HWND tips_ = nullptr;
  HFONT face_;
  HFONT bold_;
  std::function<void(std::size_t)> open_;
  std::vector<std::unique_ptr<TTile>> tiles_;
  std::wstring hint_;
  int across_ = 1;
  int scroll_ = 0;  // pixels of the tiles scrolled off the top
  long repaints_ = 0;
  // One tile's picture, drawn off the screen and copied whole: no flicker.
  HDC canvas_ = nullptr;
  HBITMAP canvasBitmap_ = nullptr;
  HGDIOBJ canvasOld_ = nullptr;
};

}  // namespace stb::winui
