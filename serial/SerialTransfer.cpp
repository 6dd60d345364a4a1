// TSerialLink: timed writes and reads, and the poll procedure that takes
// input arriving while no read is in progress.
//
// Time-outs run from the last progress, not from the start of the call, and
// end when strictly more than the time-out has passed on the 32-bit tick
// counter (an unsigned difference, so a wait across the wrap lasts as long as
// any other). Where the loops have nothing to do they sleep in the kernel
// until the descriptor is ready or the time left runs out, so a byte is
// taken as soon as it is there without keeping the processor busy.
#include <algorithm>

#include "SerialLink.h"

namespace stb::serial {

namespace {
// A full output queue gives the kernel nothing to wake us on; we look again
// after this long (about 11 bytes at 115200 bit/s).
constexpr std::uint32_t kQueueDrainWaitMs = 1;

// Marks a timed operation as under way, so that a poll tick delivered from
// inside it (only possible through a misbehaving timer) does nothing.
class TBusy {
 public:
  explicit TBusy(int& depth) : depth_(depth) { ++depth_; }
  ~TBusy() { --depth_; }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  int& depth_;
};
}  // namespace

bool TSerialLink::WaitBeforeRetry(TWaitFor what, std::uint32_t start, std::uint32_t timeout) {
  const std::uint32_t elapsed = Now() - start;
  if (elapsed > timeout) return true;  // the caller's own test ends the loop
  // One millisecond past the time-out, so that "strictly more" is reached.
  std::uint32_t left = timeout - elapsed + 1;
  if (what == TWaitFor::Time) left = std::min(left, kQueueDrainWaitMs);
  if (Platform_->WaitFor(PortHandle_, what, left) == TWaitResult::Lost) {
    LosePort();
    return false;
  }
  return true;
}

std::uint32_t TSerialLink::WriteDataTimed(const void* data, std::uint32_t count, std::uint32_t timeout) {
  if (!IsPortOpen()) return 0;
  TBusy busy(Busy_);
  auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t written = 0;
  std::uint32_t start = Now();
  while (count > 0 && IsPortOpen()) {
    const std::uint16_t free = OutputFreeSpace();
    TWaitFor waitFor = TWaitFor::Time;
    if (free > 0) {
      if (CheckLineStatus_ && GetLineStatus() == 0) return written;
      const std::uint32_t n = std::min<std::uint32_t>(count, free);
      const TIoResult w = Platform_->WriteFile(PortHandle_, p, n);
      if (w.Status == TIoStatus::Lost) {
        LosePort();
        break;
      }
      if (w.Count > 0) {
        written += w.Count;
        count -= w.Count;
        p += w.Count;
        start = Now();
        continue;
      }
      waitFor = TWaitFor::Output;
    }
    if (Now() - start > timeout) break;
    if (!WaitBeforeRetry(waitFor, start, timeout)) break;
  }
  return written;
}

std::uint32_t TSerialLink::WriteData(const void* data, std::uint32_t count) {
  return WriteDataTimed(data, count, OutputTimeout_);
}

bool TSerialLink::WriteByte(std::uint8_t value) { return WriteData(&value, 1) == 1; }

bool TSerialLink::WriteString(const std::string& text) {
  if (text.empty()) return true;
  return WriteData(text.data(), static_cast<std::uint32_t>(text.size())) == text.size();
}

std::uint32_t TSerialLink::Read(void* buffer, std::uint32_t count, bool whole) {
  if (!IsPortOpen()) return 0;
  SuspendPolling();
  TBusy busy(Busy_);
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::uint32_t read = 0;
  std::uint32_t start = Now();
  // An answer is seldom there yet when it is asked for: ReadSome waits
  // first (over at once when it is there) rather than make a read that
  // finds nothing.
  bool waitFirst = !whole;
  while (count > 0 && IsPortOpen()) {
    if (waitFirst) {
      waitFirst = false;
      if (!WaitBeforeRetry(TWaitFor::Input, start, InputTimeout_)) break;
    }
    const TIoResult r = Platform_->ReadWaiting(PortHandle_, p, count);
    if (r.Status == TIoStatus::Lost) {
      LosePort();
      break;
    }
    // Only a read that delivered restarts the time-out: a queue that keeps
    // reporting bytes no read can fetch must not hold the loop for ever.
    if (r.Count > 0) {
      read += r.Count;
      count -= r.Count;
      p += r.Count;
      if (!whole) break;
      start = Now();
      continue;
    }
    if (Now() - start > InputTimeout_) break;
    if (!WaitBeforeRetry(TWaitFor::Input, start, InputTimeout_)) break;
  }
  ResumePolling();
  return read;
}

std::uint32_t TSerialLink::ReadData(void* buffer, std::uint32_t count) { return Read(buffer, count, true); }

std::uint32_t TSerialLink::ReadSome(void* buffer, std::uint32_t count) { return Read(buffer, count, false); }

bool TSerialLink::ReadByte(std::uint8_t& value) { return ReadData(&value, 1) == 1; }

bool TSerialLink::ReadChar(char& value) { return ReadData(&value, 1) == 1; }

void TSerialLink::PollTimerProc(TMessage& message) {
  if (message.Msg == WM_TIMER && IsPortOpen()) {
    if (Busy_ == 0) PollTick();
    return;
  }
  // No window stands behind the poll timer here, so there is no default
  // handling to pass other messages to.
  message.Result = 0;
}

void TSerialLink::PollTick() {
  if (PollSuspendCount_ > 0) return;  // the tick is lost; the bytes wait in the queue
  TComStat stat;
  const std::uint32_t waiting = Platform_->ClearCommError(PortHandle_, stat) ? stat.cbInQue : 0;

  if (PacketSize_ <= 0) {
    if (waiting == 0) return;
    // Never more than the input buffer holds; the rest waits for the next poll.
    const auto n = std::min<std::uint32_t>(waiting, static_cast<std::uint32_t>(InputBuffer_.size()));
    const TIoResult r = Platform_->ReadFile(PortHandle_, InputBuffer_.data(), n);
    if (r.Status == TIoStatus::Lost) return LosePort();
    if (r.Status == TIoStatus::Ok && r.Count > 0 && OnReceiveData_) {
      OnReceiveData_(this, InputBuffer_.data(), r.Count);
    }
    return;
  }

  if (waiting >= static_cast<std::uint32_t>(PacketSize_)) return PollPackets(waiting);

  // An incomplete packet, or nothing.
  if (PacketTimeout_ > 0 && PacketStartTick_ != kNoTick &&
      Now() - PacketStartTick_ > static_cast<std::uint32_t>(PacketTimeout_)) {
    const TIoResult r = Platform_->ReadFile(PortHandle_, InputBuffer_.data(), waiting);
    if (r.Status == TIoStatus::Lost) return LosePort();
    if (r.Status == TIoStatus::Ok && PacketMode_ == pmPass && r.Count > 0 && OnReceivePacket_) {
      OnReceivePacket_(this, InputBuffer_.data(), r.Count);
    }
    PacketStartTick_ = kNoTick;
    return;
  }
  if (waiting > 0 && PacketStartTick_ == kNoTick) PacketStartTick_ = Now();
}

void TSerialLink::PollPackets(std::uint32_t waiting) {
  // A callback may change PacketSize; this poll finishes with the size it began with.
  const auto size = static_cast<std::uint32_t>(PacketSize_);
  const std::int32_t packetTime = PacketTime(Line_.Speed, PacketSize_);
  do {
    const TIoResult r = Platform_->ReadFile(PortHandle_, InputBuffer_.data(), size);
    if (r.Status == TIoStatus::Lost) return LosePort();
    if (r.Status == TIoStatus::Ok && r.Count > 0 && OnReceivePacket_) {
      OnReceivePacket_(this, InputBuffer_.data(), r.Count);
    }
    if (!IsPortOpen()) return;  // the callback closed the port
    // The incomplete packet behind the one just taken started one packet
    // time later than recorded.
    if (PacketStartTick_ != kNoTick) PacketStartTick_ += static_cast<std::uint32_t>(packetTime);
    waiting -= size;
    if (waiting == 0) PacketStartTick_ = kNoTick;
  } while (waiting >= size);
}

}  // namespace stb::serial
