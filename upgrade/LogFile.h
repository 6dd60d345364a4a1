// A copy of the log on disk: every line appended with the time it was
// logged, and flushed at once, so a crash loses nothing.
#pragma once

#include <sys/time.h>
#include <time.h>

#include <cstdio>
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
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
  }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  bool IsOpen() const { return file_ != nullptr; }
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
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace stb::upgrade
