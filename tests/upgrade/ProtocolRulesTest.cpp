// Rules of the box protocol that a well-behaved box never puts to the test:
// which acknowledgements count, the sync digit after an image's last block,
// how long a block's answer is waited for, the character of the last flash
// step, the input the tool throws away before it lets the box go on, and
// the link's poll held off while the upgrade runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::sim::TBoxPhase;
using stb::testing::TUpgradeRun;

void ExpectDone(const TUpgradeRun& run) {
  EXPECT_EQ(run.Summary().End, "done");
  EXPECT_TRUE(run.Logged("Congraturation! Software Upgrade OK !!!"));
  EXPECT_EQ(run.Window.Boxes, std::vector<std::string>{"message: Congraturation! Software Upgrade OK !!!!"});
}

TEST(ProtocolRules, AcknowledgementNeedsANonZeroFirstCharacterAndCapitalAck) {
  struct TCase {
    const char* name;
    std::string ack;
    bool counts;
  };
  const TCase cases[] = {
      {"0x00 first", std::string("\0\nACK", 5), false},
      {"lower case", "\r\nack", false},
      {"one letter lower", "\r\nACk", false},
      {"0x00 second", std::string("\r\0ACK", 5), true},
      {"high bytes first and second",
       "\x80\xFF"
       "ACK",
       true},
      {"'A' second", "AAACK", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    run.Box.Acknowledge = c.ack;
    run.Start(1024);
    EXPECT_EQ(run.Upgrade(3, 2), "");
    EXPECT_EQ(run.Summary().Mode, 3);  // the box heard the announce word and answered
    if (c.counts) {
      EXPECT_TRUE(run.Logged("1. Check Machine"));
      ExpectDone(run);
    } else {
      // The tick ends quietly and the next one announces again.
      EXPECT_FALSE(run.Logged("1. Check Machine"));
      EXPECT_FALSE(run.Window.TicksStopped);
      EXPECT_TRUE(run.Window.Boxes.empty());
      EXPECT_TRUE(run.Summary().GoMessage.empty());
    }
  }
}

TEST(ProtocolRules, SyncDigitAfterTheLastBlockIsWaitedForAndCompared) {
  // The box takes its time over every sync digit. Had the tool not read the
  // one after the last block, the digit would turn up among the characters
  // before the download report and spoil it.
  for (int blocks : {10, 11, 22}) {
    SCOPED_TRACE(blocks);
    TUpgradeRun run;
    run.Box.SyncDelayMs = 120;
    run.Start(static_cast<std::size_t>(blocks) * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    ExpectDone(run);
    EXPECT_FALSE(run.Logged("  DownLoad Fail !!"));
  }
  // A wrong digit there fails the transfer like any other.
  for (int blocks : {11, 22}) {
    SCOPED_TRACE(blocks);
    TUpgradeRun run;
    run.Box.SyncDelayMs = 120;
    run.Box.WrongSyncAt = blocks / 11;
    run.Start(static_cast<std::size_t>(blocks) * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_EQ(run.Window.Log.back(), "  DownLoad Fail !!");
    EXPECT_EQ(run.Window.DownloadProgress.size(), static_cast<std::size_t>(blocks - 1));
    EXPECT_EQ(run.Window.Boxes, std::vector<std::string>{"message: Software Upgrade Fail !!!"});
    EXPECT_EQ(run.SentAfterLastLogLine(), 0u);  // not even the total checksum
  }
}

TEST(ProtocolRules, BlockAnswersAreWaitedForAsLongAsTheProtocolSaysNotAsTheLinkIsSet) {
  // The link reads quickly elsewhere; the box's sync digit comes 120 ms
  // after the block's answer, well within the time a block's answer has.
  // A wrong digit fails the transfer the same way; either way the link has
  // its own time-out back.
  for (int wrongSyncAt : {0, 1}) {
    SCOPED_TRACE(wrongSyncAt);
    TUpgradeRun run;
    run.Box.SyncDelayMs = 120;
    run.Box.WrongSyncAt = wrongSyncAt;
    run.Start(11 * 1024);
    run.Link().SetInputTimeout(50);
    EXPECT_EQ(run.Upgrade(3), "");
    if (wrongSyncAt == 0) {
      ExpectDone(run);
    } else {
      EXPECT_EQ(run.Window.Log.back(), "  DownLoad Fail !!");
    }
    EXPECT_EQ(run.Link().InputTimeout(), 50u);
  }
}

TEST(ProtocolRules, LastOfSeveralFlashStepsTakesAnyCharacter) {
  // Five blocks make two steps, nine make three; only the last may be other
  // than '@'.
  for (int blocks : {5, 9}) {
    SCOPED_TRACE(blocks);
    TUpgradeRun run;
    run.Box.LastFlashCharacter = '#';
    run.Start(static_cast<std::size_t>(blocks) * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    ExpectDone(run);
    EXPECT_EQ(run.Window.FlashProgress.back(), 100);
  }
}

TEST(ProtocolRules, InputLeftBeforeEachGoOnIsThrownAway) {
  // Stray bytes wait behind the last block's answer, the RAM and flash image
  // reports and the version table marker. Each would shift the next thing
  // read unless the tool empties its input before it answers.
  TUpgradeRun run;
  run.Box.StrayInput = true;
  run.Start(5 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectDone(run);
  EXPECT_TRUE(run.Logged("  Version Table Write OK!"));
  EXPECT_EQ(run.Window.FlashProgress, (std::vector<int>{50, 100}));
  EXPECT_EQ(run.Summary().TotalReceived, run.Summary().TotalComputed);
}

TEST(ProtocolRules, TheBoxIsNoLongerTakingTheImageWhileTheClosingBoxIsShown) {
  // The closing box waits for the operator for as long as it likes; an
  // interrupt meanwhile must end the program, not warn that the box is at
  // risk, as it would while the image goes.
  const struct {
    const char* name;
    std::function<void(TUpgradeRun&)> arrange;
    const char* box;
  } cases[] = {
      {"success", [](TUpgradeRun&) {}, "message: Congraturation! Software Upgrade OK !!!!"},
      {"refused block", [](TUpgradeRun& r) { r.Box.RefuseBlock[2] = 1000; },
       "message: Software Upgrade Fail !!!"},
      {"silent in the flash write", [](TUpgradeRun& r) { r.Box.SilentFrom = TBoxPhase::Flash; },
       "message: Software Upgrade Fail !!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    c.arrange(run);
    bool everTaking = false;
    std::vector<std::string> takingAtBox;
    auto counting = run.Window.OnLog;
    run.Window.OnLog = [&, counting] {
      everTaking = everTaking || run.Window.TakingImage;
      counting();
    };
    run.Window.OnBox = [&](const std::string& text) {
      if (run.Window.TakingImage) takingAtBox.push_back(text);
    };
    run.Start(4 * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_TRUE(everTaking);
    ASSERT_FALSE(run.Window.Boxes.empty());
    EXPECT_EQ(run.Window.Boxes.back(), c.box);
    EXPECT_TRUE(takingAtBox.empty()) << takingAtBox.front();
  }
}

TEST(ProtocolRules, PollIsHeldOffWhileTheUpgradeRunsAndGivenBackHoweverItEnds) {
  // Every line logged once the ticks have stopped is logged with the poll
  // held off; afterwards the link polls again, also when the window stays
  // open after an image that can no longer be opened.
  struct TCase {
    const char* name;
    std::function<void(TUpgradeRun&)> arrange;
    std::string error;
  };
  const TCase cases[] = {
      {"success", [](TUpgradeRun&) {}, ""},
      {"refused identity", [](TUpgradeRun& r) { r.Include.Oui = "113344"; }, ""},
      {"wrong mode echo", [](TUpgradeRun& r) { r.Box.ModeEcho = 4; }, ""},
      {"silent before the transfer", [](TUpgradeRun& r) { r.Box.SilentFrom = TBoxPhase::Identity; }, ""},
      {"wrong sync digit", [](TUpgradeRun& r) { r.Box.WrongSyncAt = 1; }, ""},
      {"silent after the transfer", [](TUpgradeRun& r) { r.Box.SilentFrom = TBoxPhase::FlashReport; }, ""},
      {"image gone", [](TUpgradeRun&) {}, "Cannot open file ./image.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    c.arrange(run);
    int linesWhileRunning = 0;
    int linesWithPollHeld = 0;
    auto counting = run.Window.OnLog;
    run.Window.OnLog = [&, counting] {
      counting();
      if (!run.Window.TicksStopped) return;
      ++linesWhileRunning;
      if (run.Link().PollSuspendCount() > 0) ++linesWithPollHeld;
      // Gone just before the go message: it is refused unsent.
      if (!c.error.empty() && run.Window.Log.back().starts_with("  -. Start DATE :")) {
        std::filesystem::remove("image.bin");
      }
    };
    run.Start(11 * 1024);
    EXPECT_EQ(run.Upgrade(3), c.error);
    EXPECT_GT(linesWhileRunning, 0);
    EXPECT_EQ(linesWithPollHeld, linesWhileRunning);
    EXPECT_EQ(run.Link().PollSuspendCount(), 0);
  }
}

}  // namespace
}  // namespace stb::upgrade
