#include "Win32PeriodicTimer.h"

#include <map>

namespace stb::winui {

namespace {

// The running timers by their system id. A timer message already queued when
// its timer was stopped finds nothing here and is dropped: no call after Stop.
std::map<UINT_PTR, TWin32PeriodicTimer*>& RunningTimers() {
  static std::map<UINT_PTR, TWin32PeriodicTimer*> running;
  return running;
}

}  // namespace

TWin32PeriodicTimer::~TWin32PeriodicTimer() { Stop(); }

void TWin32PeriodicTimer::Start(std::uint32_t periodMs) {
  Stop();
  // USER_TIMER_MINIMUM is the floor anyway; 0 would be raised to it too.
  id_ = SetTimer(nullptr, 0, periodMs < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : periodMs, OnTimer);
  if (id_ != 0) RunningTimers()[id_] = this;
}

void TWin32PeriodicTimer::Stop() {
  if (id_ == 0) return;
  KillTimer(nullptr, id_);
  RunningTimers().erase(id_);
  id_ = 0;
}

void CALLBACK TWin32PeriodicTimer::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = RunningTimers().find(id);
  if (found == RunningTimers().end()) return;
  // The call may stop or restart this timer, or destroy its owner.
  const auto onTick = found->second->onTick_;
  if (onTick) onTick();
}

}  // namespace stb::winui
