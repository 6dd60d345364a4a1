// A message loop without a window: periodic timers, a watched input and
// nothing else, on the thread that runs it. The headless run has one; in the
// station each port's thread runs one of its own. It sleeps in poll()
// between events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Console.h"
#include "PollTimer.h"

namespace stb::app {

class TEventLoop {
 public:
  TEventLoop();
  ~TEventLoop();

  // A timer whose ticks this loop delivers.
  std::unique_ptr<serial::IPeriodicTimer> MakeTimer();
  // Calls `onReadable` whenever standard input (`fd` 0) has input or has
  // ended; -1 stops watching.
  void WatchInput(int fd, std::function<void()> onReadable);

  // Delivers what is due, waiting at most `maxWaitMs` for something to be.
  void RunOnce(int maxWaitMs);
  // Delivers what is due now and returns: the window's message pump.
  void Pump() { RunOnce(0); }

 private:
  struct TTimerState;
  class TLoopTimer;

  std::vector<std::shared_ptr<TTimerState>> timers_;
  int inputFd_ = -1;
  std::function<void()> onInput_;
  bool inInput_ = false;
};

}  // namespace stb::app
