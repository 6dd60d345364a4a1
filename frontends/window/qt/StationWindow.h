// TStationWindow: the station window in Qt. It wires the bar (the masked
// code field, Start, "Stop taking boxes", the station's state and counters)
// and one tile per port to the toolkit-free model, and draws, on its timer,
// what the ports reported since. No port ever waits for it.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "PortLogWindow.h"
#include "StationTile.h"
#include "StationWindowModel.h"

namespace stb::ui {

// What tests give the window in place of an operator.
struct TStationWindowHooks {
  // Answers the close question at once (tests); empty: it is asked in a box.
  std::function<bool()> AnswerClose;
};

// The area the tiles stand in, inside the scrolled view: it tells when its
// width changed, so that the tiles are laid out again.
class TTileArea : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void()> OnResize;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

class TStationWindow : public QWidget {
 public:
  // `interrupts`: the process's, or none (the window's own buttons alone
  // stop the station). With a --code the station starts at once.
  TStationWindow(const app::TOptions& options, app::TStationRun::TLister adapters,
                 app::TStationInterrupts* interrupts, TStationWindowHooks hooks = {});
  ~TStationWindow() override;

  // The timer's work: the model's turn, then what changed is drawn.
  void Turn();
  int ExitStatus() const { return model_.ExitStatus(); }
  // The application quits with the station still running (see the model).
  int EndNow(const char* cause) { return model_.EndNow(cause); }
  const app::TStationWindowModel& Model() const { return model_; }

  // --- Components ---
  QLineEdit* CodeField() const { return codeField_; }
  QPushButton* StartButton() const { return startButton_; }
  QPushButton* StopButton() const { return stopButton_; }
  QLabel* StatusText() const { return statusText_; }
  QLabel* CountersText() const { return countersText_; }
  QLabel* CodeMessage() const { return codeMessage_; }
  QLabel* TypeCode() const { return typeCode_; }
  QScrollArea* TileView() const { return tileView_; }
  const std::vector<TStationTile*>& Tiles() const { return tiles_; }
  QTimer* TurnTimer() const { return turnTimer_; }
  // The port's log window, once its tile was opened.
  TPortLogWindow* LogWindow(const std::string& port) const;
  // The close question on the screen, if it is.
  QMessageBox* CloseQuestion() const { return question_; }
  int QuestionsAsked() const { return questionsAsked_; }
  // Tiles painted anew since the window opened (what a turn cost).
  long TilesRedrawn() const { return tilesRedrawn_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildComponents();
  // The window's size as it opens, from the ports it shows.
  void SizeToPorts();
  void Start();
  // After a code was taken, or was not.
  void ShowCodeAnswer(const std::string& message);
  void Draw();
  void PlaceTiles();
  void OpenLog(std::size_t slot);
  // The arrow keys from tile `from`.
  void MoveFocus(std::size_t from, int columns, int rows);
  void AskToClose();

  app::TStationWindowModel model_;
  TStationWindowHooks hooks_;
  std::vector<app::TPortView> ports_;  // as the last turn drew them

  QLineEdit* codeField_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* countersText_ = nullptr;
  QLabel* codeMessage_ = nullptr;
  QWidget* rule_ = nullptr;
  QScrollArea* tileView_ = nullptr;
  TTileArea* tileArea_ = nullptr;
  QLabel* typeCode_ = nullptr;
  std::vector<TStationTile*> tiles_;
  std::map<std::string, QPointer<TPortLogWindow>> logs_;
  QPointer<QMessageBox> question_;
  int questionsAsked_ = 0;
  long tilesRedrawn_ = 0;
  bool tilesFocused_ = false;
  QTimer* turnTimer_ = nullptr;
};

}  // namespace stb::ui
