// The operator's interrupts of a station, taken by its main thread between
// redraws, never by a handler inside a port's upgrade. On POSIX systems
// SIGINT, SIGTERM and SIGQUIT are blocked in every thread and waited for;
// on Windows a console control handler takes Ctrl+C, Ctrl+Break and the
// console's close and hands them over.
#pragma once

#include <chrono>
#include <memory>

namespace stb::app {

class TStationInterrupts {
 public:
  // Takes the interrupts from here on. Made before any port's thread, which
  // must not take them itself.
  TStationInterrupts();
  ~TStationInterrupts();
  TStationInterrupts(const TStationInterrupts&) = delete;
  TStationInterrupts& operator=(const TStationInterrupts&) = delete;

  // Waits at most `bound` for an interrupt. Returns its name as stop lines
  // give it ("SIGINT", "Ctrl+C"), or nullptr when none came (on POSIX
  // systems also at once when the terminal was resized: SIGWINCH).
  const char* Wait(std::chrono::milliseconds bound);

  // After an interrupt that ends the process whatever is done (a closed
  // console on Windows): how long is left to end the upgrades and write
  // where each stood. Zero for every other interrupt: nothing is in a hurry.
  std::chrono::milliseconds Deadline() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace stb::app
