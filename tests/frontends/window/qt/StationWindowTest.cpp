// The station window, off-screen, over simulated boxes on pseudo-terminals:
// the code typed into its masked field, the tiles following the ports'
// states, "Stop taking boxes", the close question and the window closing
// itself once the last upgrade ended, and a tile opening its port's log.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "BoxSim.h"
#include "PtyPair.h"
#include "ScratchDir.h"
#include "StationWindow.h"
#include "StationWindowLayout.h"

namespace stb::ui {
namespace {

namespace s = layout::station;
using app::TPortStatus;
using stb::testing::TPtyPair;
using stb::testing::TScratchDir;

QColor StatusColor(TPortStatus status) {
  const layout::TRgb c = s::kStatusColors[static_cast<int>(status)];
  return QColor(c.R, c.G, c.B);
}

// A box from another maker: refused at its identity.
sim::TBoxConfig Refusing() {
  sim::TBoxConfig config;
  config.Identity[1] = 0x33;
  return config;
}

// A box that takes `ms` for each of its flash steps.
sim::TBoxConfig SlowFlash(int ms) {
  sim::TBoxConfig config;
  config.FlashStepDelayMs = ms;
  return config;
}

std::vector<std::string> ReportLines() {
  std::ifstream in("report.jsonl");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A scratch folder with the include file of APP103 and its image, boxes on
// pseudo-terminals, and the window over them (logs and report in the folder).
struct TStationWindowRun {
  TScratchDir dir;
  std::vector<std::unique_ptr<sim::TBoxSim>> boxes;
  std::unique_ptr<TStationWindow> window;
  int asked = 0;
  bool answer = true;

  // 16 blocks: four flash steps.
  explicit TStationWindowRun(std::size_t imageBytes = 16 * 1024) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'w'));
  }
  ~TStationWindowRun() {
    // Boxes gone, the ports end their upgrades; then the window closes as
    // it would for an operator, and its station's threads are done with.
    for (auto& b : boxes) b->Stop();
    if (window && window->isVisible()) {
      answer = true;
      window->close();
      if (!QTest::qWaitFor([&] { return !window->isVisible(); }, 20000)) {
        ADD_FAILURE() << "the window did not close";
        window->EndNow("the test's end");
      }
    }
  }

  std::string AddBox(const sim::TBoxConfig& config = sim::TBoxConfig()) {
    boxes.push_back(std::make_unique<sim::TBoxSim>(config));
    boxes.back()->Start();
    return boxes.back()->DevicePath();
  }

  void Open(const std::vector<std::string>& ports, const std::string& code = "") {
    app::TOptions options;
    options.Station = options.Window = true;
    options.Ports = ports;
    options.Code = code;
    options.LogDir = "logs";
    options.Report = "report.jsonl";
    options.ResponseTimeoutMs = 2500;  // longer than a slow flash step
    TStationWindowHooks hooks;
    hooks.AnswerClose = [this] {
      ++asked;
      return answer;
    };
    window = std::make_unique<TStationWindow>(
        options, [] { return std::vector<std::string>{}; }, nullptr, hooks);
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) ADD_FAILURE() << "window not active";
  }

  void TypeCode(const QString& code) {
    QTest::keyClicks(window->CodeField(), code);
    QTest::keyClick(window->CodeField(), Qt::Key_Return);
  }

  TStationTile* Tile(std::size_t slot) const {
    return slot < window->Tiles().size() ? window->Tiles()[slot] : nullptr;
  }
  bool WaitStatus(std::size_t slot, TPortStatus status, int ms = 15000) {
    return QTest::qWaitFor([&] { return Tile(slot) != nullptr && Tile(slot)->Status() == status; }, ms);
  }
};

TEST(StationWindow, AWrongCodeTouchesNoPortAndARightOneStarts) {
  TStationWindowRun run;
  TPtyPair line;  // nobody answers on it: what the window sends is read here
  run.Open({line.DevicePath()});
  TStationWindow& w = *run.window;
  EXPECT_EQ(w.windowTitle(), "stb-downloader station");
  EXPECT_EQ(w.CodeField()->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(w.CodeField()->hasFocus());
  EXPECT_FALSE(w.TypeCode()->isVisible());  // the tiles stand there
  EXPECT_FALSE(w.StopButton()->isEnabled());
  EXPECT_EQ(w.StatusText()->text(), "type the mode code to start");

  run.TypeCode("XYZ");
  EXPECT_EQ(w.CodeMessage()->text(), "This code chooses no mode. Type the code again.");
  EXPECT_TRUE(w.CodeField()->text().isEmpty());  // ready for the next try
  EXPECT_TRUE(w.CodeField()->isEnabled());
  QTest::qWait(3 * s::kTurnMs);
  // The port's tile shows from the start, waiting for the code.
  ASSERT_EQ(w.Tiles().size(), 1u);
  EXPECT_EQ(run.Tile(0)->Text().State, "waiting for the code");
  EXPECT_EQ(line.Receive(1, 300), "");  // the port was never opened
  EXPECT_FALSE(std::filesystem::exists("logs"));

  // Start takes it as Enter does; the message goes.
  QTest::keyClicks(w.CodeField(), "APP103");
  QTest::mouseClick(w.StartButton(), Qt::LeftButton);
  EXPECT_TRUE(w.CodeMessage()->text().isEmpty());
  EXPECT_FALSE(w.CodeField()->isEnabled());
  EXPECT_FALSE(w.StartButton()->isEnabled());
  EXPECT_FALSE(w.TypeCode()->isVisible());
  EXPECT_TRUE(w.StopButton()->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Tiles().size() == 1; }, 2000));
  EXPECT_FALSE(line.Receive(1, 3000).empty());  // the waiting ticks call for a box
  EXPECT_EQ(w.StatusText()->text(), "taking boxes");
  EXPECT_EQ(run.Tile(0)->Status(), TPortStatus::Waiting);
  EXPECT_EQ(run.Tile(0)->Color(), StatusColor(TPortStatus::Waiting));
  EXPECT_TRUE(run.Tile(0)->hasFocus());  // keys go to the tiles now, not the buttons
}

TEST(StationWindow, ACodeFromTheCommandLineStartsAtOnceAndAWrongOneWaitsForAnother) {
  TStationWindowRun run;
  TPtyPair line;
  run.Open({line.DevicePath()}, "NOPE99");
  EXPECT_EQ(run.window->CodeMessage()->text(), "stb-downloader: the code given with --code chooses no mode");
  EXPECT_TRUE(run.window->CodeField()->isEnabled());
  EXPECT_EQ(line.Receive(1, 300), "");
  // Closed without a code: nothing ran, the status says so.
  run.window->close();
  EXPECT_FALSE(run.window->isVisible());
  EXPECT_EQ(run.window->ExitStatus(), 2);

  TStationWindowRun started;
  TPtyPair other;
  started.Open({other.DevicePath()}, "APP103");
  EXPECT_FALSE(started.window->CodeField()->isEnabled());
  EXPECT_TRUE(started.window->CodeMessage()->text().isEmpty());
  EXPECT_FALSE(other.Receive(1, 3000).empty());
}

TEST(StationWindow, TilesTakeTheColourAndTheWordsOfTheirPortsState) {
  TStationWindowRun run;
  const std::string good = run.AddBox();
  const std::string refused = run.AddBox(Refusing());
  const std::string busy = run.AddBox(SlowFlash(1500));
  run.Open({good, refused, busy, "/dev/does-not-exist-stb"}, "APP103");

  ASSERT_TRUE(run.WaitStatus(0, TPortStatus::Passed));
  ASSERT_TRUE(run.WaitStatus(1, TPortStatus::Refused));
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.Tile(2)->Text().State == "flash write"; }, 10000))
      << run.Tile(2)->Text().State;
  ASSERT_TRUE(run.WaitStatus(3, TPortStatus::Gone));

  const TStationTile& passed = *run.Tile(0);
  EXPECT_EQ(passed.Color(), StatusColor(TPortStatus::Passed));
  EXPECT_EQ(passed.Text().Port, good);
  EXPECT_EQ(passed.Text().Identity, "model 1.0  hardware 1.0");
  EXPECT_EQ(passed.Text().Outcome, "upgraded: Congraturation! Software Upgrade OK !!!");
  EXPECT_EQ(passed.Text().Counters, "upgraded 1  refused 0  failed 0");
  // Whole in the tooltip; in the tile, wrapped into its two note lines.
  EXPECT_TRUE(passed.toolTip().contains("upgraded: Congraturation! Software Upgrade OK !!!"));
  const QStringList note = passed.NoteLines(passed.fontMetrics(), s::kTileNote.Width);
  ASSERT_FALSE(note.isEmpty());
  EXPECT_LE(note.size(), 2);
  EXPECT_TRUE(note.join(' ').startsWith("upgraded: Congraturation!")) << note.join('|').toStdString();
  for (const QString& l : note) EXPECT_LE(passed.fontMetrics().horizontalAdvance(l), s::kTileNote.Width);
  EXPECT_EQ(passed.Percent(), -1);  // no bar once the box is done

  const TStationTile& failed = *run.Tile(1);
  EXPECT_EQ(failed.Color(), StatusColor(TPortStatus::Refused));
  EXPECT_NE(failed.Color(), StatusColor(TPortStatus::Failed));
  EXPECT_EQ(failed.Text().Outcome, "refused:   - Invalid OUI !!");
  EXPECT_EQ(failed.Text().After, "");  // never told what it would get
  EXPECT_EQ(failed.Text().Counters, "upgraded 0  refused 1  failed 0");

  const TStationTile& upgrading = *run.Tile(2);
  EXPECT_EQ(upgrading.Color(), StatusColor(TPortStatus::Upgrading));
  EXPECT_EQ(upgrading.Status(), TPortStatus::Upgrading);
  EXPECT_GE(upgrading.Percent(), 0);
  EXPECT_FALSE(upgrading.Text().Step.empty());
  EXPECT_FALSE(upgrading.Text().Before.empty());
  EXPECT_FALSE(upgrading.Text().After.empty());
  EXPECT_TRUE(upgrading.Text().Outcome.empty());

  EXPECT_EQ(run.Tile(3)->Color(), StatusColor(TPortStatus::Gone));
  EXPECT_EQ(run.Tile(3)->Text().State, "no port");

  EXPECT_TRUE(run.window->CountersText()->text().startsWith(
      "upgraded 1   refused 1   failed 0   total 2   running 1   time 0:00:"))
      << run.window->CountersText()->text().toStdString();

  // Four tiles across the window as it opens, in the layout's places.
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(run.Tile(i)->geometry().topLeft(),
              QPoint(s::TilePlace(static_cast<int>(i), 4).Left, s::TilePlace(static_cast<int>(i), 4).Top));

  // Ctrl+C on a tile copies its words, as it shows them.
  run.Tile(1)->setFocus();
  QTest::keyClick(run.Tile(1), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), run.Tile(1)->Lines().join('\n'));
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QString::fromStdString(refused) + "\n"));

  // Once the slow box is done too: green, and a turn in which nothing
  // changed paints no tile.
  ASSERT_TRUE(run.WaitStatus(2, TPortStatus::Passed));
  QTest::qWait(3 * s::kTurnMs);
  const long painted = run.window->TilesRedrawn();
  QTest::qWait(3 * s::kTurnMs);
  EXPECT_EQ(run.window->TilesRedrawn(), painted);
}

TEST(StationWindow, ClosingDuringAnUpgradeAsksOnceAndClosesWhenTheLastBoxIsDone) {
  TStationWindowRun run;
  const std::string busy = run.AddBox(SlowFlash(1000));
  TPtyPair empty;  // a port waiting for a box
  run.Open({busy, empty.DevicePath()}, "APP103");
  TStationWindow& w = *run.window;
  ASSERT_TRUE(run.WaitStatus(0, TPortStatus::Upgrading));

  // Answered No: nothing changes.
  run.answer = false;
  w.close();
  EXPECT_EQ(run.asked, 1);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.StatusText()->text(), "taking boxes");

  // "Stop taking boxes": no new box, the one under way goes on; the same
  // button takes boxes again.
  QTest::mouseClick(w.StopButton(), Qt::LeftButton);
  EXPECT_EQ(w.StatusText()->text(), "taking no new boxes: 1 upgrade(s) under way");
  EXPECT_EQ(w.StopButton()->text(), "Take boxes again");
  EXPECT_TRUE(w.StopButton()->isEnabled());
  QTest::mouseClick(w.StopButton(), Qt::LeftButton);
  EXPECT_EQ(w.StatusText()->text(), "taking boxes");
  EXPECT_EQ(w.StopButton()->text(), "Stop taking boxes");
  QTest::mouseClick(w.StopButton(), Qt::LeftButton);
  EXPECT_EQ(w.StatusText()->text(), "taking no new boxes: 1 upgrade(s) under way");

  // Answered Yes: asked no more, and the window waits for the box.
  run.answer = true;
  w.close();
  EXPECT_EQ(run.asked, 2);
  EXPECT_TRUE(w.isVisible());
  w.close();
  EXPECT_EQ(run.asked, 2);
  EXPECT_TRUE(w.isVisible());
  QTest::qWait(2 * s::kTurnMs);
  EXPECT_TRUE(w.StatusText()->text().startsWith("closing when the last upgrade ends"))
      << w.StatusText()->text().toStdString();
  EXPECT_EQ(run.Tile(0)->Status(), TPortStatus::Upgrading);

  EXPECT_FALSE(w.StopButton()->isEnabled());  // a close is not undone
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 15000));
  EXPECT_TRUE(run.boxes[0]->Finished());
  EXPECT_EQ(run.boxes[0]->Summary().End, "done");  // never abandoned
  const auto report = ReportLines();
  ASSERT_EQ(report.size(), 1u);
  EXPECT_NE(report[0].find("\"result\":\"upgraded\""), std::string::npos) << report[0];
  EXPECT_EQ(w.ExitStatus(), 0);
}

TEST(StationWindow, ClosingWithNothingUnderWayClosesAtOnce) {
  TStationWindowRun run;
  TPtyPair empty;
  run.Open({empty.DevicePath()}, "APP103");
  ASSERT_TRUE(run.WaitStatus(0, TPortStatus::Waiting));
  run.window->close();
  EXPECT_EQ(run.asked, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run.window->isVisible(); }, 3000));
  EXPECT_TRUE(ReportLines().empty());
  EXPECT_EQ(run.window->ExitStatus(), 0);
}

TEST(StationWindow, ATileOpensItsPortsLogAndTheLogFollowsTheFile) {
  TStationWindowRun run;
  const std::string busy = run.AddBox(SlowFlash(800));
  run.Open({busy}, "APP103");
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return run.Tile(0) && run.Tile(0)->Text().State == "flash write"; }, 10000));

  QTest::mouseDClick(run.Tile(0), Qt::LeftButton);
  TPortLogWindow* log = run.window->LogWindow(busy);
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->isVisible());
  EXPECT_EQ(log->windowTitle(), QString::fromStdString("Log of " + busy));
  EXPECT_TRUE(log->isReadOnly());
  // The tile, whole, above the log.
  EXPECT_TRUE(log->Details().startsWith(QString::fromStdString(busy + "\nflash write")))
      << log->Details().toStdString();
  EXPECT_TRUE(log->toPlainText().contains("3. Start DownLoad"));
  EXPECT_FALSE(log->toPlainText().contains("Congraturation!"));

  // Followed: the end of the upgrade shows up without a touch.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return log->toPlainText().contains("Congraturation! Software Upgrade OK !!!"); }, 15000));
  // The window shows the file's lines as written, time stamps and all.
  std::ifstream file(log->File());
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(log->toPlainText() + "\n", QString::fromLatin1(text.str()));

  // Enter on the tile, once the log was closed: the same window again.
  log->close();
  run.Tile(0)->setFocus();
  QTest::keyClick(run.Tile(0), Qt::Key_Return);
  EXPECT_EQ(run.window->LogWindow(busy), log);
  EXPECT_TRUE(log->isVisible());
}

TEST(StationWindow, ManyTilesWrapToTheWindowsWidthAndScroll) {
  TStationWindowRun run;
  std::vector<std::unique_ptr<TPtyPair>> lines;
  std::vector<std::string> ports;
  for (int i = 0; i < 13; ++i) {
    lines.push_back(std::make_unique<TPtyPair>());
    ports.push_back(lines.back()->DevicePath());
  }
  run.Open(ports, "APP103");
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.window->Tiles().size() == 13; }, 3000));
  TStationWindow& w = *run.window;
  // As it opens on a small screen.
  w.resize(s::kClientWidth + w.style()->pixelMetric(QStyle::PM_ScrollBarExtent), s::kClientHeight);
  QTest::qWait(50);
  // Four across, four rows: more than the window shows.
  EXPECT_EQ(run.Tile(4)->geometry().topLeft(), QPoint(s::TilePlace(4, 4).Left, s::TilePlace(4, 4).Top));
  EXPECT_EQ(run.Tile(12)->geometry().topLeft(), QPoint(s::TilePlace(12, 4).Left, s::TilePlace(12, 4).Top));
  EXPECT_GT(w.TileView()->verticalScrollBar()->maximum(), 0);

  // The arrow keys walk the tiles, the view scrolled to the one reached.
  auto key = [&](std::size_t from, Qt::Key which, std::size_t to) {
    run.Tile(from)->setFocus();
    QTest::keyClick(run.Tile(from), which);
    EXPECT_TRUE(run.Tile(to)->hasFocus()) << from << " -> " << to;
  };
  key(1, Qt::Key_Down, 5);
  key(5, Qt::Key_Right, 6);
  key(6, Qt::Key_Up, 2);
  key(0, Qt::Key_Left, 0);  // nothing before the first
  key(9, Qt::Key_Down, 9);  // nothing below
  EXPECT_EQ(w.TileView()->verticalScrollBar()->value(), 0);
  key(8, Qt::Key_Down, 12);  // the last row, scrolled into view
  EXPECT_GT(w.TileView()->verticalScrollBar()->value(), 0);

  // Twice as wide: the rows take more tiles.
  w.resize(2 * w.width(), w.height());
  QTest::qWait(50);
  const int across = s::TilesAcross(w.TileView()->widget()->width());
  EXPECT_GE(across, 8);
  EXPECT_EQ(run.Tile(12)->geometry().topLeft(),
            QPoint(s::TilePlace(12, across).Left, s::TilePlace(12, across).Top));
}

TEST(StationWindow, SixtyFourTilesFitA1920By1080ScreenWithoutScrolling) {
  TStationWindowRun run;
  std::vector<std::string> ports;
  for (int i = 0; i < 64; ++i) ports.push_back("/dev/stb-no-port-" + std::to_string(i));
  run.Open(ports);
  TStationWindow& w = *run.window;
  ASSERT_EQ(w.Tiles().size(), 64u);  // before any code

  // The size the window opens at on a 1920x1080 screen, beside a task bar
  // and a title bar.
  const int scrollBar = w.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const auto size = s::OpenSize(64, 1920, 1080 - 48 - 32, scrollBar);
  EXPECT_LE(size.Width, 1920);
  EXPECT_LE(size.Height, 1080 - 48 - 32);
  w.resize(size.Width, size.Height);
  QTest::qWait(100);
  const QRect shown = w.TileView()->viewport()->rect();
  for (std::size_t i = 0; i < 64; ++i) {
    const QRect tile(run.Tile(i)->mapTo(w.TileView()->viewport(), QPoint(0, 0)), run.Tile(i)->size());
    EXPECT_TRUE(shown.contains(tile)) << i;
    EXPECT_TRUE(run.Tile(i)->isVisible()) << i;
  }
  EXPECT_FALSE(w.TileView()->verticalScrollBar()->isVisible());
  EXPECT_EQ(w.TileView()->verticalScrollBar()->maximum(), 0);
  // Eight across.
  EXPECT_EQ(run.Tile(8)->geometry().topLeft(), QPoint(s::TilePlace(8, 8).Left, s::TilePlace(8, 8).Top));
}

}  // namespace
}  // namespace stb::ui
