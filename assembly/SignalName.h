// The name an interrupt is told by in stop lines ("stopped by SIGINT").
// Safe in a signal handler: it only returns a constant.
#pragma once

namespace stb::app {

const char* SignalName(int sig);

}  // namespace stb::app
