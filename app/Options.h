// The command line of stb-downloader.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stb::app {

struct TOptions {
  std::string Port;     // empty: the platform's first serial port
  std::string LogFile;  // empty: no copy of the log on disk
  bool Help = false;
  bool Version = false;
};

// The options, or nullopt with `error` set when the command line is wrong.
std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

extern const char kUsage[];

}  // namespace stb::app
