// TForm1: the operator window. It lays out what the operator sees, implements
// the window operations, and forwards its handlers to the upgrade.
#pragma once

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "Assembly.h"
#include "Decorations.h"
#include "OperatorWindowLayout.h"
#include "RunOptions.h"
#include "WindowOperations.h"

namespace stb::ui {

// The application's title: the caption of its message and error boxes.
using layout::kApplicationTitle;

enum class TBoxKind { Message, Confirm, Information, Error };

// The read-only log. Every key pressed in it goes to OnKeyPress once and
// stops here, so the window's own key handler never sees it a second time.
class TLogMemo : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  std::function<void(QKeyEvent*)> OnKeyPress;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// What tests give the window in place of an operator.
struct TForm1Hooks {
  // Answers the modal boxes (tests); empty: they are shown.
  std::function<upgrade::TConfirmAnswer(TBoxKind, const QString& text)> AnswerBox;
};

class TForm1 : public QWidget, public upgrade::IWindowOperations {
 public:
  // The window and the run behind it, put together by the one assembly.
  // When the log file or the trace cannot be opened nothing is started:
  // Refusal() says why, and the caller shows it and ends.
  explicit TForm1(const app::TOptions& options, TForm1Hooks hooks = {});
  ~TForm1() override;

  // --- Handlers ---
  void FormCreate();
  void RxMemoKeyPress(char& Key);
  void Timer1Timer();
  bool UploadFile();

  // --- Window operations ---
  void LogLine(const std::string& line) override;
  void SetDownloadProgress(int position) override;
  void SetFlashProgress(int position) override;
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool running) override;
  void MessageBox(const std::string& text) override;
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override;
  void StopTicks() override;
  void PumpMessages() override;
  void CloseWindow() override;

  // The application's default error handler: the error's text in a box with
  // an error icon; the window stays open.
  void ShowRunError(const app::THandlerError& error);
  // The box a kind of modal dialog is shown in.
  static std::unique_ptr<QMessageBox> MakeBox(TBoxKind kind, const QString& text, QWidget* parent);

  // --- Components ---
  TShape* Shape1;
  TBanner* Image1;
  QLabel* StaticText1;
  QLabel* StaticText2;
  QLabel* StaticText3;
  QWidget* Panel1;
  QLabel* Label1;
  QProgressBar* ProgressBar1;
  QLabel* Label4;
  QLabel* Label2;
  QProgressBar* ProgressBar2;
  TCopyAnimation* Animate1;
  TLogMemo* RxMemo;
  QTimer* Timer1;
  serial::TSerialLink& SerialLink1() { return run_->Link(); }

  const std::string& Refusal() const { return refusal_; }
  const upgrade::TUpgrade& Upgrade() const { return run_->Upgrade(); }
  upgrade::TUpgrade& Upgrade() { return run_->Upgrade(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Closing the window while an upgrade runs would only hide it: the upgrade
  // goes on inside the tick all the same. The close waits for its end.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildComponents();
  void DeliverKeys(QKeyEvent* event);
  upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::string& text);

  TForm1Hooks hooks_;
  std::string refusal_;
  std::unique_ptr<app::TAssembly> run_;
  bool inTick_ = false;  // a tick, and so maybe an upgrade, is running
  bool closeByUpgrade_ = false;
  bool closeDeferred_ = false;
};

}  // namespace stb::ui
