#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AppendFile.h"

namespace stb::app {

int OpenReportFile(const std::string& path, std::string& why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    // ENXIO: a FIFO nobody reads.
    why = errno == ENXIO ? "nothing reads it" : std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "not a regular file (a pipe, a terminal or a device can hold the boxes up or lose their records)";
    ::close(fd);
    return -1;
  }
  return fd;
}

long WriteOnce(int fd, const char* data, std::size_t size) {
  ssize_t n = -1;
  do {
    n = ::write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

std::int64_t FileSize(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool CutFile(int fd, std::int64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

void CloseFile(int fd) { ::close(fd); }

bool StillNamed(int fd, const std::string& path, std::string* how) {
  struct stat open {};
  struct stat named {};
  if (fd < 0 || ::fstat(fd, &open) != 0) {
    if (how) *how = "closed";
    return false;
  }
  if (::stat(path.c_str(), &named) != 0) {
    // No link left: removed; else it lives on under another name.
    if (how) *how = open.st_nlink == 0 ? "removed" : "renamed or moved away";
    return false;
  }
  if (open.st_ino == named.st_ino && open.st_dev == named.st_dev) return true;
  if (how) *how = "replaced by another file";
  return false;
}

}  // namespace stb::app
