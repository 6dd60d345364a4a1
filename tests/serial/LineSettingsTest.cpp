// Bit rates, packet times, the platform-family query and the line-settings
// record built from the properties.
#include <gtest/gtest.h>

#include <optional>

#include "LineSettings.h"
#include "MemorySerialPlatform.h"

#ifdef _WIN32
constexpr const char* kHostFamily = "WNT";
#else
constexpr const char* kHostFamily = "";  // POSIX names none of the three families
#endif

namespace stb::serial {
namespace {

// A platform answering the version query as a chosen one would.
class TVersionPlatform : public stb::testing::TMemorySerialPlatform {
 public:
  explicit TVersionPlatform(std::optional<TOsVersionInfo> answer)
      : TMemorySerialPlatform(""), answer_(answer) {}
  bool GetVersionEx(TOsVersionInfo& info) override {
    if (!answer_) return false;
    info = *answer_;
    return true;
  }

 private:
  std::optional<TOsVersionInfo> answer_;
};

TOsVersionInfo Version(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
  TOsVersionInfo v;
  v.dwPlatformId = platformId;
  v.dwMajorVersion = major;
  v.dwMinorVersion = minor;
  return v;
}

TEST(LineSettings, BitRatesOfEveryValueAndOutOfRangeOrdinals) {
  const std::uint32_t expected[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                    14400, 19200, 38400, 56000, 57600, 115200};
  for (unsigned i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(BaudRateToBps(static_cast<TComPortBaudRate>(i)), expected[i]) << i;
  }
  // Only the low 7 bits count; anything past the table is the top rate.
  EXPECT_EQ(BaudRateToBps(static_cast<TComPortBaudRate>(0x80 | 6)), 9600u);
  EXPECT_EQ(BaudRateToBps(static_cast<TComPortBaudRate>(40)), 115200u);
}

TEST(LineSettings, PacketTimeRoundsHalvesToEven) {
  EXPECT_EQ(PacketTime(br115200, 100), 9);  // 8.68
  EXPECT_EQ(PacketTime(br9600, 64), 67);    // 66.67
  EXPECT_EQ(PacketTime(br9600, 12), 12);    // exactly 12.5 -> 12
  EXPECT_EQ(PacketTime(br9600, 36), 38);    // exactly 37.5 -> 38
  EXPECT_EQ(PacketTime(br110, 11), 1000);
}

TEST(LineSettings, PlatformFamilyAndVersion) {
  struct Case {
    std::optional<TOsVersionInfo> answer;
    const char* family;
    std::uint32_t version;
  } cases[] = {
      {Version(0, 3, 11), "W32S", 0x3000B},
      {Version(1, 4, 10), "W95", 0x4000A},
      {Version(2, 5, 1), "WNT", 0x50001},
      {Version(7, 1, 0), "", 0x10000},
      {Version(2, 0x12345, 0x10002), "WNT", 0x23450002},  // each part cut to 16 bits
      {std::nullopt, "??", 0},
  };
  for (const auto& c : cases) {
    TVersionPlatform p(c.answer);
    EXPECT_EQ(GetOSFamily(p), c.family);
    EXPECT_EQ(GetOSVersion(p), c.version);
  }
  EXPECT_EQ(GetOSFamily(), kHostFamily);
  EXPECT_GE(GetOSVersion(), 0x40000u);  // NT 4 or Linux 4, at the least
}

TEST(LineSettings, RecordForTheProgramsLine) {
  const TDcb dcb = BuildDcb(TLineProperties{}, "WNT", 0x50001);
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(dcb.Flags, 0x1011u);
  EXPECT_EQ(dcb.XonLim, 512);
  EXPECT_EQ(dcb.XoffLim, 512);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
}

TEST(LineSettings, FlagWordForEachHandshakeAndDtr) {
  TLineProperties p;
  p.HwHandshaking = hhNONE;
  p.EnableDTROnOpen = false;
  EXPECT_EQ(BuildDcb(p, "WNT", 0x50001).Flags, 0x0001u);
  p.HwHandshaking = hhRTSCTS;
  EXPECT_EQ(BuildDcb(p, "WNT", 0x50001).Flags, 0x2005u);
  p.EnableDTROnOpen = true;
  p.SwHandshaking = shXONXOFF;
  EXPECT_EQ(BuildDcb(p, "WNT", 0x50001).Flags, 0x2315u);
  p.HwHandshaking = hhNONERTSON;
  EXPECT_EQ(BuildDcb(p, "WNT", 0x50001).Flags, 0x1311u);
  p.DataBits = db5BITS;
  p.Parity = ptSPACE;
  p.StopBits = sb2BITS;
  const TDcb dcb = BuildDcb(p, "WNT", 0x50001);
  EXPECT_EQ(dcb.ByteSize, 5);
  EXPECT_EQ(dcb.Parity, 4);
  EXPECT_EQ(dcb.StopBits, 2);
}

TEST(LineSettings, XonXoffLimitsCappedOnlyOnNtFourOrLater) {
  TLineProperties p;
  p.InBufSize = 40000;  // a quarter is 10000
  EXPECT_EQ(BuildDcb(p, "WNT", 0x40000).XonLim, 4096);
  EXPECT_EQ(BuildDcb(p, "WNT", 0x40000).XoffLim, 4096);
  EXPECT_EQ(BuildDcb(p, "WNT", 0x3FFFF).XonLim, 10000);
  EXPECT_EQ(BuildDcb(p, "W95", 0x4000A).XonLim, 10000);
  EXPECT_EQ(BuildDcb(p, "", 0x60001).XonLim, 10000);
  EXPECT_EQ(BuildDcb(p, "??", 0).XoffLim, 10000);
}

}  // namespace
}  // namespace stb::serial
