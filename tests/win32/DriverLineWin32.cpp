// The driver's line on Windows: the line-settings record as the driver
// reports it.
#include <windows.h>

#include "DriverLine.h"

namespace stb::testing {

bool ReadDriverLine(serial::THandle port, TDriverLine& line) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(reinterpret_cast<HANDLE>(port), &dcb)) return false;
  line.InBps = dcb.BaudRate;
  line.OutBps = dcb.BaudRate;
  line.DataBits = dcb.ByteSize;
  line.Parity = dcb.Parity;
  line.StopBits = dcb.StopBits == ONESTOPBIT ? 0 : 2;
  line.RtsCts = dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  line.XonXoffOut = dcb.fOutX;
  line.XonXoffIn = dcb.fInX;
  line.XonChar = static_cast<std::uint8_t>(dcb.XonChar);
  line.XoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
  line.ParityChecked = dcb.fParity;

  line.Interfering.clear();
  auto flag = [&line](bool set, const char* name) {
    if (set) line.Interfering += std::string(line.Interfering.empty() ? "" : " ") + name;
  };
  flag(!dcb.fBinary, "-fBinary");
  flag(dcb.fErrorChar, "fErrorChar");
  flag(dcb.fNull, "fNull");
  flag(dcb.fAbortOnError, "fAbortOnError");
  flag(dcb.fDsrSensitivity, "fDsrSensitivity");
  return true;
}

}  // namespace stb::testing
