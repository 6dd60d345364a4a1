#include <array>

#include "ImageFile.h"
#include "Protocol.h"
#include "RunError.h"

namespace stb::upgrade {

using protocol::kBlockSize;
using protocol::kMaxBlocks;

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

  // Read as the transfer reads it, so that the two digests compare.
  TImageDigest digest;
  std::array<std::uint8_t, kBlockSize> block{};
  for (std::int32_t i = 0; i < m.BlockCount; ++i) {
    const std::size_t count = image.Read(block.data(), block.size());
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(count), block.end(), 0x00);
    digest.Add(block);
  }
  m.Digest = digest.Value();
  image.Rewind();
  return m;
}

}  // namespace stb::upgrade
