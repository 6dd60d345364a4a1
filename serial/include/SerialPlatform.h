// The operating-system seam under TSerialLink: exactly the serial operations
// the component needs, under the names of the platform calls they stand for.
// TSerialLink holds all the logic; a backend only moves bytes and settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SerialTypes.h"

namespace stb::serial {

using THandle = std::intptr_t;
inline constexpr THandle kNoHandle = -1;

// Why an open failed, in the terms an operator can act on.
// OwnTerminal: a terminal of the program's own session (its controlling
// terminal, the one its standard streams are on, /dev/tty, the system
// console), which is never a box's line.
enum class TOpenFailure : std::uint8_t { None, NotFound, AccessDenied, Busy, NotSerial, Other, OwnTerminal };

struct TOpenResult {
  THandle Handle = kNoHandle;
  TOpenFailure Failure = TOpenFailure::None;
  int SystemError = 0;  // errno (or the platform's error number) when Handle is kNoHandle
};

enum class TIoStatus : std::uint8_t {
  Ok,          // Count bytes moved (possibly 0)
  WouldBlock,  // nothing could move at once
  Lost,        // the device is gone (hang-up, adapter pulled)
  Failed,      // any other error; counts as no progress
};

struct TIoResult {
  std::uint32_t Count = 0;
  TIoStatus Status = TIoStatus::Ok;
};

enum class TWaitFor : std::uint8_t { Input, Output, Time };
enum class TWaitResult : std::uint8_t { Ready, TimedOut, Lost };

class ISerialPlatform {
 public:
  virtual ~ISerialPlatform() = default;

  // The device name of port number n (1 for the first port).
  virtual std::string DeviceName(int portNumber) const = 0;

  // CreateFileA: read/write, exclusive, calls that return at once.
  virtual TOpenResult CreateFile(const std::string& name) = 0;
  virtual void CloseHandle(THandle h) = 0;

  virtual bool SetCommState(THandle h, const TDcb& dcb) = 0;
  virtual bool SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  virtual bool SetCommTimeouts(THandle h, const TCommTimeouts& timeouts) = 0;
  virtual bool PurgeComm(THandle h, std::uint32_t flags) = 0;
  virtual bool ClearCommError(THandle h, TComStat& stat) = 0;
  virtual bool GetCommModemStatus(THandle h, std::uint32_t& modemStatus) = 0;

  // Each moves what it can at once and never blocks for longer than about a
  // millisecond.
  virtual TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) = 0;
  virtual TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) = 0;

  // What the input queue holds, up to `count`, taken without waiting for
  // more: WouldBlock when it holds nothing. Here by asking the queue first,
  // so that ReadFile is never asked for bytes that are not there (which
  // would cost its millisecond); a backend whose read returns at once may
  // do it in one call. A station makes this call for every block of every
  // port, where each call into the kernel counts.
  virtual TIoResult ReadWaiting(THandle h, std::uint8_t* buffer, std::uint32_t count) {
    TComStat stat;
    // A failed query reads as an empty queue, so a read ends by its time-out.
    if (!ClearCommError(h, stat) || stat.cbInQue == 0) return {0, TIoStatus::WouldBlock};
    return ReadFile(h, buffer, stat.cbInQue < count ? stat.cbInQue : count);
  }
  // The bytes still in the output queue; false when the query failed. Here
  // from ClearCommError; a backend may ask for the one count alone.
  virtual bool OutputQueued(THandle h, std::uint32_t& queued) {
    TComStat stat;
    if (!ClearCommError(h, stat)) return false;
    queued = stat.cbOutQue;
    return true;
  }

  // Sleeps in the kernel until input is waiting, output room is free, or
  // `ms` milliseconds have passed (TWaitFor::Time waits for the time alone).
  // Ready may be spurious; callers re-check the queues.
  virtual TWaitResult WaitFor(THandle h, TWaitFor what, std::uint32_t ms) = 0;

  // GetVersionExA.
  virtual bool GetVersionEx(TOsVersionInfo& info) = 0;
};

// The backend of the machine this program was built for.
std::shared_ptr<ISerialPlatform> HostSerialPlatform();

}  // namespace stb::serial
