// A window that records every operation the upgrade asks of it, and answers
// the confirmation dialog as the test says.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Upgrade.h"
#include "WindowOperations.h"

namespace stb::testing {

class TRecordingWindow : public upgrade::IWindowOperations {
 public:
  std::vector<std::string> Log;
  std::vector<std::string> Boxes;  // "message: ...", "confirm: ...", "information: ..."
  std::vector<int> DownloadProgress;
  std::vector<int> FlashProgress;
  std::vector<std::string> Counters;
  bool Animating = false;
  bool TicksStopped = false;
  bool Closed = false;
  bool TakingImage = false;  // as BoxTakingImage last said
  int Pumps = 0;
  upgrade::TConfirmAnswer Answer = upgrade::TConfirmAnswer::Yes;
  std::function<void()> OnLog;  // called after each line is recorded
  // Called inside each box before it is recorded, as the box's own loop
  // would deliver whatever falls due while it is open.
  std::function<void(const std::string& text)> OnBox;
  int Answerings = 0;
  std::function<void()> OnKeepAnswering;  // called at each turn the window gets in a wait

  void LogLine(const std::string& line) override {
    Log.push_back(line);
    if (OnLog) OnLog();
  }
  void SetDownloadProgress(int p) override { DownloadProgress.push_back(p); }
  void SetFlashProgress(int p) override { FlashProgress.push_back(p); }
  void SetCounter(long sent, long total) override { Counters.push_back(upgrade::Detail(sent, total)); }
  void SetAnimation(bool running) override { Animating = running; }
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
  void BoxTakingImage(bool taking) override { TakingImage = taking; }
};

}  // namespace stb::testing
