// TOperatorWindow: the operator window. It lays out what the operator sees,
// shows the log and the progress the upgrade's events drive, answers what the
// upgrade asks, and forwards its handlers to the upgrade.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AddressWatch.h"
#include "Assembly.h"
#include "Decorations.h"
#include "HostPorts.h"
#include "OperatorWindowLayout.h"
#include "RunOptions.h"
#include "RunRecord.h"
#include "TickGuard.h"
#include "Interaction.h"
#include "ProgressListener.h"

namespace stb::ui {

// The application's title: the caption of its message and error boxes.
using layout::kApplicationTitle;
using layout::TBoxKind;

// The read-only log. Every key pressed in it goes to OnKeyPress once and
// stops here, so the window's own key handler never sees it a second time.
class TLogView : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  std::function<void(QKeyEvent*)> OnKeyPress;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// What tests give the window in place of an operator.
struct TOperatorWindowHooks {
  // Answers the modal boxes (tests); empty: they are shown.
  std::function<upgrade::TConfirmAnswer(TBoxKind, const QString& text)> AnswerBox;
  // Answers the connection box (tests): the name of the port chosen from
  // `ports`, or empty for OK. Empty: AnswerBox answers it, choosing none.
  std::function<std::string(const QString& text, const std::vector<serial::TPortEntry>& ports)>
      AnswerConnection;
  // The ports offered there; empty: the machine's, as --list-ports has them.
  std::function<std::vector<serial::TPortEntry>()> ListPorts;
};

// The list the connection box offers: every port as --list-ports shows it,
// the first one chosen; OK (or a double-click) takes the one chosen.
class TPortChoice : public QDialog {
 public:
  TPortChoice(const std::vector<serial::TPortEntry>& ports, QWidget* parent);
  QListWidget* List() const { return list_; }
  // The name to open of the port chosen; empty when none is.
  std::string Chosen() const;

 private:
  QListWidget* list_ = nullptr;
};

class TOperatorWindow : public QWidget, public upgrade::IInteraction, public app::IProgressView {
 public:
  // The window and the run behind it, put together by the one assembly.
  // When the log file or the trace cannot be opened nothing is started:
  // Refusal() says why, and the caller shows it and ends.
  explicit TOperatorWindow(const app::TOptions& options, TOperatorWindowHooks hooks = {});
  ~TOperatorWindow() override;

  // --- Handlers ---
  // The upgrade's start-up, then the ticks.
  void StartUp();
  // One tick of the upgrade, which may run a whole transfer.
  void Tick();

  // One line at the end of the log.
  void LogLine(const std::string& line);

  // --- Progress (ProgressListener.h) ---
  void SetDownloadProgress(int position) override;
  void SetFlashProgress(int position) override;
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool running) override;

  // --- Interaction ---
  void MessageBox(const std::string& text) override;
  // The connection box: the port and why, and another port to choose.
  void CannotConnect(const std::string& text) override;
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override;
  void StopTicks() override;
  void PumpMessages() override;
  void KeepAnswering() override;
  void CloseWindow() override;

  // The application's default error handler: the error's text in a box with
  // an error icon; the window stays open.
  void ShowRunError(const app::THandlerError& error);
  // The box a kind of modal dialog is shown in.
  static std::unique_ptr<QMessageBox> MakeBox(TBoxKind kind, const QString& text, QWidget* parent);
  // The connection box with its "Choose another port..." button, then the
  // list of `ports`: the name of the port chosen, empty when none was.
  static std::string AskConnection(const QString& text, const std::vector<serial::TPortEntry>& ports,
                                   QWidget* parent);

  // --- Components ---
  TRoundedFrame* HeaderFrame() const { return headerFrame_; }
  TBanner* Banner() const { return banner_; }
  // The pieces of the web address, as the layout gives them.
  QLabel* WebAddress(std::size_t piece) const { return webAddress_.at(piece); }
  QWidget* ProgressPanel() const { return progressPanel_; }
  QLabel* DownloadLabel() const { return downloadLabel_; }
  QProgressBar* DownloadBar() const { return downloadBar_; }
  QLabel* CounterLabel() const { return counterLabel_; }
  QLabel* FlashLabel() const { return flashLabel_; }
  QProgressBar* FlashBar() const { return flashBar_; }
  TCopyAnimation* Animation() const { return animation_; }
  TLogView* Log() const { return log_; }
  QTimer* TickTimer() const { return tickTimer_; }

  const std::string& Refusal() const { return refusal_; }
  // The box's record (--report), sealed when the window is done; what could
  // not be written is said on stderr. The lines not written.
  long SealRecord();
  const upgrade::TUpgrade& Upgrade() const { return run_->Upgrade(); }
  upgrade::TUpgrade& Upgrade() { return run_->Upgrade(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // A close during an upgrade waits for its end (TTickGuard).
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildComponents();
  void DeliverKeys(QKeyEvent* event);
  upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::string& text);
  // The port would not open: the box says which and why (stderr too), and
  // offers the others; one chosen is opened, until one opens or none is.
  void ConnectionBox();

  TOperatorWindowHooks hooks_;
  std::string refusal_;
  app::TProgressListener progress_{*this};
  app::TRunRecord record_;
  app::TAddressWatch addresses_;
  std::unique_ptr<app::TAssembly> run_;
  layout::TTickGuard tickGuard_;

  TRoundedFrame* headerFrame_ = nullptr;
  TBanner* banner_ = nullptr;
  std::array<QLabel*, std::size(layout::kWebAddress)> webAddress_{};
  QWidget* progressPanel_ = nullptr;
  QLabel* downloadLabel_ = nullptr;
  QProgressBar* downloadBar_ = nullptr;
  QLabel* counterLabel_ = nullptr;
  QLabel* flashLabel_ = nullptr;
  QProgressBar* flashBar_ = nullptr;
  TCopyAnimation* animation_ = nullptr;
  TLogView* log_ = nullptr;
  QTimer* tickTimer_ = nullptr;
};

}  // namespace stb::ui
