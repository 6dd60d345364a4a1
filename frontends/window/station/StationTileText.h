// The texts of a port's tile in the station window, put together once here
// so that the Qt and the Win32 window read the same words. One line each;
// an empty one is left out of the tile.
#pragma once

#include <string>

#include "StationDisplay.h"

namespace stb::app {

struct TTileText {
  std::string Port;      // "/dev/ttyUSB0", "COM3"
  std::string State;     // "waiting for box", "download", "passed", "port gone"...
  std::string Step;      // "3. Start DownLoad"
  std::string Pace;      // "11.2 KiB/s  0:42 left" during the image
  std::string Identity;  // "model 1.2  hardware 3.4"
  std::string Before;    // "before: boot 1.0 nat 2.0 app 3.1/4.0"
  std::string After;     // "after: ...", once the box was told what it gets
  std::string Outcome;   // "upgraded: 7. Update Version Table OK"
  std::string Counters;  // "passed 3  failed 1  total 4"

  // A window draws a tile anew only when this changed.
  bool operator==(const TTileText&) const = default;
};

TTileText TileText(const TPortView& view);

// The caption of each state, as the tile and its legend name it.
const char* StatusName(TPortStatus status);

}  // namespace stb::app
