// SHA-256 through the system's CNG. The algorithm is opened once for the
// process, as that is the costly step (it looks the provider up); a hash made
// from it is cheap, and hashing data stays in the process.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "Sha256.h"

namespace stb::upgrade {

namespace {

[[noreturn]] void Fail(const char* call, NTSTATUS status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  throw std::runtime_error(std::string("SHA-256: ") + call + " failed with status " + code);
}

class TAlgorithm {
 public:
  TAlgorithm() {
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) Fail("BCryptOpenAlgorithmProvider", status);
  }
  ~TAlgorithm() { BCryptCloseAlgorithmProvider(handle_, 0); }
  TAlgorithm(const TAlgorithm&) = delete;
  TAlgorithm& operator=(const TAlgorithm&) = delete;
  BCRYPT_ALG_HANDLE Handle() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// Shared by every port of a station: CNG lets threads make hashes from one
// algorithm handle at once; each hash stays with its own thread.
BCRYPT_ALG_HANDLE Sha256Algorithm() {
  static const TAlgorithm algorithm;
  return algorithm.Handle();
}

BCRYPT_HASH_HANDLE Hash(void* state) { return static_cast<BCRYPT_HASH_HANDLE>(state); }

}  // namespace

TSha256Hasher::TSha256Hasher() {
  BCRYPT_HASH_HANDLE hash = nullptr;
  // No object buffer: CNG keeps the hash's state itself.
  const NTSTATUS status = BCryptCreateHash(Sha256Algorithm(), &hash, nullptr, 0, nullptr, 0, 0);
  if (!BCRYPT_SUCCESS(status)) Fail("BCryptCreateHash", status);
  state_ = hash;
}

TSha256Hasher::~TSha256Hasher() { BCryptDestroyHash(Hash(state_)); }

void TSha256Hasher::Add(std::span<const std::uint8_t> bytes) {
  if (finished_) throw std::logic_error("SHA-256: bytes added after the digest was taken");
  // CNG counts in ULONG, 32 bits even on 64-bit Windows.
  while (!bytes.empty()) {
    const std::size_t count = std::min<std::size_t>(bytes.size(), std::numeric_limits<ULONG>::max());
    const NTSTATUS status =
        BCryptHashData(Hash(state_), const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(count), 0);
    if (!BCRYPT_SUCCESS(status)) Fail("BCryptHashData", status);
    bytes = bytes.subspan(count);
  }
}

TSha256 TSha256Hasher::Finish() {
  if (finished_) throw std::logic_error("SHA-256: the digest was taken twice");
  finished_ = true;
  TSha256 digest{};
  const NTSTATUS status = BCryptFinishHash(Hash(state_), digest.data(), static_cast<ULONG>(digest.size()), 0);
  if (!BCRYPT_SUCCESS(status)) Fail("BCryptFinishHash", status);
  return digest;
}

}  // namespace stb::upgrade
