// The operator window of this build's toolkit (Qt on Linux, the system's own
// controls on Windows): opened over the one assembly, run until it closes.
#pragma once

#include "RunOptions.h"

namespace stb::app {

// Opens the operator window and runs the message loop until it closes.
int RunWindow(const TOptions& options, int argc, char** argv);

// Opens the station window (--station --window) and runs it until it
// closes; returns the station's exit status.
int RunStationWindow(const TOptions& options, int argc, char** argv);

}  // namespace stb::app
