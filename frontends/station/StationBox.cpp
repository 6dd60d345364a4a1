#include "StationBox.h"

#include <cerrno>
#include <cstring>

#include "Console.h"
#include "EscapedLine.h"
#include "Interrupts.h"
#include "LocalTime.h"
#include "LogText.h"
#include "StationFiles.h"

namespace stb::app {

namespace {

// The live line's state from each numbered step on.
constexpr const char* kStepStates[] = {
    "checking", "download", "download", "verifying", "flash write", "version table", "finishing",
};

const char* StepState(int step) {
  if (step < 1 || step > static_cast<int>(std::size(kStepStates))) return nullptr;
  return kStepStates[step - 1];
}

std::string Version(const upgrade::TVersionPair& v) {
  return std::to_string(v.Major) + "." + std::to_string(v.Minor);
}

// A box's software as its tile shows it.
std::string Software(const upgrade::TVersionPair& boot, const upgrade::TVersionPair& native,
                     const upgrade::TVersionPair& app1, const upgrade::TVersionPair& app2) {
  // Short enough for a tile's width: "boot 1.0 nat 1.2 app 1.3/1.4".
  return "boot " + Version(boot) + " nat " + Version(native) + " app " + Version(app1) + "/" + Version(app2);
}

}  // namespace

TStationBox::TStationBox(TStationShared& shared, std::size_t slot, std::string port, TEventLoop* loop)
    : shared_(shared), slot_(slot), port_(std::move(port)), loop_(loop) {}

void TStationBox::WriteLog(const std::string& text) {
  if (logFd_ < 0) return;
  // One write on the log file's descriptor, which appends: the assembly's
  // own lines are flushed whole, so the two never mix within a line.
  const std::string line = LogStamp(UnixMsNow()) + " " + text + "\n";
  const long written = WriteOnce(logFd_, line.data(), line.size());
  // A log that cannot be written never stops a box; it is counted.
  if (written != static_cast<long>(line.size()) && logLost_.empty())
    logLost_ = written < 0 ? std::strerror(errno) : "the disk took only part of a line";
}

void TStationBox::Tagged(const char* tag, const std::string& text) {
  WriteLog("[" + std::string(tag) + "] " + text);
}

void TStationBox::Say(const std::string& text) { WriteLog(text); }

void TStationBox::HandlerError(const THandlerError& error) {
  // One error, one line of the log, as the console writes it.
  error_ = ErrorLine(error.Text, error.SystemError);
  Tagged("error", error_);
  if (!error.Detail.empty()) Tagged("error", upgrade::EscapedLine(error.Detail));
}

void TStationBox::FlashStep(long step, long steps) {
  const int position = upgrade::ProgressPosition(step, steps);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.State = "flash write";
    v.Percent = position;
    v.Rate = 0;
    v.SecondsLeft = -1;
  });
}

upgrade::TConfirmAnswer TStationBox::Confirm(const std::string& text) {
  // No one is asked: many boxes, no keyboard for each. Without an answer on
  // the command line the safe one, exit.
  Tagged("confirm", text);
  const bool yes = shared_.Options.OnAddressMismatch != TMismatchAnswer::Continue;
  Tagged("answer", yes ? "Yes" : "No");
  return yes ? upgrade::TConfirmAnswer::Yes : upgrade::TConfirmAnswer::No;
}

void TStationBox::StopTicks() {
  if (ticks_) ticks_->Stop();
}

void TStationBox::PumpMessages() {
  if (loop_) loop_->Pump();
}

void TStationBox::BoxAcknowledged() {
  // From the acknowledgement on the box is one of this port's: whatever
  // comes next ends in its report line, a stop at once included.
  arrived_ = true;
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Running = true;
    v.State = "box answered";
    v.Step.clear();
    v.Model.clear();
    v.Hardware.clear();
    v.Before.clear();
    v.After.clear();
    v.Reason.clear();
    v.Percent = -1;
    v.Rate = 0;
    v.SecondsLeft = -1;
  });
  shared_.Display.Event(port_ + ": a box answered; its upgrade begins");
}

void TStationBox::IncludeFileRead(const upgrade::TUpgradeRecord& r, const std::string&) {
  after_ = Software(r.IncBootVersion, r.IncNativeVersion, r.IncApp1Version, r.IncApp2Version);
}

void TStationBox::GoMessageSent(std::uint32_t, long) {
  goSent_ = true;
  if (!after_.empty()) shared_.Display.Update(slot_, [&](TPortView& v) { v.After = after_; });
}

void TStationBox::StepReached(upgrade::TStep step) {
  step_ = static_cast<int>(step);
  const char* state = StepState(step_);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    if (state) {
      v.State = state;
      v.Step = upgrade::StepTitle(step);
    }
    if (step == upgrade::TStep::RamImageOk) v.Percent = 0;  // the flash write's own percent follows
  });
}

void TStationBox::IdentityReceived(const upgrade::TBoxIdentity& identity) {
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Model = Version(identity.Model);
    v.Hardware = Version(identity.Hardware);
    v.Before = Software(identity.BootLoader, identity.Native, identity.Application1, identity.Application2);
  });
}

void TStationBox::BlockAccepted(long index, long sent, long total) {
  sent_ = sent;
  total_ = total;
  const int position = upgrade::ProgressPosition(index + 1, blocks_);
  const std::int64_t now = NowMs();
  pace_.Note(sent, now);
  // Half a second of blocks before a rate is shown: fewer swing it widely.
  const double rate = pace_.BytesPerSecond(sent, now, 500);
  const long left = TTransferPace::SecondsLeft(sent, total, rate);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Percent = position;
    v.Rate = rate;
    v.SecondsLeft = left;
  });
}

void TStationBox::Ended(const upgrade::TUpgradeEnd& end) {
  stopped_ = end.Outcome == upgrade::TOutcome::Stopped;
  if (end.Total > 0) {
    sent_ = end.Sent;
    total_ = end.Total;
  }
}

void TStationBox::SetBoxTakingImage(bool taking) {
  // A stop at once unwinds the transfer, and with it this flag, before it
  // ends: the stop line must still say the box was cut off while taking.
  if (!taking && shared_.StopLevel.load() == kEndNow) return;
  taking_ = taking;
}

std::string TStationBox::StopLine(const char* signal) const {
  const char* title = upgrade::StepTitle(step_);
  const std::string where = title ? "after \"" + std::string(title) + "\"" : "after the box answered";
  TStopPoint point;
  point.Where = where.c_str();
  point.ImageStarted = goSent_ && total_ > 0;
  point.Sent = sent_;
  point.Total = total_;
  point.Taking = taking_;
  char line[512];
  return std::string(line, StopLineOf(line, sizeof line, signal, point));
}

}  // namespace stb::app
