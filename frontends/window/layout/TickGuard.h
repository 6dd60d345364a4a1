// The window's side of a tick, the same for every toolkit. A tick may run a
// whole upgrade and holds the window for as long as it does, so:
// - ticks also come while a box of a tick is open (the box's own loop
//   dispatches the timer) and while the upgrade lets the window answer: the
//   upgrade's tick does nothing then, and only the outer one's end is the
//   end of the tick;
// - closing the window while an upgrade runs would only take it off the
//   screen: the upgrade goes on inside the tick all the same. A close the
//   operator asks for then waits for the end of the tick; the upgrade's own
//   close at its end goes ahead at once.
// No toolkit is included here.
#pragma once

namespace stb::layout {

class TTickGuard {
 public:
  // Runs `tick`, inside a running one or not. True when the outermost tick
  // has ended with a close the operator asked for during it: the window
  // closes now.
  template <class TTick>
  bool Run(TTick&& tick) {
    {
      TDepth inside(depth_);
      tick();
    }
    if (depth_ > 0 || !closeWaiting_) return false;
    closeWaiting_ = false;
    return true;
  }

  // Whether a close the operator asks for may go ahead now. When it may not,
  // it is remembered, and the end of the tick asks for it again (Run).
  bool OperatorMayClose() {
    if (depth_ == 0 || closedByUpgrade_) return true;
    closeWaiting_ = true;
    return false;
  }

  // The upgrade closes the window at its end, from inside the tick.
  void UpgradeCloses() { closedByUpgrade_ = true; }

  bool InTick() const { return depth_ > 0; }

 private:
  // Counts a tick in, and out again however it ends.
  struct TDepth {
    explicit TDepth(int& depth) : depth_(depth) { ++depth_; }
    ~TDepth() { --depth_; }
    TDepth(const TDepth&) = delete;
    TDepth& operator=(const TDepth&) = delete;
    int& depth_;
  };

  int depth_ = 0;
  bool closeWaiting_ = false;
  bool closedByUpgrade_ = false;
};

}  // namespace stb::layout
