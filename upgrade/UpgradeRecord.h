// The state of the one upgrade of a run: the chosen mode, what the include
// file says about the image, and what the box reports about itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Sha256.h"

namespace stb::upgrade {

struct TVersionPair {
  std::uint8_t Major = 0;
  std::uint8_t Minor = 0;
};

// Follows the typed characters for one mode's six-character code.
struct TModeMatcher {
  std::int32_t MatchPos = 1;  // position (1 to 6) of the character expected next; 7 when complete
  std::array<char, 6> Code{};
};

// One matcher per mode, in the mode table's order.
using TModeMatchers = std::array<TModeMatcher, 8>;

// A 32-bit address held least significant byte first.
using TAddressBytes = std::array<std::uint8_t, 4>;

struct TUpgradeRecord {
  std::uint8_t DownloadMode = 0;  // 0: none chosen; 1 to 8: the chosen mode
  std::int32_t ImageSize = 0;     // image bytes rounded up to whole blocks
  std::int32_t BlockCount = 0;    // SizeHigh * 256 + SizeLow
  std::uint8_t SizeLow = 0;
  std::uint8_t SizeHigh = 0;
  // The image as measured: its size in bytes and the SHA-256 of those bytes.
  // What goes to the box must be exactly this.
  std::int64_t ImageBytes = 0;
  TSha256 ImageDigest{};

  std::array<std::uint8_t, 3> IncOui{};
  TVersionPair IncModel;
  TVersionPair IncHwVersion;
  TVersionPair IncBootVersion;
  TVersionPair IncNativeVersion;
  TVersionPair IncApp1Version;
  TVersionPair IncApp2Version;
  std::string IncStartDate;  // at most 5 characters
  std::string IncLabel;      // at most 13 characters
  std::string ImageFileName;
  std::uint8_t VersionSlot = 0;
  TAddressBytes IncAddress{};

  TAddressBytes TargetAddress{};
  std::array<TAddressBytes, 3> TargetExtraWords{};
  std::array<std::uint8_t, 32> TargetInfo{};

  TModeMatchers ModeMatch{};

  // True once the include file was read to its end and the image measured;
  // until then no tick announces the mode to the box.
  bool IncludeFileRead = false;
};

}  // namespace stb::upgrade
