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
// The window's inner size when it opens: four tiles across, three down.
inline constexpr int kClientWidth = 4 * 236 + 8;
inline constexpr int kClientHeight = 96 + 3 * 184;
inline constexpr int kFacePoints = 8;  // sans-serif, as the operator window's

// --- The bar across the top (places in the window) ---
inline constexpr TLabelPlace kCodeLabel{"Mode code:", 8, 14};
inline constexpr TBounds kCodeField{76, 10, 80, 22};  // masked: the code is never shown
inline constexpr char kStartText[] = "Start";
inline constexpr TBounds kStartButton{162, 9, 64, 24};
inline constexpr char kStopText[] = "Stop taking boxes";
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
inline constexpr int kTileWidth = 228;
inline constexpr int kTileHeight = 176;
inline constexpr int kTileGap = 8;  // between tiles and round them
inline constexpr int kTileCornerRadius = 6;
inline constexpr TRgb kTileEdge{0x60, 0x60, 0x60};
inline constexpr TRgb kTileText{0x00, 0x00, 0x00};
// The tile's colour by the port's state, in the order of TPortStatus:
// waiting for a box, upgrading, passed, failed, port gone.
inline constexpr TRgb kStatusColors[5]{
    {0xe8, 0xe8, 0xe8},  // waiting: light grey
    {0xff, 0xe9, 0x8a},  // upgrading: amber
    {0x8d, 0xe0, 0x8d},  // passed: green
    {0xf0, 0x8a, 0x8a},  // failed: red
    {0xa8, 0xa8, 0xa8},  // port gone: dark grey
};
// Inside a tile, from its top left: the port's name in bold, then one line
// for each text, then the progress bar and the counters at the bottom.
inline constexpr int kTilePadding = 6;
inline constexpr int kTileLineHeight = 15;
// The lines in their order from the top: port (bold), state, step, pace,
// identity, before, after, outcome (cut to the tile's width).
inline constexpr int kTileLines = 8;
inline constexpr TBounds kTileBar{kTilePadding, kTilePadding + kTileLines* kTileLineHeight + 2,
                                  kTileWidth - 2 * kTilePadding, 12};
inline constexpr int kTileCountersTop = kTileBar.Top + kTileBar.Height + 4;
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
