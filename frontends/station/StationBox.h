// One box on one port of the station: what its upgrade asks of the
// operator, the listener that shows it on the port's live line (arrival,
// identity, steps, blocks, outcome, all from the upgrade's events), and the
// interrupt policy its assembly reports to. Its record is the recorder's
// (BoxRecord.h); the log's text is the log file's alone. Boxes and dialogs
// go to the port's log file as tagged lines.
//
// Lives on the port's thread, and is only ever called there.
#pragma once

#include <cstdint>
#include <string>

#include "Assembly.h"
#include "EventLoop.h"
#include "InterruptPolicy.h"
#include "PollTimer.h"
#include "StationShared.h"
#include "TransferPace.h"
#include "Upgrade.h"
#include "UpgradeEvents.h"
#include "Interaction.h"

namespace stb::app {

class TStationBox : public upgrade::IInteraction, public upgrade::IUpgradeEvents, public IInterruptPolicy {
 public:
  // `loop`: the port's loop, pumped while the upgrade runs (none: nothing
  // to pump).
  TStationBox(TStationShared& shared, std::size_t slot, std::string port, TEventLoop* loop);

  void SetTicks(serial::IPeriodicTimer* ticks) { ticks_ = ticks; }
  // The box acknowledged an announce word: its upgrade began.
  bool Arrived() const { return arrived_; }
  bool Closed() const { return closed_; }
  // The station ended it at once (the second interrupt).
  bool Stopped() const { return stopped_; }
  // The assembly's default error handler, and what it was given last.
  void HandlerError(const THandlerError& error);
  const std::string& Error() const { return error_; }
  // A line of the port's log with its tag ("[error] ...").
  void Note(const char* tag, const std::string& text) { Tagged(tag, text); }
  // A line of the port's log as the program's own ("stb-downloader: ...").
  void Say(const std::string& text);
  // Why a line of the port's log written here was lost; empty: none was.
  const std::string& LogLost() const { return logLost_; }

  // Where a box stopped at once stood: `stopped by SIGINT after "3. Start
  // DownLoad", 27648 of 60416 bytes sent; the box may be left unusable`.
  std::string StopLine(const char* signal) const;

  // --- Interaction ---
  void MessageBox(const std::string& text) override { Tagged("message", text); }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override { Tagged("information", text); }
  void StopTicks() override;
  void PumpMessages() override;
  void CloseWindow() override { closed_ = true; }

  // --- Events ---
  void IncludeFileRead(const upgrade::TUpgradeRecord& record, const std::string&) override;
  void BoxAcknowledged() override;
  void IdentityReceived(const upgrade::TBoxIdentity& identity) override;
  void GoMessageSent(std::uint32_t, long) override;
  void StepReached(upgrade::TStep step) override;
  void TransferStarted(long blocks, long) override { blocks_ = blocks; }
  void BlockAccepted(long index, long sent, long total) override;
  void FlashStep(long step, long steps) override;
  void Ended(const upgrade::TUpgradeEnd& end) override;

  // --- Interrupt policy: the station's main thread takes the signals ---
  void Install() override {}
  void SetPortToRelease(serial::THandle) override {}
  void SetStopRecord(int fd) override { logFd_ = fd; }
  void NoteStep(const std::string&) override {}
  void NoteCounter(long, long) override {}
  void SetBoxTakingImage(bool taking) override;

 private:
  void Tagged(const char* tag, const std::string& text);
  void WriteLog(const std::string& text);

  TStationShared& shared_;
  const std::size_t slot_;
  const std::string port_;
  TEventLoop* loop_;
  serial::IPeriodicTimer* ticks_ = nullptr;
  std::string after_;  // the tile's software after, as the include file has it
  int logFd_ = -1;
  std::string logLost_;
  bool arrived_ = false;
  bool closed_ = false;
  bool taking_ = false;
  bool goSent_ = false;
  bool stopped_ = false;
  int step_ = 0;
  long blocks_ = 0;
  long sent_ = 0;
  long total_ = 0;
  std::string error_;
  TTransferPace pace_;
};

}  // namespace stb::app
