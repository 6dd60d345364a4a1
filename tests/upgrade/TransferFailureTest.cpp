// Failures once the box has answered: silence at every phase, wrong reports,
// refused blocks past the bound, a wrong sync digit, a hang-up, an image that
// can no longer be opened. Each ends within its bound with its own line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::sim::TBoxPhase;
using stb::sim::TBoxReport;
using stb::testing::TUpgradeRun;
using Clock = std::chrono::steady_clock;

constexpr char kNoResponse[] = "  ERROR: No Response from the Set-Top Box !!";

void ExpectFailedTransfer(const TUpgradeRun& run, const std::string& line) {
  EXPECT_TRUE(run.Logged(line)) << line;
  EXPECT_EQ(run.Window.Boxes.back(), "message: Software Upgrade Fail !!!");
  EXPECT_TRUE(run.Window.Closed);
  EXPECT_FALSE(run.Logged("Congraturation! Software Upgrade OK !!!"));
  EXPECT_TRUE(run.Window.Animating);          // left running, as the progress is left standing
  EXPECT_EQ(run.SentAfterLastLogLine(), 0u);  // nothing goes to the box after the failure
}

TEST(TransferFailure, SilenceBeforeTheTransferEndsWithTheNoResponseBox) {
  for (TBoxPhase phase :
       {TBoxPhase::ModeEcho, TBoxPhase::Identity, TBoxPhase::Addresses, TBoxPhase::GoReply}) {
    SCOPED_TRACE(static_cast<int>(phase));
    TUpgradeRun run;
    run.Box.SilentFrom = phase;
    run.Start(2048);
    const auto t0 = Clock::now();
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(run.Window.Log.back(), kNoResponse);
    EXPECT_EQ(run.Window.Boxes, std::vector<std::string>{"message: No Response from the Set-Top Box !!"});
    EXPECT_TRUE(run.Window.Closed);
    EXPECT_TRUE(run.Window.TicksStopped);
    EXPECT_EQ(run.SentAfterLastLogLine(), 0u);
  }
}

TEST(TransferFailure, SilenceDuringTheTransferFailsTheUpgrade) {
  struct Case {
    TBoxPhase phase;
    const char* line;
  } cases[] = {
      {TBoxPhase::BlockAnswers, "  DownLoad Fail !!"},  // block 0 unanswered is refused
      {TBoxPhase::DownloadReport, kNoResponse},
      {TBoxPhase::ReportBytes, kNoResponse},
      {TBoxPhase::RamReport, kNoResponse},
      {TBoxPhase::Flash, kNoResponse},
      {TBoxPhase::FlashReport, kNoResponse},
      {TBoxPhase::UpdateRequest, kNoResponse},
      {TBoxPhase::TableMarker, kNoResponse},
      {TBoxPhase::TableWritten, kNoResponse},
      {TBoxPhase::TableReport, kNoResponse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.phase));
    TUpgradeRun run;
    run.Box.SilentFrom = c.phase;
    run.Start(5 * 1024);
    const auto t0 = Clock::now();
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
    ExpectFailedTransfer(run, c.line);
  }
}

TEST(TransferFailure, WrongReportTextsFailTheirCheckpoint) {
  struct Case {
    TBoxReport report;
    const char* line;
  } cases[] = {
      {TBoxReport::Download, "  DownLoad BAD CRC !!"},
      {TBoxReport::RamImage, "  Ram Image BAD CRC !!"},
      {TBoxReport::FlashImage, "  Flash Image BAD CRC !!"},
      {TBoxReport::UpdateRequest, "  ERROR: Update software version!!!"},
      {TBoxReport::VersionTable, "  CRC ERROR: Update software version!!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    TUpgradeRun run;
    run.Box.WrongReport = c.report;
    run.Start(3 * 1024);
    EXPECT_EQ(run.Upgrade(6), "");
    ExpectFailedTransfer(run, c.line);
    EXPECT_EQ(run.Window.Log.back(), c.line);
  }
}

TEST(TransferFailure, FlashCharacterOtherThanTheStepMarkFails) {
  TUpgradeRun run;
  run.Box.FlashCharacter = '#';
  run.Start(5 * 1024);  // two flash steps: the first must be '@'
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectFailedTransfer(run, "  Flash Write Error !!");
  EXPECT_TRUE(run.Window.FlashProgress.empty());
}

TEST(TransferFailure, RefusedFirstBlockEndsWithoutAResend) {
  TUpgradeRun run;
  run.Box.RefuseBlock[0] = 1;
  run.Start(3 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectFailedTransfer(run, "  DownLoad Fail !!");
  EXPECT_TRUE(run.Logged("  retry : 0 block"));
  EXPECT_EQ(run.Summary().Resends, 0);
  EXPECT_EQ(run.Summary().Refusals, 1);  // the frame went out once
}

TEST(TransferFailure, ResendsOfOneBlockAreBounded) {
  TUpgradeRun run;
  run.Box.RefuseBlock[2] = 1000;
  run.Start(4 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectFailedTransfer(run, "  DownLoad Fail !!");
  EXPECT_EQ(std::count(run.Window.Log.begin(), run.Window.Log.end(), "  retry : 2 block"), 11);
  EXPECT_EQ(run.Summary().Resends, 10);
}

TEST(TransferFailure, WrongSyncDigitFails) {
  TUpgradeRun run;
  run.Box.WrongSyncAt = 2;
  run.Start(30 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectFailedTransfer(run, "  DownLoad Fail !!");
  EXPECT_EQ(run.Window.DownloadProgress.size(), 21u);  // the 22nd block's digit was wrong
}

TEST(TransferFailure, HangUpInTheMiddleEndsAtOnce) {
  TUpgradeRun run;
  run.Box.HangUpAfterBlock = 6;
  run.Start(40 * 1024);
  const auto t0 = Clock::now();
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
  ExpectFailedTransfer(run, "  DownLoad Fail !!");
  EXPECT_FALSE(run.Link().IsPortOpen());
  EXPECT_EQ(run.Summary().End, "hung-up");
  // A dropped line is not a refusal: no resend is tried, none is logged.
  EXPECT_EQ(run.Window.Log.back(), "  DownLoad Fail !!");
  EXPECT_EQ(std::count_if(run.Window.Log.begin(), run.Window.Log.end(),
                          [](const std::string& l) { return l.starts_with("  retry :"); }),
            0);
}

TEST(TransferFailure, AnImageRemovedOnceTheBoxWasToldOfItStillReachesIt) {
  // The box has been told the image's size and waits for it: the file that
  // was measured is the one it gets, whatever happens to the name since.
  TUpgradeRun run;
  auto counting = run.Window.OnLog;
  run.Window.OnLog = [&, counting] {
    if (run.Window.Log.back().starts_with("  -. The Download Size is")) std::filesystem::remove("image.bin");
    counting();
  };
  run.Start(2048);
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_FALSE(std::filesystem::exists("image.bin"));
  EXPECT_TRUE(run.Logged("Congraturation! Software Upgrade OK !!!"));
  EXPECT_EQ(run.Summary().End, "done");
  const std::string received(run.Summary().Image.begin(), run.Summary().Image.end());
  EXPECT_TRUE(received == run.PaddedImage());
}

}  // namespace
}  // namespace stb::upgrade
