#include "Headless.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "ConsoleWindow.h"
#include "EventLoop.h"
#include "LogFile.h"
#include "RunError.h"
#include "SerialLink.h"
#include "TracingPlatform.h"
#include "Upgrade.h"

namespace stb::app {

namespace {

// What a signal handler may touch: the terminal settings to restore and the
// port to let go of. Set once before the handlers are installed.
struct TSignalState {
  volatile sig_atomic_t portFd = -1;
  bool terminalSaved = false;
  termios terminal{};
};
TSignalState gSignalState;

void OnTerminatingSignal(int sig) {
  if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
  if (gSignalState.portFd >= 0) {
    ioctl(gSignalState.portFd, TIOCNXCL);
    close(gSignalState.portFd);
  }
  _exit(128 + sig);
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnTerminatingSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

// Typed characters reach the code matchers one at a time, unseen.
class TUnechoedInput {
 public:
  TUnechoedInput() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSignalState.terminal) != 0) return;
    termios raw = gSignalState.terminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    gSignalState.terminalSaved = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~TUnechoedInput() {
    if (gSignalState.terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &gSignalState.terminal);
    gSignalState.terminalSaved = false;
  }
};

}  // namespace

std::string PortFailureReason(const std::string& device, int failure, int systemError) {
  std::string reason = "stb-downloader: cannot open " + device + ": " + std::strerror(systemError);
  switch (static_cast<serial::TOpenFailure>(failure)) {
    case serial::TOpenFailure::AccessDenied:
      reason += "\n  Join the dialout group to use serial ports: sudo adduser $USER dialout, then log in again.";
      break;
    case serial::TOpenFailure::Busy:
      reason += "\n  Another program holds the port; close it and try again.";
      break;
    case serial::TOpenFailure::NotFound:
      reason += "\n  No such device here; stb-downloader --list-ports shows the serial ports there are.";
      break;
    case serial::TOpenFailure::NotSerial:
      reason += "\n  That is not a serial device.";
      break;
    default: break;
  }
  return reason;
}

int RunHeadless(const TOptions& options) {
  TEventLoop loop;
  upgrade::TLogFile logFile;
  if (!options.LogFile.empty() && !logFile.Open(options.LogFile)) {
    std::fprintf(stderr, "stb-downloader: cannot write the log file %s: %s\n", options.LogFile.c_str(),
                 std::strerror(errno));
    return kExitUsage;
  }
  serial::TSerialLinkSeams seams;
  if (!options.Trace.empty()) {
    std::FILE* trace = std::fopen(options.Trace.c_str(), "w");
    if (!trace) {
      std::fprintf(stderr, "stb-downloader: cannot write the trace %s: %s\n", options.Trace.c_str(),
                   std::strerror(errno));
      return kExitUsage;
    }
    seams.Platform = std::make_shared<serial::TTracingPlatform>(serial::HostSerialPlatform(), trace);
  }
  seams.PollTimer = loop.MakeTimer();
  serial::TSerialLink link(std::move(seams));
  link.SetComPort(serial::pnCOM1);
  link.SetComPortSpeed(serial::br115200);
  link.SetDevicePath(options.Port);

  TConsoleWindow window(loop, options.OnAddressMismatch, logFile);
  upgrade::TUpgrade upgrade(link, window);
  upgrade.SetResponseTimeoutMs(options.ResponseTimeoutMs);
  InstallSignalHandlers();

  if (!upgrade.StartUp()) {
    const auto& open = link.LastOpenResult();
    std::fprintf(stderr, "%s\n",
                 PortFailureReason(link.PortDeviceName(), static_cast<int>(open.Failure), open.SystemError).c_str());
    return kExitNoPort;
  }
  gSignalState.portFd = static_cast<int>(link.PortHandle());

  // A handler's error ends the run as the window would leave it: open, with
  // nothing more to happen.
  bool fileError = false;
  auto guarded = [&](auto handler) {
    try {
      handler();
    } catch (const upgrade::ERunError& e) {
      window.ShowError(upgrade::DefaultErrorText(e.Text()));
      fileError = true;
    }
  };

  auto ticks = loop.MakeTimer();
  ticks->SetCallback([&] { guarded([&] { upgrade.Timer1Timer(); }); });
  window.SetTicks(ticks.get());

  std::optional<TUnechoedInput> unechoed;
  bool inputEnded = false;
  if (!options.Code.empty()) {
    for (char c : options.Code) guarded([&] { upgrade.RxMemoKeyPress(c); });
  } else {
    unechoed.emplace();
    loop.WatchInput(STDIN_FILENO, [&] {
      char buffer[64];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        inputEnded = true;
        loop.WatchInput(-1, nullptr);
        return;
      }
      for (ssize_t i = 0; i < n && !fileError; ++i) guarded([&] { upgrade.RxMemoKeyPress(buffer[i]); });
    });
  }
  if (!fileError) ticks->Start(1000);

  while (!window.Closed() && !fileError) {
    if (inputEnded && upgrade.Record().DownloadMode == 0) {
      std::fprintf(stderr, "stb-downloader: standard input ended before a mode code was typed"
                           " (give it with --code CODE)\n");
      return kExitUsage;
    }
    loop.RunOnce(1000);
  }
  gSignalState.portFd = -1;
  if (fileError) return kExitFileError;
  return upgrade.Succeeded() ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
