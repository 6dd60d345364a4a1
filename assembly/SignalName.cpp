#include "SignalName.h"

#include <signal.h>

namespace stb::app {

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGQUIT: return "SIGQUIT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace stb::app
