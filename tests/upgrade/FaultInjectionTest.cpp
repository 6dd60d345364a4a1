// Faults from outside the protocol: a second program on the port, the image
// shrinking under the transfer, garbage around the box's reports.
#include <gtest/gtest.h>

#include <filesystem>

#include "UpgradeRun.h"

namespace stb::upgrade {
namespace {

using stb::testing::TRecordingWindow;
using stb::testing::TUpgradeRun;

TEST(FaultInjection, SecondInstanceOnThePortIsRefusedAndTheFirstGoesOn) {
  TUpgradeRun run;
  run.Start(4 * 1024);
  TRecordingWindow secondWindow;
  serial::TSerialLink secondLink;
  secondLink.SetDevicePath(run.Link().PortDeviceName());
  TUpgrade second(secondLink, secondWindow);
  EXPECT_FALSE(second.StartUp());
  EXPECT_EQ(secondWindow.Boxes,
            std::vector<std::string>{"message: Error: could not connect.  Check COM port settings"});
  second.Tick();  // its ticks go nowhere

  EXPECT_EQ(run.Upgrade(3), "");
  EXPECT_EQ(run.Summary().End, "done");
  EXPECT_TRUE(run.Logged("Congraturation! Software Upgrade OK !!!"));
}

TEST(FaultInjection, ImageThatShrankAfterItWasMeasuredIsNotSent) {
  TUpgradeRun run;
  run.Start(5 * 1024);
  for (char c : std::string("APP103")) run.Core().KeyPress(c);
  std::filesystem::resize_file("image.bin", 2000);  // measured as 5 blocks, now under 2
  // Padded with zeros, it would go to the box as an image nobody checked.
  EXPECT_EQ(run.Upgrade(3), "Image file ./image.bin has changed since the include file was read");
  EXPECT_NE(run.Summary().End, "done");
  EXPECT_TRUE(run.Summary().Image.empty());
  EXPECT_EQ(run.Summary().GoBlocks, 0);
}

TEST(FaultInjection, GarbageAroundTheMarkersIsIgnored) {
  TUpgradeRun run;
  run.Box.GarbageBetweenReports = true;
  run.Start(9 * 1024);
  EXPECT_EQ(run.Upgrade(7), "");
  EXPECT_EQ(run.Summary().End, "done");
  EXPECT_TRUE(run.Logged("7. Update Version Table OK"));
}

}  // namespace
}  // namespace stb::upgrade
