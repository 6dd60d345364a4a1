#include "Decorations.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace stb::ui {

void TShape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(pen_, 1));
  p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

void TBanner::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, width(), height());
  sky.setColorAt(0, QColor(0x1d, 0x2b, 0x53));
  sky.setColorAt(1, QColor(0x3e, 0x5c, 0x9a));
  p.fillRect(rect(), sky);

  // A set-top box with its front panel, and a cable running out to the text.
  const QRectF box(14, 26, 96, 34);
  p.setPen(QPen(QColor(0xd8, 0xde, 0xe9), 1.5));
  p.setBrush(QColor(0x22, 0x22, 0x28));
  p.drawRoundedRect(box, 4, 4);
  p.setBrush(QColor(0x55, 0xe0, 0x7a));
  p.drawEllipse(QPointF(box.right() - 12, box.center().y()), 3, 3);
  p.setPen(QPen(QColor(0x9a, 0xa8, 0xc8), 2));
  QPainterPath cable(QPointF(box.right(), box.center().y() + 8));
  cable.cubicTo(box.right() + 30, 80, box.right() + 40, 20, box.right() + 70, 44);
  p.setBrush(Qt::NoBrush);
  p.drawPath(cable);

  QFont title = font();
  title.setPointSize(17);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(190, 8, width() - 200, 36), Qt::AlignLeft | Qt::AlignVCenter, "STB Serial DownLoader");
  QFont sub = font();
  sub.setPointSize(9);
  p.setFont(sub);
  p.setPen(QColor(0xc8, 0xd2, 0xe8));
  p.drawText(QRectF(192, 42, width() - 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
             "software upgrade over RS-232");
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
    timer_.start(60);
  } else {
    timer_.stop();
    frame_ = kStopFrame;
  }
  update();
}

void TCopyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  auto folder = [&p](QPointF at) {
    p.setPen(QPen(QColor(0x8a, 0x6d, 0x1e), 1));
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    p.drawRect(QRectF(at.x(), at.y() - 4, 16, 6));
    p.drawRect(QRectF(at.x(), at.y(), 40, 28));
  };
  const QPointF from(40, height() - 36.0);
  const QPointF to(width() - 80.0, height() - 36.0);
  folder(from);
  folder(to);

  // The sheet rises out of the first folder, arcs over and drops into the other.
  const double t = static_cast<double>(frame_) / (kFrames - 1);
  const double x = from.x() + 10 + t * (to.x() - from.x());
  const double y = from.y() - 6 - 40.0 * 4 * t * (1 - t) * (height() > 50 ? 1.0 : 0.5);
  p.save();
  p.translate(x + 10, y + 7);
  p.rotate(-25 + 50 * t);
  p.setPen(QPen(QColor(0x60, 0x60, 0x70), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(-10, -13, 20, 26));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(-6, -8 + 5 * i), QPointF(6, -8 + 5 * i));
  p.restore();
}

}  // namespace stb::ui
