#include "Options.h"

#include <cmath>
#include <cstdlib>

namespace stb::app {

const char kUsage[] =
    "Usage: stb-downloader [options]\n"
    "\n"
    "Upgrades the software of a set-top box over a serial line. Without --headless\n"
    "it opens the operator window; type the mode code into its log, then switch the\n"
    "box on.\n"
    "\n"
    "  --port DEVICE            serial device of the box (default /dev/ttyS0)\n"
    "  --log-file FILE          append every log line to FILE, with the time\n"
    "  --response-timeout SEC   how long the box may stay silent where it must\n"
    "                           answer (default 30)\n"
    "  --headless               run on the console, without a window\n"
    "  --code CODE              headless: the mode code (else typed on stdin, unseen)\n"
    "  --on-address-mismatch exit|continue\n"
    "                           headless: the answer to \"Exit now?\" when the box's\n"
    "                           address differs from the include file's\n"
    "  --trace FILE             every byte on the line, with times, to FILE\n"
    "  --list-ports             list this machine's serial devices and exit\n"
    "  --help                   show this text and exit\n"
    "  --version                show the version and exit\n"
    "\n"
    "Exit status: 0 upgraded; 1 refused or failed; 2 usage; 3 include or image file\n"
    "error; 4 the port could not be opened; 130/143 interrupted.\n";

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool inlineValue = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    auto take = [&](std::string& into) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          error = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (value.empty()) {
        error = "option " + name + " needs a value";
        return false;
      }
      into = value;
      return true;
    };
    auto flag = [&](bool& into) {
      if (inlineValue) {
        error = "option " + name + " takes no value";
        return false;
      }
      into = true;
      return true;
    };
    bool ok = true;
    if (name == "--help" || name == "-h") {
      ok = flag(options.Help);
    } else if (name == "--version") {
      ok = flag(options.Version);
    } else if (name == "--headless") {
      ok = flag(options.Headless);
    } else if (name == "--list-ports") {
      ok = flag(options.ListPorts);
    } else if (name == "--port") {
      ok = take(options.Port);
    } else if (name == "--log-file") {
      ok = take(options.LogFile);
    } else if (name == "--trace") {
      ok = take(options.Trace);
    } else if (name == "--code") {
      ok = take(options.Code);
    } else if (name == "--on-address-mismatch") {
      std::string answer;
      ok = take(answer);
      if (ok && answer == "exit") {
        options.OnAddressMismatch = TMismatchAnswer::Exit;
      } else if (ok && answer == "continue") {
        options.OnAddressMismatch = TMismatchAnswer::Continue;
      } else if (ok) {
        error = "--on-address-mismatch takes exit or continue, not " + answer;
        ok = false;
      }
    } else if (name == "--response-timeout") {
      std::string text;
      ok = take(text);
      char* end = nullptr;
      const double seconds = ok ? std::strtod(text.c_str(), &end) : 0;
      if (ok && (*end != '\0' || !(seconds > 0) || seconds > 86400)) {
        error = "--response-timeout takes a number of seconds, not " + text;
        ok = false;
      }
      options.ResponseTimeoutMs = static_cast<std::uint32_t>(std::lround(seconds * 1000));
    } else {
      error = "unknown option " + args[i];
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (!options.Code.empty() && !options.Headless) {
    error = "--code needs --headless (in the window, type the code into the log)";
    return std::nullopt;
  }
  return options;
}

}  // namespace stb::app
