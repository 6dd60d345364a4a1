// SHA-256 from the system's own library: libcrypto on Linux, CNG on Windows.
// An image's digest is the SHA-256 of the file's bytes, so an operator can
// hold it against `sha256sum image.bin` (or Get-FileHash) on any machine.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace stb::upgrade {

using TSha256 = std::array<std::uint8_t, 32>;

// 64 lowercase hex digits, as sha256sum prints them.
inline std::string Sha256Hex(const TSha256& digest) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * digest.size());
  for (std::uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

// Bytes in as many pieces as they come, the digest once at the end. Both
// backends hash in the process: Add makes no system call, so it may run
// once per block on the line. A failure of the library raises
// std::runtime_error: a digest that was never computed must not pass for
// one.
class TSha256Hasher {
 public:
  TSha256Hasher();
  ~TSha256Hasher();
  TSha256Hasher(const TSha256Hasher&) = delete;
  TSha256Hasher& operator=(const TSha256Hasher&) = delete;

  void Add(std::span<const std::uint8_t> bytes);
  // The digest of every byte added. Once only: an Add or Finish after it
  // raises std::logic_error rather than hash on from a state the library
  // has left undefined.
  TSha256 Finish();

 private:
  void* state_ = nullptr;  // the backend's hash object
  bool finished_ = false;
};

}  // namespace stb::upgrade
