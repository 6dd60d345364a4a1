// TSerialLink: the one serial port through which the program talks to the box.
//
// It holds the line settings as properties, opens and configures the port,
// writes and reads with time-outs measured from the last progress, and polls
// the port for input that arrives while no read is in progress.
//
// Nothing here raises or shows anything: operations return a success flag or
// a byte count, and on a closed port every operation is a quiet no-op.
// A link is used by one thread at a time: the window's or the headless run's
// one thread, or, in the station, the thread of the link's own port. The
// timed operations never dispatch messages, so no poll runs inside them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LineSettings.h"
#include "PollTimer.h"
#include "SerialPlatform.h"
#include "SerialTypes.h"
#include "TickCount.h"

namespace stb::serial {

// A message of the poll procedure. Only the timer message does any work.
struct TMessage {
  std::uint32_t Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};
#ifndef WM_TIMER  // the platform's header may have it already
inline constexpr std::uint32_t WM_TIMER = 0x0113;
#endif

// What the component is built on; every member may be left empty.
struct TSerialLinkSeams {
  std::shared_ptr<ISerialPlatform> Platform;  // empty: the host backend
  std::unique_ptr<IPeriodicTimer> PollTimer;  // empty: input is never polled
  TTickSource TickCount;                      // empty: GetTickCount
};

class TSerialLink {
 public:
  static constexpr std::uint32_t kNoTick = 0xFFFFFFFFu;

  explicit TSerialLink(TSerialLinkSeams seams = {});
  ~TSerialLink();
  TSerialLink(const TSerialLink&) = delete;
  TSerialLink& operator=(const TSerialLink&) = delete;

  // --- Port (open, close, configure, status) ---
  bool OpenPort();
  void ClosePort();
  bool IsPortOpen() const { return PortHandle_ != kNoHandle; }
  void ApplyPortSettings();
  void PurgeBuffers(bool clearInput, bool clearOutput);
  TComPortLineStatus GetLineStatus();
  std::int32_t InputCount();
  std::uint16_t OutputFreeSpace();

  // --- Transfers ---
  std::uint32_t WriteDataTimed(const void* data, std::uint32_t count, std::uint32_t timeout);
  std::uint32_t WriteData(const void* data, std::uint32_t count);
  bool WriteByte(std::uint8_t value);
  bool WriteString(const std::string& text);
  std::uint32_t ReadData(void* buffer, std::uint32_t count);
  // Waits as ReadData does for the first byte, then takes only what is
  // waiting beside it, up to `count`: an answer of a few bytes in one call,
  // with the same time-out as reading them one by one.
  std::uint32_t ReadSome(void* buffer, std::uint32_t count);
  bool ReadByte(std::uint8_t& value);
  bool ReadChar(char& value);

  void SuspendPolling() { ++PollSuspendCount_; }
  void ResumePolling() { --PollSuspendCount_; }
  void PollTimerProc(TMessage& message);

  // --- Properties ---
  TComPortNumber ComPort() const { return ComPort_; }
  void SetComPort(TComPortNumber v);
  TComPortBaudRate ComPortSpeed() const { return Line_.Speed; }
  void SetComPortSpeed(TComPortBaudRate v);
  TComPortDataBits ComPortDataBits() const { return Line_.DataBits; }
  void SetComPortDataBits(TComPortDataBits v);
  TComPortStopBits ComPortStopBits() const { return Line_.StopBits; }
  void SetComPortStopBits(TComPortStopBits v);
  TComPortParity ComPortParity() const { return Line_.Parity; }
  void SetComPortParity(TComPortParity v);
  TComPortHwHandshaking ComPortHwHandshaking() const { return Line_.HwHandshaking; }
  void SetComPortHwHandshaking(TComPortHwHandshaking v);
  TComPortSwHandshaking ComPortSwHandshaking() const { return Line_.SwHandshaking; }
  void SetComPortSwHandshaking(TComPortSwHandshaking v);
  std::uint16_t ComPortInBufSize() const { return Line_.InBufSize; }
  void SetComPortInBufSize(std::uint16_t v);
  std::uint16_t ComPortOutBufSize() const { return ComPortOutBufSize_; }
  void SetComPortOutBufSize(std::uint16_t v);
  std::int16_t PacketSize() const { return PacketSize_; }
  void SetPacketSize(std::int16_t v);
  std::int32_t PacketTimeout() const { return PacketTimeout_; }
  void SetPacketTimeout(std::int32_t v);
  TPacketMode PacketMode() const { return PacketMode_; }
  void SetPacketMode(TPacketMode v) { PacketMode_ = v; }
  std::uint16_t ComPortPollingDelay() const { return ComPortPollingDelay_; }
  void SetComPortPollingDelay(std::uint16_t v);
  bool EnableDTROnOpen() const { return Line_.EnableDTROnOpen; }
  void SetEnableDTROnOpen(bool v) { Line_.EnableDTROnOpen = v; }
  std::uint16_t OutputTimeout() const { return OutputTimeout_; }
  void SetOutputTimeout(std::uint16_t v) { OutputTimeout_ = v; }
  std::uint32_t InputTimeout() const { return InputTimeout_; }
  void SetInputTimeout(std::uint32_t v) { InputTimeout_ = v; }
  bool CheckLineStatus() const { return CheckLineStatus_; }
  void SetCheckLineStatus(bool v) { CheckLineStatus_ = v; }
  const TComPortReceiveDataEvent& OnReceiveData() const { return OnReceiveData_; }
  void SetOnReceiveData(TComPortReceiveDataEvent v) { OnReceiveData_ = std::move(v); }
  const TComPortReceivePacketEvent& OnReceivePacket() const { return OnReceivePacket_; }
  void SetOnReceivePacket(TComPortReceivePacketEvent v) { OnReceivePacket_ = std::move(v); }

  // The device to open; empty means the platform's name for ComPort
  // (/dev/ttyS0 for pnCOM1 on Linux). Ignored while open, like ComPort.
  const std::string& DevicePath() const { return DevicePath_; }
  void SetDevicePath(const std::string& v);
  // The device name OpenPort uses.
  std::string PortDeviceName() const;

  // Why the last OpenPort failed (None after a success).
  const TOpenResult& LastOpenResult() const { return LastOpen_; }

  // Internal state, readable for diagnostics and tests.
  THandle PortHandle() const { return PortHandle_; }
  std::uint32_t PacketStartTick() const { return PacketStartTick_; }
  std::int32_t PollSuspendCount() const { return PollSuspendCount_; }
  std::size_t InputBufferSize() const { return InputBuffer_.size(); }

 private:
  std::uint32_t Now() const { return TickCount_(); }
  void ReplaceInputBuffer(std::uint16_t size);
  void PollTick();
  void PollPackets(std::uint32_t waiting);
  // ReadData (`whole`) or ReadSome.
  std::uint32_t Read(void* buffer, std::uint32_t count, bool whole);
  // The device vanished under a transfer: from now on the component is closed.
  void LosePort();
  // Sleeps in the kernel for what the loop waits on, at most until the
  // time-out measured from `start` has passed; false when the port was lost.
  bool WaitBeforeRetry(TWaitFor what, std::uint32_t start, std::uint32_t timeout);

  std::shared_ptr<ISerialPlatform> Platform_;
  std::unique_ptr<IPeriodicTimer> PollWindow_;
  TTickSource TickCount_;

  TComPortNumber ComPort_ = pnCOM2;
  TLineProperties Line_;
  std::uint16_t ComPortOutBufSize_ = 2048;
  std::int16_t PacketSize_ = -1;
  std::int32_t PacketTimeout_ = -1;
  TPacketMode PacketMode_ = pmDiscard;
  std::uint16_t ComPortPollingDelay_ = 50;
  std::uint16_t OutputTimeout_ = 500;
  std::uint32_t InputTimeout_ = 200;
  bool CheckLineStatus_ = false;
  TComPortReceiveDataEvent OnReceiveData_;
  TComPortReceivePacketEvent OnReceivePacket_;
  std::string DevicePath_;

  THandle PortHandle_ = kNoHandle;
  std::vector<std::uint8_t> InputBuffer_;
  std::uint32_t PacketStartTick_ = kNoTick;
  std::int32_t PollSuspendCount_ = 0;
  int Busy_ = 0;  // depth of timed operations under way; no poll runs inside them
  TOpenResult LastOpen_;
};

}  // namespace stb::serial
