// Line settings on a Linux tty through termios2. Kept apart from every other
// source file because <asm/termbits.h>, which alone offers the arbitrary bit
// rates (BOTHER) that 14400 and 56000 bit/s need, redefines what <termios.h>
// declares; the two headers cannot meet in one translation unit.
#pragma once

#include <cstdint>

namespace stb::serial::posix {

struct TRawLine {
  std::uint32_t Bps = 115200;
  int DataBits = 8;  // 5 to 8
  int Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int StopBits = 0;  // 0: 1 bit, 1: 1.5 bits, 2: 2 bits
  bool RtsCts = false;
  bool XonXoff = false;
  std::uint8_t XonChar = 0x11;
  std::uint8_t XoffChar = 0x13;
};

// Puts the tty into raw 8-bit mode with the given line. False when the
// driver refuses the settings.
bool ApplyRawLine(int fd, const TRawLine& line);

// The bit rates the driver holds, for checking what was applied.
bool ReadLineSpeed(int fd, std::uint32_t& inBps, std::uint32_t& outBps);

}  // namespace stb::serial::posix
