// Complete upgrades against the simulated box: every mode, the image received
// byte for byte, the go message, progress, retries, the sync cycle and the
// version table.
#include <gtest/gtest.h>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::testing::TUpgradeRun;

const std::vector<std::string> kClosingLines = {
    "7. Update Version Table OK", "---------------------------------------",
    "Congraturation! Software Upgrade OK !!!", "Please Turn Off and On the STB set !!!"};

void ExpectSuccess(const TUpgradeRun& run) {
  ASSERT_GE(run.Window.Log.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(run.Window.Log.end() - 4, run.Window.Log.end()), kClosingLines);
  EXPECT_EQ(run.Window.Boxes.back(), "message: Congraturation! Software Upgrade OK !!!!");
  EXPECT_TRUE(run.Window.Closed);
  EXPECT_TRUE(run.Window.TicksStopped);
  EXPECT_FALSE(run.Window.Animating);
  EXPECT_EQ(run.Summary().End, "done");
  // Compared whole, not printed: a mismatch would flood the report.
  const std::string received(run.Summary().Image.begin(), run.Summary().Image.end());
  EXPECT_EQ(received.size(), run.PaddedImage().size());
  EXPECT_TRUE(received == run.PaddedImage());
}

TEST(UpgradeSuccess, EveryModeWithItsVersionSlot) {
  for (int mode = 1; mode <= 8; ++mode) {
    SCOPED_TRACE(mode);
    TUpgradeRun run;
    const int slot = (mode - 1) % 5;  // 0 writes no version pair
    run.Include.Slot = std::to_string(slot);
    run.Include.Boot = "01.02";
    run.Include.Native = "01.04";
    run.Include.App1 = "01.06";
    run.Include.App2 = "01.08";
    if (mode == 1) {
      run.Include.Address = "0xBFC00000";
      run.Box.Address = 0x9FC00000;  // the same memory seen through the other window
    }
    run.Start(3 * 1024 + 77);
    EXPECT_EQ(run.Upgrade(mode), "");
    ExpectSuccess(run);
    EXPECT_EQ(run.Summary().Mode, mode);
    const std::vector<std::vector<std::uint8_t>> pairs = {{}, {1, 2}, {1, 4}, {1, 6}, {1, 8}};
    std::vector<std::uint8_t> table = pairs[static_cast<std::size_t>(slot)];
    for (char c : std::string("D2412")) table.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(run.Summary().TableBytes, table);
    EXPECT_TRUE(run.Logged("  Version Table Write OK!"));
    EXPECT_EQ(run.Logged("  -. Bootloader size check OK !!!"), mode == 1);
  }
}

TEST(UpgradeSuccess, ThreeHundredBlocksWithTheWholeLogInOrder) {
  TUpgradeRun run;
  run.Start(300 * 1024 - 100);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectSuccess(run);
  // "ok", the address least significant byte first, 300 blocks as 0x2C 0x01.
  EXPECT_EQ(run.Summary().GoMessage,
            (std::vector<std::uint8_t>{'o', 'k', 0x00, 0x00, 0xC1, 0x9F, 0x2C, 0x01}));
  const std::vector<std::string> expected = {
      "0. Application Software 1. Mode",
      "  The Download Address is 0x9FC10000 in the include file(./inc/xxxx.inc).",
      "1. Check Machine",
      "  -. Pass OUI - Orvanta. Co.",
      "  -. Model Code is same: 1.0",
      "  -. Hardware Version is same: 1.0<-->1.0",
      "  -. Bootloader Version: 1.0-->1.0",
      "  -. Native Software Version: 1.0-->1.0",
      "  -. Application 1 Version: 1.0-->1.0",
      "  -. Start DATE : D2412 .",
      "  -. The Download Size is 1 *256 + 44 KBytes",
      "2. Start Software Upgrade",
      "3. Start DownLoad",
      "4. DownLoad OK",
      "5. Ram Image CRC OK",
      "6. Flash Image CRC OK",
      "  Version Table Write OK!",
  };
  std::vector<std::string> log(run.Window.Log.begin() + 13, run.Window.Log.end() - 4);
  EXPECT_EQ(log, expected);
  EXPECT_EQ(run.Window.Counters.back(), "( 307200 / 307200 )");
  EXPECT_EQ(run.Window.DownloadProgress.size(), 300u);
  EXPECT_EQ(run.Window.Pumps, 300);  // one pump per accepted block
  EXPECT_EQ(run.Window.FlashProgress.size(), 75u);
  EXPECT_EQ(run.Summary().TotalReceived, run.Summary().TotalComputed);
}

TEST(UpgradeSuccess, ProgressPositionsRoundHalvesToEven) {
  TUpgradeRun run;
  run.Start(8 * 1024);
  EXPECT_EQ(run.Upgrade(2), "");
  ExpectSuccess(run);
  EXPECT_EQ(run.Window.DownloadProgress, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
  EXPECT_EQ(run.Window.Counters[2], "( 1024 / 8192 )");  // after start-up's and the include file's
  EXPECT_EQ(run.Window.Counters.back(), "( 8192 / 8192 )");
  EXPECT_EQ(run.Window.FlashProgress, (std::vector<int>{50, 100}));

  TUpgradeRun nine;
  nine.Start(9 * 1024);
  EXPECT_EQ(nine.Upgrade(2), "");
  EXPECT_EQ(nine.Window.FlashProgress, (std::vector<int>{33, 67, 100}));
}

TEST(UpgradeSuccess, EmptyImageSendsNoFrameAndAZeroTotal) {
  TUpgradeRun run;
  run.Start(0);
  EXPECT_EQ(run.Upgrade(5), "");
  ExpectSuccess(run);
  EXPECT_EQ(run.Summary().TotalReceived, 0);
  EXPECT_TRUE(run.Window.DownloadProgress.empty());
  EXPECT_TRUE(run.Window.FlashProgress.empty());
}

TEST(UpgradeSuccess, RefusedBlocksAreSentAgainAndCountedOnce) {
  TUpgradeRun run;
  run.Box.RefuseBlock[5] = 2;
  run.Box.RefuseBlock[11] = 10;  // the last resend allowed
  run.Start(23 * 1024);          // two sync digits
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectSuccess(run);
  EXPECT_EQ(std::count(run.Window.Log.begin(), run.Window.Log.end(), "  retry : 5 block"), 2);
  EXPECT_EQ(std::count(run.Window.Log.begin(), run.Window.Log.end(), "  retry : 11 block"), 10);
  EXPECT_EQ(run.Summary().Resends, 12);
  EXPECT_EQ(run.Summary().TotalReceived, run.Summary().TotalComputed);
}

TEST(UpgradeSuccess, AnswersOtherThanTheUsualAreTakenWhereTheyMayBe) {
  TUpgradeRun run;
  run.Box.TableAnswer = 'X';  // no 'W': only the report decides
  run.Box.LastFlashCharacter = '#';
  run.Box.GarbageBetweenReports = true;
  run.Start(4 * 1024);  // one flash step: whatever comes is taken
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectSuccess(run);
  EXPECT_FALSE(run.Logged("  Version Table Write OK!"));
}

TEST(UpgradeSuccess, AddressMismatchAnsweredNoGoesOnWithTheIncludeAddress) {
  TUpgradeRun run;
  run.Include.Address = "0x80010000";
  run.Box.Address = 0xC0010000;
  run.Window.Answer = TConfirmAnswer::No;
  run.Start(2048);
  EXPECT_EQ(run.Upgrade(4), "");
  ExpectSuccess(run);
  EXPECT_TRUE(run.Logged("  Warning !!!. Download Address MisMatch... !!!"));
  EXPECT_EQ(run.Window.Boxes[0], "message: Warning !!!. Download Address MisMatch... !!!");
  EXPECT_EQ(run.Window.Boxes[1], "confirm: Warning!!!. Download Address MisMatch!!!  Exit now?");
  EXPECT_EQ(run.Summary().GoAddress, 0x80010000u);
}

TEST(UpgradeSuccess, ControlBytesOfTheIncludeFileAreLoggedEscapedAndSentAsTheyAre) {
  // A crafted date would retitle the operator's terminal and break the log
  // file's one line an event; the box still gets the bytes it was given.
  TUpgradeRun run;
  run.Include.Date = "\x1b]0;\x07";
  run.Start(2048);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectSuccess(run);
  EXPECT_TRUE(run.Logged("  -. Start DATE : \\x1B]0;\\x07 ."));
  const auto& table = run.Summary().TableBytes;
  ASSERT_EQ(table.size(), 7u);
  EXPECT_EQ(std::string(table.begin() + 2, table.end()), "\x1b]0;\x07");
}

TEST(UpgradeSuccess, AddressesDifferingOnlyByTheMirrorWindowMatch) {
  TUpgradeRun run;
  run.Include.Address = "0x80001000";
  run.Box.Address = 0xA0001000;
  run.Start(1024);
  EXPECT_EQ(run.Upgrade(2), "");
  ExpectSuccess(run);
  EXPECT_EQ(run.Window.Boxes.size(), 1u);  // no warning, only the success box
}

}  // namespace
}  // namespace stb::upgrade
