// Answers that come after their time-out: a box starved of its processor, or
// an adapter holding bytes back. A late answer is the answer to the block it
// follows; taken for silence, the resend that followed would put the tool and
// the box a block apart for the rest of the image.
#include <gtest/gtest.h>

#include <algorithm>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::testing::TUpgradeRun;

constexpr char kDone[] = "Congraturation! Software Upgrade OK !!!";

long LinesStartingWith(const TUpgradeRun& run, const std::string& start) {
  return std::count_if(run.Window.Log.begin(), run.Window.Log.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

void ExpectImageArrived(const TUpgradeRun& run) {
  EXPECT_TRUE(run.Logged(kDone));
  EXPECT_EQ(run.Summary().End, "done");
  const std::string held(run.Summary().Image.begin(), run.Summary().Image.end());
  EXPECT_TRUE(held == run.PaddedImage()) << "the box holds another image than the one sent";
}

TEST(LateAnswer, ALateAnswerIsTakenForItsOwnBlock) {
  struct Case {
    const char* name;
    std::size_t blocks;
    void (*arrange)(TUpgradeRun&);
    long lateLines;
    long retryLines;
    int boxRefusals;
  } cases[] = {
      {"one block 250 ms late", 8, [](TUpgradeRun& r) { r.Box.LateBlock[3] = 250; }, 1, 0, 0},
      // The tenth and the twentieth.
      {"every tenth block late", 25,
       [](TUpgradeRun& r) {
         r.Box.LateEvery = 10;
         r.Box.LateEveryMs = 250;
       },
       2, 0, 0},
      {"late, then the next refused", 8,
       [](TUpgradeRun& r) {
         r.Box.LateBlock[4] = 250;
         r.Box.RefuseBlock[5] = 1;
       },
       1, 1, 1},
      {"refused, and the refusal late", 8,
       [](TUpgradeRun& r) {
         r.Box.LateBlock[2] = 300;
         r.Box.RefuseBlock[2] = 1;
       },
       2, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    c.arrange(run);
    run.Start(c.blocks * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    ExpectImageArrived(run);
    EXPECT_EQ(LinesStartingWith(run, "  late answer : "), c.lateLines);
    EXPECT_EQ(LinesStartingWith(run, "  retry : "), c.retryLines);
    EXPECT_EQ(run.Summary().Refusals, c.boxRefusals);
    EXPECT_EQ(run.Summary().Resends, c.boxRefusals);  // no resend the box did not ask for
  }
}

TEST(LateAnswer, TheLogSaysWhichBlockAndHowLate) {
  TUpgradeRun run;
  run.Box.LateBlock[3] = 250;
  run.Start(5 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  ExpectImageArrived(run);
  const auto late = std::find_if(run.Window.Log.begin(), run.Window.Log.end(), [](const std::string& l) {
    return l.rfind("  late answer : 3 block (", 0) == 0;
  });
  ASSERT_NE(late, run.Window.Log.end());
  const long ms = std::stol(late->substr(std::string("  late answer : 3 block (").size()));
  EXPECT_GE(ms, 200);
  EXPECT_LT(ms, 2000);
  EXPECT_EQ(late->substr(late->size() - 4), " ms)");
}

TEST(LateAnswer, ALateSyncDigitIsWaitedForAndStillChecked) {
  for (int wrongSyncAt : {0, 1}) {
    SCOPED_TRACE(wrongSyncAt);
    TUpgradeRun run;
    run.Box.SyncDelayMs = 400;  // after the block's answer, past its time-out
    run.Box.WrongSyncAt = wrongSyncAt;
    run.Start(11 * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_EQ(LinesStartingWith(run, "  late sync digit : 10 block ("), 1);
    if (wrongSyncAt == 0) {
      ExpectImageArrived(run);
    } else {
      EXPECT_EQ(run.Window.Log.back(), "  DownLoad Fail !!");
      EXPECT_FALSE(run.Logged(kDone));
    }
  }
}

TEST(LateAnswer, AnAnswerLaterThanTheGraceNeverEndsInAFalseSuccess) {
  // Past the grace the block counts as unanswered and goes out again while
  // the box's answer may still be on its way: whatever follows, the box may
  // not be told its image is good unless it holds the image.
  TUpgradeRun run;
  run.Box.LateBlock[2] = 2600;
  run.Start(6 * 1024);
  EXPECT_EQ(run.Upgrade(3, 8), "");
  EXPECT_EQ(LinesStartingWith(run, "  retry : 2 block"), 1);
  if (run.Logged(kDone)) {
    ExpectImageArrived(run);
  } else {
    EXPECT_NE(run.Summary().End, "done");
  }
}

}  // namespace
}  // namespace stb::upgrade
