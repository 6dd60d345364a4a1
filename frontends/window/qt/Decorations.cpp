#include "Decorations.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace stb::ui {

namespace {

QColor Color(const layout::TRgb& c) { return QColor(c.R, c.G, c.B); }
QPointF Point(const layout::TPoint& p) { return QPointF(p.X, p.Y); }
QRectF Rect(const layout::TBounds& b) { return QRectF(b.Left, b.Top, b.Width, b.Height); }

}  // namespace

void TRoundedFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(pen_, 1));
  p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), layout::kHeaderFrameCornerRadius,
                    layout::kHeaderFrameCornerRadius);
}

void TBanner::paintEvent(QPaintEvent*) {
  namespace b = layout::banner;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, width(), height());
  sky.setColorAt(0, Color(b::kSkyFrom));
  sky.setColorAt(1, Color(b::kSkyTo));
  p.fillRect(rect(), sky);

  // A set-top box with its front panel, and a cable running out to the text.
  p.setPen(QPen(Color(b::kBoxEdge), 1.5));
  p.setBrush(Color(b::kBoxFace));
  p.drawRoundedRect(Rect(b::kBox), b::kBoxCornerRadius, b::kBoxCornerRadius);
  p.setBrush(Color(b::kLamp));
  p.drawEllipse(Point(b::kLampCentre), b::kLampRadius, b::kLampRadius);
  p.setPen(QPen(Color(b::kCable), 2));
  QPainterPath cable(Point(b::kCablePath[0]));
  cable.cubicTo(Point(b::kCablePath[1]), Point(b::kCablePath[2]), Point(b::kCablePath[3]));
  p.setBrush(Qt::NoBrush);
  p.drawPath(cable);

  QFont title = font();
  title.setPointSize(b::kTitlePoints);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Color(b::kTitleColor));
  p.drawText(QRectF(b::kTitleLeft, b::kTitleTop, width() - 200, b::kTitleHeight),
             Qt::AlignLeft | Qt::AlignVCenter, b::kTitle);
  QFont sub = font();
  sub.setPointSize(b::kSubtitlePoints);
  p.setFont(sub);
  p.setPen(Color(b::kSubtitleColor));
  p.drawText(QRectF(b::kSubtitleLeft, b::kSubtitleTop, width() - 200, b::kSubtitleHeight),
             Qt::AlignLeft | Qt::AlignVCenter, b::kSubtitle);
}

TCopyAnimation::TCopyAnimation(QWidget* parent) : QWidget(parent) {
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % kFrames;
    update();
  });
}

void TCopyAnimation::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    timer_.start(static_cast<int>(layout::animation::kFrameMs));
  } else {
    timer_.stop();
    frame_ = kStopFrame;
  }
  update();
}

void TCopyAnimation::paintEvent(QPaintEvent*) {
  namespace a = layout::animation;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  auto folder = [&p](a::TPointF at) {
    p.setPen(QPen(Color(a::kFolderEdge), 1));
    p.setBrush(Color(a::kFolderFace));
    p.drawRect(Rect(a::kFolderTab).translated(at.X, at.Y));
    p.drawRect(Rect(a::kFolderBody).translated(at.X, at.Y));
  };
  folder(a::SourceFolder(width(), height()));
  folder(a::TargetFolder(width(), height()));

  const a::TSheetPlace sheet = a::SheetAt(frame_, width(), height());
  p.save();
  p.translate(sheet.X, sheet.Y);
  p.rotate(sheet.Degrees);
  p.setPen(QPen(Color(a::kSheetEdge), 1));
  p.setBrush(Qt::white);
  p.drawRect(Rect(a::kSheet));
  for (int i = 0; i < a::kSheetLines; ++i) p.drawLine(QPointF(-6, -8 + 5 * i), QPointF(6, -8 + 5 * i));
  p.restore();
}

}  // namespace stb::ui
