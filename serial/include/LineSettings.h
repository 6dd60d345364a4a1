// Pure functions of the line settings: bit rates, packet times, the
// platform-family query and the line-settings record built from properties.
#pragma once

#include <cstdint>
#include <string>

#include "SerialPlatform.h"
#include "SerialTypes.h"

namespace stb::serial {

// Bits per second of a rate; every ordinal past br57600 reads as 115200.
std::uint32_t BaudRateToBps(TComPortBaudRate speed);

// Milliseconds to move `size` bytes at `speed`, 10 bits a byte, rounded to
// the nearest integer with halves to the even neighbour.
std::int32_t PacketTime(TComPortBaudRate speed, std::int16_t size);

// "W32S", "W95", "WNT", "" for an unknown family, "??" when the query fails.
std::string GetOSFamily(ISerialPlatform& platform);
std::string GetOSFamily();
// Major * 65536 + minor, each cut to 16 bits; 0 when the query fails.
std::uint32_t GetOSVersion(ISerialPlatform& platform);
std::uint32_t GetOSVersion();

struct TLineProperties {
  TComPortBaudRate Speed = br115200;
  TComPortDataBits DataBits = db8BITS;
  TComPortStopBits StopBits = sb1BITS;
  TComPortParity Parity = ptNONE;
  TComPortHwHandshaking HwHandshaking = hhNONERTSON;
  TComPortSwHandshaking SwHandshaking = shNONE;
  bool EnableDTROnOpen = true;
  std::uint16_t InBufSize = 2048;
};

// The line-settings record for the given properties. The XON/XOFF limits are
// a quarter of the input queue, capped at 4096 on NT-family platforms of
// version 4 or later.
TDcb BuildDcb(const TLineProperties& p, const std::string& osFamily, std::uint32_t osVersion);

}  // namespace stb::serial
