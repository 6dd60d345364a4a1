// The record of a box, made from the upgrade's events alone: for each way an
// upgrade ends, what the box was, what it was sent and how it came out, and
// the line the report takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "BoxRecord.h"
#include "JsonObject.h"
#include "LogText.h"
#include "UpgradeRun.h"

namespace stb::app {
namespace {

using stb::testing::TUpgradeRun;

// One upgrade of the simulated box, recorded.
struct TRecordedRun : TUpgradeRun {
  TBoxRecorder Recorder{"/dev/ttyTEST", [this](const TBoxRecord& r) {
                          ++Told;
                          Line = RecordLine(r);
                        }};
  int Told = 0;
  std::string Line;

  void Begin(std::size_t imageBytes) {
    Start(imageBytes);
    Core().AddListener(&Recorder);
  }
  const TBoxRecord& Record() const { return Recorder.Record(); }
};

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

// The file's digest as the system's own tool prints it.
std::string Sha256Sum(const std::string& path) {
  std::FILE* pipe = ::popen(("sha256sum " + path).c_str(), "r");
  if (!pipe) return "";
  char digest[65] = {};
  const std::size_t n = std::fread(digest, 1, 64, pipe);
  ::pclose(pipe);
  return std::string(digest, n);
}

// Removes the image once the box's identity has passed: the go message then
// finds no image to send.
struct TImageThief : upgrade::IUpgradeEvents {
  void IdentityAccepted() override { std::filesystem::remove("image.bin"); }
};

// Stops the upgrade from within, once a block has gone.
struct TStopAfterBlock : upgrade::IUpgradeEvents {
  explicit TStopAfterBlock(upgrade::TUpgrade& core) : Core(core) {}
  void BlockAccepted(long index, long, long) override {
    if (index == 1) Core.RequestStop();
  }
  upgrade::TUpgrade& Core;
};

TEST(BoxRecord, AnUpgradedBoxIsRecordedWholeWithTheDigestOfWhatItWasSent) {
  TRecordedRun run;
  run.Include.Native = "01.02";
  run.Include.App1 = "01.07";
  run.Begin(5 * 1024 + 300);
  EXPECT_EQ(run.Upgrade(3), "");
  ASSERT_EQ(run.Told, 1);
  const TBoxRecord& r = run.Record();
  EXPECT_EQ(r.Result, TBoxResult::Upgraded);
  EXPECT_FALSE(r.Reason);
  EXPECT_EQ(r.Step, 7);
  EXPECT_EQ(r.DecidedBy, "Congraturation! Software Upgrade OK !!!");
  EXPECT_EQ(r.Port, "/dev/ttyTEST");
  EXPECT_FALSE(r.Host.empty());
  EXPECT_EQ(r.Mode, 3);
  EXPECT_EQ(r.ModeName, "Application Software 1. Mode");
  EXPECT_EQ(r.IncludeFile, "./inc/app1.inc");
  ASSERT_TRUE(r.Image);
  EXPECT_EQ(r.Image->Path, "./image.bin");
  EXPECT_EQ(r.Image->Bytes, 5 * 1024 + 300);
  EXPECT_EQ(r.Image->Blocks, 6);
  // The image's own bytes, as `sha256sum` gives them: the box got exactly those.
  EXPECT_EQ(r.Image->Sha256, Sha256Sum("image.bin"));
  ASSERT_TRUE(r.Identity);
  EXPECT_EQ(r.Identity->Record, run.Box.Identity);
  ASSERT_TRUE(r.Written);
  EXPECT_EQ(r.Written->Native.Minor, 2);
  EXPECT_EQ(r.Written->Application1.Minor, 7);
  EXPECT_EQ(r.Written->VersionSlot, 3);
  EXPECT_EQ(r.Written->Date, "D2412");
  EXPECT_EQ(r.Written->Blocks, 6);
  EXPECT_EQ(r.Written->Address, 0x9FC10000u);
  EXPECT_EQ(r.Sent, 6 * 1024);
  EXPECT_EQ(r.Total, 6 * 1024);
  EXPECT_EQ(r.ToolVersion.empty(), false);
  // Times with the zone's offset: "2026-12-10T01:50:19.123+00:00".
  ASSERT_EQ(r.Start.size(), 29u) << r.Start;
  EXPECT_LE(r.Start, r.End);

  // The line keeps the station's fields in their order, the new ones after.
  const std::string& line = run.Line;
  ASSERT_FALSE(line.empty());
  EXPECT_TRUE(stb::testing::IsJsonObject(line.substr(0, line.size() - 1))) << line;
  EXPECT_TRUE(Has(line, R"({"port":"/dev/ttyTEST","start":")")) << line;
  EXPECT_TRUE(Has(
      line,
      R"("mode":3,"result":"upgraded","decided_by":"Congraturation! Software Upgrade OK !!!","reason":null,"step":7,"box":{)"))
      << line;
  EXPECT_TRUE(Has(
      line,
      R"("written":{"model":"1.0","hardware":"1.0","boot_loader":"1.0","native":"1.2","application_1":"1.7")"))
      << line;
  EXPECT_TRUE(Has(
      line,
      R"("mode_name":"Application Software 1. Mode","include_file":"./inc/app1.inc","image":{"path":"./image.bin","bytes":5420,"blocks":6,"sha256":")"))
      << line;
  EXPECT_TRUE(Has(line, R"("sent":6144,"total":6144,"late_answers":0})")) << line;
}

constexpr char kPortGone[] = "(the line that says the port went away)";

TEST(BoxRecord, EachWayAnUpgradeEndsIsRecordedWithItsReasonAndLine) {
  struct Case {
    const char* name;
    std::function<void(TRecordedRun&)> setup;
    TBoxResult result;
    const char* reason;  // nullptr: none
    int step;
    std::string decidedBy;
    bool written;  // the go message went out
    long sent;
  } cases[] = {
      {"another maker's box", [](TRecordedRun& r) { r.Include.Oui = "113344"; }, TBoxResult::Refused, "OUI",
       1, "  - Invalid OUI !!", false, 0},
      {"a silent box", [](TRecordedRun& r) { r.Box.SilentFrom = sim::TBoxPhase::Identity; },
       TBoxResult::NoResponse, nullptr, 1, "  ERROR: No Response from the Set-Top Box !!", false, 0},
      {"a block refused for good", [](TRecordedRun& r) { r.Box.RefuseBlock[2] = 1000; }, TBoxResult::Failed,
       "block refused", 3, "  DownLoad Fail !!", true, 2 * 1024},
      // Decided by the line that names the port, as its reason says.
      {"a line that dropped", [](TRecordedRun& r) { r.Box.HangUpAfterBlock = 2; }, TBoxResult::Failed,
       "port lost", 3, kPortGone, true, 2 * 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRecordedRun run;
    c.setup(run);
    run.Begin(4 * 1024);
    EXPECT_EQ(run.Upgrade(3), "");
    ASSERT_EQ(run.Told, 1);
    const TBoxRecord& r = run.Record();
    EXPECT_EQ(ResultName(r.Result), std::string(ResultName(c.result)));
    EXPECT_EQ(r.Reason.value_or("(none)"), c.reason ? c.reason : "(none)");
    EXPECT_EQ(r.Step, c.step);
    EXPECT_EQ(r.DecidedBy,
              c.decidedBy == kPortGone ? PortLostLine(run.Link().PortDeviceName()) : c.decidedBy);
    EXPECT_EQ(r.Written.has_value(), c.written);
    EXPECT_GE(r.Sent, c.sent);
    EXPECT_LE(r.Sent, c.sent + 1024);
    EXPECT_EQ(r.Total, 4 * 1024);
    EXPECT_TRUE(stb::testing::IsJsonObject(run.Line.substr(0, run.Line.size() - 1))) << run.Line;
  }
}

TEST(BoxRecord, AStopAndAnImageGoneAreRecordedAsTheOperatorSawThem) {
  {  // stopped at once
    TRecordedRun run;
    run.Begin(8 * 1024);
    TStopAfterBlock stop(run.Core());
    run.Core().AddListener(&stop);
    EXPECT_EQ(run.Upgrade(3), "");
    const TBoxRecord& r = run.Record();
    EXPECT_EQ(r.Result, TBoxResult::Failed);
    EXPECT_EQ(r.Reason.value_or(""), "stopped");
    EXPECT_EQ(r.DecidedBy, "");  // whoever stopped it says where it stood
    EXPECT_EQ(r.Sent, 2 * 1024);
    // Not every block went: the digest is of the image as measured.
    ASSERT_TRUE(r.Image);
    EXPECT_EQ(r.Image->Sha256.size(), 64u);
  }
  {  // the image gone before the go message: the error as its box shows it
    TRecordedRun run;
    TImageThief thief;
    run.Begin(3 * 1024);
    run.Core().AddListener(&thief);
    EXPECT_EQ(run.Upgrade(3), "Cannot open file ./image.bin");
    ASSERT_EQ(run.Told, 1);
    const TBoxRecord& r = run.Record();
    EXPECT_EQ(r.Result, TBoxResult::Failed);
    EXPECT_EQ(r.Reason.value_or(""), "image unreadable");
    EXPECT_EQ(r.DecidedBy, "Cannot open file ./image.bin.");
    EXPECT_FALSE(r.Written);
  }
}

TEST(BoxRecord, EveryBoxGetsARecordOfItsOwn) {
  std::vector<TBoxRecord> records;
  TBoxRecorder recorder("COM3", [&](const TBoxRecord& r) { records.push_back(r); });
  upgrade::TUpgradeRecord include;
  include.DownloadMode = 2;
  recorder.ModeChosen(2);
  recorder.IncludeFileRead(include, "0x80010000");
  upgrade::TBoxIdentity identity;
  identity.Model = {4, 2};
  upgrade::TUpgradeEnd refused;
  refused.Outcome = upgrade::TOutcome::Refused;
  refused.Check = upgrade::TCheck::Model;
  refused.Step = 1;

  recorder.BoxAcknowledged();
  recorder.IdentityReceived(identity);
  recorder.BlockRefused(0, 1);
  recorder.Ended(refused);
  recorder.BoxAcknowledged();  // the next box, which says nothing
  upgrade::TUpgradeEnd silent;
  silent.Outcome = upgrade::TOutcome::NoResponse;
  silent.Seen = upgrade::TSeen::NoResponse;
  recorder.Ended(silent);

  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].DecidedBy, "  - Invalid Model Code !!");
  EXPECT_TRUE(records[0].Identity);
  EXPECT_EQ(records[0].Resends, 1);
  EXPECT_FALSE(records[1].Identity);  // nothing of the box before it
  EXPECT_EQ(records[1].Resends, 0);
  EXPECT_EQ(records[1].Mode, 2);
  EXPECT_EQ(records[1].ModeName, "Native Software Mode");
  EXPECT_NE(records[0].Id, records[1].Id);

  // Cut off while the flash is written: the log's last line is that the
  // box did not answer, but the port is the reason, and the line that
  // decided it says so. The next box on the port owes nothing to that one.
  recorder.BoxAcknowledged();
  recorder.PortLost("/dev/ttyUSB7");
  upgrade::TUpgradeEnd cutOff;
  cutOff.Outcome = upgrade::TOutcome::Failed;
  cutOff.Failure = upgrade::TFailure::PortLost;
  cutOff.Seen = upgrade::TSeen::NoResponse;
  cutOff.Step = 5;
  recorder.Ended(cutOff);
  recorder.BoxAcknowledged();
  recorder.Ended(silent);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[2].Reason.value_or(""), "port lost");
  EXPECT_EQ(records[2].DecidedBy, "  ERROR: The COM port /dev/ttyUSB7 went away !!");
  EXPECT_EQ(records[3].DecidedBy, "  ERROR: No Response from the Set-Top Box !!");

  // Unique and in the usual form, however many are drawn.
  std::set<std::string> ids;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = NewRecordId();
    ASSERT_EQ(id.size(), 36u);
    EXPECT_EQ(id[14], '4');
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 1000u);
}

}  // namespace
}  // namespace stb::app
