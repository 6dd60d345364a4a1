// What one interrupt does, wherever it comes from (a signal, a console's
// control event, the station's main loop). One press of Ctrl+C often
// arrives more than once: the terminal signals the whole foreground group,
// so a wrapper such as `timeout` passes on what the tool got already, and a
// service manager may repeat its termination request many times within a
// few milliseconds. Interrupts that come within kEchoMs of the one that gave
// the warning are taken as that one; a deliberate second interrupt after
// that still counts.
//
// Safe in a signal handler and from several threads at once: lock-free
// atomics only. The caller gives the time, so that a test can drive it.
#pragma once

#include <atomic>

namespace stb::app {

class TInterruptRule {
 public:
  enum class TVerdict {
    End,      // end now
    Warn,     // the first one where stopping does harm: say so, go on
    Repeated  // the warned one once more: nothing to do
  };
  static constexpr long long kEchoMs = 1000;

  // One interrupt at `nowMs` (any monotonic clock in milliseconds); `guarded`:
  // stopping now does harm, so the first one only warns.
  TVerdict Take(bool guarded, long long nowMs);
  // A new stretch begins (the box starts or stops taking the image): what
  // was warned before no longer counts.
  void Forget() { warnedAt_ = kNotWarned; }

 private:
  static constexpr long long kNotWarned = -1;
  std::atomic<long long> warnedAt_{kNotWarned};
  static_assert(std::atomic<long long>::is_always_lock_free);
};

// Milliseconds of a clock that only goes forward; safe in a signal handler.
long long MonotonicMs();

}  // namespace stb::app
