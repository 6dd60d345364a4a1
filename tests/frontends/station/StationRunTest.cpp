// A station whose process is ended from outside within seconds whatever it
// does (on Windows, a closed console): what can end in that time ends, the
// rest says where it stood, and the summary comes before the time is up.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "BoxSim.h"
#include "ExitStatus.h"
#include "ScratchDir.h"
#include "StationRun.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The report line of the box on `port`.
std::string ReportOf(const std::string& port) {
  for (const auto& line : Lines("report.jsonl")) {
    if (Contains(line, "\"port\":\"" + port + "\"")) return line;
  }
  return "<none>";
}

// Out of line: GCC 12 takes two inlined TBoxConfig constructions in one
// function for reads of uninitialized memory.
[[gnu::noinline]] sim::TBoxConfig Paced(int flashStepMs) {
  sim::TBoxConfig config;
  config.Bps = 115200;
  config.FlashStepDelayMs = flashStepMs;
  return config;
}

struct TClosingStation {
  stb::testing::TScratchDir dir;
  TOptions options;

  TClosingStation() {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(12000, 'q'));
    options.Code = "APP103";
    options.LogDir = "logs";
    options.Report = "report.jsonl";
  }
};

TEST(StationRun, AnEndThatCannotBePutOffLetsWhatCanEndEndAndSaysWhereTheRestStood) {
  TClosingStation station;
  // 12 blocks, about a second at 115200 bit/s, then a flash write: at once,
  // or of three steps of 3 s each.
  sim::TBoxSim quickBox(Paced(0));
  sim::TBoxSim slowBox(Paced(3000));
  quickBox.Start();
  slowBox.Start();
  station.options.Ports = {quickBox.DevicePath(), slowBox.DevicePath()};
  TStationRun run(station.options, {}, false);
  std::string why;
  ASSERT_EQ(run.Start(why), -1) << why;
  const auto until = std::chrono::steady_clock::now() + 10s;
  auto downloading = [&] {
    const auto views = run.Snapshot();
    return views.size() == 2 && views[0].Running && views[1].Running;
  };
  while (!downloading() && std::chrono::steady_clock::now() < until) {
    run.Turn();
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(downloading());

  // As Windows allows after a closed console.
  const auto closed = std::chrono::steady_clock::now();
  const int status = run.EndWithin("console close", 4300ms);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 4300ms);
  EXPECT_EQ(status, kExitFailed);

  EXPECT_TRUE(quickBox.WaitFinished(1000));
  EXPECT_EQ(quickBox.Summary().End, "done");
  EXPECT_TRUE(Contains(ReportOf(quickBox.DevicePath()), "\"result\":\"upgraded\""))
      << ReportOf(quickBox.DevicePath());
  const std::string stopped = ReportOf(slowBox.DevicePath());
  EXPECT_TRUE(Contains(stopped, "\"result\":\"failed\"")) << stopped;
  EXPECT_TRUE(Contains(
      stopped, R"("decided_by":"stb-downloader: stopped by console close after \"5. Ram Image CRC OK\", )"))
      << stopped;
  EXPECT_TRUE(Contains(stopped, "bytes sent; the box may be left unusable")) << stopped;
  slowBox.Stop();
  quickBox.Stop();
}

TEST(StationRun, AnEndThatCannotBePutOffWithNothingUnderWayWaitsForNothing) {
  TClosingStation station;
  sim::TBoxConfig off;
  off.SilentFrom = sim::TBoxPhase::Acknowledge;  // a port with no box answering
  sim::TBoxSim nobody(off);
  nobody.Start();
  station.options.Ports = {nobody.DevicePath()};
  TStationRun run(station.options, {}, false);
  std::string why;
  ASSERT_EQ(run.Start(why), -1) << why;
  for (int i = 0; i < 25; ++i) {
    run.Turn();
    std::this_thread::sleep_for(20ms);
  }
  const auto closed = std::chrono::steady_clock::now();
  EXPECT_EQ(run.EndWithin("console close", 4300ms), kExitUpgraded);
  // Its port between boxes ends within a second.
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 1500ms);
  EXPECT_TRUE(Lines("report.jsonl").empty());
  nobody.Stop();
}

}  // namespace
}  // namespace stb::app
