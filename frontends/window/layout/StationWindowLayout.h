// The station window as the operator sees it, whatever toolkit draws it: a
// bar across the top (the mode code, "Stop taking boxes", the counters and
// the station's state), then one tile per port in rows, as many across as
// the window's width takes, scrolled when they are more than it shows. The
// Qt window (qt/) and the Win32 window (win32/) are both laid out from here.
// The tiles' texts come from the window's model (../station/StationTileText.h).
// No toolkit is included here.
#pragma once

#include "OperatorWindowLayout.h"

namespace stb::layout::station {

inline constexpr char kCaption[] = "stb-downloader station";
// The window's inner size when it opens on a few ports: the bar's width,
// three rows of tiles.
inline constexpr int kClientWidth = 952;
inline constexpr int kClientHeight = 64 + 6 + 3 * (106 + 6);
inline constexpr int kFacePoints = 8;  // sans-serif, as the operator window's

// --- The bar across the top (places in the window) ---
inline constexpr TLabelPlace kCodeLabel{"Mode code:", 8, 14};
inline constexpr TBounds kCodeField{76, 10, 80, 22};  // masked: the code is never shown
inline constexpr char kStartText[] = "Start";
inline constexpr TBounds kStartButton{162, 9, 64, 24};
inline constexpr char kStopText[] = "Stop taking boxes";
// The same button once the station takes no new boxes: it undoes the stop.
inline constexpr char kTakeAgainText[] = "Take boxes again";
inline constexpr TBounds kStopButton{236, 9, 128, 24};
// What the station does ("taking boxes"...), and the counters below it.
inline constexpr TBounds kStatusText{376, 6, 560, 18};
inline constexpr TBounds kCountersText{376, 26, 560, 18};
// A message about the code ("the code chooses no mode"), under the field.
inline constexpr TBounds kCodeMessage{8, 40, 928, 18};
inline constexpr TRgb kCodeMessageColor{0xb0, 0x00, 0x00};
// Where the tiles begin; below the bar, a thin rule.
inline constexpr int kTilesTop = 64;

// --- The tiles ---
// Compact, so that 64 ports (eight rows of eight) fit on a 1920x1080 screen
// beside a title bar and a task bar; the whole of a tile is in its tooltip
// and at the head of its log window.
inline constexpr int kTileWidth = 224;
inline constexpr int kTileHeight = 106;
inline constexpr int kTileGap = 6;  // between tiles and round them
inline constexpr int kTileCornerRadius = 5;
inline constexpr TRgb kTileEdge{0x60, 0x60, 0x60};
inline constexpr TRgb kTileText{0x00, 0x00, 0x00};
// The tile's colour by the port's state, in the order of TPortStatus:
// waiting for a box, upgrading, upgraded, failed, port gone, refused.
// Refused is violet: a box turned away by a check is neither a fault of
// the line nor an upgrade, and violet reads apart from red and amber also
// for the colour-blind.
inline constexpr TRgb kStatusColors[6]{
    {0xe8, 0xe8, 0xe8},  // waiting: light grey
    {0xff, 0xe9, 0x8a},  // upgrading: amber
    {0x8d, 0xe0, 0x8d},  // upgraded: green
    {0xf0, 0x8a, 0x8a},  // failed: red
    {0xa8, 0xa8, 0xa8},  // port gone: dark grey
    {0xc8, 0xb4, 0xf4},  // refused: violet
};
// Inside a tile, from its top left: the port's name in bold, its state, its
// step, a note of two lines (wrapped), then the progress bar and the
// counters at the bottom.
inline constexpr int kTilePadding = 5;
inline constexpr int kTileLineHeight = 14;
// The lines in their order from the top: port (bold), state, step, and
// the note's two.
inline constexpr int kTileLines = 5;
inline constexpr int kTileNoteLine = 3;  // the note's first
inline constexpr TBounds kTileNote{kTilePadding, kTilePadding + kTileNoteLine* kTileLineHeight,
                                   kTileWidth - 2 * kTilePadding, 2 * kTileLineHeight};
inline constexpr TBounds kTileBar{kTilePadding, kTilePadding + kTileLines* kTileLineHeight + 2,
                                  kTileWidth - 2 * kTilePadding, 9};
inline constexpr int kTileCountersTop = kTileBar.Top + kTileBar.Height + 2;
static_assert(kTileCountersTop + kTileLineHeight + 4 <= kTileHeight);
// The progress bar: its ground, and the part done (the percent in it).
inline constexpr TRgb kTileBarGround{0xff, 0xff, 0xff};
inline constexpr TRgb kTileBarDone{0x7f, 0xb2, 0xf0};

// Where tile `index` stands among `across` tiles a row (inside the scrolled
// area, whose top is kTilesTop).
inline constexpr TBounds TilePlace(int index, int across) {
  const int column = index % (across > 0 ? across : 1);
  const int row = index / (across > 0 ? across : 1);
  return {kTileGap + column * (kTileWidth + kTileGap), kTileGap + row * (kTileHeight + kTileGap), kTileWidth,
          kTileHeight};
}
// How many tiles a row takes in an area this wide (one at least).
inline constexpr int TilesAcross(int width) {
  const int across = (width - kTileGap) / (kTileWidth + kTileGap);
  return across > 0 ? across : 1;
}

// The window's inner size as it opens on `ports` tiles, within a screen
// area of `screenWidth` by `screenHeight` (inner sizes, the frame taken
// off) and a scroll bar `scrollBar` wide: every tile where they fit (eight
// across at most, so that a row stays easy to follow), else as many as fit,
// the rest scrolled; never smaller than kClientWidth by kClientHeight.
struct TSize {
  int Width = 0;
  int Height = 0;
};
inline constexpr TSize OpenSize(int ports, int screenWidth, int screenHeight, int scrollBar) {
  int across = ports < 4 ? 4 : ports > 8 ? 8 : ports;
  while (across > 4 && kTileGap + across * (kTileWidth + kTileGap) + scrollBar > screenWidth) --across;
  int rows = (ports + across - 1) / across;
  if (rows < 3) rows = 3;
  const int width = kTileGap + across * (kTileWidth + kTileGap) + scrollBar;
  const int height = kTilesTop + kTileGap + rows * (kTileHeight + kTileGap);
  return {width > kClientWidth ? width : kClientWidth, height < kClientHeight  ? kClientHeight
                                                       : height > screenHeight ? screenHeight
                                                                               : height};
}

// --- What the window says ---
// Over the tiles while no code was typed.
inline constexpr char kTypeCode[] = "Type the mode code and press Start (or Enter).";
// Asked once when the window is closed while boxes are being upgraded.
inline constexpr char kCloseQuestion[] =
    "Boxes are being upgraded. A box cut off while it takes its image can be left unusable.\n\n"
    "Stop taking boxes now and close the window when the last upgrade has ended?";
// The caption of the window that shows a port's log; the port follows.
inline constexpr char kLogCaption[] = "Log of ";
inline constexpr char kNoLog[] = "This station keeps no logs: start it with --log-dir DIR.";
// The log window's refresh while the port works.
inline constexpr unsigned kLogRefreshMs = 1000;
// How often the tiles are drawn anew from what the ports reported.
inline constexpr unsigned kTurnMs = 250;

}  // namespace stb::layout::station
