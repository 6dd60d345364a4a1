// What both station windows do, driven as a window's timer drives it, over
// simulated boxes on pseudo-terminals in this process: the code typed and
// checked before any port is touched, the tiles' states and texts, the
// counters, and a close that never abandons a box.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "BoxSim.h"
#include "ExitStatus.h"
#include "ScratchDir.h"
#include "StationTileText.h"
#include "StationWindowModel.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;

struct TWindowBench {
  stb::testing::TScratchDir dir;
  std::vector<std::unique_ptr<sim::TBoxSim>> boxes;
  std::vector<std::string> ports;

  explicit TWindowBench(std::size_t imageBytes = 6000) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.05", "01.07",
                                   "01.08",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'q'));
  }
  ~TWindowBench() {
    for (auto& b : boxes) b->Stop();
  }
  void AddBox(const sim::TBoxConfig& config = {}) {
    boxes.push_back(std::make_unique<sim::TBoxSim>(config));
    boxes.back()->Start();
    ports.push_back(boxes.back()->DevicePath());
  }
  TOptions Options() const {
    TOptions options;
    options.Station = true;
    options.Window = true;
    options.Ports = ports;
    options.LogDir = "logs";
    options.Report = "report.jsonl";
    options.ResponseTimeoutMs = 700;
    return options;
  }
  // Turns the model as the window's timer would until `done` holds.
  static bool TurnUntil(TStationWindowModel& model, const std::function<bool()>& done,
                        std::chrono::milliseconds limit = 20s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      model.Turn();
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
};

std::size_t ReportLines() {
  std::ifstream in("report.jsonl");
  std::size_t n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

TEST(StationWindowModel, AWrongCodeTouchesNoPortAndTheRightOneUpgradesTheBoxes) {
  TWindowBench bench;
  bench.AddBox();
  sim::TBoxConfig refusing;
  refusing.Identity[1] = 0x33;  // another maker
  bench.AddBox(refusing);
  TStationWindowModel model(bench.Options(), {}, nullptr);
  EXPECT_EQ(model.Begin(), "");  // no --code: one is to be typed
  EXPECT_TRUE(model.WaitsForCode());

  EXPECT_EQ(model.EnterCode("ZZZ999"), "This code chooses no mode. Type the code again.");
  EXPECT_TRUE(model.WaitsForCode());
  for (int i = 0; i < 10; ++i) {
    model.Turn();
    std::this_thread::sleep_for(50ms);
  }
  // No port was opened: no log, no report, and the boxes never heard a word.
  EXPECT_FALSE(std::filesystem::exists("logs"));
  EXPECT_TRUE(model.Ports().empty());
  EXPECT_EQ(bench.boxes[0]->Summary().Mode, 0);

  EXPECT_EQ(model.EnterCode("APP103"), "");
  EXPECT_FALSE(model.WaitsForCode());
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Counters().Total == 2; }));

  const auto ports = model.Ports();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(StatusOf(ports[0]), TPortStatus::Passed);
  EXPECT_EQ(StatusOf(ports[1]), TPortStatus::Failed);
  const TTileText passed = TileText(ports[0]);
  EXPECT_EQ(passed.Port, bench.ports[0]);
  EXPECT_EQ(passed.Step, "7. Update Version Table OK");
  EXPECT_EQ(passed.Identity, "model 1.0  hardware 1.0");
  EXPECT_EQ(passed.Before, "before: boot 1.0 nat 1.0 app 1.0/1.0");
  EXPECT_EQ(passed.After, "after: boot 1.0 nat 1.5 app 1.7/1.8");
  EXPECT_EQ(passed.Outcome, "upgraded: Congraturation! Software Upgrade OK !!!");
  EXPECT_EQ(passed.Counters, "passed 1  failed 0  total 1");
  EXPECT_TRUE(passed.Pace.empty());
  const TTileText refused = TileText(ports[1]);
  EXPECT_EQ(refused.Outcome.rfind("refused: ", 0), 0u) << refused.Outcome;
  EXPECT_TRUE(refused.After.empty());  // nothing was written to it
  EXPECT_EQ(refused.Counters, "passed 0  failed 1  total 1");
  EXPECT_TRUE(std::filesystem::exists(ports[0].LogFile)) << ports[0].LogFile;

  const auto counters = model.Counters();
  EXPECT_EQ(counters.Passed, 1);
  EXPECT_EQ(counters.Failed, 1);
  EXPECT_EQ(counters.Running, 0);
  EXPECT_EQ(TStationWindowModel::CountersLine(counters).rfind(
                "passed 1   failed 1   total 2   running 0   time 0:00:", 0),
            0u);

  // Nothing under way: the window closes at once, once the ports let go.
  EXPECT_EQ(model.CloseRequested(), TStationWindowModel::TClose::Now);
  ASSERT_TRUE(TWindowBench::TurnUntil(
      model, [&] { return model.Closes(); }, 10s));
  EXPECT_EQ(model.ExitStatus(), kExitFailed);  // one box was refused
  EXPECT_EQ(ReportLines(), 2u);
}

TEST(StationWindowModel, AWindowClosedDuringAnUpgradeAsksOnceAndClosesOnlyWhenTheBoxHasItsImage) {
  TWindowBench bench(60000);
  sim::TBoxConfig paced;
  paced.Bps = 115200;  // about five seconds for the image
  bench.AddBox(paced);
  TOptions options = bench.Options();
  options.Code = "APP103";
  TStationWindowModel model(options, {}, nullptr);
  EXPECT_EQ(model.Begin(), "");
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Counters().Running == 1; }));
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return !TileText(model.Ports()[0]).Pace.empty(); }));
  EXPECT_EQ(StatusOf(model.Ports()[0]), TPortStatus::Upgrading);

  EXPECT_EQ(model.CloseRequested(), TStationWindowModel::TClose::Ask);
  model.CloseConfirmed();
  EXPECT_EQ(model.StopLevel(), kNoNewBoxes);
  // Asked once: a second close waits with the first.
  EXPECT_EQ(model.CloseRequested(), TStationWindowModel::TClose::Waiting);
  EXPECT_EQ(model.StatusLine(), "closing when the last upgrade ends: 1 under way");
  model.Turn();
  EXPECT_FALSE(model.Closes());

  ASSERT_TRUE(TWindowBench::TurnUntil(
      model, [&] { return model.Closes(); }, 30s));
  EXPECT_EQ(bench.boxes[0]->Summary().End, "done");
  EXPECT_EQ(model.ExitStatus(), kExitUpgraded);
  EXPECT_EQ(model.Counters().Passed, 1);
  EXPECT_EQ(ReportLines(), 1u);
}

TEST(StationWindowModel, AClosedWindowWithoutACodeClosesAtOnceAndAPortNotThereIsGone) {
  {
    TWindowBench bench;
    bench.ports.push_back("/dev/stb-no-such-port");
    TStationWindowModel model(bench.Options(), {}, nullptr);
    EXPECT_EQ(model.CloseRequested(), TStationWindowModel::TClose::Now);
    EXPECT_TRUE(model.Closes());
    EXPECT_EQ(model.ExitStatus(), kExitUsage);
  }
  TWindowBench bench;
  bench.ports.push_back("/dev/stb-no-such-port");
  TOptions options = bench.Options();
  options.Code = "APP103";
  TStationWindowModel model(options, {}, nullptr);
  EXPECT_EQ(model.Begin(), "");
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] {
    const auto ports = model.Ports();
    return !ports.empty() && StatusOf(ports[0]) == TPortStatus::Gone;
  }));
  EXPECT_EQ(TileText(model.Ports()[0]).State, "no port");
  model.StopTakingBoxes();
  EXPECT_EQ(model.StatusLine(), "taking no new boxes: 0 upgrade(s) under way");
}

TEST(StationWindowModel, AWindowTornDownWhileItsPortsWaitForBoxesLeavesNoThreadBehind) {
  TWindowBench bench;
  sim::TBoxConfig silent;
  silent.SilentFrom = sim::TBoxPhase::Acknowledge;  // the port waits for a box that never answers
  bench.AddBox(silent);
  TOptions options = bench.Options();
  options.Code = "APP103";
  const auto start = std::chrono::steady_clock::now();
  {
    TStationWindowModel model(options, {}, nullptr);
    EXPECT_EQ(model.Begin(), "");
    ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Ports()[0].State == "waiting for box"; }));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace stb::app
