// The command line of stb-downloader.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RunOptions.h"

namespace stb::app {

// The options, or nullopt with `error` set when the command line is wrong.
std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help: every option, what it does, and the exit statuses.
std::string Usage();

}  // namespace stb::app
