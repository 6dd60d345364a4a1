// The serial component's poll timer on the Qt event loop.
#pragma once

#include <QTimer>

#include "PollTimer.h"

namespace stb::ui {

class TQtPeriodicTimer : public serial::IPeriodicTimer {
 public:
  TQtPeriodicTimer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (onTick_) onTick_();
    });
  }
  void SetCallback(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
  // A zero interval would make a QTimer fire whenever the loop is idle.
  void Start(std::uint32_t periodMs) override { timer_.start(static_cast<int>(std::max(periodMs, 1u))); }
  void Stop() override { timer_.stop(); }

 private:
  QTimer timer_;
  std::function<void()> onTick_;
};

}  // namespace stb::ui
