// The periodic call on the user-interface thread that drives receive polling.
// The window hands the component a timer of its toolkit; tests hand it a
// TManualTicker and tick it themselves.
#pragma once

#include <cstdint>
#include <functional>

namespace stb::serial {

class IPeriodicTimer {
 public:
  virtual ~IPeriodicTimer() = default;
  // Bound once by the owner of the timer, before the first Start.
  virtual void SetCallback(std::function<void()> onTick) = 0;
  // SetTimer: (re)starts the ticks with the given period.
  virtual void Start(std::uint32_t periodMs) = 0;
  // KillTimer: no tick after this returns.
  virtual void Stop() = 0;
};

// A timer whose ticks are delivered by hand.
class TManualTicker : public IPeriodicTimer {
 public:
  void SetCallback(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
  void Start(std::uint32_t periodMs) override {
    running_ = true;
    periodMs_ = periodMs;
    ++starts_;
  }
  void Stop() override { running_ = false; }

  // Delivers one tick when the timer runs; false otherwise.
  bool Tick() {
    if (!running_ || !onTick_) return false;
    onTick_();
    return true;
  }
  bool Running() const { return running_; }
  std::uint32_t PeriodMs() const { return periodMs_; }
  int Starts() const { return starts_; }

 private:
  std::function<void()> onTick_;
  bool running_ = false;
  std::uint32_t periodMs_ = 0;
  int starts_ = 0;
};

}  // namespace stb::serial
