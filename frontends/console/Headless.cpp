#include "Headless.h"

#include <optional>

#include "Assembly.h"
#include "Console.h"
#include "ConsoleWindow.h"
#include "ConsoleWriter.h"
#include "EventLoop.h"
#include "RunRecord.h"
#include "TypeCode.h"

namespace stb::app {

namespace {
// How long the end waits for the box's line on its way to the report.
constexpr auto kReportBound = std::chrono::seconds(2);
}  // namespace

int RunHeadless(const TOptions& options) {
  TEventLoop loop;
  TConsoleWindow window(loop, options.OnAddressMismatch);
  std::string refusal;
  // A handler's error ends the run as the window would leave it: open, with
  // nothing more to happen.
  auto run = TAssembly::Build(
      options, window, [&](const std::string& line) { window.LogLine(line); }, loop.MakeTimer(),
      [&](const THandlerError& e) { window.ShowError(e.Text, e.SystemError); }, refusal);
  if (!run) {
    ConsoleOutput().Write(TConsoleStream::Err, "stb-downloader: " + refusal + "\n");
    return kExitUsage;
  }
  TProgressListener progress(window);
  run->AddListener(&progress);
  TRunRecord record([](const std::string& text) { ConsoleOutput().Write(TConsoleStream::Err, text + "\n"); });
  if (std::string why; !record.Start(*run, options.Report, why)) {
    ConsoleOutput().Write(TConsoleStream::Err, "stb-downloader: " + why + "\n");
    return kExitUsage;
  }
  if (!run->StartUp()) {
    const auto& open = run->Link().LastOpenResult();
    ConsoleOutput().Write(
        TConsoleStream::Err,
        PortFailureReason(run->Link().PortDeviceName(), static_cast<int>(open.Failure), open.SystemError) +
            "\n");
    return kExitNoPort;
  }

  auto ticks = loop.MakeTimer();
  ticks->SetCallback([&] { run->Tick(); });
  window.SetTicks(ticks.get());

  std::optional<TUnechoedInput> unechoed;
  bool inputEnded = false;
  if (!options.Code.empty()) {
    TypeCode(*run, options.Code);
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
      TypeCode(*run, std::string_view(buffer, static_cast<std::size_t>(n)));
    });
  }
  if (!run->HandlerFailed()) ticks->Start(1000);

  while (!window.Closed() && !run->HandlerFailed()) {
    if (inputEnded && run->Upgrade().Record().DownloadMode == 0) {
      ConsoleOutput().Write(TConsoleStream::Err,
                            "stb-downloader: standard input ended before a mode code was typed"
                            " (give it with --code CODE)\n");
      return kExitUsage;
    }
    loop.RunOnce(1000);
  }
  // The box's line on its way to the report is waited for, a little: a disk
  // that takes nothing never holds the end up for long.
  if (const long lost = record.Seal(kReportBound); lost > 0) {
    ConsoleOutput().Write(TConsoleStream::Err, record.LostText() + "\n");
    // Upgraded or not, a record asked for and missing is no success.
    if (!run->HandlerFailed()) return kExitFailed;
  }
  if (run->HandlerFailed()) return kExitFileError;
  return run->Upgrade().Succeeded() ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
