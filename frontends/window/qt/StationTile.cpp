#include "StationTile.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QTextLayout>

#include "StationWindowLayout.h"

namespace stb::ui {

namespace {

namespace s = layout::station;

QColor Rgb(const layout::TRgb& c) { return QColor(c.R, c.G, c.B); }
QRect Rect(const layout::TBounds& b) { return QRect(b.Left, b.Top, b.Width, b.Height); }

QString FromLatin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TStationTile::TStationTile(QWidget* parent) : QWidget(parent) {
  resize(s::kTileWidth, s::kTileHeight);
  setFocusPolicy(Qt::StrongFocus);
}

bool TStationTile::Show(const app::TPortView& view) {
  app::TTileText text = app::TileText(view);
  const app::TPortStatus status = app::StatusOf(view);
  const int percent = view.Running ? view.Percent : -1;
  if (shown_ && text == text_ && status == status_ && percent == percent_) return false;
  text_ = std::move(text);
  status_ = status;
  percent_ = percent;
  shown_ = true;
  setAccessibleName(FromLatin1(text_.Port));
  // Whole, where the tile has room for a part: the outcome, the reason, the
  // versions.
  setToolTip(Lines().join('\n'));
  update();
  return true;
}

QColor TStationTile::Color() const { return Rgb(s::kStatusColors[static_cast<int>(status_)]); }

QStringList TStationTile::Lines() const {
  QStringList lines = FromLatin1(app::TileDetails(text_)).split('\n');
  if (percent_ >= 0) lines.insert(lines.size() - 1, QString("%1%").arg(percent_));
  return lines;
}

QStringList TStationTile::NoteLines(const QFontMetrics& metrics, int width) const {
  // Wrapped at the words into two lines; what the second cannot hold is
  // cut with an ellipsis (the tooltip has it whole).
  QTextLayout wrap(FromLatin1(app::TileNote(text_)));
  wrap.setFont(font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  wrap.setTextOption(option);
  QStringList lines;
  wrap.beginLayout();
  for (QTextLine line = wrap.createLine(); line.isValid(); line = wrap.createLine()) {
    line.setLineWidth(width);
    if (lines.size() == 1) {
      lines << metrics.elidedText(wrap.text().mid(line.textStart()), Qt::ElideRight, width);
      break;
    }
    lines << wrap.text().mid(line.textStart(), line.textLength()).trimmed();
  }
  wrap.endLayout();
  return lines;
}

void TStationTile::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool focused = hasFocus();
  p.setPen(focused ? QPen(palette().color(QPalette::Highlight), 2) : QPen(Rgb(s::kTileEdge), 1));
  p.setBrush(Color());
  const qreal inset = focused ? 1 : 0.5;
  p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), s::kTileCornerRadius,
                    s::kTileCornerRadius);
  p.setRenderHint(QPainter::Antialiasing, false);

  // The lines from the top, the empty ones left out; each cut to the width.
  const int width = s::kTileWidth - 2 * s::kTilePadding;
  const QFont plain = font();
  QFont bold = plain;
  bold.setBold(true);
  p.setPen(Rgb(s::kTileText));
  auto line = [&](const QString& text, int row) {
    const QString shown = p.fontMetrics().elidedText(text, Qt::ElideRight, width);
    p.drawText(QRect(s::kTilePadding, s::kTilePadding + row * s::kTileLineHeight, width, s::kTileLineHeight),
               Qt::AlignLeft | Qt::AlignVCenter, shown);
  };
  p.setFont(bold);
  line(FromLatin1(text_.Port), 0);
  p.setFont(plain);
  line(FromLatin1(text_.State), 1);
  // The pace while the image goes, else the step the box reached.
  line(FromLatin1(text_.Pace.empty() ? text_.Step : text_.Step + "  " + text_.Pace), 2);
  int row = s::kTileNoteLine;
  for (const QString& note : NoteLines(p.fontMetrics(), width)) line(note, row++);

  const QRect bar = Rect(s::kTileBar);
  p.setPen(Rgb(s::kTileEdge));
  p.setBrush(Rgb(s::kTileBarGround));
  p.drawRect(bar.adjusted(0, 0, -1, -1));
  if (percent_ >= 0) {
    const int done = (bar.width() - 2) * std::min(percent_, 100) / 100;
    p.fillRect(QRect(bar.left() + 1, bar.top() + 1, done, bar.height() - 2), Rgb(s::kTileBarDone));
  }
  p.setPen(Rgb(s::kTileText));
  p.drawText(QRect(s::kTilePadding, s::kTileCountersTop, width, s::kTileLineHeight),
             Qt::AlignLeft | Qt::AlignVCenter,
             p.fontMetrics().elidedText(FromLatin1(text_.Counters), Qt::ElideRight, width));
}

void TStationTile::mouseDoubleClickEvent(QMouseEvent* event) {
  if (OnOpen) OnOpen();
  event->accept();
}

void TStationTile::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (OnOpen) OnOpen();
  } else if (OnMove && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right ||
                        event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
    OnMove(event->key() == Qt::Key_Left    ? -1
           : event->key() == Qt::Key_Right ? 1
                                           : 0,
           event->key() == Qt::Key_Up     ? -1
           : event->key() == Qt::Key_Down ? 1
                                          : 0);
  } else if (event->matches(QKeySequence::Copy)) {
    // The tile's words for a note or a message about this box.
    QApplication::clipboard()->setText(Lines().join('\n'));
  } else {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
}

void TStationTile::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TStationTile::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace stb::ui
