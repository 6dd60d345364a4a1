// What a run is given: the port, the code, the files it records to, the
// answers no one is asked for, and the station's ports. The command line
// fills it in (frontends/cli); every front end reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ModeTable.h"
#include "Protocol.h"

namespace stb::app {

enum class TMismatchAnswer { Ask, Exit, Continue };

struct TOptions {
  bool Headless = false;
  std::string Port;  // empty: the platform's first serial port
  std::string Code;  // headless: the mode code, instead of typing it
  // Where the modes' include files are read from.
  std::string IncludeDir{upgrade::kDefaultIncludeFolder};
  TMismatchAnswer OnAddressMismatch = TMismatchAnswer::Ask;
  std::string LogFile;  // empty: no copy of the log on disk
  std::string Trace;    // empty: no wire trace
  std::uint32_t ResponseTimeoutMs = upgrade::protocol::kDefaultResponseTimeoutMs;
  bool ListPorts = false;
  // --station: every port given (or "all"), box after box, with a report.
  bool Station = false;
  // --window: the station in a window of its own instead of the console.
  bool Window = false;
  std::vector<std::string> Ports;  // every --port, in order (Port is the last)
  std::string LogDir;              // station: one log file per port here
  std::string Report;              // station: one JSON line per box appended here
  // headless: no directions, no progress (Quiet); the line settings, the
  // files and every event of the upgrade on stderr besides (Verbose).
  bool Quiet = false;
  bool Verbose = false;
  bool Help = false;
  bool Version = false;
};

// What a code given with --code that completes no mode's code is told (the
// station's check and the console's say the same).
inline constexpr char kCodeChoosesNoMode[] = "the code given with --code chooses no mode";

}  // namespace stb::app
