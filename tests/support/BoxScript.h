// One upgrade against a box that plays a fixed script of bytes, over the
// in-memory line with virtual time: a whole run costs no real waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RecordingWindow.h"

namespace stb::testing {

inline constexpr int kScriptBlocks = 2;

// Makes and enters a scratch folder with ./inc/app1.inc and a two-block image
// (once per process).
void EnterScriptFolder();

struct TScriptRun {
  TRecordingWindow Window;
  bool Succeeded = false;
  std::uint64_t ElapsedMs = 0;
  std::string FromTool;
};

// Types APP103 and ticks until the upgrade has ended or three ticks passed.
TScriptRun RunBoxScript(const std::string& fromBox);

}  // namespace stb::testing
