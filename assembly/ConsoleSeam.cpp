#include "ConsoleSeam.h"

#include <atomic>
#include <cstdio>

namespace stb::app {

namespace {

// Standard error with no writer on it and no terminal set up by anyone: a
// process without the console's runtime.
class TPlainStderr final : public IConsoleSeam {
 public:
  void Write(std::string text) override { std::fputs(text.c_str(), stderr); }
  bool HasWriter() const override { return false; }
  void SayFromSignal(const char*) override {}
  bool CatchUp() override { return true; }
  void ClearLive() override {}
  void RestoreInput() override {}
};

// Both made before anything runs, never destroyed: an interrupt may come at
// any time.
constinit TPlainStderr gPlain;
constinit std::atomic<IConsoleSeam*> gLent{nullptr};
static_assert(std::atomic<IConsoleSeam*>::is_always_lock_free);

}  // namespace

IConsoleSeam& ConsoleSeam() {
  IConsoleSeam* lent = gLent.load();
  return lent != nullptr ? *lent : gPlain;
}

void SetConsoleSeam(IConsoleSeam& console) { gLent = &console; }

}  // namespace stb::app
