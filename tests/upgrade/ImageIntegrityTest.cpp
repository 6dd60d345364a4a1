// The image the box receives is the image measured when the mode was chosen:
// a change before the go message is a file error with nothing sent; a change
// under the transfer fails the upgrade before the box is told to write its
// flash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "ModeTable.h"
#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::testing::TUpgradeRun;

constexpr char kChanged[] = "Image file ./image.bin has changed since the include file was read";
constexpr char kChangedLine[] = "  ERROR: Image file changed during the DownLoad !!";
constexpr std::size_t kImageBytes = 5 * 1024 + 300;  // six blocks, the last one padded
constexpr std::uint64_t kFrameBytes = 1025;

void Overwrite(off_t at, const std::string& bytes) {
  const int fd = ::open("image.bin", O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

void ReplaceWith(const std::string& bytes) {
  std::ofstream out("image.new", std::ios::binary);
  out << bytes;
  out.close();  // all of it there before it takes the image's name
  ASSERT_TRUE(out);
  std::filesystem::rename("image.new", "image.bin");
}

// Types the code (the include file is read and the image measured), lets
// `change` act on the image, then runs the upgrade.
std::string UpgradeAfter(TUpgradeRun& run, const std::function<void()>& change) {
  for (char c : std::string(ModeEntry(3).Code)) run.Core().KeyPress(c);
  change();
  return run.Upgrade(3);
}

// (An image that shrank is in FaultInjectionTest.)
TEST(ImageIntegrity, ChangedBeforeTheGoMessageIsAFileErrorWithNothingSent) {
  struct Case {
    const char* name;
    std::function<void(const std::string& image)> change;
    const char* error;
  } cases[] = {
      {"overwritten", [](const std::string&) { Overwrite(100, "changed"); }, kChanged},
      // Zeros where the last block is padded: the same frames, another file.
      {"grown", [](const std::string&) { std::filesystem::resize_file("image.bin", kImageBytes + 1); },
       kChanged},
      {"replaced", [](const std::string& image) { ReplaceWith("X" + image.substr(1)); }, kChanged},
      {"removed", [](const std::string&) { std::filesystem::remove("image.bin"); },
       "Cannot open file ./image.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    run.Start(kImageBytes);
    EXPECT_EQ(UpgradeAfter(run, [&] { c.change(run.Image); }), c.error);
    EXPECT_TRUE(run.Summary().GoMessage.empty());
    EXPECT_EQ(run.Summary().BlocksAccepted, 0);
    EXPECT_EQ(run.Window.Log.back(), "  -. Start DATE : D2412 .");
    EXPECT_EQ(run.SentAfterLastLogLine(), 0u);  // not one byte of the go message
    // Left as any file error leaves the window: open, ticks stopped, no box.
    EXPECT_TRUE(run.Window.TicksStopped);
    EXPECT_FALSE(run.Window.Closed);
    EXPECT_TRUE(run.Window.Boxes.empty());
  }
}

TEST(ImageIntegrity, ChangedUnderTheTransferFailsBeforeTheBoxIsTold) {
  // Block 2 is refused once: its retry line marks a moment inside the
  // transfer, with blocks 0 to 2 read and the rest still to come.
  struct Case {
    const char* name;
    const char* at;  // the log line after which the image changes
    std::function<void()> change;
  } cases[] = {
      {"overwritten before the first block", "3. Start DownLoad", [] { Overwrite(0, "changed"); }},
      {"overwritten in the middle", "  retry : 2 block", [] { Overwrite(4 * 1024 + 10, "changed"); }},
      {"truncated in the middle", "  retry : 2 block",
       [] { std::filesystem::resize_file("image.bin", 3000); }},
      {"grown into the padding", "  retry : 2 block", [] { Overwrite(kImageBytes, "more"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    run.Box.RefuseBlock[2] = 1;
    // What the tool sent between the line before the failure line and the
    // failure line itself.
    std::uint64_t sentBeforeFailure = 0;
    std::string lineBeforeFailure;
    auto counting = run.Window.OnLog;
    run.Window.OnLog = [&, counting] {
      const auto& log = run.Window.Log;
      if (log.back() == c.at) c.change();
      if (log.back() == kChangedLine) {
        sentBeforeFailure = run.SentAfterLastLogLine();
        lineBeforeFailure = log[log.size() - 2];
      }
      counting();
    };
    run.Start(kImageBytes);
    EXPECT_EQ(run.Upgrade(3), "");

    EXPECT_EQ(run.Window.Log.back(), kChangedLine);
    EXPECT_EQ(run.Window.Boxes.back(), "message: Software Upgrade Fail !!!");
    EXPECT_TRUE(run.Window.Closed);
    EXPECT_FALSE(run.Logged("4. DownLoad OK"));
    EXPECT_FALSE(run.Logged("Congraturation! Software Upgrade OK !!!"));
    EXPECT_EQ(run.SentAfterLastLogLine(), 0u);
    // Every frame went out and was taken, then nothing more: neither the
    // total checksum nor, far less, the go-on byte that has the box write
    // its flash.
    EXPECT_EQ(run.Summary().BlocksAccepted, 6);
    EXPECT_NE(run.Summary().End, "done");
    ASSERT_EQ(lineBeforeFailure, "  retry : 2 block");
    EXPECT_EQ(sentBeforeFailure, 1 + 4 * kFrameBytes);  // 'A', then blocks 2 to 5
  }
}

TEST(ImageIntegrity, SameBytesStillUpgrade) {
  struct Case {
    const char* name;
    const char* at;
    std::function<void(const std::string& image)> change;
  } cases[] = {
      // Written again with the same bytes: the content counts, not the time.
      {"rewritten alike before the go message", "  -. Start DATE : D2412 .",
       [](const std::string& image) { Overwrite(0, image); }},
      // The open file is the measured one; a new file under its name is not sent.
      {"replaced under the transfer", "  retry : 2 block",
       [](const std::string& image) { ReplaceWith(std::string(image.size(), 'Z')); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TUpgradeRun run;
    run.Box.RefuseBlock[2] = 1;
    auto counting = run.Window.OnLog;
    run.Window.OnLog = [&, counting] {
      if (run.Window.Log.back() == c.at) c.change(run.Image);
      counting();
    };
    run.Start(kImageBytes);
    EXPECT_EQ(run.Upgrade(3), "");
    EXPECT_TRUE(run.Logged("Congraturation! Software Upgrade OK !!!"));
    EXPECT_EQ(run.Summary().End, "done");
    const std::string received(run.Summary().Image.begin(), run.Summary().Image.end());
    EXPECT_TRUE(received == run.PaddedImage());
  }
}

}  // namespace
}  // namespace stb::upgrade
