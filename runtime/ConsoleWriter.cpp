#include "ConsoleWriter.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "AssemblyConsole.h"
#include "Console.h"
#include "Interrupts.h"

namespace stb::app {

namespace {

using namespace std::chrono_literals;

// How long the writer sleeps before it looks for an interrupt's text.
constexpr auto kSignalLook = 100ms;
// How long an exit waits for the console to take what is queued.
constexpr auto kExitDrain = 3s;

struct TLine {
  TConsoleStream Stream;
  std::string Text;
};

struct TLive {
  TConsoleStream Stream;
  std::string Draw;
  std::string Erase;
  bool InPlace = false;
};

}  // namespace

struct TConsoleWriter::TState {
  int Fds[2] = {-1, -1};
  std::size_t MaxLines = kDefaultMaxLines;

  std::mutex Mutex;
  std::condition_variable Wake;     // the writer's thread waits on it
  std::condition_variable Drained;  // Drain waits on it
  std::deque<TLine> Lines;
  std::optional<TLive> PendingLive;  // after every queued line
  // Before everything else: what stands is taken off anew.
  std::function<std::string(const std::string&)> PendingReshape;
  bool PendingClear = false;  // after every queued line, before the live part
  std::size_t Unsaid = 0;     // dropped lines not yet owned up to
  std::size_t DroppedTotal = 0;
  bool Stop = false;
  std::atomic<bool> IsIdle{true};
  std::atomic<const char*> Urgent{nullptr};

  // The writer's thread's own: how to take off what stands on the console.
  std::optional<std::pair<TConsoleStream, std::string>> Standing;
  std::string StandingDraw;

  bool NothingPending() const { return Lines.empty() && !PendingLive && !PendingClear && !PendingReshape; }
  void Run();
  void WriteOut(std::vector<TLine>& runs);
};

namespace {

// Text for one stream, joined to the run before it when that went to the
// same stream: one write for a redraw, which a terminal never shows half of.
void Add(std::vector<TLine>& runs, TConsoleStream stream, const std::string& text) {
  if (text.empty()) return;
  if (!runs.empty() && runs.back().Stream == stream) {
    runs.back().Text += text;
  } else {
    runs.push_back({stream, text});
  }
}

}  // namespace

void TConsoleWriter::TState::Run() {
  BlockSignalsOfThisThread();
  std::unique_lock lock(Mutex);
  for (;;) {
    const char* urgent = Urgent.exchange(nullptr);
    if (urgent == nullptr && NothingPending()) {
      IsIdle = true;
      Drained.notify_all();
      if (Stop) break;
      Wake.wait_for(lock, kSignalLook, [&] { return Stop || !NothingPending() || Urgent.load() != nullptr; });
      continue;
    }
    IsIdle = false;
    std::deque<TLine> lines = std::move(Lines);
    Lines.clear();
    std::optional<TLive> live = std::move(PendingLive);
    PendingLive.reset();
    const bool clear = std::exchange(PendingClear, false);
    const std::size_t unsaid = std::exchange(Unsaid, 0);
    auto reshape = std::exchange(PendingReshape, nullptr);
    lock.unlock();

    if (reshape && Standing) Standing->second = reshape(StandingDraw);

    std::vector<TLine> runs;
    auto erase = [&] {
      if (Standing) Add(runs, Standing->first, Standing->second);
      Standing.reset();
    };
    if (urgent != nullptr) {
      erase();
      Add(runs, TConsoleStream::Err, urgent);
    }
    if (unsaid > 0) {
      erase();
      Add(runs, TConsoleStream::Err,
          "stb-downloader: " + std::to_string(unsaid) +
              " line(s) for the console were dropped while it did not take them\n");
    }
    for (const auto& line : lines) {
      erase();
      Add(runs, line.Stream, line.Text);
    }
    if (clear) erase();
    if (live) {
      if (!live->InPlace) erase();
      Add(runs, live->Stream, live->Draw);
      Standing.emplace(live->Stream, live->Erase);
      StandingDraw = live->Draw;
    }
    WriteOut(runs);
    lock.lock();
  }
  lock.unlock();
  for (int& fd : Fds) {
    CloseDescriptor(fd);
    fd = -1;
  }
}

void TConsoleWriter::TState::WriteOut(std::vector<TLine>& runs) {
  for (const auto& run : runs) {
    const int fd = Fds[run.Stream == TConsoleStream::Out ? 0 : 1];
    // Text nobody reads any more (a closed pipe) is dropped; the upgrade
    // and the log file go on.
    WriteConsoleText(fd, run.Text.data(), run.Text.size());
  }
}

TConsoleWriter::TConsoleWriter(int out, int err, std::size_t maxLines) : state_(std::make_shared<TState>()) {
  state_->Fds[0] = CopyDescriptor(out);
  state_->Fds[1] = CopyDescriptor(err);
  state_->MaxLines = maxLines == 0 ? 1 : maxLines;
  // The thread keeps the state alive: a writer let go while its console
  // takes nothing leaves it behind, never waits for it.
  std::thread([state = state_] { state->Run(); }).detach();
}

TConsoleWriter::~TConsoleWriter() {
  {
    const std::lock_guard lock(state_->Mutex);
    state_->Stop = true;
  }
  state_->Wake.notify_one();
  Drain(1s);
}

void TConsoleWriter::Write(TConsoleStream stream, std::string text) {
  {
    const std::lock_guard lock(state_->Mutex);
    auto& s = *state_;
    // A redraw not yet written would only be erased again.
    s.PendingLive.reset();
    if (s.Lines.size() >= s.MaxLines) {
      s.Lines.pop_front();
      ++s.Unsaid;
      ++s.DroppedTotal;
    }
    s.Lines.push_back({stream, std::move(text)});
    s.IsIdle = false;
  }
  state_->Wake.notify_one();
}

void TConsoleWriter::Live(TConsoleStream stream, std::string draw, std::string erase, bool inPlace) {
  {
    const std::lock_guard lock(state_->Mutex);
    state_->PendingLive = TLive{stream, std::move(draw), std::move(erase), inPlace};
    state_->IsIdle = false;
  }
  state_->Wake.notify_one();
}

void TConsoleWriter::ClearLive() {
  {
    const std::lock_guard lock(state_->Mutex);
    state_->PendingLive.reset();
    state_->PendingClear = true;
    state_->IsIdle = false;
  }
  state_->Wake.notify_one();
}

void TConsoleWriter::LiveReshaped(std::function<std::string(const std::string& draw)> erase) {
  {
    const std::lock_guard lock(state_->Mutex);
    state_->PendingReshape = std::move(erase);
    state_->IsIdle = false;
  }
  state_->Wake.notify_one();
}

bool TConsoleWriter::Drain(std::chrono::milliseconds bound) {
  std::unique_lock lock(state_->Mutex);
  state_->Wake.notify_one();
  return state_->Drained.wait_for(lock, bound, [&] {
    return state_->IsIdle.load() && state_->NothingPending() && state_->Urgent.load() == nullptr;
  });
}

std::size_t TConsoleWriter::DroppedLines() const {
  const std::lock_guard lock(state_->Mutex);
  return state_->DroppedTotal;
}

void TConsoleWriter::SayFromSignal(const char* text) {
  state_->IsIdle = false;
  state_->Urgent = text;
}

bool TConsoleWriter::Idle() const { return state_->IsIdle.load() && state_->Urgent.load() == nullptr; }

namespace {

std::atomic<TConsoleWriter*> gConsoleOutput{nullptr};

void DrainAtExit() {
  if (TConsoleWriter* writer = gConsoleOutput.load()) writer->Drain(kExitDrain);
}

}  // namespace

TConsoleWriter& ConsoleOutput() {
  // Never destroyed: its thread may still be in a write when the process
  // ends, and an exit must not wait on a console that takes nothing.
  static TConsoleWriter* const writer = [] {
    auto* made = new TConsoleWriter(1, 2);
    gConsoleOutput = made;
    std::atexit(DrainAtExit);
    // From here on what the assembly says on stderr comes through this
    // writer too, in order with the rest.
    LendConsoleToAssembly();
    return made;
  }();
  return *writer;
}

TConsoleWriter* ConsoleOutputIfMade() { return gConsoleOutput.load(); }

}  // namespace stb::app
