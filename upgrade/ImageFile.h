// The image file: opened for reading and shared with no writer while it is
// open (other readers of the same image are welcome), measured when the include file is read and read one
// block at a time during the transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "RunError.h"
#include "Sha256.h"

namespace stb::upgrade {

class TImageStream {
 public:
  // Raises "Cannot open file <path>" when the file is missing, is not a plain
  // file, cannot be read, or is held by another program; a name that holds
  // a NUL byte is refused whole rather than opened as the part before it.
  explicit TImageStream(const std::string& path);
  ~TImageStream();
  TImageStream(const TImageStream&) = delete;
  TImageStream& operator=(const TImageStream&) = delete;

  std::int64_t Size() const;
  // Up to `count` bytes from the current position; fewer at the end of the
  // file (0 past it, or when the file shrank under us).
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  // Back to the first byte, for a read through from the start.
  void Rewind();

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or the platform's handle
};

// "Cannot open file <path>", with why (`cause`) for the advice beside it.
ERunError ImageOpenError(const std::string& path, TFileCause cause, int systemError);

struct TImageMeasure {
  std::int32_t ImageSize;  // rounded up to whole blocks
  std::uint8_t SizeLow;
  std::uint8_t SizeHigh;
  std::int32_t BlockCount;
  std::int64_t Bytes;  // the file's own size
  // SHA-256 of the file's bytes as read for sending, without the 0x00 that
  // fills up the last block (the size implies it): for an image left alone,
  // what `sha256sum` prints for the file.
  TSha256 Digest;
};

// Opens the image, takes its size, reads it through for its digest and
// closes it again. Raises the open error above, or a size error for an
// image of more than 65535 blocks.
TImageMeasure MeasureImageFile(const std::string& path);
// The same of an image already open, read through from its start and left
// at its start again; `path` only names it in the size error.
TImageMeasure MeasureImage(TImageStream& image, const std::string& path);

}  // namespace stb::upgrade
