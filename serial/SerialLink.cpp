// TSerialLink: construction, opening and configuring the port, the property
// setters, purging and the status queries. The transfers and the poll
// procedure are in SerialTransfer.cpp.
#include "SerialLink.h"

namespace stb::serial {

namespace {
// SetCommTimeouts values that make every read and write call return within
// about a millisecond with what it could move; all longer waiting is done by
// the component's own loops.
constexpr TCommTimeouts kCallTimeouts{1, 0, 1, 0, 1};
constexpr std::uintptr_t kPollTimerId = 1;
}  // namespace

TSerialLink::TSerialLink(TSerialLinkSeams seams)
    : Platform_(seams.Platform ? std::move(seams.Platform) : HostSerialPlatform()),
      TickCount_(seams.TickCount ? std::move(seams.TickCount) : TTickSource(&GetTickCount)) {
  InputBuffer_.assign(Line_.InBufSize, 0);
  PollWindow_ = seams.PollTimer ? std::move(seams.PollTimer) : std::make_unique<TManualTicker>();
  PollWindow_->SetCallback([this] {
    TMessage tick{WM_TIMER, kPollTimerId, 0, 0};
    PollTimerProc(tick);
  });
}

TSerialLink::~TSerialLink() {
  ClosePort();
  InputBuffer_.clear();
  InputBuffer_.shrink_to_fit();
  PollWindow_.reset();
}

std::string TSerialLink::PortDeviceName() const {
  if (!DevicePath_.empty()) return DevicePath_;
  return Platform_->DeviceName(static_cast<int>(ComPort_) + 1);
}

bool TSerialLink::OpenPort() {
  if (IsPortOpen()) return true;
  LastOpen_ = Platform_->CreateFile(PortDeviceName());
  if (LastOpen_.Handle == kNoHandle) return false;
  PortHandle_ = LastOpen_.Handle;
  ApplyPortSettings();
  Platform_->SetCommTimeouts(PortHandle_, kCallTimeouts);
  PollWindow_->Start(ComPortPollingDelay_);
  return true;
}

void TSerialLink::ClosePort() {
  if (!IsPortOpen()) return;
  PollWindow_->Stop();
  Platform_->CloseHandle(PortHandle_);
  PortHandle_ = kNoHandle;
}

void TSerialLink::LosePort() { ClosePort(); }

void TSerialLink::ApplyPortSettings() {
  if (!IsPortOpen()) return;
  const TDcb dcb = BuildDcb(Line_, GetOSFamily(*Platform_), GetOSVersion(*Platform_));
  Platform_->SetCommState(PortHandle_, dcb);
  // Applying settings drops whatever was received and not yet read.
  PurgeBuffers(true, true);
  Platform_->SetupComm(PortHandle_, Line_.InBufSize, ComPortOutBufSize_);
}

void TSerialLink::PurgeBuffers(bool clearInput, bool clearOutput) {
  if (!IsPortOpen()) return;
  std::uint32_t flags = 0;
  if (clearOutput) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  if (clearInput) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  Platform_->PurgeComm(PortHandle_, flags);
  PacketStartTick_ = kNoTick;
}

TComPortLineStatus TSerialLink::GetLineStatus() {
  if (!IsPortOpen()) return 0;
  std::uint32_t modem = 0;
  if (!Platform_->GetCommModemStatus(PortHandle_, modem)) return 0;
  TComPortLineStatus status = 0;
  if (modem & MS_CTS_ON) status |= lsCTS;
  if (modem & MS_DSR_ON) status |= lsDSR;
  if (modem & MS_RING_ON) status |= lsRING;
  if (modem & MS_RLSD_ON) status |= lsRLSD;
  return status;
}

std::int32_t TSerialLink::InputCount() {
  if (!IsPortOpen()) return 65535;
  TComStat stat;
  // A failed query reads as an empty queue, so a read ends by its time-out.
  if (!Platform_->ClearCommError(PortHandle_, stat)) return 0;
  return static_cast<std::int32_t>(stat.cbInQue);
}

std::uint16_t TSerialLink::OutputFreeSpace() {
  if (!IsPortOpen()) return 65535;
  std::uint32_t queued = 0;
  // A failed query reads as a full queue, so a write ends by its time-out.
  if (!Platform_->OutputQueued(PortHandle_, queued)) return 0;
  // A queue holding more than it was sized for has no room, rather than the
  // wrapped-around difference.
  if (queued >= ComPortOutBufSize_) return 0;
  return static_cast<std::uint16_t>(ComPortOutBufSize_ - queued);
}

// --- Setters ---

void TSerialLink::SetComPort(TComPortNumber v) {
  if (!IsPortOpen()) ComPort_ = v;
}

void TSerialLink::SetDevicePath(const std::string& v) {
  if (!IsPortOpen()) DevicePath_ = v;
}

void TSerialLink::SetComPortSpeed(TComPortBaudRate v) {
  Line_.Speed = v;
  ApplyPortSettings();
}

void TSerialLink::SetComPortDataBits(TComPortDataBits v) {
  Line_.DataBits = v;
  ApplyPortSettings();
}

void TSerialLink::SetComPortStopBits(TComPortStopBits v) {
  Line_.StopBits = v;
  ApplyPortSettings();
}

void TSerialLink::SetComPortParity(TComPortParity v) {
  Line_.Parity = v;
  ApplyPortSettings();
}

void TSerialLink::SetComPortHwHandshaking(TComPortHwHandshaking v) {
  Line_.HwHandshaking = v;
  ApplyPortSettings();
}

void TSerialLink::SetComPortSwHandshaking(TComPortSwHandshaking v) {
  Line_.SwHandshaking = v;
  ApplyPortSettings();
}

void TSerialLink::ReplaceInputBuffer(std::uint16_t size) {
  Line_.InBufSize = size;
  InputBuffer_.assign(size, 0);
  InputBuffer_.shrink_to_fit();
}

void TSerialLink::SetComPortInBufSize(std::uint16_t v) {
  // An empty input buffer could never take a byte of polled input: refused,
  // the old size stays.
  if (IsPortOpen() || v == 0) return;
  ReplaceInputBuffer(v);
  SetPacketSize(PacketSize_);
}

void TSerialLink::SetComPortOutBufSize(std::uint16_t v) {
  if (!IsPortOpen()) ComPortOutBufSize_ = v;
}

void TSerialLink::SetPacketSize(std::int16_t v) {
  if (v < 1) {
    PacketSize_ = -1;
    return;
  }
  // A packet must fit the input buffer twice over.
  if (v > static_cast<std::int32_t>(Line_.InBufSize)) {
    ReplaceInputBuffer(static_cast<std::uint16_t>(2 * v));
  }
  PacketSize_ = v;
}

void TSerialLink::SetPacketTimeout(std::int32_t v) {
  if (v < 1) {
    PacketTimeout_ = -1;
  } else if (v < ComPortPollingDelay_) {
    // A packet time-out shorter than a poll period could never be seen.
    PacketTimeout_ = ComPortPollingDelay_ + 150;
  } else {
    PacketTimeout_ = v;
  }
}

void TSerialLink::SetComPortPollingDelay(std::uint16_t v) {
  if (v == ComPortPollingDelay_) return;
  if (IsPortOpen()) PollWindow_->Stop();
  ComPortPollingDelay_ = v;
  if (IsPortOpen()) PollWindow_->Start(v);
  SetPacketTimeout(PacketTimeout_);
}

}  // namespace stb::serial
