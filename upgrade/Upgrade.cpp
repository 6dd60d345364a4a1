#include "Upgrade.h"

#include <algorithm>
#include <cmath>

#include "ImageFile.h"
#include "LinkHolds.h"
#include "ModeTable.h"

namespace stb::upgrade {

namespace {
constexpr char kNoResponseBox[] = "No Response from the Set-Top Box !!";
}  // namespace

const char kCannotConnect[] = "Error: could not connect.  Check COM port settings";

int ProgressPosition(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  // nearbyint rounds halves to even under the default rounding mode.
  return static_cast<int>(std::nearbyint(static_cast<double>(done) / static_cast<double>(total) * 100.0));
}

TUpgrade::TUpgrade(serial::TSerialLink& link, IInteraction& operatorCalls, serial::TTickSource clock)
    : link_(link), window_(operatorCalls), clock_(std::move(clock)) {}

TUpgrade::~TUpgrade() = default;

bool TUpgrade::StartUp() {
  record_.DownloadMode = 0;
  record_.ModeMatch = FreshMatchers();
  bool opened = link_.OpenPort();
  if (!opened) {
    window_.CannotConnect(kCannotConnect);
    // A window may let the operator choose another port from that box and
    // open it there: the run then goes on on that port as if it had opened
    // here, taken again should it go away while waiting.
    opened = link_.IsPortOpen();
  }
  portWasOpen_ = opened;
  events_->StartedUp(opened);
  return opened;
}

void TUpgrade::StopPoint() const {
  if (stopRequested_.load()) throw EStopped{};
}

void TUpgrade::KeepAnswering() {
  // A poll now would take and drop bytes the next read of the protocol needs.
  const TPollingHold pollingHold(link_);
  window_.KeepAnswering();
}

std::uint32_t TUpgrade::ReadSomeAnswering(std::uint8_t* buffer, std::uint32_t count) {
  const std::uint32_t whole = link_.InputTimeout();
  if (whole <= kAnsweringSliceMs) return link_.ReadSome(buffer, count);
  const std::uint32_t slices = (whole + kAnsweringSliceMs - 1) / kAnsweringSliceMs;
  const TInputTimeoutHold slice(link_, (whole + slices - 1) / slices);
  for (std::uint32_t i = 0; i < slices; ++i) {
    if (i > 0) KeepAnswering();
    if (const std::uint32_t n = link_.ReadSome(buffer, count); n > 0) return n;
    if (!link_.IsPortOpen()) return 0;
  }
  return 0;
}

bool TUpgrade::ReadAnswering(std::uint8_t& value) { return ReadSomeAnswering(&value, 1) == 1; }

std::uint32_t TUpgrade::ReadAnswering(std::uint8_t* buffer, std::uint32_t count) {
  // Each byte has the whole time-out from the one before, as when read one
  // by one; those already waiting beside it cost no wait, and no call more.
  std::uint32_t read = 0;
  while (read < count) {
    const std::uint32_t n = ReadSomeAnswering(buffer + read, count - read);
    if (n == 0) break;
    read += n;
  }
  return read;
}

bool TUpgrade::ReadAnswering(char& value) {
  std::uint8_t byte = static_cast<std::uint8_t>(value);
  const bool read = ReadAnswering(byte);
  value = static_cast<char>(byte);
  return read;
}

std::uint8_t TUpgrade::WaitByte() {
  // Each read gives up after a slice of the input time-out, and the window
  // has its turn; the box is given up on once nothing has come for the whole
  // bound. A closed port can never answer.
  const TInputTimeoutHold slice(link_, std::min(link_.InputTimeout(), kAnsweringSliceMs));
  const std::uint32_t start = clock_();
  std::uint8_t value = 0;
  for (;;) {
    StopPoint();
    if (!link_.IsPortOpen()) throw ENoResponse{};
    if (link_.ReadByte(value)) return value;
    if (clock_() - start > responseTimeoutMs_) throw ENoResponse{};
    KeepAnswering();
  }
}

bool TUpgrade::Checked(TCheck check, bool passed) {
  events_->CheckDone(check, passed);
  return passed;
}

void TUpgrade::EndAndClose(TUpgradeEnd end, const std::string& box, bool information) {
  End(std::move(end));
  if (information) {
    window_.Information(box);
  } else if (!box.empty()) {
    window_.MessageBox(box);
  }
  window_.CloseWindow();
}

void TUpgrade::Refuse(TCheck check, const std::string& box) {
  TUpgradeEnd end;
  end.Outcome = TOutcome::Refused;
  end.Check = check;
  EndAndClose(std::move(end), box);
}

void TUpgrade::SayIfPortLost() {
  // The end says what the upgrade saw (no answer, a bad report); before it
  // the listeners hear why, once.
  if (link_.IsPortOpen() || portLossSaid_) return;
  portLossSaid_ = true;
  events_->PortLost(link_.PortDeviceName());
}

bool TUpgrade::Fail(TSeen seen, TFailure failure) {
  SayIfPortLost();
  TUpgradeEnd end;
  end.Outcome = TOutcome::Failed;
  // Whatever the box seemed to do wrong, a port that went away under the
  // upgrade is the reason.
  end.Failure = goSent_ && !link_.IsPortOpen() ? TFailure::PortLost : failure;
  end.Seen = seen;
  End(std::move(end));
  return false;
}

void TUpgrade::NoResponseBeforeTransfer() {
  SayIfPortLost();
  TUpgradeEnd end;
  end.Seen = TSeen::NoResponse;
  // After the go message a port that went away is the reason, not the box.
  if (goSent_ && !link_.IsPortOpen()) {
    end.Failure = TFailure::PortLost;
  } else {
    end.Outcome = TOutcome::NoResponse;
  }
  EndAndClose(std::move(end), kNoResponseBox);
}

bool TUpgrade::NoResponseInTransfer() {
  if (!link_.IsPortOpen()) return Fail(TSeen::NoResponse, TFailure::PortLost);
  TUpgradeEnd end;
  end.Outcome = TOutcome::NoResponse;
  end.Seen = TSeen::NoResponse;
  End(std::move(end));
  return false;
}

void TUpgrade::Step(TStep step) {
  step_ = static_cast<int>(step);
  events_->StepReached(step);
}

void TUpgrade::End(TUpgradeEnd end) {
  if (ended_) return;
  ended_ = true;
  end.Step = step_;
  end.Sent = acknowledged_;
  end.Total = record_.ImageSize;
  events_->Ended(end);
}

}  // namespace stb::upgrade
