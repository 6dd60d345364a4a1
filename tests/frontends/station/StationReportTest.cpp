// The station's report line and report file: valid JSON whatever the box
// sent, and whole lines however many ports write at once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "Options.h"
#include "ScratchDir.h"
#include "JsonObject.h"
#include "StationPort.h"
#include "BoxRecord.h"
#include "LocalTime.h"
#include "ReportFile.h"

namespace stb::app {
namespace {

TEST(StationReport, ALineIsOneJsonObjectWhateverTheBoxSent) {
  TBoxRecord r;
  r.Port = "/dev/serial/by-id/usb-\"odd\\name";
  r.Start = IsoTime(UnixMsNow());
  r.End = r.Start;
  r.Mode = 3;
  r.Result = TBoxResult::NoResponse;
  r.DecidedBy = "  ERROR: No Response from the Set-Top Box !!";
  upgrade::TBoxIdentity id;
  const std::uint8_t date[5] = {'"', '\\', 0x01, 0xFF, '\n'};
  std::copy(std::begin(date), std::end(date), id.Record.begin() + 14);
  id.Date.assign(std::begin(date), std::end(date));
  r.Identity = id;
  const std::string line = RecordLine(r);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  EXPECT_TRUE(stb::testing::IsJsonObject(line.substr(0, line.size() - 1))) << line;
  EXPECT_NE(line.find("\"date\":\"\\\"\\\\\\u0001\\u00FF\\u000A\""), std::string::npos) << line;
  EXPECT_NE(line.find("\"result\":\"no response\""), std::string::npos);
  EXPECT_NE(line.find("\"written\":null"), std::string::npos);
}

TEST(StationReport, PortsWritingAtOnceNeverShareALine) {
  stb::testing::TScratchDir dir;
  TReportFile file;
  std::string why;
  ASSERT_TRUE(file.Open("report.jsonl", why));
  std::vector<std::thread> ports;
  for (int p = 0; p < 8; ++p) {
    ports.emplace_back([&file, p] {
      for (int n = 0; n < 200; ++n) {
        TBoxRecord r;
        r.Port = "port" + std::to_string(p);
        r.DecidedBy = std::string(static_cast<std::size_t>(n * 37 % 3000), 'x');
        file.Append(RecordLine(r));
      }
    });
  }
  for (auto& t : ports) t.join();
  EXPECT_EQ(file.Seal(std::chrono::seconds(10)), 0);
  std::ifstream in("report.jsonl");
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    ASSERT_TRUE(stb::testing::IsJsonObject(line)) << "line " << lines;
  }
  EXPECT_EQ(lines, 8 * 200);
}

TEST(StationReport, AFullDiskLeavesNoHalfLine) {
  stb::testing::TScratchDir dir;
  std::string why;
  TReportFile full;
  ASSERT_TRUE(full.Open("report.jsonl", why));
  const std::string line = RecordLine(TBoxRecord{});
  // The disk takes one line, then only part of each next one.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = line.size() * 3 / 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(full.Append(line));
  const long lost = full.Seal(std::chrono::seconds(5));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, handler);
  EXPECT_EQ(lost, 2);
  EXPECT_EQ(full.LostWhy(), std::strerror(ENOSPC));
  std::ifstream in("report.jsonl");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), line);

  TReportFile none;  // no --report: lines go nowhere, quietly
  ASSERT_TRUE(none.Open("", why));
  EXPECT_TRUE(none.Append(line));
  EXPECT_EQ(none.Seal(std::chrono::seconds(1)), 0);
}

TEST(StationReport, ASealedReportTakesNoLineAndHoldsNoOneUp) {
  stb::testing::TScratchDir dir;
  // Shared with the port: one held up for good must not hold the test up.
  const auto file = std::make_shared<TReportFile>();
  std::string why;
  ASSERT_TRUE(file->Open("report.jsonl", why));
  const std::string line = RecordLine(TBoxRecord{});
  ASSERT_TRUE(file->Append(line));
  EXPECT_EQ(file->Seal(std::chrono::seconds(5)), 0);
  // A port that ends its box after the seal is told no, at once.
  const auto appended = std::make_shared<std::atomic<int>>(-1);
  std::thread([file, appended, line] { *appended = file->Append(line) ? 1 : 0; }).detach();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (*appended < 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(*appended, 0);
  std::ifstream in("report.jsonl");
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, 1);
}

// A write that never ends (a hung network disk, here a pipe nobody reads)
// holds up neither a port handing over its line nor the way out.
TEST(StationReport, AWriteThatHangsHoldsUpNoPortAndTheSealOnlyForItsBound) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const std::string line = RecordLine(TBoxRecord{});
  // Full but for less than one line.
  ASSERT_EQ(::fcntl(pipe[1], F_SETFL, O_NONBLOCK), 0);
  while (::write(pipe[1], "x", 1) == 1) {
  }
  ASSERT_EQ(::fcntl(pipe[1], F_SETFL, 0), 0);
  {
    TReportFile report;
    report.Adopt(::dup(pipe[1]), "hung");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(report.Append(line));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(report.Seal(std::chrono::milliseconds(300)), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(report.Append(line));
  }
  // Let the writer left behind finish, so that it outlives nothing it uses.
  ::close(pipe[0]);
  ::close(pipe[1]);
}

// What the report's writer said to the operator.
struct TTold {
  std::mutex Mutex;
  std::vector<std::string> Lines;
  TReportFile::TTell Tell() {
    return [this](const std::string& text) {
      const std::lock_guard lock(Mutex);
      Lines.push_back(text);
    };
  }
  std::vector<std::string> Said() {
    const std::lock_guard lock(Mutex);
    return Lines;
  }
};

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Waits until `path` holds `n` lines: the writer has its own thread.
bool Written(const std::string& path, std::size_t n) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (FileLines(path).size() < n) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// An operator who tidies the folder, a script that rotates the report, an
// editor that saves it as a new file: the boxes after that must not go into
// a file no one can find. The report is made again at its path, the line
// that opens it says why, the operator is told, and nothing is lost.
TEST(StationReport, AReportRemovedRenamedOrReplacedIsMadeAgainAtItsPath) {
  stb::testing::TScratchDir dir;
  TBoxRecord first;
  first.Port = "/dev/ttyUSB0";
  TBoxRecord second;
  second.Port = "/dev/ttyUSB1";
  const struct {
    const char* how;
    std::function<void()> act;
    const char* before;  // where the first line is found afterwards; none: nowhere
    std::size_t keptBefore;
  } cases[] = {
      {"removed", [] { std::filesystem::remove("report.jsonl"); }, nullptr, 0},
      {"renamed or moved away", [] { std::filesystem::rename("report.jsonl", "report-1.jsonl"); },
       "report-1.jsonl", 1},
      {"replaced by another file",
       [] {
         std::ofstream("edited.jsonl") << "{\"kept\":1}\n";
         std::filesystem::rename("edited.jsonl", "report.jsonl");
       },
       nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    std::filesystem::remove("report.jsonl");
    TTold told;
    TReportFile report(told.Tell());
    std::string why;
    ASSERT_TRUE(report.Open("report.jsonl", why)) << why;
    ASSERT_TRUE(report.Append(RecordLine(first)));
    ASSERT_TRUE(Written("report.jsonl", 1));
    c.act();
    ASSERT_TRUE(report.Append(RecordLine(second)));
    ASSERT_TRUE(report.Append(RecordLine(second)));
    EXPECT_EQ(report.Seal(std::chrono::seconds(5)), 0);

    std::vector<std::string> lines = FileLines("report.jsonl");
    const bool replaced = std::string(c.how) == "replaced by another file";
    // The file in the path's place keeps what it held, and takes the rest.
    if (replaced) {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.front(), "{\"kept\":1}");
      lines.erase(lines.begin());
    }
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) EXPECT_TRUE(stb::testing::IsJsonObject(line)) << line;
    // The record as it always is, with one field more at its end.
    const std::string record = RecordLine(second);
    EXPECT_EQ(lines[0], record.substr(0, record.size() - 2) +
                            ",\"report_made_again\":\"the earlier report file was " + c.how + "\"}");
    EXPECT_EQ(lines[1] + "\n", record);
    if (c.before) {
      EXPECT_EQ(FileLines(c.before).size(), c.keptBefore);
    }
    const auto said = told.Said();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], std::string("stb-downloader: the report report.jsonl was ") + c.how +
                           "; it is made again there and takes the lines from here on");
  }
}

// A report whose folder went with it cannot be made again: its lines are
// not written, and counted so, as a full disk's are.
TEST(StationReport, AReportThatCannotBeMadeAgainCountsItsLinesNotWritten) {
  stb::testing::TScratchDir dir;
  std::filesystem::create_directory("out");
  TTold told;
  TReportFile report(told.Tell());
  std::string why;
  ASSERT_TRUE(report.Open("out/report.jsonl", why)) << why;
  const std::string line = RecordLine(TBoxRecord{});
  ASSERT_TRUE(report.Append(line));
  ASSERT_TRUE(Written("out/report.jsonl", 1));
  std::filesystem::remove_all("out");
  ASSERT_TRUE(report.Append(line));
  ASSERT_TRUE(report.Append(line));
  EXPECT_EQ(report.Seal(std::chrono::seconds(5)), 2);
  EXPECT_EQ(report.LostWhy(),
            std::string("the file was removed and cannot be made again: ") + std::strerror(ENOENT));
  EXPECT_EQ(told.Said(),
            std::vector<std::string>{"stb-downloader: cannot write the report out/report.jsonl: " +
                                     report.LostWhy()});
  EXPECT_FALSE(std::filesystem::exists("out"));
}

TEST(StationReport, PortLogNamesAreFileNames) {
  const std::int64_t t = UnixMsNow();
  const std::string a = PortLogName("/dev/ttyUSB0", t);
  EXPECT_EQ(a.rfind("ttyUSB0-", 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 4), ".log");
  const std::string b = PortLogName("/dev/serial/by-id/usb-FTDI_X-if00-port0", t);
  EXPECT_EQ(b.rfind("serial_by-id_usb-FTDI_X-if00-port0-", 0), 0u) << b;
  EXPECT_EQ(b.find('/'), std::string::npos);
}

TEST(StationReport, WindowsPortsLogUnderTheirComNames) {
  const std::int64_t t = UnixMsNow();
  const std::string stamp = "-" + FileStamp(t) + ".log";
  EXPECT_EQ(PortLogName("COM3", t), "COM3" + stamp);
  // COM10 and up are opened by their device names only.
  EXPECT_EQ(PortLogName("\\\\.\\COM10", t), "COM10" + stamp);
  EXPECT_EQ(PortLogName("\\\\.\\CNCA0", t), "CNCA0" + stamp);
}

// A report's times are local, with the zone's offset from UTC in hours and
// minutes: the same moment written in any zone reads the same.
TEST(StationReport, TimesCarryTheZonesOffset) {
  const char* before = std::getenv("TZ");
  const std::string kept = before ? before : "";
  const std::int64_t moment = 1765288991482;  // 2025-12-09 14:03:11.482 UTC
  const std::pair<const char*, const char*> zones[] = {
      {"UTC0", "2025-12-09T14:03:11.482+00:00"},
      {"IST-5:30", "2025-12-09T19:33:11.482+05:30"},
      {"NST3:30", "2025-12-09T10:33:11.482-03:30"},
  };
  for (const auto& [zone, expected] : zones) {
    setenv("TZ", zone, 1);
    tzset();
    EXPECT_EQ(IsoTime(moment), expected) << zone;
  }
  if (before) {
    setenv("TZ", kept.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
}  // namespace stb::app

namespace stb::app {
namespace {

TEST(StationOptions, EveryPortIsKeptAndWhatAStationCannotDoIsRefused) {
  std::string error;
  const auto ok = ParseOptions({"--station", "--code", "APP103", "--port", "/dev/ttyUSB0", "--port", "all",
                                "--log-dir", "logs", "--report", "r.jsonl"},
                               error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(ok->Ports, (std::vector<std::string>{"/dev/ttyUSB0", "all"}));
  EXPECT_EQ(ok->LogDir, "logs");
  EXPECT_EQ(ok->Report, "r.jsonl");
  // A single run keeps its one box's record too.
  const auto single = ParseOptions({"--headless", "--report", "r.jsonl"}, error);
  ASSERT_TRUE(single) << error;
  EXPECT_EQ(single->Report, "r.jsonl");

  // In the station window the code may be typed instead.
  const auto window = ParseOptions({"--station", "--window", "--port", "all"}, error);
  ASSERT_TRUE(window) << error;
  EXPECT_TRUE(window->Window);
  EXPECT_TRUE(window->Code.empty());

  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--station", "--port", "a"},
       "--station needs --code CODE (no port can be typed into), or --window to type it there"},
      {{"--station", "--code", "APP103"}, "--station needs at least one --port DEVICE, or --port all"},
      {{"--station", "--headless", "--code", "APP103", "--port", "a"},
       "--station and --headless exclude each other (a station is headless already)"},
      {{"--station", "--code", "APP103", "--port", "a", "--log-file", "x"},
       "--station takes --log-dir DIR instead of --log-file and --trace (one log per port)"},
      {{"--headless", "--log-dir", "logs"}, "--log-dir needs --station (a single run takes --log-file FILE)"},
      {{"--window", "--port", "a"}, "--window needs --station (the operator window opens without it)"},
  };
  for (const auto& c : cases) {
    error.clear();
    EXPECT_FALSE(ParseOptions(c.args, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace stb::app
