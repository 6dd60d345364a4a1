// A port's log window, off-screen, over a file the test writes as a port
// would: only whole lines shown, followed as the file grows, started over on
// a new file or one written anew, and the words for a station without logs.
#include <gtest/gtest.h>

#include <QTest>
#include <fstream>

#include "PortLogWindow.h"
#include "ScratchDir.h"
#include "StationWindowLayout.h"

namespace stb::ui {
namespace {

using stb::testing::TScratchDir;

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

TEST(PortLogWindow, ShowsWholeLinesAndFollowsTheFileAndStartsOverOnANewOne) {
  TScratchDir dir;
  std::string file = "logs-a.log";
  TPortLogWindow log(nullptr, "/dev/ttyUSB0", [&] { return file; });
  EXPECT_EQ(log.windowTitle(), "Log of /dev/ttyUSB0");
  EXPECT_TRUE(log.toPlainText().isEmpty());  // no box yet: no file yet

  Append(file, "one\ntwo\nthr");
  log.Refresh();
  EXPECT_EQ(log.toPlainText(), "one\ntwo");  // the third line is not whole yet
  Append(file, "ee\r\nfour\n");
  log.Refresh();
  EXPECT_EQ(log.toPlainText(), "one\ntwo\nthree\nfour");
  log.Refresh();  // nothing new: nothing added
  EXPECT_EQ(log.toPlainText(), "one\ntwo\nthree\nfour");

  // Written anew (shorter than what was read): read from its start.
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "fresh\n";
  log.Refresh();
  EXPECT_EQ(log.toPlainText(), "fresh");

  // The port came back with a log of its own.
  file = "logs-b.log";
  Append(file, "b1\n");
  log.Refresh();
  EXPECT_EQ(log.toPlainText(), "b1");
  EXPECT_EQ(log.File(), "logs-b.log");

  // Refreshed on its timer while shown, not while hidden.
  log.show();
  Append(file, "b2\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return log.toPlainText() == "b1\nb2"; }, 3000));
  log.hide();
  Append(file, "b3\n");
  QTest::qWait(static_cast<int>(layout::station::kLogRefreshMs) + 300);
  EXPECT_EQ(log.toPlainText(), "b1\nb2");
}

TEST(PortLogWindow, AStationWithoutLogsSaysHowToKeepThem) {
  TPortLogWindow log(nullptr, "COM3", [] { return std::string(); });
  EXPECT_EQ(log.toPlainText(), layout::station::kNoLog);
  log.Refresh();
  EXPECT_EQ(log.toPlainText(), layout::station::kNoLog);
}

}  // namespace
}  // namespace stb::ui
