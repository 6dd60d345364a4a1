// A copy of the log on disk: every line appended with the time it was
// logged, and flushed at once, so a crash loses nothing. A write that fails
// (a full disk) is said once on stderr; the upgrade goes on, since a box is
// never abandoned for its log.
#pragma once

#include <sys/time.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace stb::upgrade {

class TLogFile {
 public:
  TLogFile() = default;
  ~TLogFile() { Close(); }
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Opens `path` for appending; false (with errno set) when it cannot.
  bool Open(const std::string& path) {
    Close();
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
  }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  bool IsOpen() const { return file_ != nullptr; }
  // The descriptor, for a stop line written from a signal handler; -1: none.
  int Descriptor() const {
#ifdef _WIN32
    return file_ ? _fileno(file_) : -1;
#else
    return file_ ? fileno(file_) : -1;
#endif
  }
  // True once a write has failed.
  bool Failed() const { return failed_; }
  void Append(const std::string& line) {
    if (!file_) return;
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
#ifdef _WIN32
    const time_t seconds = now.tv_sec;
    localtime_s(&local, &seconds);
#else
    localtime_r(&now.tv_sec, &local);
#endif
    char stamp[32];
    const std::size_t n = ::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file_, "%.*s.%03ld ", static_cast<int>(n), stamp, static_cast<long>(now.tv_usec / 1000));
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    if (std::fflush(file_) != 0 || std::ferror(file_)) WriteFailed(errno);
  }

 private:
  void WriteFailed(int error) {
    std::clearerr(file_);
    if (failed_) return;
    failed_ = true;
    std::fprintf(stderr, "stb-downloader: cannot write the log file %s: %s; the upgrade goes on\n",
                 path_.c_str(), std::strerror(error));
    std::fflush(stderr);
  }

  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

}  // namespace stb::upgrade
