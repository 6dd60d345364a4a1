#include "BoxScript.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "MemorySerialPlatform.h"
#include "SerialLink.h"
#include "Upgrade.h"

namespace stb::testing {

void EnterScriptFolder() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  std::string dir = (std::filesystem::temp_directory_path() / "stb-script-XXXXXX").string();
  if (!mkdtemp(dir.data())) std::abort();
  std::filesystem::current_path(dir);
  std::filesystem::create_directory("inc");
  std::ofstream("inc/app1.inc") << "110022\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n"
                                   "D2412\r\nscript\r\n./image.bin\r\n3\r\n0x9FC10000\r\n";
  std::ofstream("image.bin") << std::string(kScriptBlocks * 1024 - 10, 'i');
}

TScriptRun RunBoxScript(const std::string& fromBox, upgrade::IUpgradeEvents* events, bool hangUpWhenDone) {
  auto line = std::make_shared<TMemorySerialPlatform>(fromBox);
  line->LostWhenDrained = hangUpWhenDone;
  auto ticker = std::make_unique<serial::TManualTicker>();
  serial::TManualTicker& poll = *ticker;
  serial::TSerialLink link(serial::TSerialLinkSeams{line, std::move(ticker), line->Clock()});
  TScriptRun run;
  run.Window.OnPump = [&] {
    if (link.InputCount() > 0) ++run.PollsWithInputWaiting;
    poll.Tick();
  };
  run.Window.Answer = upgrade::TConfirmAnswer::No;  // go on past an address mismatch
  upgrade::TUpgrade upgrade(link, run.Window, line->Clock());
  upgrade.SetResponseTimeoutMs(2000);
  run.Window.Listen(upgrade);
  upgrade.AddListener(events);
  upgrade.StartUp();
  for (char c : std::string("APP103")) upgrade.KeyPress(c);
  for (int tick = 0; tick < 3 && !run.Window.TicksStopped && !run.Window.Closed; ++tick) upgrade.Tick();
  run.Window.OnPump = nullptr;
  if (const auto left = link.InputCount(); left > 0) {
    poll.Tick();
    run.PolledAfterRun = link.InputCount() < left;
  }
  run.Succeeded = upgrade.Succeeded();
  run.ElapsedMs = line->ElapsedMs();
  run.FromTool = line->FromTool();
  return run;
}

}  // namespace stb::testing
