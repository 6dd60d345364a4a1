// A periodic call on the user-interface thread, from a thread timer
// (SetTimer without a window): the serial component's poll timer and the
// window's tick. Its calls come through the message loop, modal boxes'
// loops included, as any timer message does.
#pragma once

#include "Win32.h"

#include "PollTimer.h"

namespace stb::winui {

class TWin32PeriodicTimer : public serial::IPeriodicTimer {
 public:
  TWin32PeriodicTimer() = default;
  ~TWin32PeriodicTimer() override;
  TWin32PeriodicTimer(const TWin32PeriodicTimer&) = delete;
  TWin32PeriodicTimer& operator=(const TWin32PeriodicTimer&) = delete;

  void SetCallback(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
  void Start(std::uint32_t periodMs) override;
  void Stop() override;
  bool Running() const { return id_ != 0; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);

  std::function<void()> onTick_;
  UINT_PTR id_ = 0;
};

}  // namespace stb::winui
