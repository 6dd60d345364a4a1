// The image's digest is SHA-256 of the file as sha256sum reads it: the
// published values, the same digest however the bytes are cut into pieces,
// and a measured image whose last block is filled up still digests as the
// file alone. Free of any platform, so the Windows build runs it as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ImageFile.h"
#include "Sha256.h"

namespace stb::upgrade {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string HexOf(std::span<const std::uint8_t> bytes) {
  TSha256Hasher hasher;
  hasher.Add(bytes);
  return Sha256Hex(hasher.Finish());
}

// Bytes with no period that divides a block or a SHA-256 chunk: a piece
// hashed at the wrong offset gives another digest.
std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  return bytes;
}

TEST(Sha256, PublishedTestVectors) {
  EXPECT_EQ(HexOf({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf(Bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits in the same 64-byte chunk.
  EXPECT_EQ(HexOf(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(HexOf(Bytes(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesDigestAsTheWhole) {
  const std::vector<std::uint8_t> bytes = Pattern(3000);
  const std::string whole = HexOf(bytes);
  ASSERT_EQ(whole, "e8ca4bf83f56152c01649f88bd7c91b15ae8137d9a709572e04fae55894ea75e");
  // Around the 64-byte chunk, the 1024-byte block, and pieces of nothing
  // between them (an empty piece may come with no buffer at all).
  for (std::size_t piece : {1u, 7u, 55u, 56u, 63u, 64u, 65u, 1000u, 1024u, 2999u}) {
    SCOPED_TRACE(piece);
    TSha256Hasher hasher;
    std::span<const std::uint8_t> rest(bytes);
    while (!rest.empty()) {
      const std::size_t count = std::min(piece, rest.size());
      hasher.Add(rest.first(count));
      hasher.Add({});
      rest = rest.subspan(count);
    }
    EXPECT_EQ(Sha256Hex(hasher.Finish()), whole);
  }
  // Two hashers at once keep apart (the Windows one shares its algorithm).
  TSha256Hasher a;
  TSha256Hasher b;
  a.Add(std::span(bytes).first(1000));
  b.Add(Bytes("abc"));
  a.Add(std::span(bytes).subspan(1000));
  EXPECT_EQ(Sha256Hex(a.Finish()), whole);
  EXPECT_EQ(Sha256Hex(b.Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, DigestIsTakenOnce) {
  TSha256Hasher hasher;
  hasher.Add(Bytes("abc"));
  hasher.Finish();
  EXPECT_THROW(hasher.Add(Bytes("d")), std::logic_error);
  EXPECT_THROW(hasher.Finish(), std::logic_error);
}

// An image file of its own in the temporary folder, removed after the test.
class TImageFile {
 public:
  explicit TImageFile(const std::vector<std::uint8_t>& bytes)
      : path_(std::filesystem::path(::testing::TempDir()) /
              ("stb-image-digest-" + std::to_string(std::random_device{}()) + ".bin")) {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TImageFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

TEST(ImageDigest, MeasuredImageDigestsAsTheFileAlone) {
  // What sha256sum printed for these files; the 0x00 that fills up the last
  // block must not be in the digest.
  struct Case {
    std::size_t bytes;
    std::int32_t imageSize;
    const char* sha256sum;
  } cases[] = {
      {0, 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {1, 1024, "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d"},
      {1024, 1024, "2bce1ba628720664be4b9fdd77aae0678e5f0f3f02fc6ff641ec879094f6a404"},
      {5 * 1024 + 300, 6 * 1024, "977f7b6c161e6688bb46e44b8e6691cef9eb90b991aa851d2e2a54518dc13317"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::vector<std::uint8_t> bytes = Pattern(c.bytes);
    const TImageFile file(bytes);
    const TImageMeasure measure = MeasureImageFile(file.Path());
    EXPECT_EQ(measure.Bytes, static_cast<std::int64_t>(c.bytes));
    EXPECT_EQ(measure.ImageSize, c.imageSize);
    EXPECT_EQ(Sha256Hex(measure.Digest), c.sha256sum);
  }
}

}  // namespace
}  // namespace stb::upgrade
