#include "Station.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "EscapedLine.h"
#include "ExitStatus.h"
#include "IncludeFile.h"
#include "ModeTable.h"
#include "InterruptRule.h"
#include "SignalName.h"
#include "HostPorts.h"
#include "RunError.h"
#include "StationPorts.h"
#include "Upgrade.h"

namespace stb::app {

namespace {

// How often --port all looks for adapters plugged in since.
constexpr int kScanSeconds = 5;
// How often the live lines are redrawn (and the main thread wakes).
constexpr long kRedrawMs = 500;

// How long the main thread waits, after the second interrupt, for every
// port to have said where its box stood and let its port go.
constexpr auto kEndNowBound = std::chrono::seconds(3);

// A window for reading the include file once, before any port starts.
class TSilentWindow : public upgrade::IWindowOperations {
 public:
  void LogLine(const std::string&) override {}
  void SetDownloadProgress(int) override {}
  void SetFlashProgress(int) override {}
  void SetCounter(long, long) override {}
  void SetAnimation(bool) override {}
  void MessageBox(const std::string&) override {}
  upgrade::TConfirmAnswer Confirm(const std::string&) override { return upgrade::TConfirmAnswer::Yes; }
  void Information(const std::string&) override {}
  void StopTicks() override {}
  void PumpMessages() override {}
  void CloseWindow() override {}
};

// The code must choose a mode and its include file and image must read:
// they are the same for every port, so a mistake is the operator's to fix
// before any box is touched. Returns the exit status, or -1 when all is well.
int CheckCode(const std::string& code) {
  const int mode = upgrade::ModeForCode(code);
  if (mode == 0) {
    std::fprintf(stderr, "stb-downloader: the code given with --code chooses no mode\n");
    return kExitUsage;
  }
  TSilentWindow window;
  upgrade::TUpgradeRecord record;
  try {
    upgrade::ReadIncludeFile(std::string(upgrade::ModeEntry(mode).IncludeFile), record, window);
  } catch (const upgrade::ERunError& e) {
    std::string text = EscapedLine(upgrade::DefaultErrorText(e.Text()));
    if (e.SystemError() != 0) text += " (" + std::string(std::strerror(e.SystemError())) + ")";
    std::fprintf(stderr, "[error] %s\n", text.c_str());
    return kExitFileError;
  }
  return -1;
}

// How long the way out waits for report lines still on their way to the
// disk: a write hung on a dead network disk is not waited for beyond it.
constexpr auto kReportBound = std::chrono::seconds(2);

// The summary: what every port did, and every record that could not be
// written. `allDone`: every box upgraded and every record written.
std::string Summary(TStationShared& shared, const TStationPorts& ports, long reportLost, bool& allDone) {
  std::string text = "stb-downloader: station stopped.\n";
  int upgraded = 0;
  int refused = 0;
  int failed = 0;
  const auto views = shared.Display.Snapshot();
  for (std::size_t slot = 0; slot < views.size(); ++slot) {
    const auto& v = views[slot];
    upgraded += v.Upgraded;
    refused += v.Refused;
    failed += v.Failed;
    if (!ports.Named(slot, v)) continue;
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
            shared.Report.Path() + " (" + shared.Report.LostWhy() + ")\n";
  }
  const auto lostLogs = shared.LostLogs();
  for (const auto& [port, why] : lostLogs) text += "  not written: " + port + ": " + why + "\n";
  allDone = refused == 0 && failed == 0 && reportLost == 0 && lostLogs.empty();
  return text;
}

// The second interrupt: every upgrade under way ends now. Each port's
// thread ends its own box, says where it stood (on stderr and in its log),
// writes its report line and lets its port go; this waits for them a few
// seconds at most, then the summary follows. Never returns.
[[noreturn]] void EndNow(TStationShared& shared, TStationPorts& ports, int sig) {
  shared.StopSignal = sig;
  shared.StopLevel = kEndNow;
  ports.EndNow();
  const auto until = std::chrono::steady_clock::now() + kEndNowBound;
  while (!ports.AllEnded() && std::chrono::steady_clock::now() < until) {
    shared.Display.Redraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // A port still on its way out starts no line the exit would cut; the
  // lines already handed over get a bounded time to reach the disk.
  const long reportLost = shared.Report.Seal(kReportBound);
  bool allDone = false;
  const std::string summary = Summary(shared, ports, reportLost, allDone);
  shared.Display.Finish(summary);
  // A console that takes nothing gets a few seconds, never the exit.
  shared.Display.WaitWritten(kEndNowBound);
  _exit(kExitFailed);
}

// The devices --list-ports shows, less the second names of devices and the
// ones it marks as no box's line (the system console, a port without a
// UART, a port another program holds).
std::vector<std::string> AdaptersNow() {
  std::vector<std::string> devices;
  for (const auto& port : serial::ListSerialPortEntries()) {
    if (port.ForEveryPort()) devices.push_back(port.Name);
  }
  return devices;
}

// The log folder must take files before any box is touched: a station that
// cannot log would serve no port and still end as if all were well.
// Returns the exit status, or -1 when all is well.
int CheckLogFolder(const std::string& folder) {
  if (folder.empty()) return -1;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    std::fprintf(stderr, "stb-downloader: cannot make the log folder %s: %s\n", folder.c_str(),
                 ec ? ec.message().c_str() : "not a folder");
    return kExitUsage;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    std::fprintf(stderr, "stb-downloader: cannot write in the log folder %s: %s\n", folder.c_str(),
                 std::strerror(errno));
    return kExitUsage;
  }
  return -1;
}

}  // namespace

int RunStation(const TOptions& options) { return RunStation(options, AdaptersNow); }

int RunStation(const TOptions& options, const std::function<std::vector<std::string>()>& adapters) {
  if (const int status = CheckCode(options.Code); status >= 0) return status;
  if (const int status = CheckLogFolder(options.LogDir); status >= 0) return status;

  // The interrupts are taken here, by the main thread, between redraws: no
  // handler runs inside a port's upgrade, and every thread started from
  // here on (the ports', the report's) inherits the mask. A closed pipe or
  // a lost terminal never stops a box, nor does a file grown past the size
  // limit: its write fails and is counted.
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) sigaddset(&interrupts, sig);
  pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);

  TStationShared shared(options, isatty(STDOUT_FILENO) != 0);
  std::string why;
  if (!shared.Report.Open(options.Report, why)) {
    std::fprintf(stderr, "stb-downloader: cannot write the report %s: %s\n", options.Report.c_str(),
                 why.c_str());
    return kExitUsage;
  }

  bool everyAdapter = false;
  TStationPorts ports(shared, adapters);
  for (const auto& port : options.Ports) {
    if (port == "all") {
      everyAdapter = true;
    } else {
      ports.Add(port);
    }
  }

  TInterruptRule interruptRule;
  auto nextScan = std::chrono::steady_clock::now();
  for (;;) {
    ports.Reap();
    if (everyAdapter && shared.StopLevel.load() == kRunning && std::chrono::steady_clock::now() >= nextScan) {
      ports.Scan();
      nextScan = std::chrono::steady_clock::now() + std::chrono::seconds(kScanSeconds);
    }
    shared.Display.Redraw();
    if (shared.StopLevel.load() != kRunning && ports.AllEnded()) break;
    const timespec wait{0, kRedrawMs * 1000 * 1000};
    const int sig = sigtimedwait(&interrupts, nullptr, &wait);
    if (sig <= 0) continue;
    // Every interrupt is guarded here: the first one only stops new boxes.
    const auto verdict = interruptRule.Take(true, MonotonicMs());
    if (verdict == TInterruptRule::TVerdict::Repeated) continue;
    if (verdict == TInterruptRule::TVerdict::Warn) {
      shared.StopLevel = kNoNewBoxes;
      int running = 0;
      for (const auto& v : shared.Display.Snapshot()) running += v.Running ? 1 : 0;
      shared.Display.Event(std::string("stb-downloader: ") + SignalName(sig) + ": no new boxes are taken; " +
                           std::to_string(running) +
                           " upgrade(s) under way go on to their end, since a box cut off while it takes"
                           " its image can be left unusable. Interrupt once more to end them at once.");
    } else {
      EndNow(shared, ports, sig);
    }
  }
  ports.JoinAll();
  const long reportLost = shared.Report.Seal(kReportBound);
  bool allDone = false;
  shared.Display.Finish(Summary(shared, ports, reportLost, allDone));
  return allDone ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
