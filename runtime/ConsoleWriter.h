// Everything the tool writes for a person on the console goes through a
// writer of its own thread, so that a terminal that stops taking text
// (Ctrl-S, a stalled ssh session, a pipe whose reader stopped reading) can
// never hold up the thread that talks to a box: a box waiting for its next
// block gives up long before an operator lets the terminal go again.
//
// Lines (stdout or stderr) are written in the order they were given, which
// keeps the two streams as a person sees them. While the console does not
// take them they wait in a bounded queue; past the bound the oldest go, and
// once text flows again one line says how many went (the log file, not the
// console, is the record). The live part (a progress line, the station's
// port lines) is only ever the latest: a redraw not yet written is replaced
// by the next one, and dropped when a line comes after it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace stb::app {

enum class TConsoleStream { Out, Err };

class TConsoleWriter {
 public:
  static constexpr std::size_t kDefaultMaxLines = 1000;

  // Writes to copies of `out` and `err`, which stay open for as long as the
  // writer's thread needs them.
  TConsoleWriter(int out, int err, std::size_t maxLines = kDefaultMaxLines);
  // Waits a little for what is queued, then lets the thread go: a writer
  // stuck on a console that takes nothing is never waited for.
  ~TConsoleWriter();
  TConsoleWriter(const TConsoleWriter&) = delete;
  TConsoleWriter& operator=(const TConsoleWriter&) = delete;

  // Text kept until written (a line with its line end, a prompt without).
  // Whatever live part stands is erased before it.
  void Write(TConsoleStream stream, std::string text);
  // The live part, drawn anew: `draw` is written as it is; `erase` is what
  // takes it off the console again. With `inPlace`, a new draw covers the
  // standing one by itself (a progress line that begins with a carriage
  // return); without, the standing one is erased first.
  void Live(TConsoleStream stream, std::string draw, std::string erase, bool inPlace);
  // Takes the live part off the console.
  void ClearLive();
  // The console changed its size, and with it how many rows the live part
  // standing on it takes: from the next write on it is taken off by
  // `erase(draw)`, given the text it was drawn with. Called on the writer's
  // thread; the latest one given counts.
  void LiveReshaped(std::function<std::string(const std::string& draw)> erase);

  // Waits at most `bound` for everything given so far to be written; true
  // when it was.
  bool Drain(std::chrono::milliseconds bound);
  // Lines that were dropped since the writer began.
  std::size_t DroppedLines() const;

  // Text an interrupt handler has for the console: shown by the writer's
  // thread within a tenth of a second, the live part erased before it.
  // `text` must live for ever. Safe in a signal handler.
  void SayFromSignal(const char* text);
  // Nothing is queued and nothing is being written. Safe in a signal handler.
  bool Idle() const;

  struct TState;

 private:
  std::shared_ptr<TState> state_;
};

// The process's own writer, on standard output and standard error. Made at
// the first call; what it holds is written, within a few seconds at most,
// before the process exits. The assembly's words for stderr go through it
// (AssemblyConsole.h).
TConsoleWriter& ConsoleOutput();
// Whether the process's writer has been made (without making it).
TConsoleWriter* ConsoleOutputIfMade();

}  // namespace stb::app
