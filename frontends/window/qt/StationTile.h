// One port's tile in the station window: its name, a colour for its state,
// the lines of StationTileText, a progress bar and its counters, painted in
// one go. A tile repaints only when what it shows has changed, so 64 tiles
// cost next to nothing while their boxes are between two percents.
#pragma once

#include <QWidget>
#include <functional>

#include "StationDisplay.h"
#include "StationTileText.h"

namespace stb::ui {

class TStationTile : public QWidget {
 public:
  explicit TStationTile(QWidget* parent);

  // What the port reported last; repaints only when that changes what the
  // tile shows. True when it did.
  bool Show(const app::TPortView& view);

  // Double-click, or Enter while the tile has the focus.
  std::function<void()> OnOpen;
  // An arrow key while the tile has the focus: to the tile that many
  // columns and rows away.
  std::function<void(int columns, int rows)> OnMove;

  const app::TTileText& Text() const { return text_; }
  app::TPortStatus Status() const { return status_; }
  QColor Color() const;
  int Percent() const { return percent_; }
  // Every line of the tile, whole, top to bottom (what Ctrl+C copies and
  // the tooltip shows).
  QStringList Lines() const;
  // The note as the tile shows it: at most two lines of `width`.
  QStringList NoteLines(const QFontMetrics& metrics, int width) const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  app::TTileText text_;
  app::TPortStatus status_ = app::TPortStatus::Waiting;
  int percent_ = -1;
  bool shown_ = false;
};

}  // namespace stb::ui
