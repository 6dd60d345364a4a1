// The texts of a port's tile in the station window, put together once here
// so that the Qt and the Win32 window read the same words. One line each;
// an empty one is left out of the tile.
//
// The tile itself is compact (its port, state, step, a note, the bar and the
// counters), so that 64 ports fit on one screen; every line, whole, is in
// its tooltip, its window text and at the head of its log window.
#pragma once

#include <string>

#include "StationDisplay.h"

namespace stb::app {

struct TTileText {
  std::string Port;      // "/dev/ttyUSB0", "COM3"
  std::string State;     // "waiting for a box", "download", "upgraded", "refused", "cannot open"...
  std::string Step;      // "3. Start DownLoad"
  std::string Pace;      // "11.2 KiB/s  0:42 left" during the image
  std::string Identity;  // "model 1.2  hardware 3.4"
  std::string Before;    // "before: boot 1.0 nat 2.0 app 3.1/4.0"
  std::string After;     // "after: ...", once the box was told what it gets
  std::string Outcome;   // "upgraded: Congraturation! Software Upgrade OK !!!"
  std::string Why;       // why the port cannot serve now, as the console says it
  std::string Counters;  // "upgraded 3  refused 1  failed 0"

  // A window draws a tile anew only when this changed.
  bool operator==(const TTileText&) const = default;
};

TTileText TileText(const TPortView& view);

// What the compact tile's note (two lines, wrapped) shows: why the port
// cannot serve, else how its last box came out.
const std::string& TileNote(const TTileText& text);
// Every line of the tile, whole, one a line ("\n"), the counters last: the
// tooltip, the window text a screen reader reads, what Ctrl+C copies.
std::string TileDetails(const TTileText& text);

// The caption of each state, as the tile and its legend name it.
const char* StatusName(TPortStatus status);

// How the port's last box came out, in the words the console station and
// the report use: "upgraded", "refused", "failed", "no response",
// "stopped"; empty before the first.
std::string ResultWord(const TPortView& view);

// The state a port is shown in before any code was accepted.
inline constexpr char kWaitingForCode[] = "waiting for the code";

}  // namespace stb::app
