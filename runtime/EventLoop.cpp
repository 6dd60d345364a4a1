#include "EventLoop.h"

#include <algorithm>

namespace stb::app {

using std::chrono::milliseconds;

struct TEventLoop::TTimerState {
  std::function<void()> onTick;
  milliseconds period{0};
  TClock::time_point due;
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
    state_->period = std::max(milliseconds(periodMs), milliseconds(1));
    state_->due = TClock::now() + state_->period;
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
  auto now = TClock::now();
  TClock::duration wait = milliseconds(maxWaitMs);
  for (const auto& t : timers_) {
    if (t->running && !t->inTick) wait = std::min(wait, std::max<TClock::duration>(t->due - now, {}));
  }
  const bool watching = inputFd_ >= 0 && !inInput_;
  // Rounded up to whole milliseconds, so the wait never ends just short of a tick.
  const auto waitMs = std::chrono::ceil<milliseconds>(wait).count();
  // A pump with nothing to watch and nothing to wait for has no need of the
  // kernel: in the station every block of every port pumps.
  if ((watching || waitMs > 0) && WaitForInput(watching, static_cast<int>(waitMs)) && watching && onInput_) {
    inInput_ = true;
    onInput_();
    inInput_ = false;
  }
  now = TClock::now();
  const auto due = [&](const std::shared_ptr<TTimerState>& t) {
    return t->alive && t->running && !t->inTick && t->due <= now;
  };
  if (std::none_of(timers_.begin(), timers_.end(), due)) return;
  // A copy: a tick may make or drop timers.
  const auto timers = timers_;
  for (const auto& t : timers) {
    if (!t->alive || !t->running || t->inTick || t->due > now) continue;
    // The next tick is due one period on; ticks missed while busy are not made up.
    t->due += t->period;
    if (t->due <= now) t->due = now + t->period;
    t->inTick = true;
    if (t->onTick) t->onTick();
    t->inTick = false;
  }
}

}  // namespace stb::app
