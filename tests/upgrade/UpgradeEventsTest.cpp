// What the core tells its listener, against the simulated box: the order of
// the events, the outcome of every kind of end told once with its step, its
// deciding line and the bytes through, and a stop asked for from another
// thread. The log lines themselves are the other suites' business.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "BoxScript.h"
#include "EventTrace.h"
#include "LogText.h"
#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::sim::TBoxPhase;
using stb::sim::TBoxReport;
using stb::testing::TEventTrace;
using stb::testing::TUpgradeRun;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

constexpr char kNoResponse[] = "  ERROR: No Response from the Set-Top Box !!";
constexpr char kDownloadFail[] = "  DownLoad Fail !!";
constexpr char kSuccess[] = "Congraturation! Software Upgrade OK !!!";

// A run whose listener is set before the first tick.
struct TListenedRun : TUpgradeRun {
  TEventTrace Events{&Window};
  void Begin(std::size_t imageBytes) {
    Start(imageBytes);
    Core().AddListener(&Events);
  }
  const TUpgradeEnd& End() const { return Events.Ends.front(); }
};

// Told once, after the deciding line and before any box closes the run.
void ExpectOneEnd(const TListenedRun& run, TOutcome outcome, int step, const std::string& line) {
  ASSERT_EQ(run.Events.Ends.size(), 1u);
  const TUpgradeEnd& end = run.End();
  EXPECT_EQ(OutcomeName(end.Outcome), std::string(OutcomeName(outcome)));
  EXPECT_EQ(end.Step, step);
  EXPECT_EQ(app::DecidingLine(end), line);
  EXPECT_EQ(run.Events.Trace.back().rfind("ended ", 0), 0u) << "nothing is told after the end";
}

Strings Blocks(int count, int total) {
  Strings lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back("block " + std::to_string(i) + " " + std::to_string((i + 1) * 1024) + "/" +
                    std::to_string(total * 1024));
  }
  return lines;
}

TEST(UpgradeEvents, SuccessTellsEveryStepCheckBlockAndFlashStepInOrder) {
  TListenedRun run;
  // Every field of the identity its own value, each passing its check.
  run.Box.Identity = {0x00, 0x22, 2, 3, 4, 5, 5, 6, 7, 8, 8, 9, 10, 11, 'D', '2', '3', '0', '9'};
  run.Include.Model = "02.03";
  run.Include.Hardware = "04.06";
  run.Include.Boot = "05.07";
  run.Include.Native = "07.09";
  run.Include.App1 = "09.01";
  run.Begin(5 * 1024 + 77);  // six blocks, two flash steps
  EXPECT_EQ(run.Upgrade(3), "");

  // The mode and its include file first, then the box.
  Strings expected = {"mode 3",
                      "include 0x9FC10000",
                      "image ./image.bin 5197 6",
                      "acknowledged",
                      "arrived 3",
                      "check mode echo passed",
                      "step 1",
                      "identity",
                      "check OUI passed",
                      "check model passed",
                      "check hardware passed",
                      "check boot loader passed",
                      "check native software passed",
                      "check native software major passed",
                      "check application 1 passed",
                      "identity accepted",
                      "addresses 9fc10000 9fc10000",
                      "check download address passed",
                      "check boot loader area passed",
                      "go 9fc10000 6",
                      "step 2",
                      "step 3",
                      "transfer 6 6144"};
  for (const auto& b : Blocks(6, 6)) expected.push_back(b);
  for (const char* l : {"image sent", "step 4", "step 5", "flash 1/2", "flash 2/2", "step 6", "table written",
                        "step 7", "ended upgraded"})
    expected.push_back(l);
  EXPECT_EQ(run.Events.Trace, expected);

  ExpectOneEnd(run, TOutcome::Upgraded, 7, kSuccess);
  EXPECT_EQ(run.End().Sent, 6 * 1024);
  EXPECT_EQ(run.End().Total, 6 * 1024);
  EXPECT_EQ(run.Events.LastLineAtEnd, "Please Turn Off and On the STB set !!!");
  EXPECT_EQ(run.Events.BoxesAtEnd, 0u);  // the congratulation box follows
  EXPECT_TRUE(run.Core().Succeeded());

  const TBoxIdentity& id = run.Events.Identity;
  EXPECT_EQ(id.Record, run.Box.Identity);
  EXPECT_EQ(id.Oui, (std::array<std::uint8_t, 2>{0x00, 0x22}));
  auto pair = [](TVersionPair p) { return std::to_string(p.Major) + "." + std::to_string(p.Minor); };
  EXPECT_EQ(pair(id.Model), "2.3");
  EXPECT_EQ(pair(id.Hardware), "4.5");
  EXPECT_EQ(pair(id.BootLoader), "5.6");
  EXPECT_EQ(pair(id.Native), "7.8");
  EXPECT_EQ(pair(id.Application1), "8.9");
  EXPECT_EQ(pair(id.Application2), "10.11");
  EXPECT_EQ(id.Date, "D2309");
}

TEST(UpgradeEvents, RefusalsNameTheirCheckAndEndBeforeTheBox) {
  using R = TListenedRun;
  struct Case {
    const char* name;
    int mode;
    std::function<void(R&)> setup;
    TCheck check;
    int step;
    std::string line;
    std::size_t boxesBefore;  // boxes shown before the end was told
  } cases[] = {
      {"mode echo", 3, [](R& r) { r.Box.ModeEcho = 5; }, TCheck::ModeEcho, 0,
       "  ERROR:MisMatch Software Number !!", 0},
      {"OUI", 3, [](R& r) { r.Include.Oui = "113344"; }, TCheck::Oui, 1, "  - Invalid OUI !!", 0},
      {"native major", 3, [](R& r) { r.Include.Native = "02.00"; }, TCheck::NativeMajor, 1,
       "  -Native Software Major version is nor same!!", 0},
      {"boot loader area", 3,
       [](R& r) {
         r.Include.Address = "0x9FC00000";
         r.Box.Address = 0x9FC00000;
       },
       TCheck::BootLoaderArea, 1, "  -ERROR:Cannot Write Bootloader Area!!", 0},
      // The operator chose to stop: the warning and the question came first.
      {"address, exit", 3, [](R& r) { r.Box.Address = 0x9FC20000; }, TCheck::Address, 1,
       "  Warning !!!. Download Address MisMatch... !!!", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TListenedRun run;
    c.setup(run);
    run.Begin(3 * 1024);
    EXPECT_EQ(run.Upgrade(c.mode), "");
    ExpectOneEnd(run, TOutcome::Refused, c.step, c.line);
    EXPECT_EQ(run.End().Check, c.check);
    EXPECT_EQ(run.End().Sent, 0);
    EXPECT_EQ(run.End().Total, 3 * 1024);
    const std::string failed = std::string("check ") + CheckName(c.check) + " failed";
    ASSERT_GE(run.Events.Trace.size(), 2u);
    EXPECT_EQ(run.Events.Trace[run.Events.Trace.size() - 2], failed);
    EXPECT_EQ(run.Events.Only("check ").back(), failed);  // no check after the failed one
    EXPECT_EQ(run.Events.LastLineAtEnd, c.line);
    EXPECT_EQ(run.Events.BoxesAtEnd, c.boxesBefore);
    EXPECT_EQ(run.Window.Boxes.size(), c.boxesBefore + 1);
    EXPECT_TRUE(run.Events.Only("go ").empty());
  }
}

TEST(UpgradeEvents, AddressMismatchTheOperatorGoesOnWithPasses) {
  TListenedRun run;
  run.Box.Address = 0x9FC20000;
  run.Window.Answer = TConfirmAnswer::No;
  run.Begin(2 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_EQ(run.Events.Only("addresses"), Strings{"addresses 9fc20000 9fc10000"});
  EXPECT_EQ(run.Events.Only("check download address"), Strings{"check download address passed"});
  EXPECT_EQ(run.Events.Only("go "), Strings{"go 9fc10000 2"});
  ExpectOneEnd(run, TOutcome::Upgraded, 7, kSuccess);
}

TEST(UpgradeEvents, SilenceEndsNoResponseInTheStepItCameIn) {
  struct Case {
    TBoxPhase phase;
    int step;
    long sentBlocks;
  } cases[] = {
      {TBoxPhase::ModeEcho, 0, 0},  // acknowledged, never arrived
      {TBoxPhase::Identity, 1, 0},  {TBoxPhase::GoReply, 1, 0}, {TBoxPhase::DownloadReport, 3, 5},
      {TBoxPhase::RamReport, 4, 5}, {TBoxPhase::Flash, 5, 5},   {TBoxPhase::TableReport, 6, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.phase));
    TListenedRun run;
    run.Box.SilentFrom = c.phase;
    run.Begin(5 * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    ExpectOneEnd(run, TOutcome::NoResponse, c.step, kNoResponse);
    EXPECT_EQ(run.End().Sent, c.sentBlocks * 1024);
    EXPECT_EQ(run.End().Total, 5 * 1024);
    EXPECT_EQ(run.Events.LastLineAtEnd, kNoResponse);
    EXPECT_EQ(run.Events.BoxesAtEnd, 0u);
    EXPECT_EQ(run.Events.Trace.front(), "mode 3");
    EXPECT_EQ(run.Events.OfTheBox().front(), "acknowledged");
    EXPECT_EQ(run.Events.Only("arrived").size(), c.phase == TBoxPhase::ModeEcho ? 0u : 1u);
  }
}

TEST(UpgradeEvents, FailuresNameTheirKindWithTheLineThatDecided) {
  using R = TListenedRun;
  struct Case {
    const char* name;
    std::function<void(R&)> setup;
    TFailure failure;
    int step;
    const char* line;
  } cases[] = {
      {"first block refused", [](R& r) { r.Box.RefuseBlock[0] = 1; }, TFailure::FirstBlockRefused, 3,
       kDownloadFail},
      {"block refused past its resends", [](R& r) { r.Box.RefuseBlock[2] = 1000; }, TFailure::BlockRefused, 3,
       kDownloadFail},
      {"sync digit", [](R& r) { r.Box.WrongSyncAt = 1; }, TFailure::SyncDigit, 3, kDownloadFail},
      {"download report", [](R& r) { r.Box.WrongReport = TBoxReport::Download; }, TFailure::DownloadChecksum,
       3, "  DownLoad BAD CRC !!"},
      {"RAM report", [](R& r) { r.Box.WrongReport = TBoxReport::RamImage; }, TFailure::RamImageChecksum, 4,
       "  Ram Image BAD CRC !!"},
      {"flash step", [](R& r) { r.Box.FlashCharacter = '#'; }, TFailure::FlashWrite, 5,
       "  Flash Write Error !!"},
      {"flash report", [](R& r) { r.Box.WrongReport = TBoxReport::FlashImage; }, TFailure::FlashImageChecksum,
       5, "  Flash Image BAD CRC !!"},
      {"update request", [](R& r) { r.Box.WrongReport = TBoxReport::UpdateRequest; }, TFailure::UpdateRequest,
       6, "  ERROR: Update software version!!!"},
      {"version table", [](R& r) { r.Box.WrongReport = TBoxReport::VersionTable; }, TFailure::VersionTable, 6,
       "  CRC ERROR: Update software version!!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TListenedRun run;
    c.setup(run);
    run.Begin(12 * 1024);  // one sync digit, three flash steps
    EXPECT_EQ(run.Upgrade(3), "");
    ExpectOneEnd(run, TOutcome::Failed, c.step, c.line);
    EXPECT_EQ(FailureName(run.End().Failure), std::string(FailureName(c.failure)));
    EXPECT_EQ(run.Events.LastLineAtEnd, c.line);
    EXPECT_EQ(run.Events.BoxesAtEnd, 0u);  // "Software Upgrade Fail !!!" follows
    EXPECT_EQ(run.Window.Boxes.back(), "message: Software Upgrade Fail !!!");
  }
}

TEST(UpgradeEvents, RefusedBlocksAreToldWithTheirResendsAndEachBlockAcceptedOnce) {
  TListenedRun run;
  run.Box.RefuseBlock[2] = 2;
  run.Begin(4 * 1024);
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_EQ(run.Events.Only("refused"), (Strings{"refused 2 resend 1", "refused 2 resend 2"}));
  EXPECT_EQ(run.Events.Only("block"), Blocks(4, 4));
  ExpectOneEnd(run, TOutcome::Upgraded, 7, kSuccess);

  TListenedRun bounded;
  bounded.Box.RefuseBlock[1] = 1000;
  bounded.Begin(3 * 1024);
  EXPECT_EQ(bounded.Upgrade(3), "");
  const Strings refused = bounded.Events.Only("refused");
  ASSERT_EQ(refused.size(), 11u);  // the first sending and its ten resends
  EXPECT_EQ(refused.back(), "refused 1 resend 11");
  EXPECT_EQ(bounded.End().Sent, 1024);
}

TEST(UpgradeEvents, PortLostIsToldAsSuchWhateverTheLogSays) {
  // During the blocks the log says the download failed.
  TListenedRun run;
  run.Box.HangUpAfterBlock = 6;
  run.Begin(40 * 1024);
  const auto t0 = Clock::now();
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
  ExpectOneEnd(run, TOutcome::Failed, 3, kDownloadFail);
  EXPECT_EQ(FailureName(run.End().Failure), std::string("port lost"));
  EXPECT_GE(run.End().Sent, 6 * 1024);
  EXPECT_LE(run.End().Sent, 7 * 1024);
  EXPECT_EQ(run.End().Total, 40 * 1024);
  // Why, then how it ended, and nothing after.
  const Strings box = run.Events.OfTheBox();
  ASSERT_GE(box.size(), 2u);
  EXPECT_EQ(box[box.size() - 2], "port lost");
  EXPECT_EQ(run.Events.Only("port lost").size(), 1u);
}

TEST(UpgradeEvents, PortLostWhileAReportIsAwaitedIsNoSilenceOfTheBox) {
  // The log says the box did not answer; the port went all the same. The
  // recorded exchange, cut after the last block's answer, on a line that
  // goes away there.
  stb::testing::EnterScriptFolder();
  std::ifstream in(STB_FUZZ_CORPUS "/upgrade/success-two-blocks", std::ios::binary);
  const std::string seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t lastAnswer = seed.rfind("ok.", seed.find("CRC OK. : DownLoad"));
  ASSERT_NE(lastAnswer, std::string::npos);
  TEventTrace events;
  const auto script = stb::testing::RunBoxScript(seed.substr(0, lastAnswer + 3), &events, true);
  EXPECT_EQ(script.Window.Log.back(), kNoResponse);
  ASSERT_EQ(events.Ends.size(), 1u);
  EXPECT_EQ(events.Trace.back(), "ended failed port lost");
  EXPECT_EQ(events.Trace[events.Trace.size() - 2], "port lost");
  EXPECT_EQ(events.Ends[0].Step, 3);
  EXPECT_EQ(app::DecidingLine(events.Ends[0]), kNoResponse);
  EXPECT_EQ(events.Ends[0].Sent, stb::testing::kScriptBlocks * 1024);
}

TEST(UpgradeEvents, APortThatGoesAwayIsNamedInTheLogWhereverItGoes) {
  // The recorded exchange cut at each phase, on a line that goes away
  // there: the log says why, once, just before the line of what failed.
  stb::testing::EnterScriptFolder();
  std::ifstream in(STB_FUZZ_CORPUS "/upgrade/success-two-blocks", std::ios::binary);
  const std::string seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t downloadReport = seed.find("CRC OK. : DownLoad");
  const std::size_t ramReport = seed.find("CRC OK. : Ram Image");
  ASSERT_NE(ramReport, std::string::npos);
  const struct {
    const char* name;
    std::size_t cut;
    const char* failure;
  } cases[] = {
      {"in the identity", 12, "  ERROR: No Response from the Set-Top Box !!"},
      {"after the first block", seed.find("ok.") + 3, "  DownLoad Fail !!"},
      {"waiting for the download report", seed.rfind("ok.", downloadReport) + 3, kNoResponse},
      {"in the flash write", ramReport + std::string("CRC OK. : Ram Image").size(), kNoResponse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto script = stb::testing::RunBoxScript(seed.substr(0, c.cut), nullptr, true);
    const auto& log = script.Window.Log;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), c.failure);
    const std::string& cause = log[log.size() - 2];
    EXPECT_TRUE(cause.starts_with("  ERROR: The COM port ") && cause.ends_with(" went away !!")) << cause;
    EXPECT_EQ(std::count(log.begin(), log.end(), cause), 1);
  }
}

TEST(UpgradeEvents, ImageTroublesEndTheUpgradeBeforeTheErrorIsRaised) {
  constexpr char kChanged[] = "Image file ./image.bin has changed since the include file was read";
  constexpr char kCannotOpen[] = "Cannot open file ./image.bin";
  struct Case {
    const char* name;
    const char* at;  // the log line after which the image is touched
    bool remove;     // else overwritten
    std::string error;
    TFailure failure;
    int step;
    std::string line;
  } cases[] = {
      {"changed before the go message", "  -. Start DATE : D2412 .", false, kChanged, TFailure::ImageChanged,
       1, kChanged},
      {"gone before the go message", "  -. Start DATE : D2412 .", true, kCannotOpen,
       TFailure::ImageUnreadable, 1, kCannotOpen},
      {"changed under the transfer", "  retry : 2 block", false, "", TFailure::ImageChanged, 3,
       "  ERROR: Image file changed during the DownLoad !!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TListenedRun run;
    run.Box.RefuseBlock[2] = 1;
    auto counting = run.Window.OnLog;
    run.Window.OnLog = [&, counting] {
      if (run.Window.Log.back() == c.at) {
        if (c.remove) {
          std::filesystem::remove("image.bin");
        } else {
          // Past the blocks read when a resend is logged.
          std::fstream image("image.bin", std::ios::in | std::ios::out | std::ios::binary);
          image.seekp(4 * 1024 + 10);
          image.write("changed", 7);
        }
      }
      counting();
    };
    run.Begin(5 * 1024);
    EXPECT_EQ(run.Upgrade(3), c.error);
    ExpectOneEnd(run, TOutcome::Failed, c.step, c.line);
    EXPECT_EQ(FailureName(run.End().Failure), std::string(FailureName(c.failure)));
  }
}

TEST(UpgradeEvents, StopFromAnotherThreadEndsTheTransferWithinABlockAndARead) {
  TListenedRun run;
  run.Box.Bps = 115200;  // about 90 ms a frame
  std::mutex mutex;
  std::condition_variable cv;
  bool blockThree = false;
  run.Events.OnBlock = [&](long index) {
    if (index != 3) return;
    std::lock_guard lock(mutex);
    blockThree = true;
    cv.notify_one();
  };
  std::atomic<std::uint64_t> writtenAtEnd{0};
  Clock::time_point endedAt;
  run.Events.OnEnd = [&] {
    endedAt = Clock::now();
    writtenAtEnd = run.Written();
  };
  run.Begin(30 * 1024);

  Clock::time_point stoppedAt;
  std::uint64_t writtenAtStop = 0;
  std::thread stopper([&] {
    std::unique_lock lock(mutex);
    if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return blockThree; })) return;
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));  // in the middle of a frame
    stoppedAt = Clock::now();
    writtenAtStop = run.Written();
    run.Core().RequestStop();
  });
  EXPECT_EQ(run.Upgrade(3), "");
  stopper.join();

  ASSERT_EQ(run.Events.Ends.size(), 1u);
  EXPECT_EQ(run.Events.Trace.back(), "ended stopped");
  EXPECT_TRUE(run.Events.Only("image sent").empty());
  const TUpgradeEnd& end = run.End();
  EXPECT_EQ(end.Outcome, TOutcome::Stopped);
  EXPECT_EQ(end.Step, 3);
  EXPECT_EQ(app::DecidingLine(end), "");
  EXPECT_GE(end.Sent, 4 * 1024);
  EXPECT_LT(end.Sent, 10 * 1024);
  EXPECT_EQ(end.Total, 30 * 1024);
  EXPECT_LT(endedAt - stoppedAt, std::chrono::milliseconds(700));
  // At most the frame on its way when the stop came, then nothing at all.
  EXPECT_LE(writtenAtEnd - writtenAtStop, 1025u);
  EXPECT_EQ(run.Written(), writtenAtEnd.load());
  // Said by whoever stopped it: no line, no box; the window closes.
  EXPECT_EQ(run.Window.Log.back(), "3. Start DownLoad");
  EXPECT_TRUE(run.Window.Boxes.empty());
  EXPECT_TRUE(run.Window.Closed);
  EXPECT_FALSE(run.Core().Succeeded());
}

TEST(UpgradeEvents, StopWhileWaitingLeavesEveryTickIdle) {
  TListenedRun run;
  run.Begin(2 * 1024);
  run.Core().RequestStop();
  const std::uint64_t before = run.Written();
  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_EQ(run.Written(), before);  // not even the wake-up byte
  // The code was typed and its include file read; no box was met.
  EXPECT_EQ(run.Events.Trace, (Strings{"mode 3", "include 0x9FC10000", "image ./image.bin 2048 2"}));
  EXPECT_FALSE(run.Window.TicksStopped);
  EXPECT_EQ(run.Summary().Mode, 0);
}

}  // namespace
}  // namespace stb::upgrade
