// The serial seam on POSIX ttys (Linux).
//
// How the platform's notions map here:
//  - Port n is /dev/ttyS{n-1}; any other device is opened by path.
//  - Exclusive open: O_NOCTTY (never our controlling terminal), an advisory
//    flock that refuses a second opener (root ignores TIOCEXCL), and
//    TIOCEXCL for everyone else.
//  - Low latency: on open the driver is asked to hand each received byte on
//    at once (ASYNC_LOW_LATENCY). A USB adapter otherwise holds it for up to
//    its latency timer, 16 ms, and the box answers every block. A device
//    without the serial-info request (a pseudo-terminal) or one that refuses
//    it works as it is. Closing the port, or letting go of it on an
//    interrupt, clears the setting again where this program made it.
//  - The line-settings record becomes termios2 (see Termios2.h); DTR and RTS
//    are driven with TIOCMBIS/TIOCMBIC, which a device without modem lines
//    (a pseudo-terminal) refuses quietly. XonLim/XoffLim have no counterpart:
//    the tty layer keeps its own thresholds.
//  - Queue sizes: the kernel sizes its own buffers; SetupComm is accepted and
//    changes nothing. The 1 ms call time-outs are a non-blocking descriptor
//    with VMIN = VTIME = 0.
//  - Purge: tcflush. Queue counts: FIONREAD and TIOCOUTQ; there is no error
//    state to clear. Modem lines: TIOCMGET. Taking what is waiting is one
//    read without asking the queue first (an empty queue answers 0, as
//    VMIN = VTIME = 0 has it); the output count alone is one TIOCOUTQ.
//  - The version query reports the kernel's release under a family number of
//    its own, which names none of the three platform families.
#pragma once

#include <functional>

#include "SerialPlatform.h"

namespace stb::serial {

// dwPlatformId reported on POSIX systems.
inline constexpr std::uint32_t kPosixPlatformId = 0x100;

class TPosixSerialPlatform : public ISerialPlatform {
 public:
  // ioctl(2) with one pointer argument. Every driver request the backend
  // makes on an open port goes through it, so that a test can watch them
  // and answer those a pseudo-terminal cannot; letting go of the port from
  // a signal handler (ReleasePortInSignal) does not, as it must stay safe
  // there.
  using TIoctl = std::function<int(int fd, unsigned long request, void* arg)>;

  TPosixSerialPlatform();
  explicit TPosixSerialPlatform(TIoctl ioctl);

  std::string DeviceName(int portNumber) const override;
  TOpenResult CreateFile(const std::string& name) override;
  void CloseHandle(THandle h) override;
  bool SetCommState(THandle h, const TDcb& dcb) override;
  bool SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) override;
  bool SetCommTimeouts(THandle h, const TCommTimeouts& timeouts) override;
  bool PurgeComm(THandle h, std::uint32_t flags) override;
  bool ClearCommError(THandle h, TComStat& stat) override;
  bool GetCommModemStatus(THandle h, std::uint32_t& modemStatus) override;
  TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override;
  TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) override;
  TIoResult ReadWaiting(THandle h, std::uint8_t* buffer, std::uint32_t count) override;
  bool OutputQueued(THandle h, std::uint32_t& queued) override;
  TWaitResult WaitFor(THandle h, TWaitFor what, std::uint32_t ms) override;
  bool GetVersionEx(TOsVersionInfo& info) override;

 private:
  void RequestLowLatency(int fd);

  TIoctl ioctl_;
};

}  // namespace stb::serial
