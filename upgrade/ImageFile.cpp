#include "ImageFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RunError.h"

namespace stb::upgrade {

TImageStream::TImageStream(const std::string& path) {
  // Opened without blocking, so that a path naming a pipe or a device is
  // refused rather than waited on; only a plain file will do.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  const bool usable = fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) &&
                      ::flock(fd_, LOCK_EX | LOCK_NB) == 0 &&
                      ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) == 0;
  if (!usable) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw ERunError("Cannot open file " + path);
  }
}

TImageStream::~TImageStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TImageStream::Size() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

std::size_t TImageStream::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, buffer + done, count - done);
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

TImageMeasure MeasureImageFile(const std::string& path) {
  std::int64_t bytes = 0;
  {
    TImageStream image(path);
    bytes = image.Size();
  }
  const std::int64_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  if (blocks > kMaxBlocks) {
    throw ERunError("Image file " + path + " is too large: " + std::to_string(bytes) +
                    " bytes, more than the 65535 blocks of 1024 bytes one upgrade can carry");
  }
  TImageMeasure m{};
  m.ImageSize = static_cast<std::int32_t>(blocks * kBlockBytes);
  m.SizeLow = static_cast<std::uint8_t>(blocks % 256);
  m.SizeHigh = static_cast<std::uint8_t>((blocks / 256) % 256);
  m.BlockCount = m.SizeHigh * 256 + m.SizeLow;
  return m;
}

}  // namespace stb::upgrade
