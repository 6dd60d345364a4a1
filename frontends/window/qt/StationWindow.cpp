#include "StationWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include "StationWindowLayout.h"

namespace stb::ui {

namespace {

namespace s = layout::station;

QRect ToRect(const layout::TBounds& b) { return QRect(b.Left, b.Top, b.Width, b.Height); }

QString FromLatin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A text the operator may select and copy (into a shift's notes).
QLabel* MakeText(QWidget* parent, const layout::TBounds& bounds) {
  auto* label = new QLabel(parent);
  label->setGeometry(ToRect(bounds));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  return label;
}

// Sets a label's text only when it changed: an unchanged one costs no paint.
void SetText(QLabel* label, const std::string& text) {
  const QString qtext = FromLatin1(text);
  if (label->text() != qtext) label->setText(qtext);
}

}  // namespace

void TTileArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize();
}

TStationWindow::TStationWindow(const app::TOptions& options, app::TStationRun::TLister adapters,
                               app::TStationInterrupts* interrupts, TStationWindowHooks hooks)
    : QWidget(nullptr, Qt::Window),
      model_(options, std::move(adapters), interrupts),
      hooks_(std::move(hooks)) {
  BuildComponents();
  ShowCodeAnswer(model_.Begin());
  SizeToPorts();
  // From the start: an interrupt before any code is typed is taken too.
  turnTimer_->start(static_cast<int>(s::kTurnMs));
}

TStationWindow::~TStationWindow() { turnTimer_->stop(); }

void TStationWindow::BuildComponents() {
  setWindowTitle(s::kCaption);
  QFont face("Sans Serif");
  face.setPointSize(s::kFacePoints);
  setFont(face);

  auto* codeLabel = new QLabel(s::kCodeLabel.Text, this);
  codeLabel->move(s::kCodeLabel.Left, s::kCodeLabel.Top);
  codeLabel->adjustSize();
  codeField_ = new QLineEdit(this);
  codeField_->setGeometry(ToRect(s::kCodeField));
  codeField_->setEchoMode(QLineEdit::Password);  // the code is never shown
  codeField_->setAccessibleName(s::kCodeLabel.Text);
  startButton_ = new QPushButton(s::kStartText, this);
  startButton_->setGeometry(ToRect(s::kStartButton));
  stopButton_ = new QPushButton(s::kStopText, this);
  stopButton_->setGeometry(ToRect(s::kStopButton));
  stopButton_->setEnabled(false);
  statusText_ = MakeText(this, s::kStatusText);
  countersText_ = MakeText(this, s::kCountersText);
  codeMessage_ = MakeText(this, s::kCodeMessage);
  QPalette warn = codeMessage_->palette();
  warn.setColor(QPalette::WindowText,
                QColor(s::kCodeMessageColor.R, s::kCodeMessageColor.G, s::kCodeMessageColor.B));
  codeMessage_->setPalette(warn);

  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule_ = rule;
  tileView_ = new QScrollArea(this);
  tileView_->setFrameShape(QFrame::NoFrame);
  tileView_->setWidgetResizable(true);
  tileView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tileArea_ = new TTileArea;
  tileArea_->OnResize = [this] { PlaceTiles(); };
  tileView_->setWidget(tileArea_);
  typeCode_ = new QLabel(s::kTypeCode, tileArea_);
  typeCode_->move(s::kTileGap, s::kTileGap);
  typeCode_->adjustSize();

  connect(codeField_, &QLineEdit::returnPressed, this, [this] { Start(); });
  connect(startButton_, &QPushButton::clicked, this, [this] { Start(); });
  connect(stopButton_, &QPushButton::clicked, this, [this] {
    if (model_.Paused()) {
      model_.TakeBoxesAgain();
    } else {
      model_.StopTakingBoxes();
    }
    Draw();
  });
  turnTimer_ = new QTimer(this);
  connect(turnTimer_, &QTimer::timeout, this, [this] { Turn(); });
  codeField_->setFocus();
}

void TStationWindow::SizeToPorts() {
  // Every port's tile where the screen has room for them all (64 on a
  // 1920x1080 screen), beside the scroll bar that more bring.
  const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int ports = static_cast<int>(model_.Ports().size());
  QRect screen(0, 0, s::kClientWidth + scrollBar, s::kClientHeight);
  if (const QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->availableGeometry();
  // The frame is not known before the window is shown: a title bar's worth.
  const int frame = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
  const auto size = s::OpenSize(ports, screen.width(), screen.height() - frame, scrollBar);
  resize(size.Width, size.Height);
  move(screen.center() - rect().center() + QPoint(0, frame / 2));
}

void TStationWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  rule_->setGeometry(0, s::kTilesTop - 2, width(), 2);
  tileView_->setGeometry(0, s::kTilesTop, width(), height() - s::kTilesTop);
}

// --- The code ---

void TStationWindow::Start() {
  if (!model_.WaitsForCode()) return;
  const QByteArray code = codeField_->text().toLatin1();
  codeField_->clear();
  ShowCodeAnswer(model_.EnterCode(code.toStdString()));
}

void TStationWindow::ShowCodeAnswer(const std::string& message) {
  SetText(codeMessage_, message);
  const bool waits = model_.WaitsForCode();
  codeField_->setEnabled(waits);
  startButton_->setEnabled(waits);
  // The ports' tiles show from the start; the hint only stands in for none.
  typeCode_->setVisible(waits && model_.Ports().empty());
  if (waits) {
    codeField_->setFocus();
  } else {
    // Not the buttons: a key meant for the code must stop nothing.
    tileView_->setFocus();
  }
  Draw();
}

// --- Turns and drawing ---

void TStationWindow::Turn() {
  model_.Turn();
  if (model_.Closes()) {
    close();
    return;
  }
  Draw();
}

void TStationWindow::Draw() {
  ports_ = model_.Ports();
  if (tiles_.size() < ports_.size()) {
    while (tiles_.size() < ports_.size()) {
      auto* tile = new TStationTile(tileArea_);
      const std::size_t slot = tiles_.size();
      tile->OnOpen = [this, slot] { OpenLog(slot); };
      tile->OnMove = [this, slot](int columns, int rows) { MoveFocus(slot, columns, rows); };
      tiles_.push_back(tile);
      tile->show();
    }
    PlaceTiles();
  }
  if (!tilesFocused_ && !tiles_.empty() && !model_.WaitsForCode()) {
    // The code field is done with: the keys go to the tiles from here on.
    tiles_.front()->setFocus();
    tilesFocused_ = true;
  }
  for (std::size_t i = 0; i < ports_.size(); ++i) tilesRedrawn_ += tiles_[i]->Show(ports_[i]) ? 1 : 0;
  SetText(statusText_, model_.StatusLine());
  SetText(countersText_, app::TStationWindowModel::CountersLine(model_.Counters()));
  // One button stops taking boxes and takes them again; a close or an
  // interrupt is not undone.
  const QString stopText = model_.Paused() ? s::kTakeAgainText : s::kStopText;
  if (stopButton_->text() != stopText) stopButton_->setText(stopText);
  stopButton_->setEnabled(!model_.WaitsForCode() && (model_.StopLevel() == app::kRunning || model_.Paused()));
  for (const auto& [port, log] : logs_) {
    if (!log) continue;
    for (const auto& view : ports_) {
      if (view.Port == port) log->ShowDetails(QString::fromLatin1(app::TileDetails(app::TileText(view))));
    }
  }
}

void TStationWindow::PlaceTiles() {
  // The area's own width: it follows the view's once a scroll bar came or went.
  const int across = s::TilesAcross(tileArea_->width());
  const int rows = (static_cast<int>(tiles_.size()) + across - 1) / across;
  tileArea_->setMinimumHeight(s::kTileGap + rows * (s::kTileHeight + s::kTileGap));
  for (std::size_t i = 0; i < tiles_.size(); ++i)
    tiles_[i]->setGeometry(ToRect(s::TilePlace(static_cast<int>(i), across)));
}

void TStationWindow::MoveFocus(std::size_t from, int columns, int rows) {
  const int across = s::TilesAcross(tileArea_->width());
  const long to = static_cast<long>(from) + columns + static_cast<long>(rows) * across;
  if (to < 0 || to >= static_cast<long>(tiles_.size())) return;
  TStationTile* tile = tiles_[static_cast<std::size_t>(to)];
  tile->setFocus();
  tileView_->ensureWidgetVisible(tile, 0, s::kTileGap);
}

// --- The port's log ---

TPortLogWindow* TStationWindow::LogWindow(const std::string& port) const {
  const auto found = logs_.find(port);
  return found == logs_.end() ? nullptr : found->second.data();
}

void TStationWindow::OpenLog(std::size_t slot) {
  if (slot >= ports_.size() || model_.WaitsForCode()) return;  // no log before the port starts
  const std::string port = ports_[slot].Port;
  QPointer<TPortLogWindow>& log = logs_[port];
  if (!log) {
    log = new TPortLogWindow(
        this, port, [this, slot] { return slot < ports_.size() ? ports_[slot].LogFile : std::string(); });
  }
  log->ShowDetails(QString::fromLatin1(app::TileDetails(app::TileText(ports_[slot]))));
  log->show();
  log->raise();
  log->activateWindow();
}

// --- Closing ---

void TStationWindow::closeEvent(QCloseEvent* event) {
  if (question_ && model_.Closes()) {
    // Ctrl+C in the terminal closed the station while the question waited.
    question_->close();
  } else if (question_) {  // asked already: the answer is awaited
    event->ignore();
    question_->raise();
    return;
  }
  switch (model_.CloseRequested()) {
    case app::TStationWindowModel::TClose::Ask:
      event->ignore();
      AskToClose();
      return;
    case app::TStationWindowModel::TClose::Waiting: event->ignore(); return;
    case app::TStationWindowModel::TClose::Now: break;
  }
  if (!model_.Closes()) {
    // The ports let go at their next turn; the window closes after them.
    event->ignore();
    Draw();
    return;
  }
  turnTimer_->stop();
  for (auto& [port, log] : logs_) {
    if (log) log->close();
  }
  QWidget::closeEvent(event);
}

void TStationWindow::AskToClose() {
  ++questionsAsked_;
  if (hooks_.AnswerClose) {
    if (hooks_.AnswerClose()) model_.CloseConfirmed();
    Draw();
    return;
  }
  // Not a nested loop: the turns go on while the question waits.
  question_ = new QMessageBox(QMessageBox::Question, s::kCaption, s::kCloseQuestion,
                              QMessageBox::Yes | QMessageBox::No, this);
  question_->button(QMessageBox::Yes)->setText("&Yes");
  question_->button(QMessageBox::No)->setText("&No");
  question_->setDefaultButton(QMessageBox::Yes);
  question_->setEscapeButton(QMessageBox::No);
  question_->setAttribute(Qt::WA_DeleteOnClose);
  connect(question_, &QMessageBox::finished, this, [this](int answer) {
    if (answer == QMessageBox::Yes) model_.CloseConfirmed();
    Draw();
  });
  question_->open();
}

}  // namespace stb::ui
