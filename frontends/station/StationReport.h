// The station's report: one JSON object per box, on a line of its own,
// appended to a file that every port shares (JSON Lines).
#pragma once

#include <array>
#include <cstdint>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

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

// The report file. Lines are handed to a writer thread of its own, so a
// port never waits for the disk and never holds a lock while the disk is
// slow; that thread writes each line in one write() on a descriptor opened
// for appending, and takes back a line the disk cut short, so a reader never
// meets half a line. Lines that could not be written are counted: the
// station's summary and exit status tell of them.
class TReportFile {
 public:
  TReportFile();
  ~TReportFile();
  TReportFile(const TReportFile&) = delete;
  TReportFile& operator=(const TReportFile&) = delete;

  // Opens `path` without waiting for anyone (a FIFO with no reader is not
  // waited for) and only when it is a regular file: anything else could
  // hold a port up for good or swallow the lines. False, with `why`, when
  // it cannot be opened or is not a regular file; without a path, every
  // line is dropped quietly.
  bool Open(const std::string& path, std::string& why);
  // Takes `fd`, open for writing, as the report named `path` (Open's last
  // step; a test gives it what Open refuses, to see a write that hangs).
  void Adopt(int fd, const std::string& path);
  // Queues the line; never waits for the file. False once sealed.
  bool Append(const std::string& line);
  // No line is taken after this; waits at most `bound` for the queued ones
  // to be written (a write hung on a dead network disk is not waited for
  // beyond it). Returns the lines that were not written, all told.
  long Seal(std::chrono::milliseconds bound);
  // Lines that could not be written so far, and why the last one was not.
  long Lost() const;
  std::string LostWhy() const;
  const std::string& Path() const { return path_; }

 private:
  struct TState;
  static void Write(const std::shared_ptr<TState>& state);

  // Shared with the writer thread, which may outlive this object when a
  // write hangs past the seal's bound.
  std::shared_ptr<TState> state_;
  std::string path_;
  std::thread writer_;
};

}  // namespace stb::app
