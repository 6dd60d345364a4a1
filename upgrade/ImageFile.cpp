#include "ImageFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RunError.h"

namespace stb::upgrade {

namespace {
int Fd(std::intptr_t h) { return static_cast<int>(h); }

// Why an open that failed with `systemError` failed, as an operator would
// put it right.
TFileCause OpenCause(int systemError) {
  switch (systemError) {
    case ENOENT:
    case ENOTDIR: return TFileCause::Missing;
    case EACCES:
    case EPERM: return TFileCause::Denied;
    case EISDIR: return TFileCause::IsFolder;
    default: return TFileCause::Unreadable;
  }
}
}  // namespace

TImageStream::TImageStream(const std::string& path) {
  // The system would take the name only up to the NUL: another file.
  if (path.find('\0') != std::string::npos) {
    throw ERunError("Cannot open file " + path + ": the name holds a NUL byte");
  }
  // Opened without blocking, so that a path naming a pipe or a device is
  // refused rather than waited on; only a plain file will do. The lock is
  // shared: several upgrades may send one image at once (a station), while a
  // program that holds the file locked for itself keeps it from us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    throw ImageOpenError(path, OpenCause(error), error);
  }
  struct stat st {};
  TFileCause cause = TFileCause::None;
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
    cause = TFileCause::Unreadable;
  } else if (S_ISDIR(st.st_mode)) {
    cause = TFileCause::IsFolder;
  } else if (!S_ISREG(st.st_mode)) {
    cause = TFileCause::NotPlain;
  } else if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    error = errno;
    cause = error == EWOULDBLOCK ? TFileCause::Locked : TFileCause::Unreadable;
  } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = errno;
    cause = TFileCause::Unreadable;
  }
  if (cause != TFileCause::None) {
    ::close(fd);
    throw ImageOpenError(path, cause, error);
  }
  handle_ = fd;
}

TImageStream::~TImageStream() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

std::int64_t TImageStream::Size() const {
  struct stat st {};
  return ::fstat(Fd(handle_), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

void TImageStream::Rewind() { ::lseek(Fd(handle_), 0, SEEK_SET); }

std::size_t TImageStream::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(Fd(handle_), buffer + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // end of file, or a read error: the rest of the block is padding
    }
  }
  return done;
}

}  // namespace stb::upgrade
