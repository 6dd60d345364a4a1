// Start-up, choosing the mode by typed code, and what the ticks send before
// the box answers.
#include <gtest/gtest.h>

#include <filesystem>

#include "ModeTable.h"
#include "PtyPair.h"
#include "RecordingWindow.h"
#include "RunError.h"
#include "ScratchDir.h"
#include "Upgrade.h"

namespace stb::upgrade {
namespace {

using stb::testing::TPtyPair;
using stb::testing::TRecordingWindow;
using stb::testing::TScratchDir;

struct TStarted {
  TPtyPair pty;
  TScratchDir dir;
  TRecordingWindow window;
  serial::TSerialLink link;
  TUpgrade upgrade{link, window};

  TStarted() {
    window.Listen(upgrade);
    link.SetDevicePath(pty.DevicePath());
    link.SetInputTimeout(20);
    for (const auto& mode : kModeTable) {
      const std::string lines[12] = {"001122", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                     "01.00",  "D0101", "label", "./image.bin", "3",     "0x80010000"};
      dir.Write(std::string(mode.IncludeFile), stb::testing::IncludeText(lines));
    }
    dir.Write("image.bin", std::string(5000, 'i'));
    upgrade.StartUp();
    window.Log.clear();
    window.Counters.clear();
  }
  // Types each character; returns the error text the last one raised, if any.
  std::string Type(const std::string& text) {
    std::string error;
    for (char c : text) {
      try {
        upgrade.KeyPress(c);
      } catch (const ERunError& e) {
        error = e.what();
      }
    }
    return error;
  }
};

TEST(StartUp, DirectionsCounterAndPort) {
  TPtyPair pty;
  TRecordingWindow window;
  serial::TSerialLink link;
  link.SetDevicePath(pty.DevicePath());
  TUpgrade upgrade(link, window);
  window.Listen(upgrade);
  EXPECT_TRUE(upgrade.StartUp());
  EXPECT_TRUE(link.IsPortOpen());
  EXPECT_TRUE(window.Boxes.empty());
  ASSERT_EQ(window.Log.size(), 13u);
  EXPECT_EQ(window.Log[0], "WARNING !!! --- Check DOWNLOAD ADDRESS");
  EXPECT_EQ(window.Log[2],
            "WARNING !!! --- And modify the download address of the  include file(./inc/XXXX.inc).");
  EXPECT_EQ(window.Log[3], "  ");
  EXPECT_EQ(window.Log[5], std::string(73, '-'));
  EXPECT_EQ(window.Log[6], " <<< DIRECTIONS >>> ");
  EXPECT_EQ(window.Log[9], "    It is not displayed.");
  EXPECT_EQ(window.Log[12], std::string(73, '-'));
  EXPECT_EQ(window.Counters, std::vector<std::string>{"( 0 / 0 )"});
  EXPECT_EQ(upgrade.Record().DownloadMode, 0);
  EXPECT_EQ(upgrade.Record().ModeMatch[2].MatchPos, 1);
}

TEST(StartUp, PortThatCannotBeOpenedIsReportedAndStartUpGoesOn) {
  TRecordingWindow window;
  serial::TSerialLink link;
  link.SetDevicePath("/dev/does-not-exist-stb");
  TUpgrade upgrade(link, window);
  window.Listen(upgrade);
  EXPECT_FALSE(upgrade.StartUp());
  EXPECT_EQ(window.Boxes,
            std::vector<std::string>{"message: Error: could not connect.  Check COM port settings"});
  EXPECT_EQ(window.Log.size(), 13u);
  upgrade.Tick();  // a tick on the closed port is a quiet no-op
}

TEST(ModeSelection, EachCodeChoosesItsModeAndReadsItsIncludeFile) {
  for (int mode = 1; mode <= 8; ++mode) {
    TStarted s;
    EXPECT_EQ(s.Type(std::string(ModeEntry(mode).Code)), "");
    EXPECT_EQ(s.upgrade.Record().DownloadMode, mode);
    ASSERT_EQ(s.window.Log.size(), 2u);
    EXPECT_EQ(s.window.Log[0], ModeEntry(mode).Line);  // before anything the reading logs
    EXPECT_EQ(s.window.Log[1], "  The Download Address is 0x80010000 in the include file(./inc/xxxx.inc).");
    EXPECT_EQ(s.window.Counters.back(), "( 0 / 5120 )");
  }
}

TEST(ModeSelection, RestartRuleCaseAndEditingKeys) {
  struct Case {
    const char* typed;
    int mode;
  } cases[] = {
      {"xyz!APP103", 3},     // noise before a code does not matter
      {"app103", 0},         // letter case matters
      {"AAPP103", 0},        // a doubled first character is a wrong second one
      {"AAPP103APP103", 3},  // typed again in full, it is recognised
      {"APP1x03", 0},        // interrupted by one wrong character
      {"APP1x\b03", 0},      // backspace undoes nothing
      {"APP1x\b03\rAPP103", 3},
      {"BOOT0APP204", 4},
      {"GUID06", 6},
      {"APPAPP103", 0},        // the second A is a wrong fourth character, not a new start
      {"APPAPP103APP103", 3},  // until the code is typed again
      {"NATV02BOOT01", 2},     // a code after a complete one changes nothing
  };
  for (const auto& c : cases) {
    TStarted s;
    s.Type(c.typed);
    EXPECT_EQ(s.upgrade.Record().DownloadMode, c.mode) << c.typed;
    // The pure answer agrees with the key handler, character for character.
    EXPECT_EQ(ModeForCode(c.typed), c.mode) << c.typed;
  }
}

TEST(ModeSelection, ModeForCodeIsTheModeTablesOwnAnswer) {
  for (int mode = 1; mode <= 8; ++mode) {
    const std::string code(ModeEntry(mode).Code);
    EXPECT_EQ(ModeForCode(code), mode) << code;
    EXPECT_EQ(ModeForCode(code.substr(0, 5)), 0) << code;
    EXPECT_EQ(ModeForCode("x" + code + "BOOT01"), mode) << code;
  }
  EXPECT_EQ(ModeForCode(""), 0);
  EXPECT_EQ(ModeForCode("boot01"), 0);
  EXPECT_EQ(ModeForCode(std::string("APP1\0"
                                    "03",
                                    7)),
            0);
}

TEST(ModeSelection, AChosenModeIgnoresEverythingTypedAfterIt) {
  TStarted s;
  s.Type("NATV02");
  ASSERT_EQ(s.upgrade.Record().DownloadMode, 2);
  const auto logged = s.window.Log.size();
  const int pos = s.upgrade.Record().ModeMatch[0].MatchPos;
  s.Type("BOOT01NATV02RSVD08");
  EXPECT_EQ(s.upgrade.Record().DownloadMode, 2);
  EXPECT_EQ(s.window.Log.size(), logged);
  EXPECT_EQ(s.upgrade.Record().ModeMatch[0].MatchPos, pos);
}

TEST(ModeSelection, IdenticalCodesChooseTheLowerMode) {
  TStarted s;
  auto& matchers = s.upgrade.Record().ModeMatch;
  matchers[6].Code = matchers[4].Code;  // mode 7 given mode 5's code
  s.Type("LPDT05");
  EXPECT_EQ(s.upgrade.Record().DownloadMode, 5);
}

TEST(ModeSelection, FailedIncludeFileKeepsTheModeAndNeverAnnounces) {
  TStarted s;
  s.dir.Write("inc/app2.inc", "001122\r\nqq.00\r\n");
  EXPECT_EQ(s.Type("APP204"), "'0xqq' is not a valid integer value");
  EXPECT_EQ(s.upgrade.Record().DownloadMode, 4);
  EXPECT_EQ(s.window.Log, std::vector<std::string>{"0. Application Software 2. Mode"});
  s.Type("APP103");  // the include file is not read again
  EXPECT_EQ(s.upgrade.Record().DownloadMode, 4);
  s.upgrade.Tick();
  EXPECT_EQ(s.pty.Receive(10, 100), "\x1F");  // the wake-up byte alone
}

TEST(Ticks, WakeUpAloneUntilAModeIsChosenThenTheAnnounceWord) {
  TStarted s;
  s.upgrade.Tick();
  EXPECT_EQ(s.pty.Receive(10, 100), "\x1F");
  s.Type("APP1");
  s.upgrade.Tick();
  EXPECT_EQ(s.pty.Receive(10, 100), "\x1F");
  s.Type("03");
  s.pty.Send("stale");  // dropped by the tick before it announces
  ASSERT_TRUE(s.pty.WaitQueued(5));
  s.upgrade.Tick();
  EXPECT_EQ(s.pty.Receive(6, 500),
            "\x1F"
            "APPL1");
  EXPECT_EQ(s.link.InputCount(), 0);
}

TEST(Ticks, APortLostWhileWaitingIsReportedOnceAndOpenedAgain) {
  // The device is reached through a link that can be pointed at a new line,
  // as a USB adapter plugged in again comes back under the same name.
  TScratchDir dir;
  auto adapter = std::make_unique<TPtyPair>();
  const auto device = dir.Path() / "ttyUSB0";
  std::filesystem::create_symlink(adapter->DevicePath(), device);
  TRecordingWindow window;
  serial::TSerialLink link;
  link.SetDevicePath(device.string());
  TUpgrade upgrade{link, window};
  window.Listen(upgrade);
  ASSERT_TRUE(upgrade.StartUp());
  upgrade.Tick();
  EXPECT_EQ(adapter->Receive(1, 500), "\x1F");

  adapter->HangUp();
  for (int tick = 0; tick < 4; ++tick) upgrade.Tick();
  EXPECT_FALSE(link.IsPortOpen());
  EXPECT_EQ(window.Boxes,
            std::vector<std::string>{"message: Error: could not connect.  Check COM port settings"});

  adapter = std::make_unique<TPtyPair>();
  std::filesystem::remove(device);
  std::filesystem::create_symlink(adapter->DevicePath(), device);
  upgrade.Tick();
  EXPECT_TRUE(link.IsPortOpen());
  EXPECT_EQ(adapter->Receive(1, 500), "\x1F");  // waiting goes on as before
  EXPECT_EQ(window.Boxes.size(), 1u);
}

}  // namespace
}  // namespace stb::upgrade
