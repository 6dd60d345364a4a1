#include "Headless.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "Console.h"
#include "ConsoleWindow.h"
#include "EventLoop.h"
#include "Interrupts.h"
#include "LogFile.h"
#include "RunError.h"
#include "SerialLink.h"
#include "TracingPlatform.h"
#include "Upgrade.h"

namespace stb::app {

std::string PortFailureReason(const std::string& device, int failure, int systemError) {
  std::string reason = "stb-downloader: cannot open " + device + ": " + SystemErrorText(systemError);
  const std::string hint = PortFailureHint(static_cast<serial::TOpenFailure>(failure));
  if (!hint.empty()) reason += "\n  " + hint;
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
  InstallInterruptHandler();
  SetStopRecord(logFile.Descriptor());

  if (!upgrade.StartUp()) {
    const auto& open = link.LastOpenResult();
    std::fprintf(stderr, "%s\n",
                 PortFailureReason(link.PortDeviceName(), static_cast<int>(open.Failure), open.SystemError).c_str());
    return kExitNoPort;
  }
  SetPortToRelease(link.PortHandle());

  // A handler's error ends the run as the window would leave it: open, with
  // nothing more to happen.
  bool fileError = false;
  auto guarded = [&](auto handler) {
    try {
      handler();
    } catch (const upgrade::ERunError& e) {
      window.ShowError(e);
      fileError = true;
    }
  };

  auto ticks = loop.MakeTimer();
  ticks->SetCallback([&] {
    guarded([&] { upgrade.Timer1Timer(); });
    // A port that went away and was opened again has a new handle.
    SetPortToRelease(link.PortHandle());
  });
  window.SetTicks(ticks.get());

  std::optional<TUnechoedInput> unechoed;
  bool inputEnded = false;
  if (!options.Code.empty()) {
    for (char c : options.Code) guarded([&] { upgrade.RxMemoKeyPress(c); });
  } else {
    unechoed.emplace();
    loop.WatchInput(0, [&] {
      char buffer[64];
      const long n = ReadInput(buffer, sizeof buffer);
      if (n < 0) return;
      if (n == 0) {
        inputEnded = true;
        loop.WatchInput(-1, nullptr);
        return;
      }
      for (long i = 0; i < n && !fileError; ++i) guarded([&] { upgrade.RxMemoKeyPress(buffer[i]); });
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
  SetPortToRelease(serial::kNoHandle);
  SetStopRecord(-1);
  if (fileError) return kExitFileError;
  return upgrade.Succeeded() ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
