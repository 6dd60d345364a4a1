#include "OperatorWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <chrono>
#include <cstdio>

#include "Console.h"
#include "ConsoleWriter.h"
#include "LogText.h"
#include "QtPeriodicTimer.h"
#include "TypedCharacter.h"

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

QLabel* MakeFixedText(QWidget* parent, const layout::TFixedText& text) {
  auto* label = new QLabel(text.Text, parent);
  label->setGeometry(ToRect(text.Bounds));
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setPixelSize(layout::kWebAddressPixels);
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

TOperatorWindow::TOperatorWindow(const app::TOptions& options, TOperatorWindowHooks hooks)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      hooks_(std::move(hooks)) {
  BuildComponents();
  run_ = app::TAssembly::Build(
      options, *this, [this](const std::string& line) { LogLine(line); },
      std::make_unique<TQtPeriodicTimer>(), [this](const app::THandlerError& error) { ShowRunError(error); },
      refusal_);
  if (!run_) return;
  run_->AddListener(&progress_);
  run_->AddListener(&addresses_);
  if (!record_.Start(*run_, options.Report, refusal_)) {
    run_.reset();  // as a log file that cannot be written: nothing starts
    return;
  }
  StartUp();
}

TOperatorWindow::~TOperatorWindow() {
  tickTimer_->stop();
  // The port closes with the serial component.
  run_.reset();
}

void TOperatorWindow::BuildComponents() {
  setWindowTitle(layout::kCaption);
  QFont face("Sans Serif");
  face.setPointSize(layout::kFacePoints);
  setFont(face);
  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  const layout::TRgb pen = layout::kHeaderFramePen;
  headerFrame_ = new TRoundedFrame(this, QColor(pen.R, pen.G, pen.B));
  headerFrame_->setGeometry(ToRect(layout::kHeaderFrame));
  banner_ = new TBanner(this);
  banner_->setGeometry(ToRect(layout::kBanner));
  for (std::size_t i = 0; i < webAddress_.size(); ++i)
    webAddress_[i] = MakeFixedText(this, layout::kWebAddress[i]);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(ToRect(layout::kProgressPanel));
  progressPanel_ = panel;
  downloadLabel_ = MakeLabel(panel, layout::kDownloadLabel);
  downloadBar_ = MakeProgressBar(panel, layout::kDownloadBar);
  counterLabel_ = MakeLabel(panel, layout::kCounterLabel);
  flashLabel_ = MakeLabel(panel, layout::kFlashLabel);
  flashBar_ = MakeProgressBar(panel, layout::kFlashBar);
  animation_ = new TCopyAnimation(panel);
  animation_->setGeometry(ToRect(layout::kCopyAnimation));

  log_ = new TLogView(this);
  log_->setGeometry(ToRect(layout::kLog));
  log_->setReadOnly(true);
  log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->OnKeyPress = [this](QKeyEvent* event) { DeliverKeys(event); };
  log_->setFocus();

  tickTimer_ = new QTimer(this);
  connect(tickTimer_, &QTimer::timeout, this, [this] { Tick(); });
}

long TOperatorWindow::SealRecord() {
  const long lost = record_.Seal(std::chrono::seconds(2));
  if (lost > 0) std::fprintf(stderr, "%s\n", record_.LostText().c_str());
  return lost;
}

// --- Handlers ---

void TOperatorWindow::StartUp() {
  run_->StartUp();
  tickTimer_->start(static_cast<int>(layout::kTickMs));
}

void TOperatorWindow::Tick() {
  if (tickGuard_.Run([this] { run_->Tick(); })) close();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
  if (OnKeyPress) OnKeyPress(event);
  QPlainTextEdit::keyPressEvent(event);  // navigation and selection only: the log is read-only
  event->accept();
}

void TOperatorWindow::DeliverKeys(QKeyEvent* event) {
  if (!run_) return;  // refused: nothing runs behind the window
  for (const QChar c : event->text()) layout::DeliverTyped(*run_, c.unicode());
}

void TOperatorWindow::keyPressEvent(QKeyEvent* event) {
  // Keys typed while the log does not have the focus.
  DeliverKeys(event);
  QWidget::keyPressEvent(event);
}

// --- The log and the progress ---

void TOperatorWindow::LogLine(const std::string& line) { log_->appendPlainText(FromLatin1(line)); }

void TOperatorWindow::SetDownloadProgress(int position) { downloadBar_->setValue(position); }

void TOperatorWindow::SetFlashProgress(int position) { flashBar_->setValue(position); }

void TOperatorWindow::SetCounter(long sent, long total) {
  counterLabel_->setText(FromLatin1(app::Detail(sent, total)));
  counterLabel_->adjustSize();
}

void TOperatorWindow::SetAnimation(bool running) { animation_->SetActive(running); }

// --- Interaction ---

std::unique_ptr<QMessageBox> TOperatorWindow::MakeBox(TBoxKind kind, const QString& text, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setText(text);
  box->setWindowTitle(layout::BoxCaption(kind));
  box->setStandardButtons(QMessageBox::Ok);
  switch (kind) {
    case TBoxKind::Message: box->setIcon(QMessageBox::NoIcon); break;
    case TBoxKind::Error: box->setIcon(QMessageBox::Critical); break;
    case TBoxKind::Confirm:
      box->setIcon(QMessageBox::Question);
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->button(QMessageBox::Yes)->setText("&Yes");
      box->button(QMessageBox::No)->setText("&No");
      break;
    case TBoxKind::Information: box->setIcon(QMessageBox::Information); break;
  }
  return box;
}

upgrade::TConfirmAnswer TOperatorWindow::ShowBox(TBoxKind kind, const std::string& text) {
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

TPortChoice::TPortChoice(const std::vector<serial::TPortEntry>& ports, QWidget* parent) : QDialog(parent) {
  setWindowTitle(layout::kChoosePortCaption);
  auto* column = new QVBoxLayout(this);
  column->addWidget(new QLabel(ports.empty() ? layout::kNoPortsListed : layout::kChoosePortPrompt, this));
  list_ = new QListWidget(this);
  for (const serial::TPortEntry& port : ports) {
    auto* item = new QListWidgetItem(FromLatin1(serial::PortListLine(port)), list_);
    item->setData(Qt::UserRole, QString::fromStdString(port.Name));
  }
  list_->setCurrentRow(0);
  list_->setMinimumWidth(420);
  column->addWidget(list_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(!ports.empty());
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

std::string TPortChoice::Chosen() const {
  const QListWidgetItem* item = list_->currentItem();
  return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

std::string TOperatorWindow::AskConnection(const QString& text, const std::vector<serial::TPortEntry>& ports,
                                           QWidget* parent) {
  auto box = MakeBox(TBoxKind::Message, text, parent);
  QAbstractButton* ok = box->button(QMessageBox::Ok);
  QPushButton* choose = box->addButton(layout::kChoosePortButton, QMessageBox::ActionRole);
  box->setDefaultButton(static_cast<QPushButton*>(ok));
  box->setEscapeButton(ok);
  box->exec();
  if (box->clickedButton() != choose) return {};
  TPortChoice choice(ports, parent);
  if (choice.exec() != QDialog::Accepted) return {};
  return choice.Chosen();
}

void TOperatorWindow::ConnectionBox() {
  serial::TSerialLink& link = run_->Link();
  for (;;) {
    std::string hint;
    const std::string line =
        layout::PortLine(link.PortDeviceName(), app::PortNotOpenReason(link.LastOpenResult(), hint));
    // Through the console's writer: a stderr nobody reads holds up nothing.
    app::ConsoleOutput().Write(app::TConsoleStream::Err,
                               "stb-downloader: " + line + (hint.empty() ? "" : "\n  " + hint) + "\n");
    const QString text =
        FromLatin1(std::string(upgrade::kCannotConnect) + "\n" + line + (hint.empty() ? "" : "\n" + hint));
    const std::vector<serial::TPortEntry> ports =
        hooks_.ListPorts ? hooks_.ListPorts() : serial::ListSerialPortEntries();
    std::string chosen;
    if (hooks_.AnswerConnection) {
      chosen = hooks_.AnswerConnection(text, ports);
    } else if (hooks_.AnswerBox) {
      hooks_.AnswerBox(TBoxKind::Message, text);
    } else {
      chosen = AskConnection(text, ports, isVisible() ? this : nullptr);
    }
    if (chosen.empty()) return;  // the port stays closed, as the box alone leaves it
    link.SetDevicePath(serial::PortDevicePath(chosen));
    if (link.OpenPort()) {
      record_.SetPort(link.PortDeviceName());
      return;
    }
  }
}

void TOperatorWindow::MessageBox(const std::string& text) { ShowBox(TBoxKind::Message, text); }

void TOperatorWindow::CannotConnect(const std::string& text) {
  if (run_ && !run_->Link().IsPortOpen()) {
    ConnectionBox();
    return;
  }
  ShowBox(TBoxKind::Message, text);
}

upgrade::TConfirmAnswer TOperatorWindow::Confirm(const std::string& text) {
  // The question stays as the upgrade asks it; the addresses it is about
  // go on a line of their own under it.
  if (!addresses_.Mismatch) return ShowBox(TBoxKind::Confirm, text);
  return ShowBox(TBoxKind::Confirm, text + "\n" + layout::AddressesLine(addresses_.Include, addresses_.Box));
}

void TOperatorWindow::Information(const std::string& text) { ShowBox(TBoxKind::Information, text); }

void TOperatorWindow::ShowRunError(const app::THandlerError& error) {
  // The error's own text first, as the default error handler shows it; for
  // a file, which one and what to do on the line after.
  ShowBox(TBoxKind::Error, error.Detail.empty() ? error.Text : error.Text + "\n" + error.Detail);
}

void TOperatorWindow::StopTicks() { tickTimer_->stop(); }

void TOperatorWindow::PumpMessages() { QCoreApplication::processEvents(); }

void TOperatorWindow::KeepAnswering() {
  // Paints and the window manager's ping (answered as the X events are
  // read); keys and mouse input wait in the queue. Timers do fire: the
  // upgrade's tick does nothing inside a tick, the link holds its poll, and
  // a close waits for the end of the tick (TTickGuard).
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TOperatorWindow::CloseWindow() {
  tickGuard_.UpgradeCloses();
  close();
}

void TOperatorWindow::closeEvent(QCloseEvent* event) {
  if (!tickGuard_.OperatorMayClose()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace stb::ui
