// The command line of stb-box-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BoxSim.h"

namespace stb::sim {

struct TSimOptions {
  TBoxConfig Box;
  std::string PathFile;     // write the device path here instead of stdout
  std::string SummaryFile;  // write the JSON summary here instead of stdout
  bool Help = false;
  bool Version = false;
};

// The options, or nullopt with `error` set when the command line is wrong.
std::optional<TSimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string SimUsage();

}  // namespace stb::sim
