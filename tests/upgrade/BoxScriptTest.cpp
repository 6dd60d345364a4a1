// The recorded exchange the upgrade fuzzer starts from, played through the
// in-memory line: it must succeed, and each small damage to it must fail
// with its own line, without any real waiting.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "BoxScript.h"

namespace stb::testing {
namespace {

std::string RecordedExchange() {
  std::ifstream in(STB_FUZZ_CORPUS "/upgrade/success-two-blocks", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Replaced(std::string s, const std::string& from, const std::string& to) {
  s.replace(s.find(from), from.size(), to);
  return s;
}

TEST(BoxScript, RecordedExchangeSucceeds) {
  EnterScriptFolder();
  const TScriptRun run = RunBoxScript(RecordedExchange());
  EXPECT_TRUE(run.Succeeded);
  EXPECT_EQ(run.Window.Log.back(), "Please Turn Off and On the STB set !!!");
  EXPECT_EQ(run.FromTool.substr(0, 6),
            "\x1F"
            "APPL1");
}

TEST(BoxScript, NoPollDuringTheUpgradeTakesTheBoxsBytes) {
  EnterScriptFolder();
  // The box's later bytes are on the line at every pump of the window, and
  // the link's poll falls due there; had it run, it would have dropped the
  // next block's answer and the reports after it.
  const TScriptRun run = RunBoxScript(RecordedExchange());
  EXPECT_GT(run.PollsWithInputWaiting, 0);
  EXPECT_TRUE(run.Succeeded);
  // Once the upgrade is over the link polls again: a refusal leaves the rest
  // of what the box sent unread, and the next poll takes it.
  const TScriptRun refused = RunBoxScript(
      Replaced(RecordedExchange(), std::string("\x03\x00\x22", 3), std::string("\x03\x00\x33", 3)));
  EXPECT_EQ(refused.Window.Log.back(), "  - Invalid OUI !!");
  EXPECT_TRUE(refused.PolledAfterRun);
}

TEST(BoxScript, DamagedExchangesFailWithTheirLines) {
  EnterScriptFolder();
  struct Case {
    const char* from;
    const char* to;
    const char* line;
  } cases[] = {
      {"ok.ok.", "ok.", "  DownLoad Fail !!"},  // the second block never answered
      {"Ram Image", "RAM Image", "  Ram Image BAD CRC !!"},
      {"\x1e", "", "  ERROR: No Response from the Set-Top Box !!"},
      {"Version Table !!", "Version Table !", "  CRC ERROR: Update software version!!!"},
  };
  for (const auto& c : cases) {
    const TScriptRun run = RunBoxScript(Replaced(RecordedExchange(), c.from, c.to));
    EXPECT_FALSE(run.Succeeded) << c.line;
    EXPECT_EQ(run.Window.Log.back(), c.line);
    EXPECT_EQ(run.Window.Boxes.back(), "message: Software Upgrade Fail !!!");
  }
  // Silence from the start of the identity record: a bounded wait in virtual time.
  const TScriptRun silent = RunBoxScript(RecordedExchange().substr(0, 10));
  EXPECT_EQ(silent.Window.Log.back(), "  ERROR: No Response from the Set-Top Box !!");
  EXPECT_LT(silent.ElapsedMs, 5000u);
}

}  // namespace
}  // namespace stb::testing
