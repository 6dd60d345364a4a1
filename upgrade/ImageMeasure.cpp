#include <array>
#include <span>

#include "ImageFile.h"
#include "Protocol.h"
#include "RunError.h"

namespace stb::upgrade {

using protocol::kBlockSize;
using protocol::kMaxBlocks;

ERunError ImageOpenError(const std::string& path, TFileCause cause, int systemError) {
  TFileProblem problem;
  problem.Role = TFileRole::ImageFile;
  problem.Cause = cause;
  problem.Path = path;
  problem.SystemError = systemError;
  return ERunError("Cannot open file " + path, 0, std::move(problem));
}

TImageMeasure MeasureImageFile(const std::string& path) {
  TImageStream image(path);
  return MeasureImage(image, path);
}

TImageMeasure MeasureImage(TImageStream& image, const std::string& path) {
  constexpr auto kBlockBytes = static_cast<std::int64_t>(kBlockSize);
  image.Rewind();
  const std::int64_t bytes = image.Size();
  const std::int64_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  if (blocks > kMaxBlocks) {
    throw ERunError("Image file " + path + " is too large: " + std::to_string(bytes) +
                    " bytes, more than the " + std::to_string(kMaxBlocks) + " blocks of " +
                    std::to_string(kBlockSize) + " bytes one upgrade can carry");
  }
  TImageMeasure m{};
  m.ImageSize = static_cast<std::int32_t>(blocks * kBlockBytes);
  m.SizeLow = static_cast<std::uint8_t>(blocks % 256);
  m.SizeHigh = static_cast<std::uint8_t>((blocks / 256) % 256);
  m.BlockCount = m.SizeHigh * 256 + m.SizeLow;
  m.Bytes = bytes;

  // Read as the transfer reads it, block by block up to the measured count,
  // so that the two digests compare. Only the bytes read are hashed: the
  // fill of the last block is no part of the file.
  TSha256Hasher digest;
  std::array<std::uint8_t, kBlockSize> block{};
  for (std::int32_t i = 0; i < m.BlockCount; ++i) {
    const std::size_t count = image.Read(block.data(), block.size());
    digest.Add(std::span(block).first(count));
  }
  m.Digest = digest.Finish();
  image.Rewind();
  return m;
}

}  // namespace stb::upgrade
