// Refusals before the transfer: identity checks mode by mode, the address
// rules, the mode echo and the confirmation. Each ends the run with its lines
// and its box, and nothing is sent to the box after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::testing::TUpgradeRun;

struct TRefusal {
  const char* name;
  int mode;
  std::function<void(TUpgradeRun&)> arrange;
  std::vector<std::string> lines;  // the last lines logged
  std::string box;
};

std::vector<TRefusal> Refusals() {
  using R = TUpgradeRun;
  return {
      {"oui",
       2,
       [](R& r) { r.Include.Oui = "113344"; },
       {"( 51 / 0 )", "( 68 / 34 )", "  - Invalid OUI !!"},
       "Invalid OUI"},
      {"model",
       2,
       [](R& r) { r.Include.Model = "01.01"; },
       {"( 1 / 1 )", "( 1 / 0 )", "  - Invalid Model Code !!"},
       "Invalid Model Code !!"},
      {"hardware lower",
       3,
       [](R& r) {
         r.Box.Identity[5] = 3;
         r.Include.Hardware = "01.02";
       },
       {"( 1 / 1 )", "( 2 / 3 )", "  -Hardware version is invalid or lower!!"},
       "Hardware version is invalid or lower!!"},
      {"hardware higher major",
       3,
       [](R& r) {
         r.Box.Identity[5] = 9;
         r.Include.Hardware = "02.00";
       },
       {"( 2 / 1 )", "( 0 / 9 )", "  -Hardware version is invalid or lower!!"},
       "Hardware version is invalid or lower!!"},
      {"boot loader",
       1,
       [](R& r) {
         r.Include.Boot = "00.09";
         r.Include.Address = "0x9FC00000";
       },
       {"( 0 / 1 )", "( 9 / 0 )", "  -Bootloader version is invalid or lower!!"},
       "Bootloader version is invalid or lower!!"},
      {"native",
       5,
       [](R& r) {
         r.Box.Identity[8] = 2;
         r.Include.Native = "01.09";
       },
       {"( 1 / 2 )", "( 9 / 0 )", "  -Native Software version is invalid or lower!!"},
       "Native Software version is invalid or lower!!"},
      {"native major for application 1",
       6,
       [](R& r) {
         r.Include.Native = "02.00";
         r.Include.App1 = "09.00";
         r.Include.App2 = "09.00";
       },
       {"( 2 / 1 )", "  -Native Software Major version is nor same!!"},
       "Native Software Major version is nor same!!"},
      {"application 1",
       3,
       [](R& r) {
         r.Box.Identity[11] = 5;
         r.Include.App1 = "01.04";
       },
       {"( 1 / 1 )", "( 4 / 5 )", "  -Application 1 version is invalid or lower!!"},
       "Application 1 version is invalid or lower!!"},
      {"application 2",
       4,
       [](R& r) { r.Box.Identity[12] = 2; },
       {"( 1 / 2 )", "( 0 / 0 )", "  -Application 2 version is invalid or lower!!"},
       "Application 2 version is invalid or lower!!"},
      {"application 2 in mode 8",
       8,
       [](R& r) { r.Box.Identity[13] = 1; },
       {"( 1 / 1 )", "( 0 / 1 )", "  -Application 2 version is invalid or lower!!"},
       "Application 2 version is invalid or lower!!"},
      {"boot loader address",
       1,
       [](R& r) {
         r.Include.Address = "0xBFC10000";
         r.Box.Address = 0xBFC10000;
       },
       {"  -ERROR:Cannot Change Bootloader Address!!"},
       "ERROR:Cannot Change Bootloader Address!!"},
      {"boot loader area",
       2,
       [](R& r) {
         r.Include.Address = "0xBFC0FFFF";
         r.Box.Address = 0xBFC0FFFF;
       },
       {"  -ERROR:Cannot Write Bootloader Area!!"},
       "ERROR:Cannot Write Bootloader Area!!"},
      {"boot loader area below",
       7,
       [](R& r) {
         r.Include.Address = "0xBE800000";
         r.Box.Address = 0xBE800000;
       },
       {"  -ERROR:Cannot Write Bootloader Area!!"},
       "ERROR:Cannot Write Bootloader Area!!"},
      {"boot loader size",
       1,
       [](R& r) {
         r.Include.Address = "0x9FC00000";
         r.Box.Address = 0x9FC00000;
       },
       {"  -Bootloader is too large!!"},
       "Bootloader is too large!!"},
      {"mode echo",
       3,
       [](R& r) { r.Box.ModeEcho = '3'; },
       {"  ERROR:MisMatch Software Number !!"},
       "  ERROR:MisMatch Software Number !!"},
  };
}

TEST(Refusal, EachCheckLogsItsLinesShowsItsBoxAndCloses) {
  for (const auto& c : Refusals()) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    c.arrange(run);
    run.Start(std::string(c.name) == "boot loader size" ? 61 * 1024 : 2048);
    EXPECT_EQ(run.Upgrade(c.mode), "");
    ASSERT_GE(run.Window.Log.size(), c.lines.size());
    EXPECT_EQ(std::vector<std::string>(run.Window.Log.end() - static_cast<long>(c.lines.size()),
                                       run.Window.Log.end()),
              c.lines);
    EXPECT_EQ(run.Window.Boxes, std::vector<std::string>{"message: " + c.box});
    EXPECT_TRUE(run.Window.Closed);
    EXPECT_TRUE(run.Window.TicksStopped);
    EXPECT_FALSE(run.Logged("2. Start Software Upgrade"));
    EXPECT_TRUE(run.Summary().GoMessage.empty());  // nothing sent after the refusal
    EXPECT_EQ(run.SentAfterLastLogLine(), 0u);
  }
}

TEST(Refusal, ChecksThatDoNotApplyToAModeAreNotMade) {
  // Modes 2 and 5 compare the native version only; a lower application
  // version in the include file does not matter there.
  for (int mode : {2, 5}) {
    TUpgradeRun run;
    run.Box.Identity[10] = 9;
    run.Box.Identity[12] = 9;
    run.Start(1024);
    EXPECT_EQ(run.Upgrade(mode), "");
    EXPECT_EQ(run.Summary().End, "done") << mode;
    EXPECT_FALSE(run.Logged("  -. Application 1 Version: 9.0-->1.0"));
  }
  // Mode 1 compares no native version; boot loader images are at most 60 blocks.
  TUpgradeRun boot;
  boot.Box.Identity[8] = 9;
  boot.Include.Address = "0x9FC00000";
  boot.Box.Address = 0x9FC00000;
  boot.Start(60 * 1024);
  EXPECT_EQ(boot.Upgrade(1), "");
  EXPECT_EQ(boot.Summary().End, "done");
}

TEST(Refusal, EachModeMakesTheChecksOfItsKindAndNoOthers) {
  // A box with a newer version of just the one software compared, or an
  // include address that just one address rule refuses: the modes that make
  // that check refuse, the others upgrade.
  using R = TUpgradeRun;
  struct TCheck {
    const char* name;
    std::function<void(TUpgradeRun&)> arrange;
    std::size_t imageBytes;
    std::string line;
    std::vector<int> refusingModes;
  };
  const TCheck checks[] = {
      {"native",
       [](R& r) { r.Box.Identity[9] = 1; },
       1024,
       "  -Native Software version is invalid or lower!!",
       {2, 3, 4, 5, 6, 7, 8}},
      {"application 1",
       [](R& r) { r.Box.Identity[11] = 1; },
       1024,
       "  -Application 1 version is invalid or lower!!",
       {3, 6, 7, 8}},
      {"application 2",
       [](R& r) { r.Box.Identity[13] = 1; },
       1024,
       "  -Application 2 version is invalid or lower!!",
       {4, 6, 7, 8}},
      {"the boot loader's address",
       [](R& r) {
         r.Include.Address = "0x9FC00000";
         r.Box.Address = 0x9FC00000;
       },
       1024,
       "  -ERROR:Cannot Write Bootloader Area!!",
       {2, 3, 4, 5, 6, 7, 8}},
      // Larger than a boot loader may be, too: only the address rule refuses it.
      {"just above the boot loader",
       [](R& r) {
         r.Include.Address = "0x9FC10000";
         r.Box.Address = 0x9FC10000;
       },
       61 * 1024,
       "  -ERROR:Cannot Change Bootloader Address!!",
       {1}},
  };
  for (const auto& check : checks) {
    for (int mode = 1; mode <= 8; ++mode) {
      SCOPED_TRACE(std::string(check.name) + ", mode " + std::to_string(mode));
      TUpgradeRun run;
      if (mode == 1) {  // a boot loader goes nowhere else
        run.Include.Address = "0x9FC00000";
        run.Box.Address = 0x9FC00000;
      }
      check.arrange(run);
      run.Start(check.imageBytes);
      EXPECT_EQ(run.Upgrade(mode), "");
      const auto& refusing = check.refusingModes;
      if (std::find(refusing.begin(), refusing.end(), mode) != refusing.end()) {
        EXPECT_EQ(run.Window.Log.back(), check.line);
        EXPECT_TRUE(run.Summary().GoMessage.empty());
      } else {
        EXPECT_EQ(run.Summary().End, "done");
      }
    }
  }
}

TEST(Refusal, BootLoaderAreaSeenThroughEitherWindow) {
  // Below 0x..C10000 under most significant bytes 0x9E and 0x9F, and the
  // same memory under 0xBE and 0xBF; nothing beside it.
  const std::pair<std::uint32_t, bool> addresses[] = {
      {0x9E000000, true},  {0x9EC0FFFF, true},  {0x9F000000, true},  {0xBE000000, true},  {0xBFC0FFFF, true},
      {0x9EC10000, false}, {0x9D000000, false}, {0xBD000000, false}, {0xC0000000, false}, {0xDF000000, false},
  };
  for (const auto& [address, refused] : addresses) {
    char line[11];
    std::snprintf(line, sizeof line, "0x%08X", address);
    SCOPED_TRACE(line);
    TUpgradeRun run;
    run.Include.Address = line;
    run.Box.Address = address;
    run.Start(1024);
    EXPECT_EQ(run.Upgrade(2), "");
    EXPECT_EQ(run.Logged("  -ERROR:Cannot Write Bootloader Area!!"), refused);
    EXPECT_EQ(run.Summary().End, refused ? "stopped" : "done");
  }
}

TEST(Refusal, AddressMismatchAnsweredYesEndsWithTheInformationBox) {
  TUpgradeRun run;
  run.Include.Address = "0xC0000000";
  run.Box.Address = 0xE0000000;
  run.Window.Answer = TConfirmAnswer::Yes;
  run.Start(1024);
  EXPECT_EQ(run.Upgrade(2), "");
  EXPECT_EQ(run.Window.Log.back(), "  Warning !!!. Download Address MisMatch... !!!");
  EXPECT_EQ(run.Window.Boxes,
            (std::vector<std::string>{
                "message: Warning !!!. Download Address MisMatch... !!!",
                "confirm: Warning!!!. Download Address MisMatch!!!  Exit now?",
                "information: Download Address MisMatch!!!. Check Your installation file(./inc/xxxx.inc)."}));
  EXPECT_TRUE(run.Window.Closed);
  EXPECT_TRUE(run.Summary().GoMessage.empty());
}

TEST(Refusal, AcknowledgementsThatDoNotCountLeaveTheTicksGoing) {
  // A box that never acknowledges: each tick ends quietly, the next tries again.
  TUpgradeRun run;
  run.Box.SilentFrom = sim::TBoxPhase::Acknowledge;
  run.Start(1024);
  EXPECT_EQ(run.Upgrade(3, 3), "");
  EXPECT_FALSE(run.Window.TicksStopped);
  EXPECT_FALSE(run.Window.Closed);
  EXPECT_EQ(run.Window.Log.size(), 15u);  // directions, mode line, address line
}

}  // namespace
}  // namespace stb::upgrade
