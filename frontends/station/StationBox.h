// One box on one port of the station: the window its upgrade talks to, and
// the interrupt policy its assembly reports to. Log lines and progress go to
// the port's live line; boxes and dialogs to the port's log file as tagged
// lines; what decides the box's result is kept for its report line.
//
// Lives on the port's thread. What the main thread may need of it (for a
// stop at once) is copied into the port's view, under the display's lock.
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
#include "WindowOperations.h"

namespace stb::app {

class TStationBox : public upgrade::IWindowOperations, public IInterruptPolicy {
 public:
  TStationBox(TStationShared& shared, std::size_t slot, std::string port, TEventLoop& loop);

  void SetTicks(serial::IPeriodicTimer* ticks) { ticks_ = ticks; }
  // The box answered and its upgrade began (the ticks stopped).
  bool Arrived() const { return arrived_; }
  bool Closed() const { return closed_; }
  // The assembly's default error handler, and what it was given last.
  void HandlerError(const THandlerError& error);
  const std::string& Error() const { return error_; }

  // A line of the port's log with its tag ("[error] ...").
  void Note(const char* tag, const std::string& text) { Tagged(tag, text); }

  // The report of the box that has ended; `portOpen`: the port was still
  // there at the end.
  TBoxReport Finish(bool succeeded, bool portOpen);

  // --- Window operations ---
  void LogLine(const std::string& line) override;
  void SetDownloadProgress(int position) override;
  void SetFlashProgress(int position) override;
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool) override {}
  void MessageBox(const std::string& text) override { Tagged("message", text); }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override { Tagged("information", text); }
  void StopTicks() override;
  void PumpMessages() override { loop_.Pump(); }
  void CloseWindow() override;

  // --- Interrupt policy: the station's main thread takes the signals ---
  void Install() override {}
  void SetPortToRelease(serial::THandle port) override;
  void SetStopRecord(int fd) override;
  void NoteLogLine(const std::string&) override {}
  void NoteCounter(long, long) override {}  // SetCounter keeps the view
  void SetBoxTakingImage(bool taking) override;

  // The upgrade's record, read for the report.
  void SetRecord(const upgrade::TUpgradeRecord* record) { record_ = record; }

 private:
  void Tagged(const char* tag, const std::string& text);
  void SetState(const std::string& state);
  // The report's fields as far as they are known now.
  void Fill(TBoxReport& report) const;

  TStationShared& shared_;
  const std::size_t slot_;
  const std::string port_;
  TEventLoop& loop_;
  serial::IPeriodicTimer* ticks_ = nullptr;
  const upgrade::TUpgradeRecord* record_ = nullptr;
  int logFd_ = -1;
  bool arrived_ = false;
  bool closed_ = false;
  bool checking_ = false;  // "1. Check Machine" came: the record follows
  bool identityWhole_ = false;
  bool dateLine_ = false;  // the record checks passed: the address words follow
  bool noResponse_ = false;
  bool taking_ = false;
  bool everTaking_ = false;
  std::string decidedBy_;
  std::string error_;
  long resends_ = 0;
  std::int64_t startMs_ = 0;        // wall clock, for the report
  std::int64_t startSteadyMs_ = 0;  // for the duration
  TTransferPace pace_;
};

// The log line that ends an upgrade for want of an answer.
extern const char kNoResponseLine[];

}  // namespace stb::app
