#include "Options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <functional>

namespace stb::app {

namespace {

constexpr char kAbout[] =
    "Upgrades the software of a set-top box over a serial line. Without --headless\n"
    "it opens the operator window; type the mode code into its log, then switch the\n"
    "box on.\n";

// The port a run without --port opens, as an operator would name it.
#ifdef _WIN32
constexpr char kPortHelp[] = "serial device of the box (default COM1)";
#else
constexpr char kPortHelp[] = "serial device of the box (default /dev/ttyS0)";
#endif

constexpr char kExitStatus[] =
    "Exit status: 0 upgraded; 1 refused or failed; 2 usage; 3 include or image file\n"
    "error; 4 the port could not be opened; 130/143/131 interrupted.";

// What CLI11 is told of the options. Each value is taken as the command
// line gives it, in its order, so the last one given counts and the first
// mistake is the one named. A wrong value throws CLI::ValidationError with
// the whole message, which CLI11 passes on as it is.
class TCommandLine {
 public:
  explicit TCommandLine(TOptions& options) : app_(kAbout, "stb-downloader") {
    app_.set_help_flag();  // --help is an option like the others; main() shows the text
    app_.allow_extras();   // words it does not know are left for ParseOptions to name
    app_.get_formatter()->column_width(27);
    app_.get_formatter()->label("OPTIONS", "options");
    app_.footer(kExitStatus);

    Value("--port", "DEVICE", kPortHelp, [&](const std::string& v) {
      options.Port = v;
      options.Ports.push_back(v);
    });
    Value("--log-file", "FILE", "append every log line to FILE, with the time",
          [&](const std::string& v) { options.LogFile = v; });
    Value("--response-timeout", "SEC", "how long the box may stay silent where it must\nanswer (default 30)",
          [&](const std::string& v) {
            char* end = nullptr;
            const double seconds = std::strtod(v.c_str(), &end);
            if (*end != '\0' || !(seconds > 0) || seconds > 86400) {
              throw CLI::ValidationError("--response-timeout takes a number of seconds, not " + v);
            }
            options.ResponseTimeoutMs = static_cast<std::uint32_t>(std::lround(seconds * 1000));
          });
    Flag("--headless", "run on the console, without a window", options.Headless);
    Value("--code", "CODE", "headless: the mode code (else typed on stdin, unseen)",
          [&](const std::string& v) { options.Code = v; });
    Value("--on-address-mismatch", "exit|continue",
          "headless: the answer to \"Exit now?\" when the box's\naddress differs from the include file's",
          [&](const std::string& v) {
            if (v == "exit") {
              options.OnAddressMismatch = TMismatchAnswer::Exit;
            } else if (v == "continue") {
              options.OnAddressMismatch = TMismatchAnswer::Continue;
            } else {
              throw CLI::ValidationError("--on-address-mismatch takes exit or continue, not " + v);
            }
          });
    Value("--trace", "FILE", "every byte on the line, with times, to FILE",
          [&](const std::string& v) { options.Trace = v; });
    Flag("--station",
         "upgrade box after box on every --port at once\n(--port all: every serial adapter, also later ones)",
         options.Station);
    Flag("--window",
         "station: show the station window instead of the console\n(the code may then be typed into it)",
         options.Window);
    Value("--log-dir", "DIR", "station: each port's log to a file of its own in DIR",
          [&](const std::string& v) { options.LogDir = v; });
    Value("--report", "FILE",
          "append one JSON line per box to FILE (its record: identity, versions, image, outcome)",
          [&](const std::string& v) { options.Report = v; });
    Flag("--list-ports", "list this machine's serial devices and exit", options.ListPorts);
    Flag("-h,--help", "show this text and exit", options.Help);
    Flag("--version", "show the version and exit", options.Version);
  }

  CLI::App& App() { return app_; }

 private:
  // An option with a value. A missing value reaches `take` as the empty
  // string and is refused here, so `--port`, `--port=` and `--port ""` say
  // the same.
  void Value(const std::string& name, const std::string& valueName, const std::string& help,
             std::function<void(const std::string&)> take) {
    app_.add_option(
            name,
            [name, take](const CLI::results_t& values) {
              for (const auto& v : values) {
                if (v.empty()) throw CLI::ValidationError("option " + name + " needs a value");
                take(v);
              }
              return true;
            },
            help)
        ->type_name(valueName)
        ->expected(0, 1)
        ->trigger_on_parse();
  }

  // A switch. CLI11 would read `--headless=no` as "off"; here any value
  // given to it is a mistake. (A bare switch arrives as "true".)
  void Flag(const std::string& names, const std::string& help, bool& into) {
    const std::string name = names.substr(names.rfind(',') + 1);
    app_.add_option(
            names,
            [name, &into](const CLI::results_t& values) {
              for (const auto& v : values) {
                if (v != "true") throw CLI::ValidationError("option " + name + " takes no value");
              }
              into = true;
              return true;
            },
            help)
        ->expected(0)
        ->trigger_on_parse();
  }

  CLI::App app_;
};

}  // namespace

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions options;
  TCommandLine commandLine(options);
  CLI::App& app = commandLine.App();
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));  // CLI11 takes them last first
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return std::nullopt;
  }
  if (const auto unknown = app.remaining(); !unknown.empty()) {
    error = "unknown option " + unknown.front();
    return std::nullopt;
  }
  if (options.Station) {
    if (options.Headless) {
      error = "--station and --headless exclude each other (a station is headless already)";
    } else if (options.Code.empty() && !options.Window) {
      error = "--station needs --code CODE (no port can be typed into), or --window to type it there";
    } else if (options.Ports.empty()) {
      error = "--station needs at least one --port DEVICE, or --port all";
    } else if (!options.LogFile.empty() || !options.Trace.empty()) {
      error = "--station takes --log-dir DIR instead of --log-file and --trace (one log per port)";
    }
    if (!error.empty()) return std::nullopt;
    return options;
  }
  if (!options.LogDir.empty() || options.Window) {
    error = options.Window ? "--window needs --station (the operator window opens without it)"
                           : "--log-dir needs --station (a single run takes --log-file FILE)";
    return std::nullopt;
  }
  if (!options.Code.empty() && !options.Headless) {
    error = "--code needs --headless (in the window, type the code into the log)";
    return std::nullopt;
  }
  return options;
}

std::string Usage() {
  TOptions unused;
  return TCommandLine(unused).App().help();
}

}  // namespace stb::app
