#include "PosixSerialPlatform.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/major.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

#include "HostPorts.h"
#include "Termios2.h"

namespace stb::serial {

namespace {

int Fd(THandle h) { return static_cast<int>(h); }

TOpenFailure FailureOf(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return TOpenFailure::NotFound;
    case EACCES:
    case EPERM: return TOpenFailure::AccessDenied;
    case EBUSY:
    case EWOULDBLOCK: return TOpenFailure::Busy;
    case ENOTTY: return TOpenFailure::NotSerial;
    default: return TOpenFailure::Other;
  }
}

// Errors after which the device will never move another byte.
bool IsLoss(int err) { return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE || err == EBADF; }

TIoResult IoResultOf(ssize_t n, std::uint32_t requested, bool reading) {
  if (n > 0) return {static_cast<std::uint32_t>(n), TIoStatus::Ok};
  if (n == 0) {
    // A non-blocking tty read answers "nothing yet" with EAGAIN; 0 is end of
    // file, which on a tty means the line was hung up.
    return {0, reading && requested > 0 ? TIoStatus::Lost : TIoStatus::WouldBlock};
  }
  if (errno == EAGAIN || errno == EINTR) return {0, TIoStatus::WouldBlock};
  return {0, IsLoss(errno) ? TIoStatus::Lost : TIoStatus::Failed};
}

// The ports whose driver this program switched to low latency, for the way
// out through a signal handler too: a fixed table of atomics, as a handler
// may neither allocate nor lock. A slot holds its descriptor + 1, so that
// the zero it starts with is a free one. A station holds more ports than
// this only in theory; a port that finds no free slot keeps the setting.
std::atomic<int> gLowLatencyFds[256];

void NoteLowLatency(int fd) {
  for (auto& slot : gLowLatencyFds) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
}

// Whether fd was noted, forgetting it.
bool ForgetLowLatency(int fd) {
  for (auto& slot : gLowLatencyFds) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return true;
  }
  return false;
}

// Hands the driver back the setting it had before the port was opened.
// Whatever else was changed in the meantime (by setserial, say) stays.
template <typename TIoctlCall>
void ClearLowLatency(int fd, TIoctlCall&& ioctlCall) {
  serial_struct info{};
  if (ioctlCall(fd, TIOCGSERIAL, &info) != 0 || !(info.flags & ASYNC_LOW_LATENCY)) return;
  info.flags &= ~ASYNC_LOW_LATENCY;
  ioctlCall(fd, TIOCSSERIAL, &info);
}

// What closing the port takes beyond close(2). The exclusive flag outlives
// our descriptor while anyone else holds the tty open (a simulator keeps its
// pseudo-terminal side open); it is dropped so that the next opener is not
// refused. Both calls are async-signal-safe, and the advisory lock goes with
// the descriptor.
void LetGo(int fd) {
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

// A terminal of our own session is no box's line: switched raw at 115200
// and sent the announce word every second, the operator's terminal would
// lose its Ctrl-C and be left raw. Nothing is changed on it before this
// check.
bool IsOwnTerminal(int fd) {
  struct stat port {};
  if (::fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode)) return false;
  const unsigned kind = major(port.st_rdev);
  const unsigned number = minor(port.st_rdev);
  // /dev/tty is whoever opens it's own terminal; /dev/console and /dev/tty0
  // are the system's.
  if (kind == TTYAUX_MAJOR && number <= 1) return true;
  if (kind == TTY_MAJOR && number == 0) return true;
  // Our controlling terminal, under whatever name (opened with O_NOCTTY, it
  // answers this only if it was ours already).
  if (::tcgetpgrp(fd) >= 0) return true;
  for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat st {};
    if (::fstat(stream, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == port.st_rdev) return true;
  }
  return false;
}

}  // namespace

TPosixSerialPlatform::TPosixSerialPlatform()
    : TPosixSerialPlatform(
          [](int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }) {}

TPosixSerialPlatform::TPosixSerialPlatform(TIoctl ioctl) : ioctl_(std::move(ioctl)) {}

std::string TPosixSerialPlatform::DeviceName(int portNumber) const {
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

TOpenResult TPosixSerialPlatform::CreateFile(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {kNoHandle, FailureOf(errno), errno};
  auto refuse = [fd](int err) {
    ::close(fd);
    return TOpenResult{kNoHandle, FailureOf(err), err};
  };
  if (!::isatty(fd)) return refuse(ENOTTY);
  if (IsOwnTerminal(fd)) {
    ::close(fd);
    return {kNoHandle, TOpenFailure::OwnTerminal, 0};
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
  ioctl_(fd, TIOCEXCL, nullptr);
  RequestLowLatency(fd);
  return {fd, TOpenFailure::None, 0};
}

void TPosixSerialPlatform::RequestLowLatency(int fd) {
  serial_struct info{};
  // No serial-info request (a pseudo-terminal, some USB drivers): nothing to ask.
  if (ioctl_(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY)) return;
  info.flags |= ASYNC_LOW_LATENCY;
  // A refusal costs only the adapter's latency timer on every answer. Only
  // a setting this program made is undone when the port closes: the driver
  // is left as the tool found it, for whoever opens the port next.
  if (ioctl_(fd, TIOCSSERIAL, &info) == 0) NoteLowLatency(fd);
}

void TPosixSerialPlatform::CloseHandle(THandle h) {
  if (ForgetLowLatency(Fd(h))) ClearLowLatency(Fd(h), ioctl_);
  LetGo(Fd(h));
}

void ReleasePortInSignal(THandle h) noexcept {
  if (h == kNoHandle) return;
  const int fd = static_cast<int>(h);
  // Straight to the kernel: the seam is a std::function, no place for a
  // signal handler.
  if (ForgetLowLatency(fd)) {
    ClearLowLatency(fd, [](int d, unsigned long request, void* arg) { return ::ioctl(d, request, arg); });
  }
  LetGo(fd);
}

bool TPosixSerialPlatform::SetCommState(THandle h, const TDcb& dcb) {
  posix::TRawLine line;
  line.Bps = dcb.BaudRate;
  line.DataBits = dcb.ByteSize;
  line.Parity = dcb.Parity;
  line.StopBits = dcb.StopBits;
  const std::uint32_t rts = (dcb.Flags & fRtsControlMask) >> fRtsControlShift;
  const std::uint32_t dtr = (dcb.Flags & fDtrControlMask) >> fDtrControlShift;
  line.RtsCts = (dcb.Flags & fOutxCtsFlow) != 0 || rts == RTS_CONTROL_HANDSHAKE;
  line.XonXoff = (dcb.Flags & (fOutX | fInX)) != 0;
  line.XonChar = static_cast<std::uint8_t>(dcb.XonChar);
  line.XoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
  const bool applied = posix::ApplyRawLine(Fd(h), line);

  int dtrBit = TIOCM_DTR;
  ioctl_(Fd(h), dtr == DTR_CONTROL_ENABLE ? TIOCMBIS : TIOCMBIC, &dtrBit);
  if (rts != RTS_CONTROL_HANDSHAKE) {  // under RTS/CTS the driver drives RTS
    int rtsBit = TIOCM_RTS;
    ioctl_(Fd(h), rts == RTS_CONTROL_ENABLE ? TIOCMBIS : TIOCMBIC, &rtsBit);
  }
  return applied;
}

bool TPosixSerialPlatform::SetupComm(THandle, std::uint32_t, std::uint32_t) { return true; }

bool TPosixSerialPlatform::SetCommTimeouts(THandle h, const TCommTimeouts&) {
  const int flags = ::fcntl(Fd(h), F_GETFL);
  return flags >= 0 && ::fcntl(Fd(h), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool TPosixSerialPlatform::PurgeComm(THandle h, std::uint32_t flags) {
  const bool rx = (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0;
  const bool tx = (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0;
  if (!rx && !tx) return true;
  return ::tcflush(Fd(h), rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH)) == 0;
}

bool TPosixSerialPlatform::ClearCommError(THandle h, TComStat& stat) {
  int in = 0;
  int out = 0;
  if (ioctl_(Fd(h), FIONREAD, &in) != 0 || ioctl_(Fd(h), TIOCOUTQ, &out) != 0) return false;
  stat.cbInQue = in > 0 ? static_cast<std::uint32_t>(in) : 0;
  stat.cbOutQue = out > 0 ? static_cast<std::uint32_t>(out) : 0;
  return true;
}

bool TPosixSerialPlatform::GetCommModemStatus(THandle h, std::uint32_t& modemStatus) {
  int lines = 0;
  if (ioctl_(Fd(h), TIOCMGET, &lines) != 0) return false;
  modemStatus = 0;
  if (lines & TIOCM_CTS) modemStatus |= MS_CTS_ON;
  if (lines & TIOCM_DSR) modemStatus |= MS_DSR_ON;
  if (lines & TIOCM_RNG) modemStatus |= MS_RING_ON;
  if (lines & TIOCM_CAR) modemStatus |= MS_RLSD_ON;
  return true;
}

TIoResult TPosixSerialPlatform::ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) {
  if (count == 0) return {0, TIoStatus::Ok};
  return IoResultOf(::read(Fd(h), buffer, count), count, true);
}

TIoResult TPosixSerialPlatform::WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) {
  if (count == 0) return {0, TIoStatus::Ok};
  return IoResultOf(::write(Fd(h), data, count), count, false);
}

TIoResult TPosixSerialPlatform::ReadWaiting(THandle h, std::uint8_t* buffer, std::uint32_t count) {
  // The descriptor never blocks: a read takes what is there, and the queue
  // need not be asked first. With VMIN = VTIME = 0 an empty queue answers 0
  // rather than EAGAIN, which here means nothing yet; a line that was hung
  // up is told by the wait that follows (POLLHUP), as before.
  if (count == 0) return {0, TIoStatus::Ok};
  const ssize_t n = ::read(Fd(h), buffer, count);
  if (n == 0) return {0, TIoStatus::WouldBlock};
  return IoResultOf(n, count, true);
}

bool TPosixSerialPlatform::OutputQueued(THandle h, std::uint32_t& queued) {
  int out = 0;
  if (ioctl_(Fd(h), TIOCOUTQ, &out) != 0) return false;
  queued = out > 0 ? static_cast<std::uint32_t>(out) : 0;
  return true;
}

TWaitResult TPosixSerialPlatform::WaitFor(THandle h, TWaitFor what, std::uint32_t ms) {
  const int timeout = static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF));
  if (what == TWaitFor::Time) {
    // Nothing to wait for but the time; a hang-up still ends the wait. A
    // hung-up tty refuses even the output-queue query, so a writer waiting
    // for room would otherwise never learn that the line is gone.
    pollfd p{Fd(h), 0, 0};
    if (::poll(&p, 1, timeout) > 0 && (p.revents & (POLLHUP | POLLERR))) return TWaitResult::Lost;
    return TWaitResult::TimedOut;
  }
  pollfd p{Fd(h), static_cast<short>(what == TWaitFor::Input ? POLLIN : POLLOUT), 0};
  const int n = ::poll(&p, 1, timeout);
  if (n <= 0) return TWaitResult::TimedOut;  // time-out, or a signal: the caller looks again
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    // Input that arrived before the hang-up is still to be read.
    int in = 0;
    if (what == TWaitFor::Input && ioctl_(Fd(h), FIONREAD, &in) == 0 && in > 0) {
      return TWaitResult::Ready;
    }
    return TWaitResult::Lost;
  }
  return TWaitResult::Ready;
}

bool TPosixSerialPlatform::GetVersionEx(TOsVersionInfo& info) {
  utsname u{};
  if (::uname(&u) != 0) return false;
  unsigned major = 0;
  unsigned minor = 0;
  std::sscanf(u.release, "%u.%u", &major, &minor);
  info.dwPlatformId = kPosixPlatformId;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  return true;
}

std::shared_ptr<ISerialPlatform> HostSerialPlatform() {
  static const auto platform = std::make_shared<TPosixSerialPlatform>();
  return platform;
}

}  // namespace stb::serial
