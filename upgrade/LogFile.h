// A copy of the log on disk: every line appended and flushed as it is
// logged, so a crash loses nothing.
#pragma once

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
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace stb::upgrade
