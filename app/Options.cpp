#include "Options.h"

namespace stb::app {

const char kUsage[] =
    "Usage: stb-downloader [--port DEVICE] [--log-file FILE]\n"
    "\n"
    "Upgrades the software of a set-top box over a serial line.\n"
    "\n"
    "  --port DEVICE    serial device the box is connected to (default /dev/ttyS0)\n"
    "  --log-file FILE  append every log line to FILE as it is logged\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n";

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        into = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        into = args[++i];
      } else {
        error = "option " + arg + " needs a value";
        return false;
      }
      if (into.empty()) {
        error = "option " + arg.substr(0, eq) + " needs a value";
        return false;
      }
      return true;
    };
    auto is = [&](const char* name) {
      return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
    };
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--version") {
      options.Version = true;
    } else if (is("--port")) {
      if (!value(options.Port)) return std::nullopt;
    } else if (is("--log-file")) {
      if (!value(options.LogFile)) return std::nullopt;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace stb::app
