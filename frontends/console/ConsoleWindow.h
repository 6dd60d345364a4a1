// The window on a console: log lines on stdout, boxes and dialogs as tagged
// lines on stderr, and a live progress line when stderr is a terminal; all
// of it through the console's writer, which never holds up the upgrade.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ConsoleWriter.h"
#include "EventLoop.h"
#include "RunOptions.h"
#include "Interaction.h"
#include "PollTimer.h"
#include "ProgressListener.h"
#include "TransferPace.h"

namespace stb::app {

class TConsoleWindow : public upgrade::IInteraction, public IProgressView {
 public:
  TConsoleWindow(TEventLoop& loop, TMismatchAnswer onMismatch);

  // The tick timer that StopTicks stops.
  void SetTicks(serial::IPeriodicTimer* ticks) { ticks_ = ticks; }
  bool Closed() const { return closed_; }
  // An error a handler raised, shown as the default error handler shows it,
  // on one line: line breaks and other control bytes that a text taken from
  // a file may hold are written as escapes. An I/O error, which names only
  // its number, gets the system's reason beside it.
  void ShowError(const std::string& text, int systemError = 0);

  // One line of the log.
  void LogLine(const std::string& line);

  // --- Progress (ProgressListener.h) ---
  void SetDownloadProgress(int position) override;
  void SetFlashProgress(int position) override;
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool) override {}

  // --- Interaction ---
  void MessageBox(const std::string& text) override { Tagged("message", text); }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override { Tagged("information", text); }
  void StopTicks() override;
  void PumpMessages() override { loop_.Pump(); }
  void CloseWindow() override;

 private:
  void Tagged(const char* tag, const std::string& text);
  void DrawProgress();

  TEventLoop& loop_;
  TMismatchAnswer onMismatch_;
  TConsoleWriter& console_;
  serial::IPeriodicTimer* ticks_ = nullptr;
  bool closed_ = false;
  const bool progressTerminal_;
  int download_ = -1;
  int flash_ = -1;
  long sent_ = 0;
  long total_ = 0;
  TTransferPace pace_;
};

}  // namespace stb::app
