#include "Station.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <list>
#include <memory>
#include <set>

#include "ExitStatus.h"
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
  // Start-up sets the code matchers; the port it tries is one that cannot be.
  serial::TSerialLink link;
  link.SetDevicePath("/nonexistent/stb-downloader-code-check");
  TSilentWindow window;
  upgrade::TUpgrade upgrade(link, window);
  upgrade.StartUp();
  try {
    for (char c : code) upgrade.KeyPress(c);
  } catch (const upgrade::ERunError& e) {
    std::string text = upgrade::DefaultErrorText(e.Text());
    if (e.SystemError() != 0) text += " (" + std::string(std::strerror(e.SystemError())) + ")";
    std::fprintf(stderr, "[error] %s\n", text.c_str());
    return kExitFileError;
  }
  if (upgrade.Record().DownloadMode == 0) {
    std::fprintf(stderr, "stb-downloader: the code given with --code chooses no mode\n");
    return kExitUsage;
  }
  return -1;
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGQUIT: return "SIGQUIT";
    default: return "a signal";
  }
}

std::string Stamp() {
  const std::int64_t ms = UnixMsNow();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[40];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char out[48];
  std::snprintf(out, sizeof out, "%.*s.%03d ", static_cast<int>(n), stamp, static_cast<int>(ms % 1000));
  return out;
}

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
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

// The second interrupt: every upgrade under way ends now. Each gets its stop
// line (on stderr and in its port's log) and its report line, the ports are
// let go of, and the summary follows. Never returns.
[[noreturn]] void EndNow(TStationShared& shared, int sig) {
  std::vector<TPortView> stopped;
  {
    const std::lock_guard lock(shared.Display.Mutex());
    for (auto& v : shared.Display.ViewsLocked()) {
      if (!v.Running || v.Stopped) continue;
      v.Stopped = true;
      ++v.Failed;
      v.Last = "failed (stopped)";
      v.State = "stopped";
      stopped.push_back(v);
    }
  }
  for (const auto& v : stopped) {
    std::string line = std::string("stopped by ") + SignalName(sig) + " " + v.Step;
    if (v.ImageStarted) {
      line += ", " + std::to_string(v.Sent) + " of " + std::to_string(v.Total) + " bytes sent";
      if (v.Taking) line += "; the box may be left unusable";
    } else {
      line += "; nothing of the image was sent";
    }
    WriteAll(STDERR_FILENO, "stb-downloader: " + v.Port + ": " + line + "\n");
    if (v.LogFd >= 0) WriteAll(v.LogFd, Stamp() + "stb-downloader: " + line + "\n");
    TBoxReport report = v.Report;
    report.Port = v.Port;
    report.End = IsoTime(UnixMsNow());
    report.Result = TBoxResult::Failed;
    report.DecidedBy = "stb-downloader: " + line;
    shared.Report.Append(ReportLine(report));
    // Output still queued for the box would hold the close up.
    if (v.Handle != serial::kNoHandle) serial::ReleasePortInSignal(v.Handle);
  }
  // No port thread starts a line the exit would cut.
  shared.Report.Seal();
  bool allUpgraded = false;
  const std::string summary = Summary(shared.Display.Snapshot(), allUpgraded);
  shared.Display.Finish(summary);
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
    if (shared.StopLevel.load() == kRunning) {
      shared.StopLevel = kNoNewBoxes;
      int running = 0;
      for (const auto& v : shared.Display.Snapshot()) running += v.Running ? 1 : 0;
      shared.Display.Event(std::string("stb-downloader: ") + SignalName(sig) + ": no new boxes are taken; " +
                           std::to_string(running) +
                           " upgrade(s) under way go on to their end, since a box cut off while it takes"
                           " its image can be left unusable. Interrupt once more to end them at once.");
    } else {
      shared.StopLevel = kEndNow;
      EndNow(shared, sig);
    }
  }
  for (auto& p : ports) p->Join();
  bool allUpgraded = false;
  shared.Display.Finish(Summary(shared.Display.Snapshot(), allUpgraded));
  return allUpgraded ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
