#include "ImageFile.h"
#include "RunError.h"

namespace stb::upgrade {

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
