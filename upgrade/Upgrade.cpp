#include "Upgrade.h"

#include <algorithm>
#include <cmath>

#include "ImageFile.h"
#include "LinkHolds.h"
#include "ModeTable.h"

namespace stb::upgrade {

namespace {
constexpr char kRule[] = "-------------------------------------------------------------------------";
static_assert(sizeof kRule - 1 == 73);
constexpr char kNoResponseLine[] = "  ERROR: No Response from the Set-Top Box !!";
constexpr char kNoResponseBox[] = "No Response from the Set-Top Box !!";
}  // namespace

const char kCannotConnect[] = "Error: could not connect.  Check COM port settings";

const char* const kDirections[13] = {
    "WARNING !!! --- Check DOWNLOAD ADDRESS",
    "WARNING !!! --- If This is incorrect,Exit the download program NOW!!!",
    "WARNING !!! --- And modify the download address of the  include file(./inc/XXXX.inc).",
    "  ",
    "WARNING !!! --- DONOT TURN OFF THE Set-Top Box(KVR) until it is finished!!!!",
    kRule,
    " <<< DIRECTIONS >>> ",
    " 0. First, check Your serial cable and COM1 port.",
    " 1. Now, type the download mode in this box.",
    "    It is not displayed.",
    " 2. Lastly, turn on the Set-Top Box(KVR).",
    " 3. Wait for complete.",
    kRule,
};

std::string Detail(long a, long b) { return "( " + std::to_string(a) + " / " + std::to_string(b) + " )"; }

int ProgressPosition(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  // nearbyint rounds halves to even under the default rounding mode.
  return static_cast<int>(std::nearbyint(static_cast<double>(done) / static_cast<double>(total) * 100.0));
}

TUpgrade::TUpgrade(serial::TSerialLink& link, IWindowOperations& window, serial::TTickSource clock)
    : link_(link), window_(window), clock_(std::move(clock)) {}

TUpgrade::~TUpgrade() = default;

bool TUpgrade::StartUp() {
  record_.DownloadMode = 0;
  record_.ModeMatch = FreshMatchers();
  const bool opened = link_.OpenPort();
  portWasOpen_ = opened;
  if (!opened) window_.MessageBox(kCannotConnect);
  for (const char* line : kDirections) window_.LogLine(line);
  window_.SetCounter(0, 0);
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

void TUpgrade::Refuse(const std::vector<std::string>& lines, const std::string& box, TCheck check) {
  for (const auto& line : lines) window_.LogLine(line);
  TUpgradeEnd end;
  end.Outcome = TOutcome::Refused;
  end.Check = check;
  end.Line = lines.back();
  End(std::move(end));
  window_.MessageBox(box);
  window_.CloseWindow();
}

void TUpgrade::SayIfPortLost() {
  // The failure line says what the upgrade saw (no answer, a bad report);
  // the line before it says why, once, in the style of the other errors.
  if (link_.IsPortOpen() || portLossSaid_) return;
  portLossSaid_ = true;
  window_.LogLine("  ERROR: The COM port " + link_.PortDeviceName() + " went away !!");
}

bool TUpgrade::Fail(const std::string& line, TFailure failure) {
  SayIfPortLost();
  window_.LogLine(line);
  TUpgradeEnd end;
  end.Outcome = TOutcome::Failed;
  // Whatever the box seemed to do wrong, a port that went away under the
  // upgrade is the reason.
  end.Failure = goSent_ && !link_.IsPortOpen() ? TFailure::PortLost : failure;
  end.Line = line;
  End(std::move(end));
  return false;
}

void TUpgrade::NoResponseBeforeTransfer() {
  SayIfPortLost();
  window_.LogLine(kNoResponseLine);
  TUpgradeEnd end;
  end.Line = kNoResponseLine;
  // After the go message a port that went away is the reason, not the box.
  if (goSent_ && !link_.IsPortOpen()) {
    end.Failure = TFailure::PortLost;
  } else {
    end.Outcome = TOutcome::NoResponse;
  }
  End(std::move(end));
  window_.MessageBox(kNoResponseBox);
  window_.CloseWindow();
}

bool TUpgrade::NoResponseInTransfer() {
  if (!link_.IsPortOpen()) return Fail(kNoResponseLine, TFailure::PortLost);
  window_.LogLine(kNoResponseLine);
  TUpgradeEnd end;
  end.Outcome = TOutcome::NoResponse;
  end.Line = kNoResponseLine;
  End(std::move(end));
  return false;
}

void TUpgrade::Step(TStep step, const std::string& line) {
  window_.LogLine(line);
  step_ = static_cast<int>(step);
  events_->StepReached(step);
}

void TUpgrade::End(TUpgradeEnd end) {
  if (ended_) return;
  ended_ = true;
  end.Step = step_;
  end.Sent = acknowledged_;
  end.Total = record_.ImageSize;
  // The box is past the image either way: an interrupt while the closing
  // box is shown puts nothing at risk any more.
  window_.BoxTakingImage(false);
  events_->Ended(end);
}

}  // namespace stb::upgrade
