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
#include "StationWindowLayout.h"
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
  ASSERT_EQ(model.Ports().size(), 2u);  // shown, waiting for the code
  EXPECT_EQ(model.Ports()[0].State, "waiting for the code");
  EXPECT_EQ(bench.boxes[0]->Summary().Mode, 0);

  EXPECT_EQ(model.EnterCode("APP103"), "");
  EXPECT_FALSE(model.WaitsForCode());
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Counters().Total == 2; }));

  const auto ports = model.Ports();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(StatusOf(ports[0]), TPortStatus::Passed);
  EXPECT_EQ(StatusOf(ports[1]), TPortStatus::Refused);
  const TTileText passed = TileText(ports[0]);
  EXPECT_EQ(passed.Port, bench.ports[0]);
  EXPECT_EQ(passed.Step, "7. Update Version Table OK");
  EXPECT_EQ(passed.Identity, "model 1.0  hardware 1.0");
  EXPECT_EQ(passed.Before, "before: boot 1.0 nat 1.0 app 1.0/1.0");
  EXPECT_EQ(passed.After, "after: boot 1.0 nat 1.5 app 1.7/1.8");
  EXPECT_EQ(passed.Outcome, "upgraded: Congraturation! Software Upgrade OK !!!");
  EXPECT_EQ(passed.Counters, "upgraded 1  refused 0  failed 0");
  EXPECT_TRUE(passed.Pace.empty());
  const TTileText refused = TileText(ports[1]);
  EXPECT_EQ(refused.Outcome.rfind("refused: ", 0), 0u) << refused.Outcome;
  EXPECT_TRUE(refused.After.empty());  // nothing was written to it
  // Refused in its tile and counted as refused, as the console and the
  // report name it: not "failed".
  EXPECT_EQ(TileNote(refused), refused.Outcome);
  EXPECT_EQ(refused.Outcome, "refused:   - Invalid OUI !!");
  EXPECT_EQ(refused.Counters, "upgraded 0  refused 1  failed 0");
  EXPECT_TRUE(std::filesystem::exists(ports[0].LogFile)) << ports[0].LogFile;

  const auto counters = model.Counters();
  EXPECT_EQ(counters.Upgraded, 1);
  EXPECT_EQ(counters.Refused, 1);
  EXPECT_EQ(counters.Failed, 0);
  EXPECT_EQ(counters.Running, 0);
  EXPECT_EQ(TStationWindowModel::CountersLine(counters).rfind(
                "upgraded 1   refused 1   failed 0   total 2   running 0   time 0:00:", 0),
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
  EXPECT_EQ(model.Counters().Upgraded, 1);
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

TEST(StationWindowModel, EveryResultHasItsOwnWordAndRefusedItsOwnColour) {
  TPortView v;
  v.Port = "COM3";
  v.State = "waiting for box";
  const std::pair<const char*, const char*> results[] = {{"upgraded", "upgraded"},
                                                         {"refused", "refused"},
                                                         {"failed", "failed"},
                                                         {"no response", "no response"},
                                                         {"failed (stopped)", "stopped"}};
  for (const auto& [last, word] : results) {
    v.Last = last;
    v.Reason = "why";
    EXPECT_EQ(TileText(v).State, word) << last;
    EXPECT_EQ(TileText(v).Outcome, std::string(word) + ": why");
  }
  // A box taken off: the next one is awaited, the tile keeps the last result.
  v.Last = "refused";
  EXPECT_EQ(StatusOf(v), TPortStatus::Refused);
  namespace s = layout::station;
  const auto colour = [](TPortStatus status) {
    const layout::TRgb c = s::kStatusColors[static_cast<int>(status)];
    return (c.R << 16) | (c.G << 8) | c.B;
  };
  for (const auto other : {TPortStatus::Waiting, TPortStatus::Upgrading, TPortStatus::Passed,
                           TPortStatus::Failed, TPortStatus::Gone}) {
    EXPECT_NE(colour(TPortStatus::Refused), colour(other)) << static_cast<int>(other);
  }
}

TEST(StationWindowModel, TheNamedPortsShowBeforeACodeAndAPortThatWillNotOpenSaysWhy) {
  TWindowBench bench;
  bench.AddBox();
  std::filesystem::create_directory("port");  // there, but no serial port
  const std::string unopenable = (std::filesystem::current_path() / "port").string();
  TOptions options = bench.Options();
  options.Ports = {bench.ports[0], unopenable, "all", bench.ports[0]};
  TStationWindowModel model(
      options, [] { return std::vector<std::string>{}; }, nullptr);
  EXPECT_EQ(model.Begin(), "");
  for (int i = 0; i < 5; ++i) model.Turn();
  auto ports = model.Ports();
  ASSERT_EQ(ports.size(), 2u);  // each named port once, "all" none yet
  EXPECT_EQ(ports[0].Port, bench.ports[0]);
  EXPECT_EQ(ports[1].Port, unopenable);
  EXPECT_EQ(TileText(ports[0]).State, "waiting for the code");
  EXPECT_EQ(StatusOf(ports[0]), TPortStatus::Waiting);
  // Shown, not touched: the box has heard nothing.
  EXPECT_EQ(bench.boxes[0]->Summary().Mode, 0);
  EXPECT_FALSE(std::filesystem::exists("logs"));

  EXPECT_EQ(model.EnterCode("APP103"), "");
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] {
    ports = model.Ports();
    return ports.size() == 2 && !ports[1].Why.empty() && model.Counters().Total == 1;
  })) << (ports.size() == 2 ? ports[1].State : "");
  // The reason the console gives, in the tile's note and its details.
  const TTileText tile = TileText(ports[1]);
  EXPECT_EQ(tile.State, "cannot open");
  EXPECT_EQ(StatusOf(ports[1]), TPortStatus::Gone);
  EXPECT_NE(TileNote(tile).find("cannot open " + unopenable), std::string::npos) << TileNote(tile);
  EXPECT_NE(TileDetails(tile).find(TileNote(tile)), std::string::npos);
  EXPECT_EQ(TileDetails(tile).substr(0, unopenable.size() + 13), unopenable + "\ncannot open\n");
}

TEST(StationWindowModel, StopTakingBoxesLeavesABoxOnItsPortAloneAndTakeBoxesAgainTakesTheNext) {
  TWindowBench bench;
  sim::TBoxConfig line;
  line.Boxes = 2;
  line.StayOnMs = 1500;  // left on after its upgrade, then swapped
  line.OffMs = 3500;     // gone for the 3 s a port waits to be sure
  bench.AddBox(line);
  TOptions options = bench.Options();
  options.Code = "APP103";
  TStationWindowModel model(options, {}, nullptr);
  EXPECT_EQ(model.Begin(), "");
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Counters().Total == 1; }));
  model.StopTakingBoxes();
  EXPECT_TRUE(model.Paused());
  EXPECT_EQ(model.StatusLine(), "taking no new boxes: 0 upgrade(s) under way");
  // The second box comes and waits: it is not taken, and the station does
  // not end either.
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Ports()[0].State == "taking no boxes"; }));
  const auto idle = std::chrono::steady_clock::now() + 4s;
  TWindowBench::TurnUntil(model, [&] { return std::chrono::steady_clock::now() > idle; });
  EXPECT_EQ(model.Counters().Total, 1);
  EXPECT_FALSE(model.Ended());
  EXPECT_EQ(TileText(model.Ports()[0]).State, "taking no boxes");

  model.TakeBoxesAgain();
  EXPECT_FALSE(model.Paused());
  EXPECT_EQ(model.StatusLine(), "taking boxes");
  ASSERT_TRUE(TWindowBench::TurnUntil(model, [&] { return model.Counters().Upgraded == 2; }));
  // The report's own thread writes the line after the counters have it.
  EXPECT_TRUE(TWindowBench::TurnUntil(model, [&] { return ReportLines() == 2u; })) << ReportLines();

  // Stopped again, the close is not undone by the button.
  model.StopTakingBoxes();
  EXPECT_EQ(model.CloseRequested(), TStationWindowModel::TClose::Now);
  model.TakeBoxesAgain();
  ASSERT_TRUE(TWindowBench::TurnUntil(
      model, [&] { return model.Closes(); }, 10s));
  EXPECT_EQ(model.ExitStatus(), kExitUpgraded);
}

}  // namespace
}  // namespace stb::app
