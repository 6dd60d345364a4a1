// The line as the near end's driver holds it, read back through the
// component's own handle: for the tests that settings reach the driver, on
// whichever backend they run.
#pragma once

#include <cstdint>
#include <string>

#include "SerialPlatform.h"

namespace stb::testing {

struct TDriverLine {
  std::uint32_t InBps = 0;
  std::uint32_t OutBps = 0;
  // Held as an arbitrary rate rather than by a classic rate code, which some
  // drivers and programs cannot read (POSIX).
  bool ArbitraryRate = false;
  int DataBits = 0;
  // The line-settings record's codes. A pseudo-terminal drops the parity
  // enable and keeps the rest, so there only mark and space can be told
  // from none.
  int Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int StopBits = 0;  // 0 one, 2 two (the driver has nothing between)
  bool RtsCts = false;
  bool XonXoffOut = false;  // output held by XOFF
  bool XonXoffIn = false;   // XOFF sent when the input fills
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  bool ParityChecked = false;  // received bytes with a parity error are flagged or dropped
  // The driver's settings that would change bytes or the line behind the
  // component's back (echo, line editing, translations, a hang-up on
  // close), by name; empty when there are none.
  std::string Interfering;
};

// False when the driver cannot be asked.
bool ReadDriverLine(serial::THandle port, TDriverLine& line);

}  // namespace stb::testing
