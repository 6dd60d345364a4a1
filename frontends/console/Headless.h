// stb-downloader --headless: the upgrade on the console, for production-line
// PCs, test rigs and remote shells. Returns the exit status.
#pragma once

#include "ExitStatus.h"
#include "RunOptions.h"

namespace stb::app {

int RunHeadless(const TOptions& options);

}  // namespace stb::app
