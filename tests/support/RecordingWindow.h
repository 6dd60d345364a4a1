// A window that records every call the upgrade makes of it, the log rendered
// from the upgrade's events, the bars and the counter the same events drive,
// and where an interrupt would find the upgrade; it answers the
// confirmation dialog as the test says. Listen() adds its listeners to an
// upgrade, exactly as a front end's are added.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "InterruptListener.h"
#include "Interaction.h"
#include "LogRenderer.h"
#include "LogText.h"
#include "ProgressListener.h"
#include "Upgrade.h"

namespace stb::testing {

// What the window recorded, and how the test has it answer.
struct TWindowRecord {
  std::vector<std::string> Log;
  std::vector<std::string> Boxes;  // "message: ...", "confirm: ...", "information: ..."
  std::vector<int> DownloadProgress;
  std::vector<int> FlashProgress;
  std::vector<std::string> Counters;
  bool Animating = false;
  bool TicksStopped = false;
  bool Closed = false;
  bool TakingImage = false;  // as the interrupt listener last said
  std::string Where;         // the numbered line an interrupt would name
  int Pumps = 0;
  upgrade::TConfirmAnswer Answer = upgrade::TConfirmAnswer::Yes;
  std::function<void()> OnLog;  // called after each line is recorded
  // Called inside each box before it is recorded, as the box's own loop
  // would deliver whatever falls due while it is open.
  std::function<void(const std::string& text)> OnBox;
  int Answerings = 0;
  std::function<void()> OnKeepAnswering;  // called at each turn the window gets in a wait
};

class TRecordingWindow : public TWindowRecord,
                         public upgrade::IInteraction,
                         public app::IProgressView,
                         public app::IInterruptPolicy {
 public:
  TRecordingWindow() = default;
  // A copy has what was recorded, and listeners of its own.
  TRecordingWindow(const TRecordingWindow& other) : TWindowRecord(other) {}
  TRecordingWindow& operator=(const TRecordingWindow&) = delete;

  // The log, the bars and the interrupt's view of `upgrade`, before any
  // other listener.
  void Listen(upgrade::TUpgrade& upgrade) { upgrade.AddListener(&Events()); }
  // The same listeners, for a reader that takes them whole.
  upgrade::IUpgradeEvents& Events() {
    if (!listening_) {
      listening_ = true;
      listeners_.Add(&renderer_);
      listeners_.Add(&progress_);
      listeners_.Add(&interrupts_);
    }
    return listeners_;
  }

  void LogLine(const std::string& line) {
    Log.push_back(line);
    if (OnLog) OnLog();
  }

  // --- Progress ---
  void SetDownloadProgress(int p) override { DownloadProgress.push_back(p); }
  void SetFlashProgress(int p) override { FlashProgress.push_back(p); }
  void SetCounter(long sent, long total) override { Counters.push_back(app::Detail(sent, total)); }
  void SetAnimation(bool running) override { Animating = running; }

  // --- Interaction ---
  void MessageBox(const std::string& text) override {
    if (OnBox) OnBox(text);
    Boxes.push_back("message: " + text);
  }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override {
    Boxes.push_back("confirm: " + text);
    return Answer;
  }
  void Information(const std::string& text) override { Boxes.push_back("information: " + text); }
  void StopTicks() override { TicksStopped = true; }
  void PumpMessages() override { ++Pumps; }
  void KeepAnswering() override {
    ++Answerings;
    if (OnKeepAnswering) OnKeepAnswering();
  }
  void CloseWindow() override { Closed = true; }

  // --- Where an interrupt finds the upgrade ---
  void Install() override {}
  void SetPortToRelease(serial::THandle) override {}
  void SetStopRecord(int) override {}
  void NoteStep(const std::string& title) override { Where = title; }
  void NoteCounter(long, long) override {}
  void SetBoxTakingImage(bool taking) override { TakingImage = taking; }

 private:
  app::TLogRenderer renderer_{[this](const std::string& line) { LogLine(line); }};
  app::TProgressListener progress_{*this};
  app::TInterruptListener interrupts_{*this};
  upgrade::TUpgradeListeners listeners_;
  bool listening_ = false;
};

}  // namespace stb::testing
