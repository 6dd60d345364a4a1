// The header's drawn parts: the rounded frame, the banner and the animation
// of a sheet copied from one folder to another.
#pragma once

#include <QTimer>
#include <QWidget>

#include "OperatorWindowLayout.h"

namespace stb::ui {

// A rounded rectangle outline drawn inside its bounds.
class TRoundedFrame : public QWidget {
 public:
  TRoundedFrame(QWidget* parent, QColor pen) : QWidget(parent), pen_(pen) {}

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor pen_;
};

// The banner bitmap of the header.
class TBanner : public QWidget {
 public:
  explicit TBanner(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override;
};

// A sheet flying from the left folder to the right one, frame by frame. While
// it does not run, the stop frame is shown.
class TCopyAnimation : public QWidget {
 public:
  static constexpr int kFrames = layout::animation::kFrames;
  static constexpr int kStopFrame = layout::animation::kStopFrame;

  explicit TCopyAnimation(QWidget* parent);
  void SetActive(bool active);
  bool Active() const { return timer_.isActive(); }
  int Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QTimer timer_;
  int frame_ = kStopFrame;
};

}  // namespace stb::ui
