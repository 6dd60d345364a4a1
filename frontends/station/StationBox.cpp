#include "StationBox.h"

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>

#include "Console.h"
#include "EscapedLine.h"

namespace stb::app {

const char kNoResponseLine[] = "  ERROR: No Response from the Set-Top Box !!";

namespace {

constexpr char kSuccessLine[] = "Congraturation! Software Upgrade OK !!!";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The lines that tell how the box fared: refusals and failures begin with
// two blanks; passed checks ("  -. "), resends and the table's 'W' do not
// decide anything.
bool Decides(const std::string& line) {
  if (line == kSuccessLine) return true;
  if (!StartsWith(line, "  ") || line.size() <= 2) return false;
  return !StartsWith(line, "  -. ") && !StartsWith(line, "  retry : ") && line != "  Version Table Write OK!";
}

// The state a numbered log line starts.
const char* StepState(char digit) {
  switch (digit) {
    case '1': return "checking";
    case '2':
    case '3': return "download";
    case '4': return "verifying";
    case '5': return "flash write";
    case '6': return "version table";
    case '7': return "finishing";
    default: return nullptr;
  }
}

std::uint32_t Address(const upgrade::TAddressBytes& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::array<std::uint8_t, 2> Pair(const upgrade::TVersionPair& v) { return {v.Major, v.Minor}; }

}  // namespace

TStationBox::TStationBox(TStationShared& shared, std::size_t slot, std::string port, TEventLoop& loop)
    : shared_(shared), slot_(slot), port_(std::move(port)), loop_(loop) {}

void TStationBox::SetState(const std::string& state) {
  shared_.Display.Update(slot_, [&](TPortView& v) { v.State = state; });
}

void TStationBox::Tagged(const char* tag, const std::string& text) {
  if (logFd_ < 0) return;
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[40];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char head[64];
  std::snprintf(head, sizeof head, "%.*s.%03d [%s] ", static_cast<int>(n), stamp, static_cast<int>(ms), tag);
  // One write on the log file's descriptor, which appends: the assembly's
  // own lines are flushed whole, so the two never mix within a line.
  const std::string line = head + text + "\n";
  const ssize_t written = ::write(logFd_, line.data(), line.size());
  (void)written;  // a log that cannot be written never stops a box
}

void TStationBox::HandlerError(const THandlerError& error) {
  // One error, one line of the log, as the console writes it.
  error_ = EscapedLine(error.Text);
  if (error.SystemError != 0) error_ += " (" + std::string(std::strerror(error.SystemError)) + ")";
  Tagged("error", error_);
}

void TStationBox::LogLine(const std::string& line) {
  if (!arrived_) return;  // the directions and the mode line tell nothing of a box
  if (line.size() >= 2 && line[0] >= '1' && line[0] <= '9' && line[1] == '.') {
    const char* state = StepState(line[0]);
    const std::string step = "after \"" + line + "\"";
    shared_.Display.Update(slot_, [&](TPortView& v) {
      v.Step = step;
      if (state) v.State = state;
      if (line[0] == '5') v.Percent = 0;  // the flash write's own percent follows
    });
    if (line[0] == '1') checking_ = true;
  } else if (checking_ && !identityWhole_ && line != kNoResponseLine) {
    // The first check's line follows the whole identity record.
    identityWhole_ = true;
  }
  if (StartsWith(line, "  -. Start DATE")) dateLine_ = true;
  if (StartsWith(line, "  retry : ")) ++resends_;
  if (line == kNoResponseLine) noResponse_ = true;
  if (Decides(line)) decidedBy_ = line;
}

void TStationBox::SetDownloadProgress(int position) {
  shared_.Display.Update(slot_, [&](TPortView& v) { v.Percent = position; });
}

void TStationBox::SetFlashProgress(int position) {
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.State = "flash write";
    v.Percent = position;
    v.Rate = 0;
    v.SecondsLeft = -1;
  });
}

void TStationBox::SetCounter(long sent, long total) {
  const std::int64_t now = NowMs();
  pace_.Note(sent, now);
  // Half a second of blocks before a rate is shown: fewer swing it widely.
  const double rate = pace_.BytesPerSecond(sent, now, 500);
  const long left = TTransferPace::SecondsLeft(sent, total, rate);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Sent = sent;
    v.Total = total;
    v.Rate = rate;
    v.SecondsLeft = left;
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
  if (arrived_) return;
  // The ticks stop once a box has answered with the chosen mode.
  arrived_ = true;
  startMs_ = UnixMsNow();
  startSteadyMs_ = NowMs();
  TBoxReport report;
  Fill(report);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Running = true;
    v.State = "box answered";
    v.Percent = -1;
    v.Rate = 0;
    v.SecondsLeft = -1;
    v.Step = "after the box answered";
    v.ImageStarted = v.Taking = false;
    v.Sent = v.Total = 0;
    v.Report = report;
  });
  shared_.Display.Event(port_ + ": a box answered; its upgrade begins");
}

void TStationBox::CloseWindow() { closed_ = true; }

void TStationBox::SetPortToRelease(serial::THandle port) {
  shared_.Display.Update(slot_, [&](TPortView& v) { v.Handle = port; });
}

void TStationBox::SetStopRecord(int fd) {
  logFd_ = fd;
  shared_.Display.Update(slot_, [&](TPortView& v) { v.LogFd = fd; });
}

void TStationBox::SetBoxTakingImage(bool taking) {
  taking_ = taking;
  if (taking) everTaking_ = true;
  TBoxReport report;
  Fill(report);
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Taking = taking;
    if (taking) v.ImageStarted = true;
    v.Report = report;
  });
}

void TStationBox::Fill(TBoxReport& r) const {
  r.Port = port_;
  r.Start = IsoTime(startMs_);
  r.End = IsoTime(UnixMsNow());
  r.DurationSeconds = static_cast<double>(NowMs() - startSteadyMs_) / 1000.0;
  r.Resends = resends_;
  r.DecidedBy = decidedBy_;
  if (!record_) return;
  r.Mode = record_->DownloadMode;
  if (identityWhole_) r.Identity = record_->TargetInfo;
  // The address words come after the record checks; a silence there leaves
  // them unknown.
  if (dateLine_ && (everTaking_ || !noResponse_)) r.BoxAddress = Address(record_->TargetAddress);
  if (everTaking_) {
    TBoxReport::TWritten w;
    w.Model = Pair(record_->IncModel);
    w.Hardware = Pair(record_->IncHwVersion);
    w.BootLoader = Pair(record_->IncBootVersion);
    w.Native = Pair(record_->IncNativeVersion);
    w.Application1 = Pair(record_->IncApp1Version);
    w.Application2 = Pair(record_->IncApp2Version);
    w.VersionSlot = record_->VersionSlot;
    w.Date = record_->IncStartDate;
    w.Blocks = record_->BlockCount;
    w.Address = Address(record_->IncAddress);
    r.Written = w;
  }
}

TBoxReport TStationBox::Finish(bool succeeded, bool portOpen) {
  TBoxReport r;
  Fill(r);
  if (succeeded) {
    r.Result = TBoxResult::Upgraded;
    r.DecidedBy = kSuccessLine;
  } else if (!error_.empty()) {
    r.Result = TBoxResult::Failed;
    r.DecidedBy = error_;
  } else if (!portOpen) {
    // The adapter went away under the box.
    r.Result = TBoxResult::Failed;
    if (r.DecidedBy.empty()) r.DecidedBy = "the port went away";
  } else if (noResponse_) {
    r.Result = TBoxResult::NoResponse;
  } else if (everTaking_) {
    r.Result = TBoxResult::Failed;
  } else {
    r.Result = TBoxResult::Refused;
  }
  return r;
}

}  // namespace stb::app
