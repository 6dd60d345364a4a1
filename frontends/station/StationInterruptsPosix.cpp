#include <signal.h>

#include <cerrno>

#include "SignalName.h"
#include "StationInterrupts.h"

namespace stb::app {

namespace {

// Taken only by a thread that does not block it; the main thread waits for
// it with the interrupts.
void OnResize(int) {}

}  // namespace

struct TStationInterrupts::TState {
  sigset_t interrupts;
};

TStationInterrupts::TStationInterrupts() : state_(std::make_unique<TState>()) {
  // Every thread started from here on (the ports', the report's) inherits
  // the mask. A closed pipe or a lost terminal never stops a box, nor does a
  // file grown past the size limit: its write fails and is counted.
  sigemptyset(&state_->interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) sigaddset(&state_->interrupts, sig);
  // A resized terminal wakes the main thread too, so that the live lines
  // are fitted to the new width at once, not at the next redraw. Ignored
  // by default, it would be dropped by a thread that does not block it:
  // a handler of its own keeps it.
  struct sigaction resize {};
  resize.sa_handler = OnResize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &resize, nullptr);
  sigaddset(&state_->interrupts, SIGWINCH);
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
  // A resize is no interrupt: the caller only redraws sooner.
  return sig > 0 && sig != SIGWINCH ? SignalName(sig) : nullptr;
}

std::chrono::milliseconds TStationInterrupts::Deadline() const { return std::chrono::milliseconds(0); }

}  // namespace stb::app
