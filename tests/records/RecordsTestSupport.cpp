#include "RecordsTestSupport.h"

#include <cstdlib>

#include "RecordWriter.h"
#include "SqliteStore.h"

namespace stb::testing {

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "stb-records-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

app::TBoxRecord BareRecord(int n) {
  app::TBoxRecord r;
  r.Id = "rec-" + std::to_string(n);
  r.Host = "station-a";
  r.Port = "/dev/ttyUSB" + std::to_string(n % 4);
  char start[40], end[40];
  std::snprintf(start, sizeof start, "2026-12-08T14:%02d:%02d.482+01:00", n / 60 % 60, n % 60);
  std::snprintf(end, sizeof end, "2026-12-08T15:%02d:%02d.001+01:00", n / 60 % 60, n % 60);
  r.Start = start;
  r.End = end;
  r.DurationSeconds = 12.25 + n;
  r.ToolVersion = "3.3.0";
  r.Mode = 1;
  r.ModeName = "Application Software 1. Mode";
  r.IncludeFile = "inc/app1.inc";
  r.Result = app::TBoxResult::NoResponse;
  r.Step = 2;
  r.DecidedBy = "No response from the box";
  return r;
}

app::TBoxRecord FullRecord(int n) {
  app::TBoxRecord r = BareRecord(n);
  r.Result = app::TBoxResult::Upgraded;
  r.Reason = "none at all";
  r.Step = 9;
  r.DecidedBy = "  Version table updated";
  r.Image = app::TBoxRecord::TImage{"/srv/images/app1.bin", 1048576 + n, 1024,
                                    "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"};
  upgrade::TBoxIdentity id;
  for (std::size_t i = 0; i < id.Record.size(); ++i) id.Record[i] = static_cast<std::uint8_t>(i * 7 + n);
  id.Oui = {0x12, 0xAB};
  id.Model = {1, 0};
  id.Hardware = {2, 3};
  id.BootLoader = {4, 5};
  id.Native = {6, 7};
  id.Application1 = {8, 9};
  id.Application2 = {10, 255};
  id.Date = "26342";
  r.Identity = id;
  r.BoxAddress = 0x80010000u;
  app::TBoxRecord::TWritten w;
  w.Model = {1, 0};
  w.Hardware = {2, 4};
  w.BootLoader = {4, 6};
  w.Native = {6, 8};
  w.Application1 = {8, 10};
  w.Application2 = {11, 0};
  w.VersionSlot = 3;
  w.Date = "26343";
  w.Blocks = 1025;
  w.Address = 0xFFFFFFFFu;
  r.Written = w;
  r.Sent = 1048576;
  r.Total = 1049600;
  r.Resends = 3;
  r.LateAnswers = 1;
  return r;
}

bool WriteRecords(const std::string& path, const std::string& prefix, int count, std::string& why) {
  try {
    app::TRecordWriter writer(std::make_unique<app::TSqliteStore>(path));
    for (int i = 0; i < count; ++i) {
      app::TBoxRecord r = FullRecord(i);
      r.Id = prefix + "-" + std::to_string(i);
      writer.Submit(std::move(r));
    }
    const bool sealed = writer.Seal(std::chrono::seconds(60));
    const auto counts = writer.Counts();
    if (!sealed || counts.Stored != static_cast<std::size_t>(count)) {
      why = prefix + ": stored " + std::to_string(counts.Stored) + " of " + std::to_string(count);
      if (!counts.LostRecords.empty()) why += ": " + counts.LostRecords.front().Reason;
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
}

bool FillDisk(const std::string& folder, std::string& why) {
  const std::string path = folder + "/records.sqlite3";
  std::size_t stored = 0;
  try {
    app::TRecordWriter writer(std::make_unique<app::TSqliteStore>(path));
    constexpr int kMany = 2000;  // far more than the small disk holds
    for (int i = 0; i < kMany; ++i) writer.Submit(FullRecord(i));
    if (!writer.Seal(std::chrono::seconds(60))) {
      why = "the writer did not finish";
      return false;
    }
    const auto counts = writer.Counts();
    stored = counts.Stored;
    if (counts.Lost == 0 || counts.Stored == 0 || counts.Stored + counts.Lost != kMany) {
      why = "stored " + std::to_string(counts.Stored) + ", lost " + std::to_string(counts.Lost);
      if (!counts.LostRecords.empty()) why += ": " + counts.LostRecords.front().Reason;
      return false;
    }
    const std::string& reason = counts.LostRecords.front().Reason;
    if (reason.find("database or disk is full") == std::string::npos ||
        reason.find('\n') != std::string::npos) {
      why = "the reason given: " + reason;
      return false;
    }
  } catch (const std::exception& e) {
    why = std::string("the store: ") + e.what();
    return false;
  }
  try {
    app::TSqliteStore again(path);
    const std::size_t found = again.Query({}).size();
    if (found != stored) {
      why = "read back " + std::to_string(found) + " of the " + std::to_string(stored) + " stored";
      return false;
    }
  } catch (const std::exception& e) {
    why = std::string("reopened: ") + e.what();
    return false;
  }
  return true;
}

}  // namespace stb::testing
