#include "PortLogWindow.h"

#include <QLabel>
#include <QScrollBar>
#include <fstream>

#include "StationWindowLayout.h"

namespace stb::ui {

namespace {

namespace s = layout::station;

// At most this much is read at one refresh: a huge log fills the window
// over a few refreshes rather than holding the station's window.
constexpr std::streamsize kReadBound = 1 << 20;
// Lines kept in the window; the file keeps them all.
constexpr int kLinesKept = 200000;

}  // namespace

TPortLogWindow::TPortLogWindow(QWidget* owner, const std::string& port, std::function<std::string()> logFile)
    : QPlainTextEdit(owner), logFile_(std::move(logFile)) {
  setWindowFlag(Qt::Window);
  setWindowTitle(QString(s::kLogCaption) +
                 QString::fromLatin1(port.data(), static_cast<qsizetype>(port.size())));
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setMaximumBlockCount(kLinesKept);
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  setFont(fixed);
  resize(720, 420);
  refresh_.setInterval(static_cast<int>(s::kLogRefreshMs));
  connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
  Refresh();
}

void TPortLogWindow::showEvent(QShowEvent* event) {
  QPlainTextEdit::showEvent(event);
  Refresh();
  refresh_.start();
}

void TPortLogWindow::hideEvent(QHideEvent* event) {
  // Nobody looks: nothing is read.
  refresh_.stop();
  QPlainTextEdit::hideEvent(event);
}

void TPortLogWindow::ShowDetails(const QString& details) {
  if (!details_) {
    details_ = new QLabel(this);
    details_->setWordWrap(true);
    details_->setTextFormat(Qt::PlainText);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details_->setMargin(4);
    details_->setAutoFillBackground(true);
  }
  if (details_->text() == details) return;
  details_->setText(details);
  details_->show();
  // The log scrolls below the details, which stay.
  QResizeEvent resize(size(), size());
  resizeEvent(&resize);
}

QString TPortLogWindow::Details() const { return details_ ? details_->text() : QString(); }

void TPortLogWindow::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  if (!details_) return;
  const int inner = width() - 2 * frameWidth();
  const int height = details_->heightForWidth(inner);
  details_->setGeometry(frameWidth(), frameWidth(), inner, height);
  setViewportMargins(0, height, 0, 0);
}

void TPortLogWindow::Restart(const std::string& file) {
  file_ = file;
  offset_ = 0;
  partial_.clear();
  clear();
}

void TPortLogWindow::Refresh() {
  const std::string file = logFile_ ? logFile_() : file_;
  if (file.empty()) {
    if (!noLog_) {
      Restart(file);
      setPlainText(s::kNoLog);
      noLog_ = true;
    }
    return;
  }
  if (noLog_ || file != file_) {
    noLog_ = false;
    Restart(file);
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return;  // not written yet: the port has seen no box
  in.seekg(0, std::ios::end);
  const long long size = in.tellg();
  if (size < offset_) Restart(file);
  if (size == offset_) return;
  in.seekg(offset_);
  std::string bytes(static_cast<std::size_t>(std::min<long long>(size - offset_, kReadBound)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  offset_ += static_cast<long long>(bytes.size());

  // Whole lines only; the rest waits for its end.
  partial_ += bytes;
  const auto end = partial_.rfind('\n');
  if (end == std::string::npos) return;
  std::string lines = partial_.substr(0, end);
  partial_.erase(0, end + 1);
  std::erase(lines, '\r');  // a line the box ended with CR LF

  // Follows the end unless the reader scrolled up to look at something.
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  appendPlainText(QString::fromLatin1(lines.data(), static_cast<qsizetype>(lines.size())));
  if (atEnd) bar->setValue(bar->maximum());
}

}  // namespace stb::ui
