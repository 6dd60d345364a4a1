// One upgrade run, put together the same way for every front end.
//
// A front end gives the options, its window's calls (what the upgrade asks
// of the operator), where its log lines go, and a timer of its toolkit for
// the serial component's receive polling; it gets back the handlers to call,
// and adds its own listeners (its bars, a record of the box). Everything
// else is built here, in this order:
//
//   1. the log file and the wire trace, or a refusal when one cannot be
//      opened (a record the operator asked for is never silently missing);
//   2. the serial link: COM1 at 115200 bit/s, the device path, the trace
//      decorator over the host's serial backend, the poll timer;
//   3. the upgrade, with its response time-out, and its first two
//      listeners: the log (rendered to the log file and the front end's
//      log) and where an interrupt finds the upgrade;
//   4. at start-up, the interrupt policy (Interrupts.h): SIGPIPE ignored,
//      SIGHUP ending the run only before the go message, an interrupt while
//      the box takes the image only warning.
//      A front end that runs several upgrades in one process gives its own
//      policy instead (InterruptPolicy.h).
//
// Each handler runs under one guard: an error it raises (an include file
// that cannot be read, an image that cannot be opened) ends the handler and
// goes to the front end's default error handler; the run goes on.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "InterruptPolicy.h"
#include "LogFile.h"
#include "RunOptions.h"
#include "PollTimer.h"
#include "InterruptListener.h"
#include "LogRenderer.h"
#include "SerialLink.h"
#include "Upgrade.h"

namespace stb::app {

// What the default error handler is given: the text it shows, and for an
// "I/O error N." the system's error number behind it (0 otherwise).
struct THandlerError {
  std::string Text;
  int SystemError = 0;
  // For an error about a file: which file, where it was looked for, why,
  // and what to do (FileAdvice.h), shown after Text; empty otherwise.
  std::string Detail;
};

class TAssembly {
 public:
  using TErrorHandler = std::function<void(const THandlerError&)>;

  // nullptr, with `refusal` saying which file and why, when the log file or
  // the trace cannot be opened; nothing else has been opened then. Without
  // `interrupts`, the process-wide policy.
  // `logView`: where the log's lines go besides the log file (none: only
  // there).
  static std::unique_ptr<TAssembly> Build(const TOptions& options, upgrade::IInteraction& window,
                                          TLogRenderer::TOutput logView,
                                          std::unique_ptr<serial::IPeriodicTimer> pollTimer,
                                          TErrorHandler onError, std::string& refusal,
                                          IInterruptPolicy* interrupts = nullptr);
  ~TAssembly();
  TAssembly(const TAssembly&) = delete;
  TAssembly& operator=(const TAssembly&) = delete;

  // The upgrade's start-up, under the interrupt policy from here on. False
  // when the port did not open.
  bool StartUp();

  // --- The handlers, each guarded ---
  void KeyPress(char& key);
  void ForeignKeyPress();
  void Tick();

  // Who else hears what the upgrade does (UpgradeEvents.h), after the log
  // and in the order added; before start-up.
  void AddListener(upgrade::IUpgradeEvents* listener) { upgrade_->AddListener(listener); }

  // True once a handler has raised an error.
  bool HandlerFailed() const { return handlerFailed_; }
  serial::TSerialLink& Link() { return *link_; }
  upgrade::TUpgrade& Upgrade() { return *upgrade_; }
  const upgrade::TUpgrade& Upgrade() const { return *upgrade_; }
  // The log file, for what it could not write.
  const TLogFile& Log() const { return log_; }

 private:
  TAssembly(upgrade::IInteraction& window, TLogRenderer::TOutput logView, TErrorHandler onError,
            IInterruptPolicy& interrupts);
  void Guarded(const std::function<void()>& handler);

  IInterruptPolicy& interrupts_;
  TLogFile log_;
  upgrade::IInteraction& window_;
  TLogRenderer::TOutput logView_;
  TLogRenderer logRenderer_;
  TInterruptListener interruptListener_;
  TErrorHandler onError_;
  std::unique_ptr<serial::TSerialLink> link_;
  std::unique_ptr<upgrade::TUpgrade> upgrade_;
  bool handlerFailed_ = false;
};

}  // namespace stb::app
