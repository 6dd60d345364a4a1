#include "LogFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace stb::app {

bool TLogFile::Open(const std::string& path) {
  path_ = path;
  failed_ = false;
  file_.reset(std::fopen(path.c_str(), "ab"));
  return file_ != nullptr;
}

int TLogFile::Descriptor() const {
#ifdef _WIN32
  return file_ ? _fileno(file_.get()) : -1;
#else
  return file_ ? fileno(file_.get()) : -1;
#endif
}

void TLogFile::Append(const std::string& line) {
  if (!file_) return;
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char stamp[32];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::FILE* f = file_.get();
  std::fprintf(f, "%.*s.%03d ", static_cast<int>(n), stamp, static_cast<int>(ms));
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  if (std::fflush(f) != 0 || std::ferror(f)) WriteFailed(errno);
}

void TLogFile::WriteFailed(int error) {
  std::clearerr(file_.get());
  if (failed_) return;
  failed_ = true;
  std::fprintf(stderr, "stb-downloader: cannot write the log file %s: %s; the upgrade goes on\n",
               path_.c_str(), std::strerror(error));
  std::fflush(stderr);
}

}  // namespace stb::app
