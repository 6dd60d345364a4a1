// Reading the installation include file: line rules, conversions, the image
// measure and every error text.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "Conversions.h"
#include "IncludeFile.h"
#include "RecordingWindow.h"
#include "RunError.h"
#include "ScratchDir.h"

namespace stb::upgrade {
namespace {

using stb::testing::IncludeText;
using stb::testing::TRecordingWindow;
using stb::testing::TScratchDir;

// A complete include file for an image at ./image.bin.
std::string Valid() {
  const std::string lines[12] = {"A1B2C3",      "01.0A", "02.01",
                                 "03.00",       "04.10", "05.20",
                                 "06.30",       "D2412", "Label text that is long",
                                 "./image.bin", "3",     "0x9FC00000"};
  return IncludeText(lines);
}

struct TReading {
  TScratchDir dir;
  TRecordingWindow window;
  TUpgradeRecord record;

  explicit TReading(const std::string& include, std::size_t imageBytes = 3000) {
    dir.Write("inc/app1.inc", include);
    dir.Write("image.bin", std::string(imageBytes, '\x5A'));
  }
  // The error text, or "" when the reading succeeded.
  std::string Read(const std::string& path = "./inc/app1.inc") {
    try {
      ReadIncludeFile(path, record, window.Events());
      return "";
    } catch (const ERunError& e) {
      return e.Text();
    }
  }
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(IncludeFile, FillsEveryFieldLogsTheAddressAndShowsTheCounter) {
  TReading r(Valid(), 300 * 1024 - 100);
  ASSERT_EQ(r.Read(), "");
  const TUpgradeRecord& rec = r.record;
  EXPECT_EQ(rec.IncOui[0], 0xA1);
  EXPECT_EQ(rec.IncOui[1], 0xB2);
  EXPECT_EQ(rec.IncOui[2], 0xC3);
  EXPECT_EQ(rec.IncModel.Major, 1);
  EXPECT_EQ(rec.IncModel.Minor, 10);
  EXPECT_EQ(rec.IncHwVersion.Major, 2);
  EXPECT_EQ(rec.IncBootVersion.Major, 3);
  EXPECT_EQ(rec.IncNativeVersion.Minor, 0x10);
  EXPECT_EQ(rec.IncApp1Version.Minor, 0x20);
  EXPECT_EQ(rec.IncApp2Version.Major, 6);
  EXPECT_EQ(rec.IncApp2Version.Minor, 0x30);
  EXPECT_EQ(rec.IncStartDate, "D2412");
  EXPECT_EQ(rec.IncLabel, "Label text th");
  EXPECT_EQ(rec.ImageFileName, "./image.bin");
  EXPECT_EQ(rec.VersionSlot, 3);
  EXPECT_EQ(rec.IncAddress, (TAddressBytes{0x00, 0x00, 0xC0, 0x9F}));
  EXPECT_EQ(rec.ImageSize, 300 * 1024);
  EXPECT_EQ(rec.BlockCount, 300);
  EXPECT_EQ(rec.SizeLow, 44);
  EXPECT_EQ(rec.SizeHigh, 1);
  EXPECT_TRUE(rec.IncludeFileRead);
  ASSERT_EQ(r.window.Log.size(), 1u);
  EXPECT_EQ(r.window.Log[0], "  The Download Address is 0x9FC00000 in the include file(./inc/xxxx.inc).");
  ASSERT_EQ(r.window.Counters.size(), 1u);
  EXPECT_EQ(r.window.Counters[0], "( 0 / 307200 )");
}

TEST(IncludeFile, ImageRoundsUpToWholeBlocks) {
  struct Case {
    std::size_t bytes;
    std::int32_t imageSize;
    const char* counter;
  } cases[] = {{2048, 2048, "( 0 / 2048 )"},
               {2049, 3072, "( 0 / 3072 )"},
               {0, 0, "( 0 / 0 )"},
               {1, 1024, "( 0 / 1024 )"}};
  for (const auto& c : cases) {
    TReading r(Valid(), c.bytes);
    ASSERT_EQ(r.Read(), "");
    EXPECT_EQ(r.record.ImageSize, c.imageSize);
    EXPECT_EQ(r.record.BlockCount, c.imageSize / 1024);
    EXPECT_EQ(r.window.Counters.back(), c.counter);
  }
}

TEST(IncludeFile, LineEndsAndEndOfData) {
  // A carriage return alone ends a line as well as CR LF does.
  {
    std::string crOnly = Valid();
    for (auto pos = crOnly.find("\r\n"); pos != std::string::npos; pos = crOnly.find("\r\n"))
      crOnly.erase(pos + 1, 1);
    TReading r(crOnly);
    EXPECT_EQ(r.Read(), "");
    EXPECT_EQ(r.record.IncAddress[3], 0x9F);
  }
  // Line feeds alone end nothing: everything is line 1, line 2 is empty.
  {
    std::string lfOnly = Valid();
    for (auto pos = lfOnly.find('\r'); pos != std::string::npos; pos = lfOnly.find('\r'))
      lfOnly.erase(pos, 1);
    TReading r(lfOnly);
    EXPECT_EQ(r.Read(), "'0x' is not a valid integer value");
    EXPECT_EQ(r.record.IncOui[0], 0xA1);  // line 1 still gave its pairs
  }
  // 0x1A ends the data; lines missing after it read as empty.
  {
    TReading r(Replace(Valid(), "\r\n3\r\n", "\r\n3\r\n\x1A"));
    EXPECT_EQ(r.Read(), "'' is not a valid integer value");
    EXPECT_EQ(r.record.VersionSlot, 3);
    EXPECT_TRUE(r.window.Log.empty());  // no address line without line 12
    EXPECT_TRUE(r.window.Counters.empty());
  }
  // Anything after the twelfth line is ignored; a file without line ends
  // after line 12 still reads.
  {
    TReading r(Valid() + "garbage\r\nmore");
    EXPECT_EQ(r.Read(), "");
    std::string noFinalEnd = Valid();
    noFinalEnd.resize(noFinalEnd.size() - 2);
    TReading r2(noFinalEnd);
    EXPECT_EQ(r2.Read(), "");
  }
}

TEST(IncludeFile, VersionPairsTakeAnySeparatorButTwoDigitsEach) {
  for (const char* line : {"01.0A", "01-0A", "01 0A", "01x0a"}) {
    TReading r(Replace(Valid(), "01.0A", line));
    ASSERT_EQ(r.Read(), "") << line;
    EXPECT_EQ(r.record.IncModel.Major, 1) << line;
    EXPECT_EQ(r.record.IncModel.Minor, 10) << line;
  }
  TReading bad(Replace(Valid(), "01.0A", "1.10"));
  EXPECT_EQ(bad.Read(), "'0x1.' is not a valid integer value");
  // A NUL in the file does not cut the error's text short.
  TReading nul(Replace(Valid(), "01.0A", std::string("\0Z.0A", 5)));
  EXPECT_EQ(nul.Read(), std::string("'0x\0Z' is not a valid integer value", 35));
  // Fields before the failing line keep their values, the rest stay empty.
  TReading late(Replace(Valid(), "05.20", "05.G0"));
  EXPECT_EQ(late.Read(), "'0xG0' is not a valid integer value");
  EXPECT_EQ(late.record.IncNativeVersion.Minor, 0x10);
  EXPECT_EQ(late.record.IncApp1Version.Major, 0);
  EXPECT_TRUE(late.record.ImageFileName.empty());
  EXPECT_FALSE(late.record.IncludeFileRead);
}

TEST(IncludeFile, OuiPairsThatDoNotConvertQuietlyGiveZero) {
  TReading r(Replace(Valid(), "A1B2C3", "ZZ1234"));
  ASSERT_EQ(r.Read(), "");
  EXPECT_EQ(r.record.IncOui, (std::array<std::uint8_t, 3>{0, 0x12, 0x34}));
  TReading shortLine(Replace(Valid(), "A1B2C3", "A1B"));
  ASSERT_EQ(shortLine.Read(), "");
  EXPECT_EQ(shortLine.record.IncOui, (std::array<std::uint8_t, 3>{0xA1, 0x0B, 0}));
}

TEST(IncludeFile, VersionSlotIsTheFirstCharacterAsADecimalDigit) {
  TReading r(Replace(Valid(), "\r\n3\r\n", "\r\n4 anything\r\n"));
  ASSERT_EQ(r.Read(), "");
  EXPECT_EQ(r.record.VersionSlot, 4);
  TReading letter(Replace(Valid(), "\r\n3\r\n", "\r\nA\r\n"));
  EXPECT_EQ(letter.Read(), "'A' is not a valid integer value");
  TReading empty(Replace(Valid(), "\r\n3\r\n", "\r\n\r\n"));
  EXPECT_EQ(empty.Read(), "'' is not a valid integer value");
}

TEST(IncludeFile, AddressLineCaseAndWhatFollowsIt) {
  TReading r(Replace(Valid(), "0x9FC00000", "0Xbfc10000 trailing words"));
  ASSERT_EQ(r.Read(), "");
  EXPECT_EQ(r.record.IncAddress, (TAddressBytes{0x00, 0x00, 0xC1, 0xBF}));
  EXPECT_EQ(r.window.Log[0], "  The Download Address is 0Xbfc10000 in the include file(./inc/xxxx.inc).");
  TReading bad(Replace(Valid(), "0x9FC00000", "0x9FC0Z000"));
  EXPECT_EQ(bad.Read(), "'0xZ0' is not a valid integer value");
  TReading noPrefix(Replace(Valid(), "0x9FC00000", "9FC00000"));
  EXPECT_EQ(noPrefix.Read(), "'9FC0' is not a valid integer value");
}

TEST(IncludeFile, OpenErrorsNameTheirCause) {
  {
    TReading r(Valid());
    EXPECT_EQ(r.Read("./inc/gui.inc"), "File not found");
    EXPECT_EQ(r.Read("./nothere/gui.inc"), "Invalid filename");
    EXPECT_EQ(r.Read("./inc"), "I/O error 21");  // a folder reads as an I/O error
  }
  EXPECT_EQ(IncludeOpenErrorText(EACCES, true), "File access denied");
  EXPECT_EQ(IncludeOpenErrorText(EIO, true), "I/O error 5");
  EXPECT_EQ(DefaultErrorText("File not found"), "File not found.");
  EXPECT_EQ(DefaultErrorText("Ends in one."), "Ends in one.");
}

TEST(IncludeFile, ImageThatCannotBeOpenedIsReportedAtOnce) {
  TReading r(Replace(Valid(), "./image.bin", "./missing.bin"));
  EXPECT_EQ(r.Read(), "Cannot open file ./missing.bin");
  EXPECT_EQ(r.window.Log.size(), 1u);  // the address line came first
  EXPECT_TRUE(r.window.Counters.empty());
  EXPECT_FALSE(r.record.IncludeFileRead);

  TReading folder(Replace(Valid(), "./image.bin", "./inc"));
  EXPECT_EQ(folder.Read(), "Cannot open file ./inc");

  // Held by another program: not shared.
  TReading held(Valid());
  const int fd = ::open("image.bin", O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(held.Read(), "Cannot open file ./image.bin");
  ::close(fd);
}

TEST(IncludeFile, ImageOfMoreThan65535BlocksIsRefused) {
  TReading r(Valid(), 0);
  std::filesystem::resize_file("image.bin", 65535 * 1024);
  ASSERT_EQ(r.Read(), "");
  EXPECT_EQ(r.record.BlockCount, 65535);
  EXPECT_EQ(r.record.SizeLow, 255);
  EXPECT_EQ(r.record.SizeHigh, 255);

  TReading big(Valid(), 0);
  std::filesystem::resize_file("image.bin", 65535 * 1024 + 1);
  const std::string error = big.Read();
  EXPECT_NE(error.find("./image.bin"), std::string::npos) << error;
  EXPECT_NE(error.find("65535 blocks"), std::string::npos) << error;
  EXPECT_EQ(big.record.BlockCount, 0);
  EXPECT_FALSE(big.record.IncludeFileRead);
}

TEST(IncludeFile, OnlyAPlainFileIsReadAndOnlyItsStart) {
  const std::string notPlain = "Include file ./inc/app1.inc is not a plain file";
  // A device or a pipe under the include file's name is refused at once,
  // never waited on, never read without end.
  for (const char* device : {"/dev/null", "/dev/zero"}) {
    SCOPED_TRACE(device);
    TReading r(Valid());
    std::filesystem::remove("inc/app1.inc");
    std::filesystem::create_symlink(device, "inc/app1.inc");
    EXPECT_EQ(r.Read(), notPlain);
  }
  {
    TReading r(Valid());
    std::filesystem::remove("inc/app1.inc");
    ASSERT_EQ(::mkfifo("inc/app1.inc", 0600), 0);
    // Should the open wait for a writer, one comes after three seconds.
    std::atomic<bool> read{false};
    std::thread writer([&] {
      for (int i = 0; i < 300 && !read; ++i) ::usleep(10000);
      const int fd = ::open("inc/app1.inc", O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(r.Read(), notPlain);
    read = true;
    writer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  }
  // Lines past the twelfth may run on as far as they like...
  {
    TReading r(Valid() + std::string(100 * 1024, 'x'));
    EXPECT_EQ(r.Read(), "");
  }
  // ...but the twelve must end within the first 64 KiB: a file of a
  // gigabyte without a line end is not read through.
  {
    TReading r(Valid());
    std::filesystem::resize_file("inc/app1.inc", 0);
    std::filesystem::resize_file("inc/app1.inc", std::uintmax_t{1} << 30);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(r.Read(),
              "Include file ./inc/app1.inc is too large: its twelve lines take more than 65536 bytes");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_FALSE(r.record.IncludeFileRead);
  }
}

TEST(IncludeFile, ImageNameWithANulByteIsRefusedNotShortened) {
  const std::string name("./image.bin\0.old", 16);
  TReading r(Replace(Valid(), "./image.bin", name));
  EXPECT_EQ(r.Read(), "Cannot open file " + name + ": the name holds a NUL byte");
  EXPECT_EQ(r.record.ImageFileName, name);
  EXPECT_FALSE(r.record.IncludeFileRead);
}

TEST(Conversions, IntegersAsTheIncludeFileWritesThem) {
  EXPECT_EQ(ParseInteger("$ff"), 255);
  EXPECT_EQ(ParseInteger("0x0A"), 10);
  EXPECT_EQ(ParseInteger("0X9f"), 0x9F);
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("-1"), -1);
  EXPECT_EQ(ParseInteger("0xFFFFFFFF"), -1);
  for (const char* bad : {"", "$", "0x", "0x 1", " 1", "1 ", "0x1g", "2147483648", "0x100000000", "--1"}) {
    EXPECT_FALSE(ParseInteger(bad)) << bad;
  }
  EXPECT_EQ(ConvertByte("0x1FF"), 0xFF);  // the field keeps the low 8 bits
  EXPECT_EQ(Chars("abc", 2, 5), "bc");
  EXPECT_EQ(Chars("abc", 4, 2), "");
}

}  // namespace
}  // namespace stb::upgrade
