// Line-setting enumerations, the line-status set, the receive events and the
// platform records that TSerialLink fills. Every enumeration is one byte wide
// and keeps the ordinals the platform codes are derived from.
#pragma once

#include <cstdint>
#include <functional>

namespace stb::serial {

enum TComPortNumber : std::uint8_t {
  pnCOM1,
  pnCOM2,
  pnCOM3,
  pnCOM4,
  pnCOM5,
  pnCOM6,
  pnCOM7,
  pnCOM8,
  pnCOM9,
  pnCOM10,
  pnCOM11,
  pnCOM12,
  pnCOM13,
  pnCOM14,
  pnCOM15,
  pnCOM16
};

enum TComPortBaudRate : std::uint8_t {
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200
};

// Data bits per character = ordinal + 5.
enum TComPortDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };

// The ordinal is the platform's stop-bit code.
enum TComPortStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };

// The ordinal is the platform's parity code.
enum TComPortParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };

enum TComPortHwHandshaking : std::uint8_t { hhNONE, hhNONERTSON, hhRTSCTS };

enum TComPortSwHandshaking : std::uint8_t { shNONE, shXONXOFF };

// What happens to an incomplete packet once its time-out has expired.
enum TPacketMode : std::uint8_t { pmDiscard, pmPass };

// Modem input lines, one bit each; the empty set is 0.
using TComPortLineStatus = std::uint8_t;
inline constexpr TComPortLineStatus lsCTS = 1;
inline constexpr TComPortLineStatus lsDSR = 2;
inline constexpr TComPortLineStatus lsRING = 4;
inline constexpr TComPortLineStatus lsRLSD = 8;

class TSerialLink;

// The bytes handed to either event lie in the component's input buffer and
// are valid only during the call.
using TComPortReceiveDataEvent =
    std::function<void(TSerialLink* Sender, const std::uint8_t* DataPtr, std::uint32_t DataSize)>;
using TComPortReceivePacketEvent =
    std::function<void(TSerialLink* Sender, const std::uint8_t* Packet, std::uint32_t DataSize)>;

// The platform's line-settings record. The flag bits are kept as the one
// 32-bit word the platform packs them into; the constants name its bits.
struct TDcb {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;
};

inline constexpr std::uint32_t kDcbSize = 28;
inline constexpr std::uint32_t fBinary = 0x0001;
inline constexpr std::uint32_t fParity = 0x0002;
inline constexpr std::uint32_t fOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t fOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t fDtrControlShift = 4;  // two bits
inline constexpr std::uint32_t fDtrControlMask = 0x0030;
inline constexpr std::uint32_t fDsrSensitivity = 0x0040;
inline constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t fOutX = 0x0100;
inline constexpr std::uint32_t fInX = 0x0200;
inline constexpr std::uint32_t fRtsControlShift = 12;  // two bits
inline constexpr std::uint32_t fRtsControlMask = 0x3000;

// The platform's own names and values. Where its header is in the same
// translation unit it has defined them already, with the same values.
#ifndef PURGE_TXABORT
inline constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;

inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;
#endif

struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct TComStat {
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

struct TOsVersionInfo {
  std::uint32_t dwOSVersionInfoSize = 148;
  std::uint32_t dwMajorVersion = 0;
  std::uint32_t dwMinorVersion = 0;
  std::uint32_t dwBuildNumber = 0;
  std::uint32_t dwPlatformId = 0;
};

}  // namespace stb::serial
