#include "AssemblyConsole.h"

#ifdef _WIN32
#include <chrono>
#else
#include <time.h>
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <utility>

#include "Console.h"
#include "ConsoleSeam.h"
#include "ConsoleWriter.h"

namespace stb::app {

namespace {

class TLentConsole final : public IConsoleSeam {
 public:
  void Write(std::string text) override { ConsoleOutput().Write(TConsoleStream::Err, std::move(text)); }
  bool HasWriter() const override { return ConsoleOutputIfMade() != nullptr; }
  void SayFromSignal(const char* text) override {
    if (TConsoleWriter* console = ConsoleOutputIfMade()) console->SayFromSignal(text);
  }
  bool CatchUp() override;
  void ClearLive() override;
  void RestoreInput() override { RestoreTerminalInput(); }

  std::atomic<bool> StderrTerminal{false};  // a progress line may stand there
};

bool TLentConsole::CatchUp() {
  TConsoleWriter* console = ConsoleOutputIfMade();
  if (console == nullptr) return true;
#ifdef _WIN32
  // The control event comes on a thread of its own, which may wait on the
  // writer as any other thread does.
  return console->Drain(std::chrono::seconds(1));
#else
  // In a signal handler nothing may take the writer's lock: look at it
  // every 10 ms.
  for (int i = 0; i < 100 && !console->Idle(); ++i) {
    const timespec tenMs{0, 10 * 1000 * 1000};
    nanosleep(&tenMs, nullptr);
  }
  return console->Idle();
#endif
}

void TLentConsole::ClearLive() {
#ifdef _WIN32
  // Only the POSIX handler asks: a Windows console takes the cursor moves
  // only once asked to.
#else
  // The progress line is drawn again with the next block.
  static const char kClear[] = "\r\033[K";
  if (!StderrTerminal) return;
  const ssize_t ignored = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
  (void)ignored;
#endif
}

// Made before anything runs and never destroyed: an interrupt may come at
// any time, the exit included.
constinit TLentConsole gLent;

}  // namespace

void LendConsoleToAssembly() {
  gLent.StderrTerminal = StderrIsTerminal();
  SetConsoleSeam(gLent);
}

}  // namespace stb::app
