#include "Station.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <set>
#include <thread>

#include "EscapedLine.h"
#include "ExitStatus.h"
#include "IncludeFile.h"
#include "ModeTable.h"
#include "InterruptRule.h"
#include "SignalName.h"
#include "HostPorts.h"
#include "RunError.h"
#include "StationPort.h"
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

std::string Summary(const std::vector<TPortView>& views, bool& allUpgraded) {
  std::string text = "stb-downloader: station stopped.\n";
  int upgraded = 0;
  int refused = 0;
  int failed = 0;
  for (const auto& v : views) {
    char line[512];
    std::snprintf(line, sizeof line, "  %s: %d upgraded, %d refused, %d failed\n", v.Port.c_str(), v.Upgraded,
                  v.Refused, v.Failed);
    text += line;
    upgraded += v.Upgraded;
    refused += v.Refused;
    failed += v.Failed;
  }
  char total[160];
  std::snprintf(total, sizeof total, "  all ports: %d upgraded, %d refused, %d failed\n", upgraded, refused,
                failed);
  text += total;
  allUpgraded = refused == 0 && failed == 0;
  return text;
}

// The second interrupt: every upgrade under way ends now. Each port's
// thread ends its own box, says where it stood (on stderr and in its log),
// writes its report line and lets its port go; this waits for them a few
// seconds at most, then the summary follows. Never returns.
[[noreturn]] void EndNow(TStationShared& shared, std::list<std::unique_ptr<TStationPort>>& ports, int sig) {
  shared.StopSignal = sig;
  shared.StopLevel = kEndNow;
  for (auto& p : ports) p->EndNow();
  const auto until = std::chrono::steady_clock::now() + kEndNowBound;
  for (;;) {
    bool allEnded = true;
    for (const auto& p : ports) allEnded = allEnded && p->Ended();
    if (allEnded || std::chrono::steady_clock::now() >= until) break;
    shared.Display.Redraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // A port still on its way out starts no line the exit would cut.
  shared.Report.Seal();
  bool allUpgraded = false;
  const std::string summary = Summary(shared.Display.Snapshot(), allUpgraded);
  shared.Display.Finish(summary);
  std::fflush(stderr);
  _exit(kExitFailed);
}

// The plain devices --list-ports shows (its "name -> device" lines name the
// same devices again).
std::vector<std::string> AdaptersNow() {
  std::vector<std::string> devices;
  for (const auto& line : serial::ListSerialPorts()) {
    if (line.find(" -> ") == std::string::npos) devices.push_back(line);
  }
  return devices;
}

}  // namespace

int RunStation(const TOptions& options) {
  if (const int status = CheckCode(options.Code); status >= 0) return status;
  if (!options.LogDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.LogDir, ec);
    if (ec || !std::filesystem::is_directory(options.LogDir)) {
      std::fprintf(stderr, "stb-downloader: cannot make the log folder %s: %s\n", options.LogDir.c_str(),
                   ec ? ec.message().c_str() : "not a folder");
      return kExitUsage;
    }
  }

  TStationShared shared(options, isatty(STDOUT_FILENO) != 0);
  if (!shared.Report.Open(options.Report)) {
    std::fprintf(stderr, "stb-downloader: cannot write the report %s: %s\n", options.Report.c_str(),
                 std::strerror(errno));
    return kExitUsage;
  }

  // The interrupts are taken here, by the main thread, between redraws: no
  // handler runs inside a port's upgrade, and every port thread inherits
  // the mask. A closed pipe or a lost terminal never stops a box.
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) sigaddset(&interrupts, sig);
  pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGHUP, SIG_IGN);

  bool everyAdapter = false;
  std::set<std::string> devices;
  std::list<std::unique_ptr<TStationPort>> ports;
  auto addPort = [&](const std::string& device) {
    if (!devices.insert(device).second) return;
    ports.push_back(std::make_unique<TStationPort>(shared, device));
  };
  for (const auto& port : options.Ports) {
    if (port == "all") {
      everyAdapter = true;
    } else {
      addPort(port);
    }
  }

  TInterruptRule interruptRule;
  auto nextScan = std::chrono::steady_clock::now();
  for (;;) {
    if (everyAdapter && shared.StopLevel.load() == kRunning && std::chrono::steady_clock::now() >= nextScan) {
      for (const auto& device : AdaptersNow()) addPort(device);
      nextScan = std::chrono::steady_clock::now() + std::chrono::seconds(kScanSeconds);
    }
    shared.Display.Redraw();
    if (shared.StopLevel.load() != kRunning) {
      bool allEnded = true;
      for (const auto& p : ports) allEnded = allEnded && p->Ended();
      if (allEnded) break;
    }
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
  for (auto& p : ports) p->Join();
  bool allUpgraded = false;
  shared.Display.Finish(Summary(shared.Display.Snapshot(), allUpgraded));
  return allUpgraded ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
