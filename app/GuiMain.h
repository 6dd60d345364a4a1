#pragma once

#include "Options.h"

namespace stb::app {

// Opens the operator window and runs the message loop until it closes.
int RunWindow(const TOptions& options, int argc, char** argv);

}  // namespace stb::app
