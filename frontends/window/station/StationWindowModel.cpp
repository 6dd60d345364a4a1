#include "StationWindowModel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ExitStatus.h"
#include "ModeTable.h"
#include "StationInterrupts.h"
#include "StationTileText.h"

namespace stb::app {

namespace {

// How long a second interrupt waits for every port to say where its box
// stood, as on the console.
constexpr auto kEndNowBound = std::chrono::seconds(3);

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string DefaultStationFolder() {
#ifdef _WIN32
  const std::string base = Environment("LOCALAPPDATA");
  return (base.empty() ? std::string(".") : base) + "\\stb-downloader\\station";
#else
  std::string base = Environment("XDG_STATE_HOME");
  if (base.empty()) base = Environment("HOME").empty() ? "." : Environment("HOME") + "/.local/state";
  return base + "/stb-downloader/station";
#endif
}

TStationWindowModel::TStationWindowModel(const TOptions& options, TStationRun::TLister adapters,
                                         TStationInterrupts* interrupts)
    : options_(options), adapters_(std::move(adapters)), interrupts_(interrupts) {
  if (options_.LogDir.empty()) options_.LogDir = DefaultStationFolder();
  if (options_.Report.empty()) options_.Report = options_.LogDir + "/report.jsonl";
}

TStationWindowModel::~TStationWindowModel() = default;

std::string TStationWindowModel::Begin() {
  if (options_.Code.empty()) return "";
  return StartWith(options_.Code);
}

std::string TStationWindowModel::EnterCode(const std::string& code) {
  if (run_) return "";
  std::string why;
  // Checked before any port is touched: a wrong code costs nothing.
  if (upgrade::ModeForCode(code) == 0) return kTypedCodeChoosesNoMode;
  if (CheckStationCode(code, why, options_.IncludeDir) >= 0) return why;
  return StartWith(code);
}

std::string TStationWindowModel::StartWith(const std::string& code) {
  TOptions options = options_;
  options.Code = code;
  auto run = std::make_unique<TStationRun>(options, adapters_, false);
  std::string why;
  if (const int status = run->Start(why); status >= 0) {
    status_ = status;
    return why;
  }
  run_ = std::move(run);
  return "";
}

void TStationWindowModel::Turn() {
  if (interrupts_ != nullptr) {
    if (const char* cause = interrupts_->Wait(std::chrono::milliseconds(0))) {
      const auto verdict = rule_.Take(run_ != nullptr, MonotonicMs());
      if (const auto deadline = interrupts_->Deadline(); deadline.count() > 0 && run_ && !ended_) {
        // The console the window was started from was closed: Windows ends
        // the process within seconds, as on the console station.
        if (verdict == TInterruptRule::TVerdict::End) std::_Exit(run_->EndNow(cause, deadline / 3));
        std::_Exit(run_->EndWithin(cause, deadline));
      }
      if (!run_ || verdict == TInterruptRule::TVerdict::End) {
        // Before any port was touched, or the second interrupt: as on the
        // console, a port hung in a system call is not waited for.
        std::_Exit(run_ ? run_->EndNow(cause, kEndNowBound) : kExitFailed);
      }
      if (verdict == TInterruptRule::TVerdict::Warn) {
        // As on the console, where the station then ends with its last
        // upgrade: the window closes itself then.
        run_->StopTakingBoxes(cause);
        closing_ = true;
        if (ended_) closes_ = true;
      }
    }
  }
  if (!run_ || ended_) return;
  if (!run_->Turn()) {
    ended_ = true;
    status_ = run_->Finish();
    if (closing_) closes_ = true;
  }
}

int TStationWindowModel::EndNow(const char* cause) {
  if (Ended()) return status_;
  return run_->EndNow(cause, kEndNowBound);
}

void TStationWindowModel::StopTakingBoxes() {
  if (run_ && !closing_) run_->Pause("Stop taking boxes");
}

void TStationWindowModel::TakeBoxesAgain() {
  if (run_ && !closing_ && !ended_) run_->TakeBoxesAgain("Take boxes again");
}

TStationWindowModel::TClose TStationWindowModel::CloseRequested() {
  if (closing_) return closes_ ? TClose::Now : TClose::Waiting;
  if (!run_ || ended_ || run_->RunningUpgrades() == 0) {
    // Nothing is under way: the ports let go at their next turn.
    CloseConfirmed();
    return TClose::Now;
  }
  return TClose::Ask;
}

void TStationWindowModel::CloseConfirmed() {
  closing_ = true;
  if (!run_ || ended_) {
    closes_ = true;
    return;
  }
  run_->StopTakingBoxes("the window was closed");
}

TStationWindowModel::TCounters TStationWindowModel::Counters() const {
  TCounters c;
  if (!run_) return c;
  for (const auto& v : run_->Snapshot()) {
    c.Upgraded += v.Upgraded;
    c.Refused += v.Refused;
    c.Failed += v.Failed;
    c.Running += v.Running ? 1 : 0;
  }
  c.Total = c.Upgraded + c.Refused + c.Failed;
  c.Seconds = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - run_->Started())
          .count());
  return c;
}

std::vector<TPortView> TStationWindowModel::Ports() const {
  if (run_) return run_->Snapshot();
  // The operator sees the ports the station will take before typing the
  // code: a port named wrongly shows at once, not once the boxes wait.
  std::vector<TPortView> named;
  for (const auto& port : options_.Ports) {
    const bool twice = std::find_if(named.begin(), named.end(),
                                    [&](const TPortView& v) { return v.Port == port; }) != named.end();
    if (port == "all" || twice) continue;  // one tile a port, as the run has it
    named.emplace_back();
    named.back().Port = port;
    named.back().State = kWaitingForCode;
  }
  return named;
}

std::string TStationWindowModel::StatusLine() const {
  if (!run_) return "type the mode code to start";
  if (ended_) return "stopped";
  const int running = Counters().Running;
  if (closing_) return "closing when the last upgrade ends: " + std::to_string(running) + " under way";
  if (run_->StopLevel() != kRunning)
    return "taking no new boxes: " + std::to_string(running) + " upgrade(s) under way";
  return "taking boxes";
}

std::string TStationWindowModel::CountersLine(const TCounters& c) {
  char line[160];
  std::snprintf(line, sizeof line,
                "upgraded %d   refused %d   failed %d   total %d   running %d   time %ld:%02ld:%02ld",
                c.Upgraded, c.Refused, c.Failed, c.Total, c.Running, c.Seconds / 3600, c.Seconds / 60 % 60,
                c.Seconds % 60);
  return line;
}

}  // namespace stb::app
