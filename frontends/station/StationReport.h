// The station's report: one JSON object per box, on a line of its own,
// appended to a file that every port shares (JSON Lines).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "LocalTime.h"
#include "UpgradeEvents.h"

namespace stb::app {

enum class TBoxResult { Upgraded, Refused, Failed, NoResponse };

const char* ResultName(TBoxResult result);

// What one box came to, as the report tells it.
struct TBoxReport {
  std::string Port;
  std::string Start;  // local time with its offset, ISO 8601
  std::string End;
  int Mode = 0;
  TBoxResult Result = TBoxResult::Failed;
  std::string DecidedBy;  // the log line (or error) that decided the result
  // The check that refused the box or how it failed, as the core names it;
  // none for an upgraded box or one that fell silent.
  std::optional<std::string> Reason;
  int Step = 0;  // the last numbered step reached
  // The box's identity record as it came, once it came whole.
  std::optional<upgrade::TBoxIdentity> Identity;
  std::optional<std::uint32_t> BoxAddress;  // once the address words came
  // What the box was sent, once the go message went out.
  struct TWritten {
    std::array<std::uint8_t, 2> Model, Hardware, BootLoader, Native, Application1, Application2;
    int VersionSlot = 0;
    std::string Date;
    long Blocks = 0;
    std::uint32_t Address = 0;
  };
  std::optional<TWritten> Written;
  long Resends = 0;
  double DurationSeconds = 0;
};

// The object on one line, ended by a line feed. Texts are escaped so that
// any byte the box or a file gave stays valid JSON and UTF-8.
std::string ReportLine(const TBoxReport& report);

// The report file. Each line goes out in one write() on a descriptor opened
// for appending, so ports never interleave within a line; a write the disk
// cuts short is taken back, so a reader never meets half a line.
class TReportFile {
 public:
  TReportFile() = default;
  ~TReportFile();
  TReportFile(const TReportFile&) = delete;
  TReportFile& operator=(const TReportFile&) = delete;

  // False, with errno set, when it cannot be opened; without a path, every
  // line is dropped.
  bool Open(const std::string& path);
  // False when the line could not be written whole (said once on stderr).
  bool Append(const std::string& line);
  // No line starts after this (Append returns false): for the way out at
  // once, so that no port begins a line the exit would cut.
  void Seal();

 private:
  std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
  bool failed_ = false;
  bool sealed_ = false;
};

}  // namespace stb::app
