#include "StationRun.h"

#include "FileAdvice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Console.h"
#include "EscapedLine.h"
#include "ExitStatus.h"
#include "FileAdvice.h"
#include "HostPorts.h"
#include "IncludeFile.h"
#include "LogText.h"
#include "ModeTable.h"
#include "RunError.h"
#include "StationFiles.h"
#include "StationPorts.h"
#include "Upgrade.h"

namespace stb::app {

namespace {

// How often --port all looks for adapters plugged in since.
constexpr int kScanSeconds = 5;

// How long the way out waits for report lines still on their way to the
// disk: a write hung on a dead network disk is not waited for beyond it.
constexpr auto kReportBound = std::chrono::seconds(2);

// What ending the upgrades still under way at an end that cannot be put off
// takes at most: half for their ports' last lines, the rest for the
// report's and the console's.
constexpr auto kEndingTakes = std::chrono::milliseconds(1500);

// Seconds for the operator, to a tenth.
std::string Seconds(std::chrono::steady_clock::duration time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::max(0.0, std::chrono::duration<double>(time).count()));
  return text;
}

// The log folder must take files before any box is touched: a station that
// cannot log would serve no port and still end as if all were well.
int CheckLogFolder(const std::string& folder, std::string& why) {
  if (folder.empty()) return -1;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::u8path(folder), ec);
  if (ec || !std::filesystem::is_directory(std::filesystem::u8path(folder))) {
    why = "stb-downloader: cannot make the log folder " + folder + ": " +
          (ec ? ec.message() : std::string("not a folder"));
    return kExitUsage;
  }
  if (std::string reason; !FolderTakesFiles(folder, reason)) {
    why = "stb-downloader: cannot write in the log folder " + folder + ": " + reason;
    return kExitUsage;
  }
  return -1;
}

}  // namespace

std::vector<std::string> StationAdapters() {
  std::vector<std::string> devices;
  for (const auto& port : serial::ListSerialPortEntries()) {
    if (port.ForEveryPort()) devices.push_back(port.Name);
  }
  return devices;
}

int CheckStationCode(const std::string& code, std::string& why, const std::string& includeFolder) {
  const int mode = upgrade::ModeForCode(code);
  if (mode == 0) {
    why = std::string("stb-downloader: ") + kCodeChoosesNoMode;
    return kExitUsage;
  }
  upgrade::TUpgradeRecord record;
  try {
    upgrade::ReadIncludeFile(upgrade::IncludeFilePath(mode, includeFolder), record);
  } catch (const upgrade::ERunError& e) {
    why = "[error] " + ErrorLine(upgrade::DefaultErrorText(e.Text()), e.SystemError());
    if (const std::string advice = FileAdvice(e.Problem()); !advice.empty()) {
      why += "\n[error] " + upgrade::EscapedLine(advice);
    }
    return kExitFileError;
  }
  return -1;
}

TStationRun::TStationRun(const TOptions& options, TLister adapters, bool console)
    : shared_(options, console && StdoutIsTerminal()),
      ports_(std::make_unique<TStationPorts>(shared_, std::move(adapters))),
      console_(console) {}

TStationRun::~TStationRun() {
  // Let go of while it still runs (a window torn down, a test that failed):
  // every port ends what it does, as after a second interrupt, so that no
  // thread is left waiting for boxes with nobody to join it.
  if (!ports_->AllEnded()) {
    shared_.StopLevel = kEndNow;
    ports_->EndNow();
  }
  ports_->JoinAll();
}

int TStationRun::Start(std::string& why) {
  if (const int status = CheckStationCode(shared_.Options.Code, why, shared_.Options.IncludeDir); status >= 0)
    return status;
  if (const int status = CheckLogFolder(shared_.Options.LogDir, why); status >= 0) return status;
  std::string reportWhy;
  if (!shared_.Report.Open(shared_.Options.Report, reportWhy)) {
    why = "stb-downloader: cannot write the report " + shared_.Options.Report + ": " + reportWhy;
    return kExitUsage;
  }
  started_ = std::chrono::steady_clock::now();
  nextScan_ = started_;
  for (const auto& port : shared_.Options.Ports) {
    if (port == "all") {
      everyAdapter_ = true;
      shared_.Display.WaitForAdapters(console_);
    } else {
      ports_->Add(port);
    }
  }
  return -1;
}

bool TStationRun::Turn() {
  ports_->Reap();
  const auto now = std::chrono::steady_clock::now();
  if (everyAdapter_ && shared_.StopLevel.load() == kRunning && now >= nextScan_) {
    ports_->Scan();
    nextScan_ = std::chrono::steady_clock::now() + std::chrono::seconds(kScanSeconds);
    // Without a terminal there is no live line to say it: one line, once.
    if (console_ && !shared_.Display.Terminal() && ports_->Running() == 0 && !saidWaiting_) {
      shared_.Display.Event(
          "stb-downloader: waiting for serial adapters (none yet); each is taken on within " +
          std::to_string(kScanSeconds) + " s of being plugged in");
    }
    saidWaiting_ = saidWaiting_ || ports_->Running() == 0;
  }
  shared_.Display.Redraw();
  return Serving(shared_.StopLevel.load()) || !ports_->AllEnded();
}

int TStationRun::RunningUpgrades() {
  int running = 0;
  for (const auto& v : shared_.Display.Snapshot()) running += v.Running ? 1 : 0;
  return running;
}

void TStationRun::StopTakingBoxes(const std::string& cause) {
  if (shared_.StopLevel.load() == kPaused) shared_.StopLevel = kNoNewBoxes;  // said at the pause
  if (shared_.StopLevel.load() != kRunning) return;
  shared_.StopLevel = kNoNewBoxes;
  const int running = RunningUpgrades();
  if (running == 0) {
    // Nothing to wait for, nor to end at once: no second interrupt is asked for.
    shared_.Display.Event("stb-downloader: " + cause + ": no upgrade is under way; the station ends.");
    return;
  }
  shared_.Display.Event("stb-downloader: " + cause + ": no new boxes are taken; " + std::to_string(running) +
                        " upgrade(s) under way go on to their end, since a box cut off while it takes"
                        " its image can be left unusable. Interrupt once more to end them at once.");
}

void TStationRun::Pause(const std::string& cause) {
  if (shared_.StopLevel.load() != kRunning) return;
  shared_.StopLevel = kPaused;
  shared_.Display.Event("stb-downloader: " + cause + ": no new boxes are taken; " +
                        std::to_string(RunningUpgrades()) + " upgrade(s) under way go on to their end.");
}

void TStationRun::TakeBoxesAgain(const std::string& cause) {
  if (shared_.StopLevel.load() != kPaused) return;
  shared_.StopLevel = kRunning;
  nextScan_ = std::chrono::steady_clock::now();
  shared_.Display.Event("stb-downloader: " + cause + ": new boxes are taken again.");
}

std::string TStationRun::Summary(long reportLost, bool& allDone) {
  std::string text = "stb-downloader: station stopped.\n";
  int upgraded = 0;
  int refused = 0;
  int failed = 0;
  const auto views = shared_.Display.Snapshot();
  for (std::size_t slot = 0; slot < views.size(); ++slot) {
    const auto& v = views[slot];
    upgraded += v.Upgraded;
    refused += v.Refused;
    failed += v.Failed;
    if (!ports_->Named(slot, v)) continue;
    char line[512];
    std::snprintf(line, sizeof line, "  %s: %d upgraded, %d refused, %d failed\n", v.Port.c_str(), v.Upgraded,
                  v.Refused, v.Failed);
    text += line;
  }
  char total[160];
  std::snprintf(total, sizeof total, "  all ports: %d upgraded, %d refused, %d failed\n", upgraded, refused,
                failed);
  text += total;
  if (reportLost > 0) {
    text += "  not written: " + std::to_string(reportLost) + " line(s) of the report " +
            shared_.Report.Path() + " (" + shared_.Report.LostWhy() + ")\n";
  }
  const auto lostLogs = shared_.LostLogs();
  for (const auto& [port, why] : lostLogs) text += "  not written: " + port + ": " + why + "\n";
  allDone = refused == 0 && failed == 0 && reportLost == 0 && lostLogs.empty();
  return text;
}

int TStationRun::EndNow(const char* cause, std::chrono::milliseconds bound) {
  shared_.StopCause = cause;
  shared_.StopLevel = kEndNow;
  ports_->EndNow();
  const auto until = std::chrono::steady_clock::now() + bound;
  while (!ports_->AllEnded() && std::chrono::steady_clock::now() < until) {
    shared_.Display.Redraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // A port still on its way out starts no line the exit would cut; the
  // lines already handed over get a bounded time to reach the disk.
  const long reportLost = shared_.Report.Seal(std::min<std::chrono::milliseconds>(kReportBound, bound));
  bool allDone = false;
  shared_.Display.Finish(Summary(reportLost, allDone));
  // A console that takes nothing gets a few seconds, never the exit.
  shared_.Display.WaitWritten(bound);
  return kExitFailed;
}

int TStationRun::EndWithin(const char* cause, std::chrono::milliseconds deadline) {
  using std::chrono::steady_clock;
  const auto endsAt = steady_clock::now() + deadline;
  const auto ending = std::min<steady_clock::duration>(kEndingTakes, deadline / 2);
  const auto graceEnds = endsAt - ending;
  if (Serving(shared_.StopLevel.load())) shared_.StopLevel = kNoNewBoxes;
  const int running = RunningUpgrades();
  std::string said = "stb-downloader: " + std::string(cause) + ": the program is ended within " +
                     Seconds(deadline) + " s, whatever it does; no new boxes are taken.";
  if (running > 0) {
    said += " The " + std::to_string(running) + " upgrade(s) under way get " +
            Seconds(graceEnds - steady_clock::now()) +
            " s to come to their end; one that needs longer cannot be waited for: it is ended then,"
            " saying where it stood, and a box cut off while it takes its image can be left unusable.";
  }
  shared_.Display.Event(said);
  // Every port comes to its end: those between boxes within a second, those
  // with a box once it has its result and report line.
  while (Turn() && steady_clock::now() < graceEnds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (RunningUpgrades() > 0) {
    shared_.StopCause = cause;
    shared_.StopLevel = kEndNow;
    ports_->EndNow();
  }
  const auto portsBy = endsAt - ending / 2;
  while (!ports_->AllEnded() && steady_clock::now() < portsBy) {
    shared_.Display.Redraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto quarter = std::chrono::duration_cast<std::chrono::milliseconds>(ending / 4);
  const long reportLost = shared_.Report.Seal(quarter);
  bool allDone = false;
  shared_.Display.Finish(Summary(reportLost, allDone));
  shared_.Display.WaitWritten(quarter);
  // A port not yet at its end may still have a box whose record is not
  // written.
  return allDone && ports_->AllEnded() ? kExitUpgraded : kExitFailed;
}

int TStationRun::Finish() {
  ports_->JoinAll();
  const long reportLost = shared_.Report.Seal(kReportBound);
  bool allDone = false;
  shared_.Display.Finish(Summary(reportLost, allDone));
  return allDone ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
