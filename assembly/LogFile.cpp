#include "LogFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "AppendFile.h"
#include "ConsoleSeam.h"
#include "LocalTime.h"

namespace stb::app {

bool TLogFile::Open(const std::string& path) {
  path_ = path;
  failed_ = false;
  lost_ = 0;
  lostWhy_.clear();
#ifdef _WIN32
  // By its wide name (a name in UTF-8, a station's log folder, is found as
  // it is on Linux), and never to be removed while it is written.
  const int fd = OpenForAppending(path);
  file_.reset(fd < 0 ? nullptr : _fdopen(fd, "ab"));
  if (fd >= 0 && !file_) ::_close(fd);
#else
  file_.reset(std::fopen(path.c_str(), "ab"));
#endif
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
  std::FILE* f = file_.get();
  const std::string stamp = LogStamp(UnixMsNow()) + " ";
  std::fwrite(stamp.data(), 1, stamp.size(), f);
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  if (std::fflush(f) != 0 || std::ferror(f)) WriteFailed(errno);
}

void TLogFile::WriteFailed(int error) {
  std::clearerr(file_.get());
  ++lost_;
  if (lostWhy_.empty()) lostWhy_ = std::strerror(error);
  if (failed_) return;
  failed_ = true;
  ConsoleSeam().Write("stb-downloader: cannot write the log file " + path_ + ": " + std::strerror(error) +
                      "; the upgrade goes on\n");
}

}  // namespace stb::app
