// A report that takes one line per box, appended to a file (JSON Lines): the
// station's for all its boxes, a single run's for its one.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace stb::app {

// The report file. Lines are handed to a writer thread of its own, so a
// port never waits for the disk and never holds a lock while the disk is
// slow; that thread writes each line in one write() on a descriptor opened
// for appending, and takes back a line the disk cut short, so a reader never
// meets half a line. A file removed, renamed or replaced while it is
// written is made again at its path before the next line, said once to the
// operator and, in that line, to whoever reads the report. Lines that could
// not be written (no file to be made again, a full disk) are counted: the
// station's summary and exit status tell of them.
class TReportFile {
 public:
  // `tell`: how the first failure to write is said to the operator, once,
  // from the writer's thread (none: not said).
  using TTell = std::function<void(const std::string& text)>;
  explicit TReportFile(TTell tell = nullptr);
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
