// The window operations on their way from the upgrade to a front end's
// window: each log line is copied to the log file, and the interrupt policy
// is told where the upgrade stands. No front end does either itself.
#pragma once

#include "InterruptPolicy.h"
#include "LogFile.h"
#include "WindowOperations.h"

namespace stb::app {

class TRecordedWindow : public upgrade::IWindowOperations {
 public:
  TRecordedWindow(upgrade::IWindowOperations& window, TLogFile& log, IInterruptPolicy& interrupts)
      : window_(window), log_(log), interrupts_(interrupts) {}

  void LogLine(const std::string& line) override;
  void SetDownloadProgress(int position) override { window_.SetDownloadProgress(position); }
  void SetFlashProgress(int position) override { window_.SetFlashProgress(position); }
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool running) override { window_.SetAnimation(running); }
  void MessageBox(const std::string& text) override { window_.MessageBox(text); }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override { return window_.Confirm(text); }
  void Information(const std::string& text) override { window_.Information(text); }
  void StopTicks() override { window_.StopTicks(); }
  void PumpMessages() override { window_.PumpMessages(); }
  void KeepAnswering() override { window_.KeepAnswering(); }
  void CloseWindow() override { window_.CloseWindow(); }
  void BoxTakingImage(bool taking) override;

 private:
  upgrade::IWindowOperations& window_;
  TLogFile& log_;
  IInterruptPolicy& interrupts_;
};

}  // namespace stb::app
