#include "EventLoop.h"

#include <algorithm>

namespace stb::app {

struct TEventLoop::TTimerState {
  std::function<void()> onTick;
  std::int64_t periodMs = 0;
  std::int64_t dueMs = 0;
  bool running = false;
  bool inTick = false;  // a tick is never delivered inside itself
  bool alive = true;
};

class TEventLoop::TLoopTimer : public serial::IPeriodicTimer {
 public:
  explicit TLoopTimer(std::shared_ptr<TTimerState> state) : state_(std::move(state)) {}
  ~TLoopTimer() override { state_->alive = false; }
  void SetCallback(std::function<void()> onTick) override { state_->onTick = std::move(onTick); }
  void Start(std::uint32_t periodMs) override {
    state_->periodMs = std::max<std::int64_t>(periodMs, 1);
    state_->dueMs = NowMs() + state_->periodMs;
    state_->running = true;
  }
  void Stop() override { state_->running = false; }

 private:
  std::shared_ptr<TTimerState> state_;
};

TEventLoop::TEventLoop() = default;
TEventLoop::~TEventLoop() = default;

std::unique_ptr<serial::IPeriodicTimer> TEventLoop::MakeTimer() {
  auto state = std::make_shared<TTimerState>();
  timers_.push_back(state);
  return std::make_unique<TLoopTimer>(state);
}

void TEventLoop::WatchInput(int fd, std::function<void()> onReadable) {
  inputFd_ = fd;
  onInput_ = std::move(onReadable);
}

void TEventLoop::RunOnce(int maxWaitMs) {
  std::erase_if(timers_, [](const auto& t) { return !t->alive; });
  std::int64_t now = NowMs();
  std::int64_t wait = maxWaitMs;
  for (const auto& t : timers_) {
    if (t->running && !t->inTick) wait = std::min(wait, std::max<std::int64_t>(t->dueMs - now, 0));
  }
  const bool watching = inputFd_ >= 0 && !inInput_;
  if (WaitForInput(watching, static_cast<int>(wait)) && watching && onInput_) {
    inInput_ = true;
    onInput_();
    inInput_ = false;
  }
  now = NowMs();
  // A copy: a tick may make or drop timers.
  const auto timers = timers_;
  for (const auto& t : timers) {
    if (!t->alive || !t->running || t->inTick || t->dueMs > now) continue;
    // The next tick is due one period on; ticks missed while busy are not made up.
    t->dueMs += t->periodMs;
    if (t->dueMs <= now) t->dueMs = now + t->periodMs;
    t->inTick = true;
    if (t->onTick) t->onTick();
    t->inTick = false;
  }
}

}  // namespace stb::app
