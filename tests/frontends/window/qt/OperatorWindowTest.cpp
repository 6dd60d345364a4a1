// The operator window, off-screen: its components, start-up, typing a code
// into the real log widget, the boxes and the default error handler.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
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
  std::unique_ptr<TForm1> form;

  explicit TWindowOnPty(std::string device = "") {
    const std::string lines[12] = {"001122", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D0101", "label", "./image.bin", "3",     "0x9FC10000"};
    dir.Write("inc/app1.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(4096, 'i'));
    app::TOptions options;
    options.Port = device.empty() ? pty.DevicePath() : device;
    options.LogFile = (dir.Path() / "run.log").string();
    TForm1Hooks hooks;
    hooks.AnswerBox = [this](TBoxKind kind, const QString& text) {
      boxes.push_back({kind, text});
      return upgrade::TConfirmAnswer::Yes;
    };
    form = std::make_unique<TForm1>(options, hooks);
    form->show();
    QApplication::setActiveWindow(form.get());
    if (!QTest::qWaitForWindowActive(form.get())) ADD_FAILURE() << "window not active";
    form->RxMemo->setFocus();
  }
  QStringList Lines() const { return form->RxMemo->toPlainText().split('\n'); }
};

TEST(MainWindow, ComponentsStandWhereTheLayoutSays) {
  TWindowOnPty w;
  TForm1& f = *w.form;
  EXPECT_EQ(f.windowTitle(), "::::: Orvanta STB  Serial DownLoader v3.3 :::::");
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(f.Shape1->geometry(), QRect(8, 8, 537, 113));
  EXPECT_EQ(f.Image1->geometry(), QRect(24, 16, 505, 97));
  EXPECT_EQ(f.StaticText1->geometry(), QRect(344, 88, 71, 22));
  EXPECT_EQ(f.StaticText2->geometry(), QRect(411, 88, 19, 22));
  EXPECT_EQ(f.StaticText3->geometry(), QRect(428, 88, 75, 22));
  EXPECT_EQ(f.Panel1->geometry(), QRect(8, 132, 537, 129));
  EXPECT_EQ(f.Label1->text(), "Down Load");
  EXPECT_EQ(f.Label1->pos(), QPoint(16, 20));
  EXPECT_EQ(f.Label2->text(), "Flash Write");
  EXPECT_EQ(f.Label4->pos(), QPoint(428, 20));
  EXPECT_EQ(f.Label4->text(), "( 0 / 0 )");
  for (QProgressBar* bar : {f.ProgressBar1, f.ProgressBar2}) {
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
  EXPECT_EQ(f.ProgressBar1->geometry(), QRect(84, 20, 337, 16));
  EXPECT_EQ(f.ProgressBar2->geometry(), QRect(84, 44, 337, 16));
  EXPECT_EQ(f.Animate1->geometry(), QRect(76, 60, 385, 61));
  EXPECT_FALSE(f.Animate1->Active());
  EXPECT_EQ(f.Animate1->Frame(), TCopyAnimation::kStopFrame);
  EXPECT_EQ(f.RxMemo->geometry(), QRect(8, 272, 537, 401));
  EXPECT_TRUE(f.RxMemo->isReadOnly());
  EXPECT_EQ(f.RxMemo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(f.RxMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(f.RxMemo->hasFocus());
  EXPECT_EQ(f.StaticText2->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST(MainWindow, StartUpWritesTheDirectionsAndStartsTheTicks) {
  TWindowOnPty w;
  EXPECT_TRUE(w.boxes.empty());
  const QStringList lines = w.Lines();
  ASSERT_EQ(lines.size(), 13);
  EXPECT_EQ(lines[0], "WARNING !!! --- Check DOWNLOAD ADDRESS");
  EXPECT_EQ(lines[12], QString(73, '-'));
  EXPECT_TRUE(w.form->Timer1->isActive());
  EXPECT_EQ(w.form->Timer1->interval(), 1000);

  // A real tick, before any code: the wake-up byte alone.
  QSignalSpy ticks(w.form->Timer1, &QTimer::timeout);
  ASSERT_TRUE(ticks.wait(3000));
  EXPECT_EQ(w.pty.Receive(8, 200), "\x1F");
  w.form->StopTicks();
  EXPECT_FALSE(w.form->Timer1->isActive());
}

TEST(MainWindow, NoPortShowsTheConnectionBoxAndStartsAnyway) {
  TWindowOnPty w("/dev/does-not-exist-stb");
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0].kind, TBoxKind::Message);
  EXPECT_EQ(w.boxes[0].text, "Error: could not connect.  Check COM port settings");
  EXPECT_EQ(w.Lines().size(), 13);
  EXPECT_TRUE(w.form->Timer1->isActive());
}

TEST(MainWindow, TypingACodeIntoTheLogChoosesTheModeAndShowsNothingTyped) {
  TWindowOnPty w;
  QTest::keyClicks(w.form->RxMemo, "APP103");
  const QStringList lines = w.Lines();
  ASSERT_EQ(lines.size(), 15);
  EXPECT_EQ(lines[13], "0. Application Software 1. Mode");
  EXPECT_EQ(lines[14], "  The Download Address is 0x9FC10000 in the include file(./inc/xxxx.inc).");
  EXPECT_FALSE(w.form->RxMemo->toPlainText().contains("APP103"));
  EXPECT_EQ(w.form->Label4->text(), "( 0 / 4096 )");
  EXPECT_EQ(w.form->Upgrade().Record().DownloadMode, 3);

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
  w.form->RxMemo->clearFocus();
  QTest::keyClicks(w.form.get(), "GUI");
  w.form->RxMemo->setFocus();
  QTest::keyClicks(w.form->RxMemo, "D06");
  EXPECT_EQ(w.form->Upgrade().Record().DownloadMode, 6);
}

TEST(MainWindow, AKeyOutsideTheEightBitSetBreaksACodeBeingTyped) {
  TWindowOnPty w;
  // What a Cyrillic keyboard layout delivers for one key: a character that no
  // code holds, and no Latin-1 equivalent.
  auto typeForeign = [&] {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0416)));
    QApplication::sendEvent(w.form->RxMemo, &press);
  };
  QTest::keyClicks(w.form->RxMemo, "APP1");
  typeForeign();
  QTest::keyClicks(w.form->RxMemo, "03");
  EXPECT_EQ(w.form->Upgrade().Record().DownloadMode, 0);
  EXPECT_EQ(w.Lines().size(), 13);

  QTest::keyClicks(w.form->RxMemo, "APP103");  // typed again in full, it counts
  EXPECT_EQ(w.form->Upgrade().Record().DownloadMode, 3);
}

TEST(MainWindow, ALogFileThatCannotBeOpenedStartsNothing) {
  TPtyPair pty;
  app::TOptions options;
  options.Port = pty.DevicePath();
  options.LogFile = "/does-not-exist-stb/run.log";
  TForm1 form(options);
  EXPECT_EQ(form.Refusal(),
            "cannot write the log file /does-not-exist-stb/run.log: No such file or directory");
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_TRUE(form.RxMemo->toPlainText().isEmpty());
  QTest::keyClicks(form.RxMemo, "APP103");  // nothing behind the window to take it
  EXPECT_EQ(pty.Receive(1, 100), "");       // the port was never opened
}

TEST(MainWindow, ErrorsInAHandlerGoToTheDefaultErrorHandler) {
  TWindowOnPty w;
  QTest::keyClicks(w.form->RxMemo, "NATV02");  // no include file for mode 2
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0].kind, TBoxKind::Error);
  EXPECT_EQ(w.boxes[0].text, "File not found.");
  EXPECT_TRUE(w.form->isVisible());
  EXPECT_EQ(w.Lines().back(), "0. Native Software Mode");
}

TEST(MainWindow, BoxesCarryTheirCaptionsIconsAndButtons) {
  auto confirm = TForm1::MakeBox(TBoxKind::Confirm, "Exit now?", nullptr);
  EXPECT_EQ(confirm->windowTitle(), "Confirm");
  EXPECT_EQ(confirm->icon(), QMessageBox::Question);
  EXPECT_EQ(confirm->button(QMessageBox::Yes)->text(), "&Yes");
  EXPECT_EQ(confirm->button(QMessageBox::No)->text(), "&No");
  auto info = TForm1::MakeBox(TBoxKind::Information, "i", nullptr);
  EXPECT_EQ(info->windowTitle(), "Information");
  EXPECT_EQ(info->icon(), QMessageBox::Information);
  auto error = TForm1::MakeBox(TBoxKind::Error, "e.", nullptr);
  EXPECT_EQ(error->icon(), QMessageBox::Critical);
  EXPECT_EQ(error->windowTitle(), "stb-downloader");
  auto message = TForm1::MakeBox(TBoxKind::Message, "m", nullptr);
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
  std::unique_ptr<TForm1> form;

  TWindowOnBox(std::size_t imageBytes, sim::TBoxConfig box = {}) : sim(box) {
    const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                   "01.00",  "D2412", "label", "./image.bin", "2",     "0x9FC10000"};
    dir.Write("inc/native.inc", stb::testing::IncludeText(lines));
    dir.Write("image.bin", std::string(imageBytes, 'x'));
    sim.Start();
    app::TOptions options;
    options.Port = sim.DevicePath();
    options.ResponseTimeoutMs = 2000;
    TForm1Hooks hooks;
    hooks.AnswerBox = [this](TBoxKind, const QString& text) {
      boxes.push_back(text);
      return upgrade::TConfirmAnswer::Yes;
    };
    form = std::make_unique<TForm1>(options, hooks);
    form->show();
    QApplication::setActiveWindow(form.get());
    if (!QTest::qWaitForWindowActive(form.get())) ADD_FAILURE() << "window not active";
  }
  // Types the code of mode 2 and delivers the tick that runs the upgrade.
  void Upgrade() {
    QTest::keyClicks(form->RxMemo, "NATV02");
    form->Timer1Timer();
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
  TForm1& form = *w.form;
  w.Upgrade();

  EXPECT_EQ(form.RxMemo->toPlainText().split('\n').last(), "Please Turn Off and On the STB set !!!");
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0], "Congraturation! Software Upgrade OK !!!!");
  EXPECT_FALSE(form.isVisible());  // closed
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_EQ(form.ProgressBar1->value(), 100);
  EXPECT_EQ(form.ProgressBar2->value(), 100);
  EXPECT_EQ(form.Label4->text(), "( 13312 / 13312 )");
  EXPECT_FALSE(form.Animate1->Active());
  EXPECT_EQ(w.BoxEnd(), "done");
  EXPECT_EQ(w.sim.Summary().Image.size(), 13u * 1024);
}

TEST(MainWindowUpgrade, ClosingTheWindowDuringTheTransferWaitsForItsEnd) {
  TWindowOnBox w(8 * 1024);
  // The operator closes the window after the first block; at every later
  // block it must still be there for the operator to watch.
  std::vector<bool> visibleAfterClose;
  bool closed = false;
  QObject::connect(w.form->ProgressBar1, &QProgressBar::valueChanged, [&] {
    if (closed) visibleAfterClose.push_back(w.form->isVisible());
    if (!closed) closed = w.form->close() || true;
  });
  w.Upgrade();

  ASSERT_EQ(visibleAfterClose.size(), 7u);
  EXPECT_EQ(std::count(visibleAfterClose.begin(), visibleAfterClose.end(), true), 7);
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0], "Congraturation! Software Upgrade OK !!!!");
  EXPECT_FALSE(w.form->isVisible());  // closed at the end, by the upgrade
  EXPECT_EQ(w.BoxEnd(), "done");
}

}  // namespace
}  // namespace stb::ui
