// One upgrade against a box that plays a fixed script of bytes, over the
// in-memory line with virtual time: a whole run costs no real waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "RecordingWindow.h"
#include "UpgradeEvents.h"

namespace stb::testing {

inline constexpr int kScriptBlocks = 2;

// Makes and enters a scratch folder with ./inc/app1.inc and a two-block image
// (once per process).
void EnterScriptFolder();

// The window as the upgrade meets it inside a tick: each pump of its
// messages also runs the serial link's poll timer, as if it fell due every
// time.
struct TPollingWindow : TRecordingWindow {
  std::function<void()> OnPump;
  void PumpMessages() override {
    TRecordingWindow::PumpMessages();
    if (OnPump) OnPump();
  }
};

struct TScriptRun {
  TPollingWindow Window;
  // Polls the pumps ran while some of the box's bytes were waiting unread.
  int PollsWithInputWaiting = 0;
  // Whether a poll after the run took any of the box's bytes left unread.
  bool PolledAfterRun = false;
  bool Succeeded = false;
  std::uint64_t ElapsedMs = 0;
  std::string FromTool;
};

// Types APP103 and ticks until the upgrade has ended or three ticks passed;
// the link's poll runs at every pump of the window. The whole script is on
// the line from the start, so a poll finds the box's later bytes waiting.
// With `events`, the upgrade tells them what happens; with `hangUpWhenDone`,
// the line goes away once the script has been read through.
TScriptRun RunBoxScript(const std::string& fromBox, upgrade::IUpgradeEvents* events = nullptr,
                        bool hangUpWhenDone = false);

}  // namespace stb::testing
