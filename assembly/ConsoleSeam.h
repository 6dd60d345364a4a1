// What the assembly has to say on standard error outside any window (a log
// file that stopped taking lines, an interrupt's warning and stop line), and
// what an interrupt must put back before the process ends. The assembly has
// no console of its own: standard error and the terminal belong to the front
// end, whose runtime keeps a writer there that no line may pass by and no
// line may wait on (runtime/ConsoleWriter.h). The runtime lends itself here;
// until it does, standard error is written as it is.
#pragma once

#include <string>

namespace stb::app {

class IConsoleSeam {
 public:
  // Text for standard error, whole lines, in order with what the console
  // shows and never holding up the caller. Not from a signal handler.
  virtual void Write(std::string text) = 0;

  // --- For an interrupt: safe in a signal handler (on Windows, on the
  // thread that takes the console's control events) ---

  // Whether a writer holds standard error: then nothing goes there but
  // through it.
  virtual bool HasWriter() const = 0;
  // Gives the writer a text that lives for ever, shown within a tenth of a
  // second; nothing without a writer.
  virtual void SayFromSignal(const char* text) = 0;
  // Waits up to a second for the writer to write what it holds, so that a
  // stop line comes after it; false when it did not (the console takes
  // nothing), true when it did or there is no writer.
  virtual bool CatchUp() = 0;
  // Takes a live line (the progress) off the terminal, so that what is
  // written next starts a line of its own.
  virtual void ClearLive() = 0;
  // Puts the terminal's input back as the front end found it.
  virtual void RestoreInput() = 0;

 protected:
  // Never deleted through the seam; without a virtual destructor a lent
  // console stays usable by an interrupt that comes during the exit.
  ~IConsoleSeam() = default;
};

// The lent console, or standard error as it is. Safe in a signal handler.
IConsoleSeam& ConsoleSeam();
// From now on, for the rest of the process.
void SetConsoleSeam(IConsoleSeam& console);

}  // namespace stb::app
