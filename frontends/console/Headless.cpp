#include "Headless.h"

#include <filesystem>
#include <optional>
#include <set>

#include "Assembly.h"
#include "Console.h"
#include "ConsoleWindow.h"
#include "ConsoleWriter.h"
#include "EventLines.h"
#include "EventLoop.h"
#include "LineSettings.h"
#include "ModeTable.h"
#include "RunRecord.h"
#include "TypeCode.h"

namespace stb::app {

namespace {
// How long the end waits for the box's line on its way to the report.
constexpr auto kReportBound = std::chrono::seconds(2);
// How the port listing marks the system console.
constexpr char kSystemConsole[] = "system console";
// What an operator at a terminal is asked for; typed keys are not shown.
constexpr char kPrompt[] = "Mode code: ";
constexpr char kTypedCodeChoosesNoMode[] = "the code typed chooses no mode";

void Err(const std::string& text) { ConsoleOutput().Write(TConsoleStream::Err, text); }

// The line as the link will set it up, for --verbose.
std::string LineSettingsText(const serial::TSerialLink& link) {
  static const char* const kParity[] = {"no parity", "odd parity", "even parity", "mark parity",
                                        "space parity"};
  static const char* const kStopBits[] = {"1 stop bit", "1.5 stop bits", "2 stop bits"};
  std::string text = std::to_string(serial::BaudRateToBps(link.ComPortSpeed())) + " bit/s, " +
                     std::to_string(5 + static_cast<int>(link.ComPortDataBits())) + " data bits, " +
                     kParity[link.ComPortParity()] + ", " + kStopBits[link.ComPortStopBits()];
  text += link.EnableDTROnOpen() ? ", DTR on" : ", DTR off";
  switch (link.ComPortHwHandshaking()) {
    case serial::hhNONE: text += ", RTS off, no hardware flow control"; break;
    case serial::hhNONERTSON: text += ", RTS on, no hardware flow control"; break;
    case serial::hhRTSCTS: text += ", RTS/CTS flow control"; break;
  }
  text += link.ComPortSwHandshaking() == serial::shXONXOFF ? ", XON/XOFF" : ", no XON/XOFF";
  return text;
}

// Whether the matchers are part-way into a code: input that ends there
// ended before a code was typed, rather than typing a wrong one.
bool PartWayIntoACode(const upgrade::TModeMatchers& matchers) {
  for (const auto& m : matchers) {
    if (m.MatchPos > 1) return true;
  }
  return false;
}

}  // namespace

TConsolePort SystemConsoleCheck(const std::string& device, bool named,
                                const std::vector<serial::TPortEntry>& ports) {
  std::set<std::string> consoles;
  for (const auto& port : ports) {
    if (port.LeftOut == kSystemConsole) consoles.insert(port.Name);
  }
  bool console = consoles.count(device) > 0;
  // A stable name for it leads to it too.
  for (const auto& port : ports) {
    if (port.Name == device && consoles.count(port.Target)) console = true;
  }
  if (!console) return TConsolePort::NotConsole;
  return named ? TConsolePort::Warn : TConsolePort::Refuse;
}

std::string SystemConsoleText(const std::string& device, TConsolePort check) {
  if (check == TConsolePort::Refuse) {
    return "stb-downloader: will not open " + device +
           ", the default port: it is this machine's system console, not a box's line\n"
           "  Give the port the box's cable is on with --port DEVICE; stb-downloader --list-ports shows"
           " the serial ports there are (--port " +
           device + " opens it all the same).";
  }
  if (check == TConsolePort::Warn) {
    return "stb-downloader: warning: " + device +
           " is this machine's system console: the kernel's messages and a login prompt there may reach"
           " the box";
  }
  return "";
}

int RunHeadless(const TOptions& given, const THeadlessSeams& seams) {
  TOptions options = given;
  if (options.Port.empty()) options.Port = seams.DefaultPort;
  // The same matchers as typing it would feed: a code that completes none
  // would be waited on for ever.
  if (!options.Code.empty() && upgrade::ModeForCode(options.Code) == 0) {
    Err("stb-downloader: " + std::string(kCodeChoosesNoMode) + "\n");
    return kExitUsage;
  }
  TEventLoop loop;
  const TProgressStyle style = options.Quiet        ? TProgressStyle::None
                               : StderrIsTerminal() ? TProgressStyle::Live
                                                    : TProgressStyle::Plain;
  TConsoleWindow window(loop, options.OnAddressMismatch, style);
  window.SetIncludeFolder(options.IncludeDir);
  std::string refusal;
  // A handler's error ends the run as the window would leave it: open, with
  // nothing more to happen.
  auto run = TAssembly::Build(
      options, window, [&](const std::string& line) { window.LogLine(line); }, loop.MakeTimer(),
      [&](const THandlerError& e) { window.ShowError(e.Text, e.SystemError, e.Detail); }, refusal);
  if (!run) {
    Err("stb-downloader: " + refusal + "\n");
    return kExitUsage;
  }
  const std::string device = run->Link().PortDeviceName();
  if (const TConsolePort check = SystemConsoleCheck(device, !given.Port.empty(), seams.Ports());
      check != TConsolePort::NotConsole) {
    Err(SystemConsoleText(device, check) + "\n");
    if (check == TConsolePort::Refuse) return kExitNoPort;
  }
  TProgressListener progress(window);
  run->AddListener(&progress);
  run->AddListener(&window);
  std::optional<TEventLines> events;
  if (options.Verbose) {
    events.emplace([](const std::string& line) { Err(line + "\n"); }, options.IncludeDir);
    run->AddListener(&*events);
    std::error_code ec;
    const std::u8string folder = std::filesystem::current_path(ec).u8string();
    Err("[verbose] port " + device + ": " + LineSettingsText(run->Link()) + "\n");
    Err("[verbose] working folder " + std::string(folder.begin(), folder.end()) +
        " (the include files are looked for in " + options.IncludeDir + ")\n");
    if (!options.LogFile.empty()) Err("[verbose] log file " + options.LogFile + "\n");
    if (!options.Trace.empty()) Err("[verbose] trace " + options.Trace + "\n");
    if (!options.Report.empty()) Err("[verbose] report " + options.Report + "\n");
  }
  if (options.Quiet) window.LeaveOffStartUpLines();
  TRunRecord record([](const std::string& text) { Err(text + "\n"); });
  if (std::string why; !record.Start(*run, options.Report, why)) {
    Err("stb-downloader: " + why + "\n");
    return kExitUsage;
  }
  if (!run->StartUp()) {
    const auto& open = run->Link().LastOpenResult();
    Err(PortFailureReason(device, static_cast<int>(open.Failure), open.SystemError, "\n  ") + "\n");
    return kExitNoPort;
  }

  auto ticks = loop.MakeTimer();
  ticks->SetCallback([&] { run->Tick(); });
  window.SetTicks(ticks.get());

  auto modeChosen = [&] { return run->Upgrade().Record().DownloadMode != 0; };
  std::optional<TUnechoedInput> unechoed;
  bool inputEnded = false;
  // A code typed on standard input, line by line: a line ended that chose
  // no mode is a wrong code. At a terminal the operator is asked again; a
  // pipe or a file has no one to ask, and ends the run.
  const bool terminal = options.Code.empty() && StdinIsTerminal();
  bool promptStanding = false;
  bool wrongCode = false;
  std::string typedLine;
  auto prompt = [&] {
    window.Say(kPrompt);
    promptStanding = true;
  };
  auto type = [&](char key) {
    if (modeChosen()) {
      TypeCode(*run, std::string_view(&key, 1));  // as before: nothing changes the mode now
      return;
    }
    if (key == '\n' || key == '\r') {
      TypeCode(*run, std::string_view(&key, 1));
      const bool typed = !typedLine.empty();
      typedLine.clear();
      if (!terminal) {
        wrongCode = wrongCode || typed;
      } else if (typed) {
        window.Say("\nstb-downloader: " + std::string(kTypedCodeChoosesNoMode) + "; type it again\n");
        prompt();
      } else if (promptStanding) {
        window.Say("\n");
        prompt();
      }
      return;
    }
    typedLine += key;
    if (promptStanding) {
      // The prompt's line ends before the mode's log line begins.
      upgrade::TModeMatchers next = run->Upgrade().Record().ModeMatch;
      if (upgrade::FollowKey(next, key) != 0) {
        window.Say("\n");
        promptStanding = false;
      }
    }
    TypeCode(*run, std::string_view(&key, 1));
  };
  if (!options.Code.empty()) {
    TypeCode(*run, options.Code);
  } else {
    unechoed.emplace();
    if (terminal) prompt();
    loop.WatchInput(0, [&] {
      char buffer[64];
      const long n = ReadInput(buffer, sizeof buffer);
      if (n < 0) return;
      if (n == 0) {
        inputEnded = true;
        loop.WatchInput(-1, nullptr);
        return;
      }
      for (long i = 0; i < n && !run->HandlerFailed() && !wrongCode; ++i) type(buffer[i]);
    });
  }
  if (!run->HandlerFailed()) ticks->Start(1000);

  while (!window.Closed() && !run->HandlerFailed()) {
    if (!modeChosen() && (wrongCode || (inputEnded && !typedLine.empty() &&
                                        !PartWayIntoACode(run->Upgrade().Record().ModeMatch)))) {
      Err("stb-downloader: " + std::string(kTypedCodeChoosesNoMode) + " (letter case matters)\n");
      return kExitUsage;
    }
    if (inputEnded && !modeChosen()) {
      Err("stb-downloader: standard input ended before a mode code was typed"
          " (give it with --code CODE)\n");
      return kExitUsage;
    }
    loop.RunOnce(1000);
  }
  // The box's line on its way to the report is waited for, a little: a disk
  // that takes nothing never holds the end up for long.
  if (const long lost = record.Seal(kReportBound); lost > 0) {
    Err(record.LostText() + "\n");
    // Upgraded or not, a record asked for and missing is no success.
    if (!run->HandlerFailed()) return kExitFailed;
  }
  if (run->HandlerFailed()) return kExitFileError;
  return run->Upgrade().Succeeded() ? kExitUpgraded : kExitFailed;
}

}  // namespace stb::app
