// The console's control events, taken by a handler that Windows runs on a
// thread of its own and handed to the station's main thread.
//
// A closed console (or the session logging off, or the system shutting
// down) cannot be refused: Windows ends the process as soon as the handler
// returns, and a few seconds after the event (5 s for a closed console)
// whatever it does. So the handler holds on for as long as is safe, while
// the main thread lets the upgrades under way end if they can within that
// time and ends the rest, writing where each stood; Deadline() tells it how
// long is left.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "StationInterrupts.h"

namespace stb::app {

namespace {

// How long the handler of a closed console keeps the process: short of the
// 5 s Windows grants, as for a single run (InterruptsWin32.cpp).
constexpr ULONGLONG kCloseGraceMs = 4300;

const char* EventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "console close";
    case CTRL_LOGOFF_EVENT: return "log-off";
    case CTRL_SHUTDOWN_EVENT: return "shutdown";
  }
  return "console event";
}

// What the handler hands over. Of the process, not of one station: the
// handler may still hold on as the station's object goes.
struct TEvents {
  std::mutex Mutex;
  std::condition_variable Came;
  std::deque<const char*> Names;  // under Mutex
  // When the process ends whatever is done (GetTickCount64); 0: no such end
  // is coming.
  std::atomic<ULONGLONG> EndsAt{0};
  std::atomic<bool> Taking{false};
};

TEvents gEvents;

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!gEvents.Taking) return FALSE;
  const bool ending = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
  ULONGLONG endsAt = 0;
  if (ending) {
    // The first such event sets the end; Windows counts from it.
    ULONGLONG none = 0;
    const ULONGLONG at = GetTickCount64() + kCloseGraceMs;
    endsAt = gEvents.EndsAt.compare_exchange_strong(none, at) ? at : none;
  }
  {
    const std::lock_guard lock(gEvents.Mutex);
    gEvents.Names.push_back(EventName(event));
  }
  gEvents.Came.notify_one();
  if (!ending) return TRUE;
  // Returning would end the process at once: the main thread ends it
  // itself before this time is up, once it has written what it can.
  const ULONGLONG now = GetTickCount64();
  if (endsAt > now) Sleep(static_cast<DWORD>(endsAt - now));
  return TRUE;
}

}  // namespace

struct TStationInterrupts::TState {};

TStationInterrupts::TStationInterrupts() : state_(std::make_unique<TState>()) {
  gEvents.Taking = true;
  // Started in a process group of its own, a console program has Ctrl+C
  // turned off; the station takes it in any case.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TStationInterrupts::~TStationInterrupts() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  gEvents.Taking = false;
}

const char* TStationInterrupts::Wait(std::chrono::milliseconds bound) {
  std::unique_lock lock(gEvents.Mutex);
  if (!gEvents.Came.wait_for(lock, bound, [] { return !gEvents.Names.empty(); })) return nullptr;
  const char* name = gEvents.Names.front();
  gEvents.Names.pop_front();
  return name;
}

std::chrono::milliseconds TStationInterrupts::Deadline() const {
  const ULONGLONG endsAt = gEvents.EndsAt.load();
  if (endsAt == 0) return std::chrono::milliseconds(0);
  const ULONGLONG now = GetTickCount64();
  // Past it, still in a hurry: the least there is.
  return std::chrono::milliseconds(endsAt > now ? endsAt - now : 1);
}

}  // namespace stb::app
