// TOperatorWindow on Win32: the operator window. It lays out what the operator sees,
// shows the log and the progress the upgrade's events drive, answers what the
// upgrade asks, and forwards its handlers to the upgrade, as the Qt window
// does; every decision stays behind the assembly.
#pragma once

#include "AddressWatch.h"
#include "Win32.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Assembly.h"
#include "Boxes.h"
#include "Decorations.h"
#include "HostPorts.h"
#include "OperatorWindowLayout.h"
#include "RunOptions.h"
#include "RunRecord.h"
#include "TickGuard.h"
#include "Interaction.h"
#include "ProgressListener.h"
#include "Win32PeriodicTimer.h"

namespace stb::winui {

// The application's title: the caption of its message and error boxes.
using layout::kApplicationTitle;
using layout::TBoxKind;

// What tests give the window in place of an operator.
struct TOperatorWindowHooks {
  // Answers the modal boxes (tests); empty: they are shown.
  std::function<upgrade::TConfirmAnswer(TBoxKind, const std::wstring& text)> AnswerBox;
  // Answers the connection box (tests): the name of the port chosen from
  // `ports`, or empty for OK. Empty: AnswerBox answers it, choosing none.
  std::function<std::string(const std::wstring& text, const std::vector<serial::TPortEntry>& ports)>
      AnswerConnection;
  // The ports offered there; empty: the machine's, as --list-ports has them.
  std::function<std::vector<serial::TPortEntry>()> ListPorts;
};

class TOperatorWindow : public upgrade::IInteraction, public app::IProgressView {
 public:
  // The window (not shown yet) and the run behind it, put together by the
  // one assembly. When the log file or the trace cannot be opened nothing is
  // started: Refusal() says why, and the caller shows it and ends.
  explicit TOperatorWindow(const app::TOptions& options, TOperatorWindowHooks hooks = {});
  ~TOperatorWindow() override;
  TOperatorWindow(const TOperatorWindow&) = delete;
  TOperatorWindow& operator=(const TOperatorWindow&) = delete;

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

  // Shows the window with the log holding the focus.
  void Show();
  // The message loop: until the window is gone. Returns the exit status.
  int Run();
  // One message of a loop: a typed character goes to the key handler
  // first; the rest is translated and dispatched.
  void Dispatch(const MSG& message);
  HWND Handle() const { return hwnd_; }
  bool Closed() const { return hwnd_ == nullptr; }

  // --- Components ---
  // The pieces of the web address, as the layout gives them.
  HWND WebAddress(std::size_t piece) const { return webAddress_.at(piece); }
  HWND ProgressPanel() const { return progressPanel_; }
  HWND DownloadLabel() const { return downloadLabel_; }
  HWND DownloadBar() const { return downloadBar_; }
  HWND CounterLabel() const { return counterLabel_; }
  HWND FlashLabel() const { return flashLabel_; }
  HWND FlashBar() const { return flashBar_; }
  const TCopyAnimation& Animation() const { return *animation_; }
  HWND Log() const { return log_; }
  const TWin32PeriodicTimer& TickTimer() const { return tickTimer_; }

  const std::string& Refusal() const { return refusal_; }
  // The box's record (--report), sealed when the window is done; what could
  // not be written is said on stderr. The lines not written.
  long SealRecord();
  const upgrade::TUpgrade& Upgrade() const { return run_->Upgrade(); }
  upgrade::TUpgrade& Upgrade() { return run_->Upgrade(); }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildComponents();
  HWND MakeLabel(HWND parent, const layout::TLabelPlace& place);
  // At `left`, as wide as its bounds or its text, whichever is wider.
  HWND MakeFixedText(const layout::TFixedText& text, int left);
  void FitLabel(HWND label);
  bool TakeTypedCharacter(const MSG& message);
  void DeliverKey(wchar_t typed);
  upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::string& text);
  // The port would not open: the box says which and why (stderr too, when
  // there is one), and offers the others; one chosen is opened, until one
  // opens or none is.
  void ConnectionBox();

  TOperatorWindowHooks hooks_;
  std::string refusal_;
  HWND hwnd_ = nullptr;
  HFONT faceFont_ = nullptr;
  HFONT fixedFont_ = nullptr;
  HBRUSH webAddressBrush_ = nullptr;
  app::TProgressListener progress_{*this};
  app::TRunRecord record_;
  app::TAddressWatch addresses_;
  std::unique_ptr<app::TAssembly> run_;
  layout::TTickGuard tickGuard_;
  bool logHasLines_ = false;

  // Painted on the window itself: they take no input and need no window.
  TRoundedFrame headerFrame_;
  TBanner banner_;
  std::array<HWND, std::size(layout::kWebAddress)> webAddress_{};
  HWND progressPanel_ = nullptr;
  HWND downloadLabel_ = nullptr;
  HWND downloadBar_ = nullptr;
  HWND counterLabel_ = nullptr;
  HWND flashLabel_ = nullptr;
  HWND flashBar_ = nullptr;
  std::unique_ptr<TCopyAnimation> animation_;
  HWND log_ = nullptr;
  TWin32PeriodicTimer tickTimer_;
};

}  // namespace stb::winui
