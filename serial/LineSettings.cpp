#include "LineSettings.h"

#include <algorithm>
#include <cmath>

namespace stb::serial {

std::uint32_t BaudRateToBps(TComPortBaudRate speed) {
  static constexpr std::uint32_t kBps[] = {110,  300,   600,   1200,  2400,  4800,
                                           9600, 14400, 19200, 38400, 56000, 57600};
  const unsigned ordinal = static_cast<unsigned>(speed) & 0x7F;
  return ordinal < std::size(kBps) ? kBps[ordinal] : 115200;
}

std::int32_t PacketTime(TComPortBaudRate speed, std::int16_t size) {
  const double bytesPerSecond = BaudRateToBps(speed) / 10.0;
  // nearbyint rounds halves to even under the default rounding mode.
  return static_cast<std::int32_t>(std::nearbyint(size / bytesPerSecond * 1000.0));
}

std::string GetOSFamily(ISerialPlatform& platform) {
  TOsVersionInfo info;
  if (!platform.GetVersionEx(info)) return "??";
  switch (info.dwPlatformId) {
    case 0: return "W32S";
    case 1: return "W95";
    case 2: return "WNT";
    default: return "";
  }
}

std::string GetOSFamily() { return GetOSFamily(*HostSerialPlatform()); }

std::uint32_t GetOSVersion(ISerialPlatform& platform) {
  TOsVersionInfo info;
  if (!platform.GetVersionEx(info)) return 0;
  return (info.dwMajorVersion & 0xFFFF) * 65536u + (info.dwMinorVersion & 0xFFFF);
}

std::uint32_t GetOSVersion() { return GetOSVersion(*HostSerialPlatform()); }

TDcb BuildDcb(const TLineProperties& p, const std::string& osFamily, std::uint32_t osVersion) {
  TDcb dcb;
  dcb.DCBlength = kDcbSize;
  dcb.BaudRate = BaudRateToBps(p.Speed);

  std::uint32_t flags = fBinary;  // fParity stays 0: received parity is never verified
  if (p.HwHandshaking == hhRTSCTS) flags |= fOutxCtsFlow;
  const std::uint32_t dtr = p.EnableDTROnOpen ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  flags |= dtr << fDtrControlShift;
  if (p.SwHandshaking == shXONXOFF) flags |= fOutX | fInX;
  std::uint32_t rts = RTS_CONTROL_DISABLE;
  if (p.HwHandshaking == hhNONERTSON) rts = RTS_CONTROL_ENABLE;
  if (p.HwHandshaking == hhRTSCTS) rts = RTS_CONTROL_HANDSHAKE;
  flags |= rts << fRtsControlShift;
  dcb.Flags = flags;

  std::uint32_t limit = p.InBufSize / 4u;
  if (osFamily == "WNT" && osVersion >= 0x40000) limit = std::min<std::uint32_t>(limit, 4096);
  dcb.XonLim = static_cast<std::uint16_t>(limit);
  dcb.XoffLim = static_cast<std::uint16_t>(limit);

  dcb.ByteSize = static_cast<std::uint8_t>(p.DataBits + 5);
  dcb.Parity = static_cast<std::uint8_t>(p.Parity);
  dcb.StopBits = static_cast<std::uint8_t>(p.StopBits);
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

}  // namespace stb::serial
