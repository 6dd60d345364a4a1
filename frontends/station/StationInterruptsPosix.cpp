#include <signal.h>

#include <cerrno>

#include "SignalName.h"
#include "StationInterrupts.h"

namespace stb::app {

struct TStationInterrupts::TState {
  sigset_t interrupts;
};

TStationInterrupts::TStationInterrupts() : state_(std::make_unique<TState>()) {
  // Every thread started from here on (the ports', the report's) inherits
  // the mask. A closed pipe or a lost terminal never stops a box, nor does a
  // file grown past the size limit: its write fails and is counted.
  sigemptyset(&state_->interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) sigaddset(&state_->interrupts, sig);
  pthread_sigmask(SIG_BLOCK, &state_->interrupts, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

TStationInterrupts::~TStationInterrupts() = default;

const char* TStationInterrupts::Wait(std::chrono::milliseconds bound) {
  const auto ms = bound.count() < 0 ? 0 : bound.count();
  const timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000 * 1000};
  const int sig = sigtimedwait(&state_->interrupts, nullptr, &wait);
  return sig > 0 ? SignalName(sig) : nullptr;
}

std::chrono::milliseconds TStationInterrupts::Deadline() const { return std::chrono::milliseconds(0); }

}  // namespace stb::app
