// The upgrade of one run: start-up, mode selection by typed code, the
// once-a-second tick that wakes and announces to the box, and the transfer.
// Toolkit-free: it talks to the window only through IWindowOperations and to
// the box only through TSerialLink.
#pragma once

#include "SerialLink.h"
#include "UpgradeRecord.h"
#include "WindowOperations.h"

namespace stb::upgrade {

class TUpgrade {
 public:
  TUpgrade(serial::TSerialLink& link, IWindowOperations& window);

  // Start-up up to the tick timer, which the window starts itself: mode and
  // matchers, the port (with its message box on failure), the directions,
  // the counter. Returns whether the port opened.
  bool StartUp();

  // Every typed character, once. Raises ERunError when the chosen mode's
  // include file cannot be read.
  void RxMemoKeyPress(char& Key);

  // The tick: wakes the box and, once a mode is chosen, announces it.
  void Timer1Timer();

  const TUpgradeRecord& Record() const { return record_; }
  TUpgradeRecord& Record() { return record_; }

 private:
  void SelectMode(int mode);

  serial::TSerialLink& link_;
  IWindowOperations& window_;
  TUpgradeRecord record_;
};

// The thirteen lines of directions written at start-up.
extern const char* const kDirections[13];

}  // namespace stb::upgrade
