#include "Options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "HostPorts.h"

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

// Usage forms first and one option a line: help2man makes the manual page
// from this text, and takes "Exit status:" as a section of its own.
constexpr char kUsage[] =
    "Usage: stb-downloader [OPTION]...\n"
    "  or:  stb-downloader --headless [--code CODE] [OPTION]...\n"
    "  or:  stb-downloader --station --code CODE --port DEVICE... [OPTION]...\n"
    "  or:  stb-downloader --list-ports\n";

constexpr char kExitStatus[] =
    "Exit status:\n"
    "  0    the upgrade succeeded\n"
    "  1    the box was refused or the upgrade failed\n"
    "  2    usage error, a code that chooses no mode, or standard input ended\n"
    "       before a code was typed\n"
    "  3    the include file or the image file does not read\n"
    "  4    the port could not be opened, or the default port is the system\n"
    "       console\n"
    "  129  the terminal hung up before the go message\n"
    "  130, 143, 131  interrupted (SIGINT, SIGTERM, SIGQUIT)\n";

// CLI11's layout with the usage forms above the description, and a short
// and a long name written "-p, --port" as manual pages write them.
class THelpLayout : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
    return std::string(kUsage) + "\n" + app->get_description() + make_groups(app, mode) + "\n" + kExitStatus;
  }
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(option, positional);
    if (const auto comma = name.find(','); comma != std::string::npos) name.insert(comma + 1, " ");
    return name;
  }
};

// What CLI11 is told of the options. Each value is taken as the command
// line gives it, in its order, so the last one given counts and the first
// mistake is the one named. A wrong value throws CLI::ValidationError with
// the whole message, which CLI11 passes on as it is.
class TCommandLine {
 public:
  explicit TCommandLine(TOptions& options) : app_(kAbout, "stb-downloader") {
    app_.set_help_flag();  // --help is an option like the others; main() shows the text
    app_.allow_extras();   // words it does not know are left for ParseOptions to name
    app_.formatter(std::make_shared<THelpLayout>());
    app_.get_formatter()->column_width(27);

    Value("-p,--port", "DEVICE", kPortHelp, [&](const std::string& v) {
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
    Value("-c,--code", "CODE", "headless: the mode code (else typed on stdin, unseen)",
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
          "append one JSON line per box to FILE (its record:\nidentity, versions, image, outcome)",
          [&](const std::string& v) { options.Report = v; });
    Value("--inc-dir", "DIR", "the folder of the mode's include files (default ./inc)",
          [&](const std::string& v) { options.IncludeDir = v; });
    Flag("-q,--quiet", "headless: no directions and no progress; the log from the\nmode line on",
         options.Quiet);
    Flag("-v,--verbose",
         "headless: also, on stderr, the port, its line settings and\nthe files used, and each event of the "
         "upgrade as it\ncomes (the blocks and flash steps: see the progress)",
         options.Verbose);
    Flag("--list-ports", "list this machine's serial devices and exit", options.ListPorts);
    Flag("-h,--help", "show this text and exit", options.Help);
    Flag("-V,--version", "show the version and exit", options.Version);
  }

  CLI::App& App() { return app_; }

 private:
  // An option with a value. A missing value reaches `take` as the empty
  // string and is refused here, so `--port`, `--port=` and `--port ""` say
  // the same.
  void Value(const std::string& names, const std::string& valueName, const std::string& help,
             std::function<void(const std::string&)> take) {
    const std::string name = names.substr(names.rfind(',') + 1);
    app_.add_option(
            names,
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

// Every --port by its one name (HostPortName), before anything is opened, so
// that a window, the console, the logs and the report all say "COM1" however
// it was written. A station given one port twice, under any spelling, would
// open the same line twice: the box would get two streams of announce words
// and both would write one log. Returns the mistake, or empty.
std::string NamePorts(TOptions& options) {
  const std::vector<std::string> given = options.Ports;
  for (std::size_t i = 0; i < given.size(); ++i) {
    if (given[i] == "all") continue;
    std::string mistake;
    options.Ports[i] = serial::HostPortName(given[i], mistake);
    if (!mistake.empty()) return mistake;
    if (!options.Station) continue;
    for (std::size_t j = 0; j < i; ++j) {
      if (options.Ports[j] == options.Ports[i])
        return "port " + options.Ports[i] + " is named twice: " + given[j] + " and " + given[i];
    }
  }
  if (!options.Ports.empty()) options.Port = options.Ports.back();
  return {};
}

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
  if ((options.Quiet || options.Verbose) && !options.Headless) {
    error = std::string(options.Quiet ? "--quiet" : "--verbose") +
            " needs --headless (the station and the windows show what they show)";
    return std::nullopt;
  }
  if (options.Quiet && options.Verbose) {
    error = "--quiet and --verbose exclude each other";
    return std::nullopt;
  }
  if (error = NamePorts(options); !error.empty()) return std::nullopt;
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
