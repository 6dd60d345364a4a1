#include "OperatorWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>

#include "QtPeriodicTimer.h"

namespace stb::ui {

namespace {

// The window's outer size with a frame of 4 pixels each side and a title
// bar of 23: this is what is left inside.
constexpr int kClientWidth = layout::kOuterWidth - 8;
constexpr int kClientHeight = layout::kOuterHeight - 31;

QRect ToRect(const layout::TBounds& b) { return QRect(b.Left, b.Top, b.Width, b.Height); }

QLabel* MakeLabel(QWidget* parent, const layout::TLabelPlace& place) {
  auto* label = new QLabel(place.Text, parent);
  label->move(place.Left, place.Top);
  label->adjustSize();
  return label;
}

QProgressBar* MakeProgressBar(QWidget* parent, const layout::TBounds& bounds) {
  auto* bar = new QProgressBar(parent);
  bar->setGeometry(ToRect(bounds));
  bar->setRange(0, layout::kProgressMax);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

QLabel* MakeStaticText(QWidget* parent, const layout::TStaticText& text) {
  auto* label = new QLabel(text.Text, parent);
  label->setGeometry(ToRect(text.Bounds));
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setPixelSize(layout::kStaticTextPixels);
  label->setFont(fixed);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::HighlightedText));
  palette.setColor(QPalette::WindowText, QColor(text.Color.R, text.Color.G, text.Color.B));
  label->setPalette(palette);
  return label;
}

QString FromLatin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TForm1::TForm1(const app::TOptions& options, TForm1Hooks hooks)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      hooks_(std::move(hooks)) {
  BuildComponents();
  run_ = app::TAssembly::Build(
      options, *this, std::make_unique<TQtPeriodicTimer>(),
      [this](const app::THandlerError& error) { ShowRunError(error); }, refusal_);
  if (run_) FormCreate();
}

TForm1::~TForm1() {
  Timer1->stop();
  // The port closes with the serial component.
  run_.reset();
}

void TForm1::BuildComponents() {
  setWindowTitle(layout::kCaption);
  QFont face("Sans Serif");
  face.setPointSize(layout::kFacePoints);
  setFont(face);
  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  const layout::TRgb pen = layout::kShapePen;
  Shape1 = new TShape(this, QColor(pen.R, pen.G, pen.B));
  Shape1->setGeometry(ToRect(layout::kShape1));
  Image1 = new TBanner(this);
  Image1->setGeometry(ToRect(layout::kImage1));
  StaticText1 = MakeStaticText(this, layout::kStaticText1);
  StaticText2 = MakeStaticText(this, layout::kStaticText2);
  StaticText3 = MakeStaticText(this, layout::kStaticText3);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(ToRect(layout::kPanel1));
  Panel1 = panel;
  Label1 = MakeLabel(Panel1, layout::kLabel1);
  ProgressBar1 = MakeProgressBar(Panel1, layout::kProgressBar1);
  Label4 = MakeLabel(Panel1, layout::kLabel4);
  Label2 = MakeLabel(Panel1, layout::kLabel2);
  ProgressBar2 = MakeProgressBar(Panel1, layout::kProgressBar2);
  Animate1 = new TCopyAnimation(Panel1);
  Animate1->setGeometry(ToRect(layout::kAnimate1));

  RxMemo = new TLogMemo(this);
  RxMemo->setGeometry(ToRect(layout::kRxMemo));
  RxMemo->setReadOnly(true);
  RxMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  RxMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  RxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RxMemo->OnKeyPress = [this](QKeyEvent* event) { DeliverKeys(event); };
  RxMemo->setFocus();

  Timer1 = new QTimer(this);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

// --- Handlers ---

void TForm1::FormCreate() {
  run_->StartUp();
  Timer1->start(static_cast<int>(layout::kTickMs));
}

void TForm1::RxMemoKeyPress(char& Key) { run_->KeyPress(Key); }

void TForm1::Timer1Timer() {
  const bool outer = !inTick_;  // ticks also come while a box of a tick is open
  inTick_ = true;
  run_->Tick();
  if (!outer) return;
  inTick_ = false;
  if (closeDeferred_) close();
}

bool TForm1::UploadFile() { return run_->Upgrade().UploadFile(); }

void TLogMemo::keyPressEvent(QKeyEvent* event) {
  if (OnKeyPress) OnKeyPress(event);
  QPlainTextEdit::keyPressEvent(event);  // navigation and selection only: the log is read-only
  event->accept();
}

void TForm1::DeliverKeys(QKeyEvent* event) {
  if (!run_) return;  // refused: nothing runs behind the window
  for (const QChar c : event->text()) {
    // The handler takes 8-bit characters. Any other character (a Cyrillic
    // letter, say) cannot be part of a code: it still breaks one being typed.
    if (c.unicode() > 0xFF) {
      run_->ForeignKeyPress();
      continue;
    }
    char key = static_cast<char>(c.unicode());
    RxMemoKeyPress(key);
  }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Keys typed while the log does not have the focus.
  DeliverKeys(event);
  QWidget::keyPressEvent(event);
}

// --- Window operations ---

void TForm1::LogLine(const std::string& line) { RxMemo->appendPlainText(FromLatin1(line)); }

void TForm1::SetDownloadProgress(int position) { ProgressBar1->setValue(position); }

void TForm1::SetFlashProgress(int position) { ProgressBar2->setValue(position); }

void TForm1::SetCounter(long sent, long total) {
  Label4->setText(FromLatin1(upgrade::Detail(sent, total)));
  Label4->adjustSize();
}

void TForm1::SetAnimation(bool running) { Animate1->SetActive(running); }

std::unique_ptr<QMessageBox> TForm1::MakeBox(TBoxKind kind, const QString& text, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setText(text);
  switch (kind) {
    case TBoxKind::Message:
      box->setWindowTitle(kApplicationTitle);
      box->setIcon(QMessageBox::NoIcon);
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case TBoxKind::Error:
      box->setWindowTitle(kApplicationTitle);
      box->setIcon(QMessageBox::Critical);
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case TBoxKind::Confirm:
      box->setWindowTitle("Confirm");
      box->setIcon(QMessageBox::Question);
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->button(QMessageBox::Yes)->setText("&Yes");
      box->button(QMessageBox::No)->setText("&No");
      break;
    case TBoxKind::Information:
      box->setWindowTitle("Information");
      box->setIcon(QMessageBox::Information);
      box->setStandardButtons(QMessageBox::Ok);
      break;
  }
  return box;
}

upgrade::TConfirmAnswer TForm1::ShowBox(TBoxKind kind, const std::string& text) {
  const QString qtext = FromLatin1(text);
  if (hooks_.AnswerBox) return hooks_.AnswerBox(kind, qtext);
  auto box = MakeBox(kind, qtext, isVisible() ? this : nullptr);
  // Closing the confirmation without a button counts as neither answer.
  if (kind == TBoxKind::Confirm) box->setEscapeButton(static_cast<QAbstractButton*>(nullptr));
  const int answer = box->exec();
  if (answer == QMessageBox::Yes) return upgrade::TConfirmAnswer::Yes;
  if (answer == QMessageBox::No) return upgrade::TConfirmAnswer::No;
  return upgrade::TConfirmAnswer::Neither;
}

void TForm1::MessageBox(const std::string& text) { ShowBox(TBoxKind::Message, text); }

upgrade::TConfirmAnswer TForm1::Confirm(const std::string& text) { return ShowBox(TBoxKind::Confirm, text); }

void TForm1::Information(const std::string& text) { ShowBox(TBoxKind::Information, text); }

void TForm1::ShowRunError(const app::THandlerError& error) { ShowBox(TBoxKind::Error, error.Text); }

void TForm1::StopTicks() { Timer1->stop(); }

void TForm1::PumpMessages() { QCoreApplication::processEvents(); }

void TForm1::CloseWindow() {
  closeByUpgrade_ = true;
  close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (inTick_ && !closeByUpgrade_) {
    closeDeferred_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace stb::ui
