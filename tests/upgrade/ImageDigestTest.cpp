// SHA-256 as sha256sum computes it: the published values, and the same
// digest however the bytes are cut into pieces. Free of any platform, so the
// Windows build runs it as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace stb::upgrade
