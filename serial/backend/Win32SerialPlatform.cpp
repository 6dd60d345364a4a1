// The serial seam on Win32: the platform's own serial calls.
//
//  - Port n is "\\.\COMn", opened exclusively (share mode 0) and synchronously;
//    a device whose line settings cannot be read is refused as no serial port.
//  - The line-settings record is the platform's DCB, field for field.
//  - The 1 ms call time-outs are SetCommTimeouts(1, 0, 1, 0, 1) as asked.
//  - Waiting for input: a synchronous handle has nothing to wait on, so the
//    wait is a read of one byte with a total time-out of the time left, which
//    returns as soon as a byte is there; that byte is kept and handed out by
//    the next read (and counted in the input queue meanwhile).
//  - Waiting for output room, or for time: Sleep(1).
#include "Win32SerialPlatform.h"

#include <windows.h>
// The seam's methods carry the plain names; the A functions are called by name.
#undef CreateFile
#undef GetVersionEx

#include <map>
#include <mutex>
#include <string>

#include "HostPorts.h"

namespace stb::serial {

namespace {

HANDLE H(THandle h) { return reinterpret_cast<HANDLE>(h); }

TOpenFailure FailureOf(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return TOpenFailure::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return TOpenFailure::Busy;  // held by another program
    default: return TOpenFailure::Other;
  }
}

// Errors after which the port will not move another byte (adapter pulled).
bool IsLoss(DWORD err) {
  return err == ERROR_BAD_COMMAND || err == ERROR_DEVICE_REMOVED || err == ERROR_GEN_FAILURE ||
         err == ERROR_INVALID_HANDLE || err == ERROR_OPERATION_ABORTED;
}

}  // namespace

struct TWin32SerialPlatform::TState {
  // One platform serves every port of the process, and a station drives
  // each from a thread of its own: the maps are kept under this lock, which
  // is never held across a system call.
  std::mutex mutex;
  std::map<THandle, unsigned char> lookahead;  // a byte a wait has already taken
  std::map<THandle, COMMTIMEOUTS> timeouts;    // each port's own, restored after a wait
};

TWin32SerialPlatform::TWin32SerialPlatform() : state_(std::make_unique<TState>()) {}
TWin32SerialPlatform::~TWin32SerialPlatform() = default;

std::string TWin32SerialPlatform::DeviceName(int portNumber) const {
  return "\\\\.\\COM" + std::to_string(portNumber);
}

TOpenResult TWin32SerialPlatform::CreateFile(const std::string& name) {
  HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    return {kNoHandle, FailureOf(err), static_cast<int>(err)};
  }
  // Any device opens by name (NUL, a file); one that has no line settings
  // to read is no serial port, and would take the box's bytes into nowhere.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!::GetCommState(h, &probe)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    return {kNoHandle, TOpenFailure::NotSerial, static_cast<int>(err)};
  }
  return {reinterpret_cast<THandle>(h), TOpenFailure::None, 0};
}

void TWin32SerialPlatform::CloseHandle(THandle h) {
  {
    const std::lock_guard lock(state_->mutex);
    state_->lookahead.erase(h);
    state_->timeouts.erase(h);
  }
  ::CloseHandle(H(h));
}

// The control handler runs while the upgrade goes on: the maps above may be
// in use, so only the handle is closed. The process ends next.
void ReleasePortInSignal(THandle h) noexcept {
  if (h != kNoHandle) ::CloseHandle(H(h));
}

bool TWin32SerialPlatform::SetCommState(THandle h, const TDcb& d) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = d.BaudRate;
  dcb.fBinary = (d.Flags & fBinary) != 0;
  dcb.fParity = (d.Flags & fParity) != 0;
  dcb.fOutxCtsFlow = (d.Flags & fOutxCtsFlow) != 0;
  dcb.fOutxDsrFlow = (d.Flags & fOutxDsrFlow) != 0;
  dcb.fDtrControl = (d.Flags & fDtrControlMask) >> fDtrControlShift;
  dcb.fDsrSensitivity = (d.Flags & fDsrSensitivity) != 0;
  dcb.fTXContinueOnXoff = (d.Flags & fTXContinueOnXoff) != 0;
  dcb.fOutX = (d.Flags & fOutX) != 0;
  dcb.fInX = (d.Flags & fInX) != 0;
  dcb.fRtsControl = (d.Flags & fRtsControlMask) >> fRtsControlShift;
  dcb.XonLim = d.XonLim;
  dcb.XoffLim = d.XoffLim;
  dcb.ByteSize = d.ByteSize;
  dcb.Parity = d.Parity;
  dcb.StopBits = d.StopBits;
  dcb.XonChar = d.XonChar;
  dcb.XoffChar = d.XoffChar;
  dcb.ErrorChar = d.ErrorChar;
  dcb.EofChar = d.EofChar;
  dcb.EvtChar = d.EvtChar;
  return ::SetCommState(H(h), &dcb) != 0;
}

bool TWin32SerialPlatform::SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) {
  return ::SetupComm(H(h), inQueue, outQueue) != 0;
}

bool TWin32SerialPlatform::SetCommTimeouts(THandle h, const TCommTimeouts& t) {
  COMMTIMEOUTS c{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                 t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
  {
    const std::lock_guard lock(state_->mutex);
    state_->timeouts[h] = c;
  }
  return ::SetCommTimeouts(H(h), &c) != 0;
}

bool TWin32SerialPlatform::PurgeComm(THandle h, std::uint32_t flags) {
  if (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) {
    const std::lock_guard lock(state_->mutex);
    state_->lookahead.erase(h);
  }
  return ::PurgeComm(H(h), flags) != 0;
}

bool TWin32SerialPlatform::ClearCommError(THandle h, TComStat& stat) {
  DWORD errors = 0;
  COMSTAT s{};
  if (!::ClearCommError(H(h), &errors, &s)) return false;
  const std::lock_guard lock(state_->mutex);
  stat.cbInQue = s.cbInQue + (state_->lookahead.count(h) ? 1u : 0u);
  stat.cbOutQue = s.cbOutQue;
  return true;
}

bool TWin32SerialPlatform::GetCommModemStatus(THandle h, std::uint32_t& modemStatus) {
  DWORD s = 0;
  if (!::GetCommModemStatus(H(h), &s)) return false;
  modemStatus = s;
  return true;
}

TIoResult TWin32SerialPlatform::ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) {
  if (count == 0) return {0, TIoStatus::Ok};
  std::uint32_t taken = 0;
  {
    const std::lock_guard lock(state_->mutex);
    if (auto it = state_->lookahead.find(h); it != state_->lookahead.end()) {
      buffer[0] = it->second;
      state_->lookahead.erase(it);
      taken = 1;
    }
  }
  if (taken == count) return {taken, TIoStatus::Ok};
  DWORD n = 0;
  if (!::ReadFile(H(h), buffer + taken, count - taken, &n, nullptr)) {
    const DWORD err = ::GetLastError();
    if (taken) return {taken, TIoStatus::Ok};
    return {0, IsLoss(err) ? TIoStatus::Lost : TIoStatus::Failed};
  }
  return {taken + n, TIoStatus::Ok};
}

TIoResult TWin32SerialPlatform::WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) {
  if (count == 0) return {0, TIoStatus::Ok};
  DWORD n = 0;
  if (!::WriteFile(H(h), data, count, &n, nullptr)) {
    const DWORD err = ::GetLastError();
    return {n, IsLoss(err) ? TIoStatus::Lost : TIoStatus::Failed};
  }
  return {n, n > 0 ? TIoStatus::Ok : TIoStatus::WouldBlock};
}

TWaitResult TWin32SerialPlatform::WaitFor(THandle h, TWaitFor what, std::uint32_t ms) {
  bool waiting = false;
  COMMTIMEOUTS own{};
  {
    const std::lock_guard lock(state_->mutex);
    waiting = state_->lookahead.count(h) > 0;
    if (const auto it = state_->timeouts.find(h); it != state_->timeouts.end()) own = it->second;
  }
  if (what != TWaitFor::Input || waiting) {
    ::Sleep(1);
    return TWaitResult::TimedOut;
  }
  // Returns with the first byte that comes, or after `ms` with none.
  COMMTIMEOUTS wait{MAXDWORD, MAXDWORD, ms, own.WriteTotalTimeoutMultiplier, own.WriteTotalTimeoutConstant};
  ::SetCommTimeouts(H(h), &wait);
  unsigned char b = 0;
  DWORD n = 0;
  const BOOL ok = ::ReadFile(H(h), &b, 1, &n, nullptr);
  const DWORD err = ok ? 0 : ::GetLastError();
  ::SetCommTimeouts(H(h), &own);
  if (!ok) return IsLoss(err) ? TWaitResult::Lost : TWaitResult::TimedOut;
  if (n == 0) return TWaitResult::TimedOut;
  const std::lock_guard lock(state_->mutex);
  state_->lookahead[h] = b;
  return TWaitResult::Ready;
}

bool TWin32SerialPlatform::GetVersionEx(TOsVersionInfo& info) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;  // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(&v)) return false;
#pragma GCC diagnostic pop
  info.dwMajorVersion = v.dwMajorVersion;
  info.dwMinorVersion = v.dwMinorVersion;
  info.dwBuildNumber = v.dwBuildNumber;
  info.dwPlatformId = v.dwPlatformId;
  return true;
}

std::shared_ptr<ISerialPlatform> HostSerialPlatform() {
  static const auto platform = std::make_shared<TWin32SerialPlatform>();
  return platform;
}

}  // namespace stb::serial
