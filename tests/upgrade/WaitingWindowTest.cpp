// The window while the upgrade waits for the box, on the in-memory line with
// virtual time: it gets its turn at least every slice in every phase, what
// falls due in that turn (a tick, the link's poll) changes nothing, and a
// tick delivered inside a box of a tick runs no second upgrade.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "BoxScript.h"
#include "ForwardingPlatform.h"
#include "MemorySerialPlatform.h"
#include "SerialLink.h"
#include "Upgrade.h"

namespace stb::testing {
namespace {

std::string RecordedExchange() {
  std::ifstream in(STB_FUZZ_CORPUS "/upgrade/success-two-blocks", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The box's bytes as a slow line hands them over: nothing is there until
// the tool waits, and each wait lets one more byte through.
class TDribblingLine : public serial::TForwardingPlatform {
 public:
  explicit TDribblingLine(std::shared_ptr<serial::ISerialPlatform> line)
      : TForwardingPlatform(std::move(line)) {}
  bool ClearCommError(serial::THandle h, serial::TComStat& stat) override {
    if (!Inner().ClearCommError(h, stat)) return false;
    stat.cbInQue = std::min(stat.cbInQue, visible_);
    return true;
  }
  serial::TIoResult ReadFile(serial::THandle h, std::uint8_t* buffer, std::uint32_t count) override {
    const serial::TIoResult r = Inner().ReadFile(h, buffer, std::min(count, visible_));
    visible_ -= r.Count;
    return r;
  }
  serial::TWaitResult WaitFor(serial::THandle h, serial::TWaitFor what, std::uint32_t ms) override {
    serial::TComStat stat;
    if (what == serial::TWaitFor::Input && Inner().ClearCommError(h, stat) && stat.cbInQue > visible_) {
      ++visible_;
      return serial::TWaitResult::Ready;
    }
    return Inner().WaitFor(h, what, ms);
  }

 private:
  std::uint32_t visible_ = 0;
};

// One run on the in-memory line, the mode typed, ticked by the test.
struct TLineRun {
  // `dribbling`: the box's bytes come one at a time (TDribblingLine).
  explicit TLineRun(std::string fromBox, bool dribbling = false)
      : line(std::make_shared<TMemorySerialPlatform>(std::move(fromBox))),
        ticker(new serial::TManualTicker),
        link(serial::TSerialLinkSeams{dribbling ? std::make_shared<TDribblingLine>(line)
                                                : std::shared_ptr<serial::ISerialPlatform>(line),
                                      std::unique_ptr<serial::IPeriodicTimer>(ticker), line->Clock()}),
        upgrade(link, window, line->Clock()) {
    EnterScriptFolder();
    window.Answer = upgrade::TConfirmAnswer::No;
    window.Listen(upgrade);
    upgrade.SetResponseTimeoutMs(2000);
    upgrade.StartUp();
    for (char c : std::string("APP103")) upgrade.KeyPress(c);
  }
  // Between two ticks the window's own loop runs: AfterTick.
  void Ticks(int n) {
    for (int i = 0; i < n && !window.Closed; ++i) {
      upgrade.Tick();
      if (AfterTick) AfterTick();
    }
  }
  long Count(const std::string& line) const { return std::count(window.Log.begin(), window.Log.end(), line); }

  std::shared_ptr<TMemorySerialPlatform> line;
  serial::TManualTicker* ticker;  // owned by the link
  serial::TSerialLink link;
  TRecordingWindow window;
  upgrade::TUpgrade upgrade;
  std::function<void()> AfterTick;
};

// The longest stretch of virtual time the window went without its turn,
// from the first tick to the end of the run.
struct TTurns {
  explicit TTurns(TLineRun& run) : run_(run) {
    run.window.OnKeepAnswering = [this] { Turn(); };
    run.AfterTick = [this] { Turn(); };
  }
  void Turn() {
    longest = std::max(longest, run_.line->ElapsedMs() - last_);
    last_ = run_.line->ElapsedMs();
  }
  std::uint64_t longest = 0;

 private:
  TLineRun& run_;
  std::uint64_t last_ = 0;
};

std::string Cut(const std::string& script, const std::string& before) {
  const auto at = script.find(before);
  EXPECT_NE(at, std::string::npos) << before;
  return script.substr(0, at);
}

TEST(WaitingWindow, HasItsTurnAtLeastEverySliceAndWhatFallsDueThenChangesNothing) {
  const std::string full = RecordedExchange();
  const struct {
    const char* where;
    std::string script;
  } silences[] = {
      {"acknowledgement", ""},
      {"identity", full.substr(0, full.find("ACK") + 4)},
      {"block answer", Cut(full, "ok.")},
      {"download report", Cut(full, "CRC OK. : DownLoad")},
      {"flash", Cut(full, "@")},
      {"flash report", Cut(full, "CRC OK. : Flash image")},
      {"version table marker", Cut(full, "\x1E")},
      {"table report", Cut(full, "CRC OK. : Version Table")},
  };
  for (const auto& silence : silences) {
    SCOPED_TRACE(silence.where);
    TLineRun quiet(silence.script);
    TTurns turns(quiet);
    quiet.Ticks(3);
    EXPECT_GT(quiet.window.Answerings, 0);
    EXPECT_LE(turns.longest, upgrade::kAnsweringSliceMs + 2);
    EXPECT_GE(quiet.line->ElapsedMs(), upgrade::protocol::kBlockAnswerTimeoutMs);

    // The worst a window can let through in its turn: the tick timer and
    // the link's poll, each time.
    TLineRun busy(silence.script);
    busy.window.OnKeepAnswering = [&] {
      busy.ticker->Tick();
      busy.upgrade.Tick();
    };
    busy.Ticks(3);
    EXPECT_EQ(busy.line->FromTool(), quiet.line->FromTool());
    EXPECT_EQ(busy.window.Log, quiet.window.Log);
    EXPECT_EQ(busy.window.Boxes, quiet.window.Boxes);
  }
}

TEST(WaitingWindow, ATickInsideTheConnectionBoxRunsNoSecondUpgrade) {
  // Two boxes' worth of answers on the line: whatever announces meets one.
  TLineRun run(RecordedExchange() + RecordedExchange());
  // The adapter is pulled while the tool waits: the next tick loses the
  // port, the one after shows the connection box.
  run.line->Present = false;
  run.upgrade.Tick();
  ASSERT_FALSE(run.link.IsPortOpen());
  int boxTicks = 0;
  run.window.OnBox = [&](const std::string& text) {
    if (text != upgrade::kCannotConnect) return;
    // Put back while the box is open, and the box's loop delivers ticks.
    run.line->Present = true;
    for (int i = 0; i < 3; ++i, ++boxTicks) run.upgrade.Tick();
  };
  run.Ticks(4);

  EXPECT_EQ(boxTicks, 3);
  EXPECT_EQ(run.Count("1. Check Machine"), 1);
  EXPECT_EQ(run.Count("Congraturation! Software Upgrade OK !!!"), 1);
  EXPECT_EQ(std::count(run.window.Boxes.begin(), run.window.Boxes.end(),
                       "message: Congraturation! Software Upgrade OK !!!!"),
            1);
  EXPECT_TRUE(run.upgrade.Succeeded());
}

TEST(WaitingWindow, AnswersThatComeInPiecesAreTheSameAnswers) {
  // The block answers, the sync digits and every other answer taken byte by
  // byte, a wait before each: the same exchange as when each came whole.
  TLineRun whole(RecordedExchange());
  whole.Ticks(3);
  TLineRun pieces(RecordedExchange(), true);
  pieces.Ticks(3);
  ASSERT_TRUE(whole.upgrade.Succeeded());
  EXPECT_TRUE(pieces.upgrade.Succeeded());
  EXPECT_EQ(pieces.line->FromTool(), whole.line->FromTool());
  EXPECT_EQ(pieces.window.Log, whole.window.Log);
  EXPECT_EQ(pieces.Count("  retry : 1 block"), 0);
}

}  // namespace
}  // namespace stb::testing
