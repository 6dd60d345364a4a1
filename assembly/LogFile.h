// A copy of the log on disk: every line appended with the time it was
// logged, and flushed at once, so a crash loses nothing. A write that fails
// (a full disk) is said once on stderr; the upgrade goes on, since a box is
// never abandoned for its log.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace stb::app {

class TLogFile {
 public:
  // Opens `path` for appending; false (with errno set) when it cannot.
  bool Open(const std::string& path);
  // The descriptor, for a line written from a signal handler; -1: none.
  int Descriptor() const;
  void Append(const std::string& line);
  // Lines that could not be written, and why the first one was not (a
  // station counts them: a lost record is never a success).
  long Lost() const { return lost_; }
  const std::string& LostWhy() const { return lostWhy_; }

 private:
  void WriteFailed(int error);

  struct TClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, TClose> file_;
  std::string path_;
  bool failed_ = false;
  long lost_ = 0;
  std::string lostWhy_;
};

}  // namespace stb::app
