// TForm1 on Win32: the operator window. It lays out what the operator sees,
// implements the window operations, and forwards its handlers to the upgrade,
// as the Qt window does; every decision stays behind the assembly.
#pragma once

#include "Win32.h"

#include <functional>
#include <memory>
#include <string>

#include "Assembly.h"
#include "Boxes.h"
#include "Decorations.h"
#include "OperatorWindowLayout.h"
#include "RunOptions.h"
#include "Win32PeriodicTimer.h"
#include "WindowOperations.h"

namespace stb::winui {

// The application's title: the caption of its message and error boxes.
using layout::kApplicationTitle;

// What tests give the window in place of an operator.
struct TForm1Hooks {
  // Answers the modal boxes (tests); empty: they are shown.
  std::function<upgrade::TConfirmAnswer(TBoxKind, const std::wstring& text)> AnswerBox;
};

class TForm1 : public upgrade::IWindowOperations {
 public:
  // The window (not shown yet) and the run behind it, put together by the
  // one assembly. When the log file or the trace cannot be opened nothing is
  // started: Refusal() says why, and the caller shows it and ends.
  explicit TForm1(const app::TOptions& options, TForm1Hooks hooks = {});
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

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
  TShape Shape1;
  TBanner Image1;
  HWND StaticText1 = nullptr;
  HWND StaticText2 = nullptr;
  HWND StaticText3 = nullptr;
  HWND Panel1 = nullptr;
  HWND Label1 = nullptr;
  HWND ProgressBar1 = nullptr;
  HWND Label4 = nullptr;
  HWND Label2 = nullptr;
  HWND ProgressBar2 = nullptr;
  std::unique_ptr<TCopyAnimation> Animate1;
  HWND RxMemo = nullptr;
  TWin32PeriodicTimer Timer1;
  serial::TSerialLink& SerialLink1() { return run_->Link(); }

  const std::string& Refusal() const { return refusal_; }
  const upgrade::TUpgrade& Upgrade() const { return run_->Upgrade(); }
  upgrade::TUpgrade& Upgrade() { return run_->Upgrade(); }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildComponents();
  HWND MakeLabel(HWND parent, const layout::TLabelPlace& place);
  HWND MakeStaticText(const layout::TStaticText& text);
  void FitLabel(HWND label);
  bool TakeTypedCharacter(const MSG& message);
  void DeliverKey(wchar_t typed);
  upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::string& text);

  TForm1Hooks hooks_;
  std::string refusal_;
  HWND hwnd_ = nullptr;
  HFONT faceFont_ = nullptr;
  HFONT fixedFont_ = nullptr;
  HBRUSH staticTextBrush_ = nullptr;
  std::unique_ptr<app::TAssembly> run_;
  bool logHasLines_ = false;
  bool inTick_ = false;  // a tick, and so maybe an upgrade, is running
  bool closeByUpgrade_ = false;
  bool closeDeferred_ = false;
};

}  // namespace stb::winui
