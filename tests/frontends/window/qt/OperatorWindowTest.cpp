// The operator window, off-screen: its components, start-up, typing a code
// into the real log widget, the boxes and the default error handler.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <set>
#include <sstream>

#include "OperatorWindow.h"
#include "BoxSim.h"
#include "PtyPair.h"
#include "ScratchDir.h"

namespace stb::ui {
namespace {

using stb::testing::TPtyPair;
using stb::testing::TScratchDir;

struct TBox {
  TBoxKind kind;
  QString text;
};

struct TWindowOnPty {
  TPtyPair pty;
  TScratchDir dir;
  std::vector<TBox> boxes;
  std::unique_ptr<TOperatorWindow> window;

  explicit TWindowOnPty(std::string device = "") {
    const std::string lines[12] = {"001122", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D0101", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(4096, 'i'));
    app::TOptions options;
    options.Port = device.empty() ? pty.DevicePath() : device;
    options.LogFile = (dir.Path() / "run.log").string();
    TOperatorWindowHooks hooks;
    hooks.AnswerBox = [this](TBoxKind kind, const QString& text) {
      boxes.push_back({kind, text});
      return upgrade::TConfirmAnswer::Yes;
    };
    window = std::make_unique<TOperatorWindow>(options, hooks);
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) ADD_FAILURE() << "window not active";
    window->Log()->setFocus();
  }
  QStringList Lines() const { return window->Log()->toPlainText().split('\n'); }
};

TEST(MainWindow, ComponentsStandWhereTheLayoutSays) {
  TWindowOnPty w;
  TOperatorWindow& f = *w.window;
  EXPECT_EQ(f.windowTitle(), "::::: Orvanta STB  Serial DownLoader v3.3 :::::");
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(f.HeaderFrame()->geometry(), QRect(8, 8, 537, 113));
  EXPECT_EQ(f.Banner()->geometry(), QRect(24, 16, 505, 97));
  EXPECT_EQ(f.WebAddress(0)->geometry(), QRect(344, 88, 71, 22));
  EXPECT_EQ(f.WebAddress(1)->geometry(), QRect(411, 88, 19, 22));
  EXPECT_EQ(f.WebAddress(2)->geometry(), QRect(428, 88, 75, 22));
  EXPECT_EQ(f.ProgressPanel()->geometry(), QRect(8, 132, 537, 129));
  EXPECT_EQ(f.DownloadLabel()->text(), "Down Load");
  EXPECT_EQ(f.DownloadLabel()->pos(), QPoint(16, 20));
  EXPECT_EQ(f.FlashLabel()->text(), "Flash Write");
  EXPECT_EQ(f.CounterLabel()->pos(), QPoint(386, 20));
  EXPECT_EQ(f.CounterLabel()->text(), "( 0 / 0 )");
  for (QProgressBar* bar : {f.DownloadBar(), f.FlashBar()}) {
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
  EXPECT_EQ(f.DownloadBar()->geometry(), QRect(84, 20, 296, 16));
  EXPECT_EQ(f.FlashBar()->geometry(), QRect(84, 44, 296, 16));
  EXPECT_EQ(f.Animation()->geometry(), QRect(76, 60, 385, 61));
  EXPECT_FALSE(f.Animation()->Active());
  EXPECT_EQ(f.Animation()->Frame(), TCopyAnimation::kStopFrame);
  EXPECT_EQ(f.Log()->geometry(), QRect(8, 272, 537, 401));
  EXPECT_TRUE(f.Log()->isReadOnly());
  EXPECT_EQ(f.Log()->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(f.Log()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(f.Log()->hasFocus());
  EXPECT_EQ(f.WebAddress(1)->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST(MainWindow, TheLongestCounterShowsWholeBesideTheBar) {
  TWindowOnPty w;
  TOperatorWindow& f = *w.window;
  f.SetCounter(67107840, 67107840);
  const QRect counter = f.CounterLabel()->geometry();
  EXPECT_GE(counter.width(), f.CounterLabel()->fontMetrics().horizontalAdvance(f.CounterLabel()->text()));
  EXPECT_LE(counter.right(), f.ProgressPanel()->contentsRect().right());
  EXPECT_GT(counter.left(), f.DownloadBar()->geometry().right());
}

TEST(MainWindow, StartUpWritesTheDirectionsAndStartsTheTicks) {
  TWindowOnPty w;
  EXPECT_TRUE(w.boxes.empty());
  const QStringList lines = w.Lines();
  ASSERT_EQ(lines.size(), 13);
  EXPECT_EQ(lines[0], "WARNING !!! --- Check DOWNLOAD ADDRESS");
  EXPECT_EQ(lines[12], QString(73, '-'));
  EXPECT_TRUE(w.window->TickTimer()->isActive());
  EXPECT_EQ(w.window->TickTimer()->interval(), 1000);

  // A real tick, before any code: the wake-up byte alone.
  QSignalSpy ticks(w.window->TickTimer(), &QTimer::timeout);
  ASSERT_TRUE(ticks.wait(3000));
  EXPECT_EQ(w.pty.Receive(8, 200), "\x1F");
  w.window->StopTicks();
  EXPECT_FALSE(w.window->TickTimer()->isActive());
}

TEST(MainWindow, NoPortShowsTheConnectionBoxAndStartsAnyway) {
  TWindowOnPty w("/dev/does-not-exist-stb");
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0].kind, TBoxKind::Message);
  // The box's own text as it was, then which port and why on a line of its own.
  const QStringList box = w.boxes[0].text.split('\n');
  ASSERT_GE(box.size(), 2);
  EXPECT_EQ(box[0], "Error: could not connect.  Check COM port settings");
  EXPECT_EQ(box[1], "Port /dev/does-not-exist-stb: No such file or directory");
  EXPECT_EQ(w.Lines().size(), 13);
  EXPECT_TRUE(w.window->TickTimer()->isActive());
}

TEST(MainWindow, TypingACodeIntoTheLogChoosesTheModeAndShowsNothingTyped) {
  TWindowOnPty w;
  QTest::keyClicks(w.window->Log(), "APP103");
  const QStringList lines = w.Lines();
  ASSERT_EQ(lines.size(), 15);
  EXPECT_EQ(lines[13], "0. Application Software 1. Mode");
  EXPECT_EQ(lines[14], "  The Download Address is 0x9FC10000 in the include file(./inc/xxxx.inc).");
  EXPECT_FALSE(w.window->Log()->toPlainText().contains("APP103"));
  EXPECT_EQ(w.window->CounterLabel()->text(), "( 0 / 4096 )");
  EXPECT_EQ(w.window->Upgrade().Record().DownloadMode, 3);

  // The log file holds the same lines, each after the time it was logged.
  std::ifstream log(w.dir.Path() / "run.log");
  QStringList logged;
  for (std::string line; std::getline(log, line);) {
    ASSERT_GT(line.size(), 24u);
    EXPECT_EQ(line[4], '-');
    EXPECT_EQ(line[19], '.');
    logged << QString::fromStdString(line.substr(24));
  }
  EXPECT_EQ(logged, lines);
}

TEST(MainWindow, KeysReachTheHandlerOnceWhereverTheFocusIs) {
  TWindowOnPty w;
  w.window->Log()->clearFocus();
  QTest::keyClicks(w.window.get(), "GUI");
  w.window->Log()->setFocus();
  QTest::keyClicks(w.window->Log(), "D06");
  EXPECT_EQ(w.window->Upgrade().Record().DownloadMode, 6);
}

TEST(MainWindow, AKeyOutsideTheEightBitSetBreaksACodeBeingTyped) {
  TWindowOnPty w;
  // What a Cyrillic keyboard layout delivers for one key: a character that no
  // code holds, and no Latin-1 equivalent.
  auto typeForeign = [&] {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0416)));
    QApplication::sendEvent(w.window->Log(), &press);
  };
  QTest::keyClicks(w.window->Log(), "APP1");
  typeForeign();
  QTest::keyClicks(w.window->Log(), "03");
  EXPECT_EQ(w.window->Upgrade().Record().DownloadMode, 0);
  EXPECT_EQ(w.Lines().size(), 13);

  QTest::keyClicks(w.window->Log(), "APP103");  // typed again in full, it counts
  EXPECT_EQ(w.window->Upgrade().Record().DownloadMode, 3);
}

TEST(MainWindow, ALogFileThatCannotBeOpenedStartsNothing) {
  TPtyPair pty;
  app::TOptions options;
  options.Port = pty.DevicePath();
  options.LogFile = "/does-not-exist-stb/run.log";
  TOperatorWindow window(options);
  EXPECT_EQ(window.Refusal(),
            "cannot write the log file /does-not-exist-stb/run.log: No such file or directory");
  EXPECT_FALSE(window.TickTimer()->isActive());
  EXPECT_TRUE(window.Log()->toPlainText().isEmpty());
  QTest::keyClicks(window.Log(), "APP103");  // nothing behind the window to take it
  EXPECT_EQ(pty.Receive(1, 100), "");        // the port was never opened
}

TEST(MainWindow, ErrorsInAHandlerGoToTheDefaultErrorHandler) {
  TWindowOnPty w;
  QTest::keyClicks(w.window->Log(), "NATV02");  // no include file for mode 2
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0].kind, TBoxKind::Error);
  // The default error handler's text, then which file and what to do.
  const std::string text = w.boxes[0].text.toStdString();
  EXPECT_TRUE(text.starts_with("File not found.\nThe folder ")) << text;
  EXPECT_NE(text.find("holds no native.inc"), std::string::npos) << text;
  EXPECT_TRUE(w.window->isVisible());
  EXPECT_EQ(w.Lines().back(), "0. Native Software Mode");
}

TEST(MainWindow, BoxesCarryTheirCaptionsIconsAndButtons) {
  auto confirm = TOperatorWindow::MakeBox(TBoxKind::Confirm, "Exit now?", nullptr);
  EXPECT_EQ(confirm->windowTitle(), "Confirm");
  EXPECT_EQ(confirm->icon(), QMessageBox::Question);
  EXPECT_EQ(confirm->button(QMessageBox::Yes)->text(), "&Yes");
  EXPECT_EQ(confirm->button(QMessageBox::No)->text(), "&No");
  auto info = TOperatorWindow::MakeBox(TBoxKind::Information, "i", nullptr);
  EXPECT_EQ(info->windowTitle(), "Information");
  EXPECT_EQ(info->icon(), QMessageBox::Information);
  auto error = TOperatorWindow::MakeBox(TBoxKind::Error, "e.", nullptr);
  EXPECT_EQ(error->icon(), QMessageBox::Critical);
  EXPECT_EQ(error->windowTitle(), "stb-downloader");
  auto message = TOperatorWindow::MakeBox(TBoxKind::Message, "m", nullptr);
  EXPECT_EQ(message->text(), "m");
  EXPECT_EQ(message->buttons().size(), 1);
}

}  // namespace
}  // namespace stb::ui

namespace stb::ui {
namespace {

// The window on the simulated box, with the include file of mode 2 and an
// image of `imageBytes`; the boxes are answered Yes and recorded.
struct TWindowOnBox {
  stb::testing::TScratchDir dir;
  sim::TBoxSim sim;
  std::vector<QString> boxes;
  std::unique_ptr<TOperatorWindow> window;

  TWindowOnBox(std::size_t imageBytes, sim::TBoxConfig box = {}) : sim(box) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "2",     "0x9FC10000"};
    dir.Write("inc/native.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'x'));
    sim.Start();
    app::TOptions options;
    options.Port = sim.DevicePath();
    options.ResponseTimeoutMs = 2000;
    TOperatorWindowHooks hooks;
    hooks.AnswerBox = [this](TBoxKind, const QString& text) {
      boxes.push_back(text);
      return upgrade::TConfirmAnswer::Yes;
    };
    window = std::make_unique<TOperatorWindow>(options, hooks);
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) ADD_FAILURE() << "window not active";
  }
  // Types the code of mode 2 and delivers the tick that runs the upgrade.
  void Upgrade() {
    QTest::keyClicks(window->Log(), "NATV02");
    window->Tick();
  }
  std::string BoxEnd() {
    sim.WaitFinished(2000);
    sim.Stop();
    return sim.Summary().End;
  }
};

TEST(MainWindowUpgrade, AFullUpgradeThroughTheWindow) {
  sim::TBoxConfig box;
  box.KeepImage = true;
  TWindowOnBox w(12 * 1024 + 5, box);
  TOperatorWindow& window = *w.window;
  w.Upgrade();

  EXPECT_EQ(window.Log()->toPlainText().split('\n').last(), "Please Turn Off and On the STB set !!!");
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0], "Congraturation! Software Upgrade OK !!!!");
  EXPECT_FALSE(window.isVisible());  // closed
  EXPECT_FALSE(window.TickTimer()->isActive());
  EXPECT_EQ(window.DownloadBar()->value(), 100);
  EXPECT_EQ(window.FlashBar()->value(), 100);
  EXPECT_EQ(window.CounterLabel()->text(), "( 13312 / 13312 )");
  EXPECT_FALSE(window.Animation()->Active());
  EXPECT_EQ(w.BoxEnd(), "done");
  EXPECT_EQ(w.sim.Summary().Image.size(), 13u * 1024);
}

TEST(MainWindowUpgrade, ClosingTheWindowDuringTheTransferWaitsForItsEnd) {
  TWindowOnBox w(8 * 1024);
  // The operator closes the window after the first block; at every later
  // block it must still be there for the operator to watch.
  std::vector<bool> visibleAfterClose;
  bool closed = false;
  QObject::connect(w.window->DownloadBar(), &QProgressBar::valueChanged, [&] {
    if (closed) visibleAfterClose.push_back(w.window->isVisible());
    if (!closed) closed = w.window->close() || true;
  });
  w.Upgrade();

  ASSERT_EQ(visibleAfterClose.size(), 7u);
  EXPECT_EQ(std::count(visibleAfterClose.begin(), visibleAfterClose.end(), true), 7);
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0], "Congraturation! Software Upgrade OK !!!!");
  EXPECT_FALSE(w.window->isVisible());  // closed at the end, by the upgrade
  EXPECT_EQ(w.BoxEnd(), "done");
}

TEST(MainWindowUpgrade, DuringASlowFlashWriteTheWindowRunsItsLoopAndTakesNoClose) {
  sim::TBoxConfig box;
  box.FlashStepDelayMs = 250;
  TWindowOnBox w(16 * 1024, box);  // four flash steps, a second of flash write
  // What the operator sees while the box writes its flash, and a close asked
  // for then; the timer runs only while the window has its turn.
  std::set<int> seen;
  bool closeAsked = false;
  bool visibleAfterClose = true;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const int flash = w.window->FlashBar()->value();
    if (flash == 0 || flash == 100) return;
    seen.insert(flash);
    if (!closeAsked) {
      closeAsked = true;
      w.window->close();
    } else {
      visibleAfterClose = visibleAfterClose && w.window->isVisible();
    }
  });
  watch.start(20);
  w.Upgrade();
  watch.stop();

  EXPECT_GE(seen.size(), 2u) << "the flash bar seen moving";
  EXPECT_TRUE(closeAsked);
  EXPECT_TRUE(visibleAfterClose);
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0], "Congraturation! Software Upgrade OK !!!!");
  EXPECT_FALSE(w.window->isVisible());  // closed at the end, by the upgrade
  EXPECT_EQ(w.BoxEnd(), "done");
}

TEST(MainWindowUpgrade, TheAddressQuestionNamesBothAddressesUnderItsText) {
  sim::TBoxConfig box;
  box.Address = 0x80010000;  // the include file says 0x9FC10000
  TWindowOnBox w(4096, box);
  w.Upgrade();  // answered Yes: exit

  ASSERT_EQ(w.boxes.size(), 3u);
  EXPECT_EQ(w.boxes[0], "Warning !!!. Download Address MisMatch... !!!");
  EXPECT_EQ(w.boxes[1],
            "Warning!!!. Download Address MisMatch!!!  Exit now?\nInclude file: 0x9FC10000, box: 0x80010000");
  EXPECT_EQ(w.boxes[2], "Download Address MisMatch!!!. Check Your installation file(./inc/xxxx.inc).");
  w.BoxEnd();
}

// The window started on a port that does not exist, with the simulated box
// on another; the connection box is answered by `choose`, given the ports
// offered: the first that does not exist, then the box's.
struct TWindowOnWrongPort {
  static constexpr char kWrongPort[] = "/dev/does-not-exist-stb";
  stb::testing::TScratchDir dir;
  sim::TBoxSim sim{[] {
    sim::TBoxConfig box;
    box.KeepImage = true;
    return box;
  }()};
  std::vector<QString> connectionBoxes;
  std::vector<std::vector<serial::TPortEntry>> offered;
  std::unique_ptr<TOperatorWindow> window;

  explicit TWindowOnWrongPort(
      std::function<std::string(int shown, const std::vector<serial::TPortEntry>& ports)> choose) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "2",     "0x9FC10000"};
    dir.Write("inc/native.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(5000, 'x'));
    sim.Start();
    app::TOptions options;
    options.Port = kWrongPort;
    options.ResponseTimeoutMs = 2000;
    options.LogFile = (dir.Path() / "run.log").string();
    TOperatorWindowHooks hooks;
    hooks.AnswerBox = [](TBoxKind, const QString&) { return upgrade::TConfirmAnswer::Yes; };
    hooks.ListPorts = [this] {
      return std::vector<serial::TPortEntry>{{kWrongPort, "", false, ""}, {sim.DevicePath(), "", false, ""}};
    };
    hooks.AnswerConnection = [this, choose](const QString& text,
                                            const std::vector<serial::TPortEntry>& ports) {
      connectionBoxes.push_back(text);
      offered.push_back(ports);
      return choose(static_cast<int>(connectionBoxes.size()), ports);
    };
    window = std::make_unique<TOperatorWindow>(options, hooks);
    window->show();
  }
  QStringList Lines() const { return window->Log()->toPlainText().split('\n'); }
};

TEST(ConnectionBox, ThePortChosenFromTheBoxIsOpenedAndTheUpgradeGoesOnThere) {
  TWindowOnWrongPort w([](int, const std::vector<serial::TPortEntry>& ports) { return ports.at(1).Name; });

  ASSERT_EQ(w.connectionBoxes.size(), 1u);
  const QStringList box = w.connectionBoxes[0].split('\n');
  EXPECT_EQ(box[0], "Error: could not connect.  Check COM port settings");
  EXPECT_EQ(box[1], "Port /dev/does-not-exist-stb: No such file or directory");
  ASSERT_EQ(w.offered[0].size(), 2u);
  EXPECT_TRUE(w.window->Upgrade().Record().DownloadMode == 0);
  // The directions once, as on a port given on the command line.
  const QStringList lines = w.Lines();
  EXPECT_EQ(lines.size(), 13);
  EXPECT_EQ(lines.count("WARNING !!! --- Check DOWNLOAD ADDRESS"), 1);

  QTest::keyClicks(w.window->Log(), "NATV02");
  w.window->Tick();
  EXPECT_EQ(w.window->Log()->toPlainText().split('\n').last(), "Please Turn Off and On the STB set !!!");
  EXPECT_TRUE(w.window->Upgrade().Succeeded());
  EXPECT_FALSE(w.window->isVisible());  // closed by the upgrade, as ever
  w.sim.WaitFinished(2000);
  w.sim.Stop();
  EXPECT_EQ(w.sim.Summary().End, "done");
  EXPECT_EQ(w.sim.Summary().Image.size(), 5u * 1024);
}

TEST(ConnectionBox, APortThatWillNotOpenEitherIsSaidAgainAndNoneChosenLeavesItClosed) {
  // First the same wrong port again (it is offered: the list is the
  // machine's), then OK: the window stays as the box alone leaves it.
  TWindowOnWrongPort w([](int shown, const std::vector<serial::TPortEntry>& ports) {
    return shown == 1 ? ports.at(0).Name : std::string();
  });
  ASSERT_EQ(w.connectionBoxes.size(), 2u);
  EXPECT_EQ(w.connectionBoxes[1].split('\n').value(1),
            "Port /dev/does-not-exist-stb: No such file or directory");
  EXPECT_EQ(w.Lines().size(), 13);
  EXPECT_TRUE(w.window->TickTimer()->isActive());
  QTest::keyClicks(w.window->Log(), "NATV02");
  EXPECT_EQ(w.window->Upgrade().Record().DownloadMode, 2) << "the window still takes a code";
  w.window->Tick();  // on a closed port: nothing goes anywhere, nothing is shown
  EXPECT_EQ(w.connectionBoxes.size(), 2u);
  EXPECT_FALSE(w.window->Upgrade().Succeeded());
  EXPECT_TRUE(w.window->isVisible());
}

// The real boxes, clicked as an operator would: the connection box's second
// button leads to the list of ports, which shows each as --list-ports does.
TEST(ConnectionBox, TheBoxLeadsToTheListAndTheListGivesThePortChosen) {
  const std::vector<serial::TPortEntry> ports{{"/dev/ttyS0", "", false, "system console"},
                                              {"/dev/ttyUSB0", "", false, ""},
                                              {"/dev/serial/by-id/usb-X", "/dev/ttyUSB0", true, ""}};
  QStringList shown;
  bool listSeen = false;
  // Each modal dialog, once up, is answered from the event loop it runs.
  std::function<void()> answer = [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      shown << box->text();
      for (QAbstractButton* b : box->buttons())
        if (b->text() == "Choose another port...") b->click();
    } else if (auto* list = dynamic_cast<TPortChoice*>(modal)) {
      listSeen = true;
      ASSERT_EQ(list->List()->count(), 3);
      EXPECT_EQ(list->List()->item(0)->text().toStdString(), serial::PortListLine(ports[0]));
      EXPECT_EQ(list->List()->item(2)->text().toStdString(), serial::PortListLine(ports[2]));
      EXPECT_EQ(list->Chosen(), "/dev/ttyS0") << "the first is chosen to begin with";
      list->List()->setCurrentRow(2);
      list->accept();
      return;
    }
    QTimer::singleShot(20, answer);
  };
  QTimer::singleShot(20, answer);
  EXPECT_EQ(TOperatorWindow::AskConnection("Error: could not connect.  Check COM port settings\nPort x: y",
                                           ports, nullptr),
            "/dev/serial/by-id/usb-X");
  EXPECT_TRUE(listSeen);
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0], "Error: could not connect.  Check COM port settings\nPort x: y");

  // Cancel on the list chooses none.
  std::function<void()> cancel = [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      for (QAbstractButton* b : box->buttons())
        if (b->text() == "Choose another port...") b->click();
    } else if (auto* list = dynamic_cast<TPortChoice*>(modal)) {
      list->reject();
      return;
    }
    QTimer::singleShot(20, cancel);
  };
  QTimer::singleShot(20, cancel);
  EXPECT_EQ(TOperatorWindow::AskConnection("text", ports, nullptr), "");
}

}  // namespace
}  // namespace stb::ui
