#include "OperatorWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <io.h>

#include "Console.h"
#include "ConsoleWriter.h"
#include "LayoutGdi.h"
#include "LogText.h"
#include "TypedCharacter.h"
#include "Upgrade.h"
#include "WideText.h"
#include "WindowClass.h"

namespace stb::winui {

namespace {

constexpr wchar_t kWindowClass[] = L"StbOperatorWindow";
constexpr wchar_t kPanelClass[] = L"StbPanel";
// Characters the log itself still takes when typed: copy and select all.
// Everything else typed stops at the key handler, since the log is read-only
// and would only beep.
constexpr wchar_t kCopy = 0x03;
constexpr wchar_t kSelectAll = 0x01;
// The most paints one turn of the window takes while the upgrade waits.
constexpr int kPaintsPerTurn = 64;

// The panel: a raised edge around the face colour, holding the progress bars,
// their labels, the counter and the animation.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(hwnd, &ps);
    RECT edge;
    GetClientRect(hwnd, &edge);
    DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeChild(const wchar_t* kind, DWORD style, const layout::TBounds& b, HWND parent,
               const wchar_t* text = L"", DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, b.Left, b.Top, b.Width, b.Height,
                         parent, nullptr, Instance(), nullptr);
}

HWND MakeProgressBar(HWND parent, const layout::TBounds& bounds) {
  const HWND bar = MakeChild(PROGRESS_CLASSW, 0, bounds, parent);
  SendMessageW(bar, PBM_SETRANGE32, 0, layout::kProgressMax);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  return bar;
}

// stb-downloaderw.exe has no console: its stderr is there only when whoever
// started it handed one on (a redirection). The console build always has one.
bool HasStderr() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  return err != nullptr && err != INVALID_HANDLE_VALUE && _fileno(stderr) >= 0;
}

}  // namespace

TOperatorWindow::TOperatorWindow(const app::TOptions& options, TOperatorWindowHooks hooks)
    : hooks_(std::move(hooks)),
      headerFrame_(layout::kHeaderFrame, layout::kHeaderFramePen),
      banner_(layout::kBanner) {
  BuildComponents();
  tickTimer_.SetCallback([this] { Tick(); });
  run_ = app::TAssembly::Build(
      options, *this, [this](const std::string& line) { LogLine(line); },
      std::make_unique<TWin32PeriodicTimer>(),
      [this](const app::THandlerError& error) { ShowRunError(error); }, refusal_);
  if (!run_) return;
  run_->AddListener(&progress_);
  run_->AddListener(&addresses_);
  if (!record_.Start(*run_, options.Report, refusal_)) {
    run_.reset();  // as a log file that cannot be written: nothing starts
    return;
  }
  StartUp();
}

long TOperatorWindow::SealRecord() {
  const long lost = record_.Seal(std::chrono::seconds(2));
  if (lost > 0) std::fprintf(stderr, "%s\n", record_.LostText().c_str());
  return lost;
}

TOperatorWindow::~TOperatorWindow() {
  tickTimer_.Stop();
  // The port closes with the serial component.
  run_.reset();
  animation_.reset();
  if (hwnd_) {
    // Taken down by its owner, not closed: no quit for whatever loop runs next.
    SetOwner(hwnd_, nullptr);
    DestroyWindow(hwnd_);
  }
  DeleteObject(faceFont_);
  DeleteObject(fixedFont_);
  DeleteObject(webAddressBrush_);
}

void TOperatorWindow::BuildComponents() {
  // The window is given this object once it is made: what it receives
  // while it is being made is the system's.
  static const bool registered =
      RegisterWindowClass({.Name = kWindowClass,
                           .Proc = ToOwner<TOperatorWindow, &TOperatorWindow::OnMessage>,
                           .Icon = true}) &&
      RegisterWindowClass({.Name = kPanelClass, .Proc = PanelProc});
  (void)registered;
  // The outer size is the window's, title bar and frame included, centred
  // on the desktop's working area.
  RECT desk{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &desk, 0);
  const int left = desk.left + (desk.right - desk.left - layout::kOuterWidth) / 2;
  const int top = desk.top + (desk.bottom - desk.top - layout::kOuterHeight) / 2;
  // System menu and close only: no minimise, maximise or sizing.
  hwnd_ = CreateWindowExW(0, kWindowClass, WidenLatin1(layout::kCaption).c_str(),
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, left, top,
                          layout::kOuterWidth, layout::kOuterHeight, nullptr, nullptr, Instance(), nullptr);
  SetOwner(hwnd_, this);

  faceFont_ = FaceFont(layout::kFacePoints, FW_NORMAL);
  fixedFont_ = CreateFontW(-layout::kWebAddressPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           FIXED_PITCH | FF_MODERN, L"Courier New");
  webAddressBrush_ = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHTTEXT));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);

  // The address's pieces in a row, none narrower than its text.
  int pieceLeft = layout::kWebAddress[0].Bounds.Left;
  for (std::size_t i = 0; i < webAddress_.size(); ++i) {
    webAddress_[i] = MakeFixedText(layout::kWebAddress[i], pieceLeft);
    RECT placed;
    GetWindowRect(webAddress_[i], &placed);
    pieceLeft += placed.right - placed.left;
  }

  progressPanel_ = MakeChild(kPanelClass, WS_CLIPCHILDREN, layout::kProgressPanel, hwnd_);
  downloadLabel_ = MakeLabel(progressPanel_, layout::kDownloadLabel);
  downloadBar_ = MakeProgressBar(progressPanel_, layout::kDownloadBar);
  SendMessageW(downloadBar_, PBM_SETSTEP, layout::kDownloadBarStep, 0);
  counterLabel_ = MakeLabel(progressPanel_, layout::kCounterLabel);
  flashLabel_ = MakeLabel(progressPanel_, layout::kFlashLabel);
  flashBar_ = MakeProgressBar(progressPanel_, layout::kFlashBar);
  animation_ = std::make_unique<TCopyAnimation>(progressPanel_, layout::kCopyAnimation);

  // Read-only, a vertical scroll bar and no word wrap (lines scroll
  // sideways instead); as long as the run logs.
  log_ = MakeChild(
      L"EDIT",
      WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL,
      layout::kLog, hwnd_, L"", WS_EX_CLIENTEDGE);
  SendMessageW(log_, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);
  SendMessageW(log_, EM_SETLIMITTEXT, 0, 0);
}

HWND TOperatorWindow::MakeLabel(HWND parent, const layout::TLabelPlace& place) {
  const HWND label = MakeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, {place.Left, place.Top, 1, 1}, parent,
                               WidenLatin1(place.Text).c_str());
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);
  FitLabel(label);
  return label;
}

HWND TOperatorWindow::MakeFixedText(const layout::TFixedText& text, int left) {
  const std::wstring wide = WidenLatin1(text.Text);
  const HDC dc = GetDC(hwnd_);
  const HGDIOBJ old = SelectObject(dc, fixedFont_);
  SIZE size{};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  const layout::TBounds bounds{left, text.Bounds.Top, std::max(text.Bounds.Width, static_cast<int>(size.cx)),
                               text.Bounds.Height};
  const HWND s = MakeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, bounds, hwnd_, wide.c_str());
  SendMessageW(s, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), FALSE);
  return s;
}

// A label is as large as its text.
void TOperatorWindow::FitLabel(HWND label) {
  wchar_t text[64];
  const int n = GetWindowTextW(label, text, 64);
  const HDC dc = GetDC(label);
  const HGDIOBJ old = SelectObject(dc, faceFont_);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, n, &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TOperatorWindow::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetFocus(log_);
}

int TOperatorWindow::Run() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    Dispatch(message);
  }
}

void TOperatorWindow::Dispatch(const MSG& message) {
  if (TakeTypedCharacter(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

// Every character typed anywhere in the window reaches the key handler once:
// taken from the queue before any control sees it, so the window does not
// depend on which of its controls has the focus.
bool TOperatorWindow::TakeTypedCharacter(const MSG& message) {
  if (message.message != WM_CHAR || !hwnd_) return false;
  if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
  const auto typed = static_cast<wchar_t>(message.wParam);
  // One message, one character: a held key sends a message for each repeat,
  // and the repeat count a message carries only describes its keystroke.
  DeliverKey(typed);
  return !(message.hwnd == log_ && (typed == kCopy || typed == kSelectAll));
}

void TOperatorWindow::DeliverKey(wchar_t typed) {
  if (!run_) return;  // refused: nothing runs behind the window
  layout::DeliverTyped(*run_, typed);
}

LRESULT TOperatorWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd_, &ps);
      headerFrame_.Paint(dc);
      banner_.Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const auto dc = reinterpret_cast<HDC>(wParam);
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control == log_) {
        // A read-only edit would take the face colour: the log stays a text page.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      const auto piece = std::find(webAddress_.begin(), webAddress_.end(), control);
      if (piece == webAddress_.end()) break;
      SetTextColor(dc, Rgb(layout::kWebAddress[piece - webAddress_.begin()].Color));
      SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      return reinterpret_cast<LRESULT>(webAddressBrush_);
    }
    case WM_SETFOCUS:
      // The log holds the keyboard focus whenever the window has it.
      SetFocus(log_);
      return 0;
    case WM_CLOSE:
      // A close during an upgrade waits for its end (TTickGuard).
      if (!tickGuard_.OperatorMayClose()) return 0;
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      tickTimer_.Stop();
      // What the window still receives on its way out is the system's.
      SetOwner(hwnd_, nullptr);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// --- Handlers ---

void TOperatorWindow::StartUp() {
  run_->StartUp();
  tickTimer_.Start(layout::kTickMs);
}

void TOperatorWindow::Tick() {
  if (tickGuard_.Run([this] { run_->Tick(); }) && hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

// --- The log, the progress and the interaction ---

void TOperatorWindow::LogLine(const std::string& line) {
  // Appended at the end without reading the text back, so that a long log
  // costs no more per line than a short one.
  const std::wstring text = (logHasLines_ ? L"\r\n" : L"") + WidenLatin1(line);
  logHasLines_ = true;
  const auto end = static_cast<WPARAM>(GetWindowTextLengthW(log_));
  SendMessageW(log_, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TOperatorWindow::SetDownloadProgress(int position) {
  SendMessageW(downloadBar_, PBM_SETPOS, position, 0);
}

void TOperatorWindow::SetFlashProgress(int position) { SendMessageW(flashBar_, PBM_SETPOS, position, 0); }

void TOperatorWindow::SetCounter(long sent, long total) {
  SetWindowTextW(counterLabel_, WidenLatin1(app::Detail(sent, total)).c_str());
  FitLabel(counterLabel_);
}

void TOperatorWindow::SetAnimation(bool running) { animation_->SetActive(running); }

upgrade::TConfirmAnswer TOperatorWindow::ShowBox(TBoxKind kind, const std::string& text) {
  const std::wstring wide = WidenLatin1(text);
  if (hooks_.AnswerBox) return hooks_.AnswerBox(kind, wide);
  // Owned by the window once it is on the screen; at start-up it is not yet.
  const HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
  return winui::ShowBox(kind, wide, owner);
}

void TOperatorWindow::ConnectionBox() {
  serial::TSerialLink& link = run_->Link();
  for (;;) {
    std::string hint;
    const std::string line =
        layout::PortLine(link.PortDeviceName(), app::PortNotOpenReason(link.LastOpenResult(), hint));
    // Through the console's writer: a stderr nobody reads holds up nothing.
    if (HasStderr()) {
      app::ConsoleOutput().Write(app::TConsoleStream::Err,
                                 "stb-downloader: " + line + (hint.empty() ? "" : "\n  " + hint) + "\n");
    }
    const std::wstring text =
        WidenLatin1(std::string(upgrade::kCannotConnect) + "\n" + line + (hint.empty() ? "" : "\n" + hint));
    const std::vector<serial::TPortEntry> ports =
        hooks_.ListPorts ? hooks_.ListPorts() : serial::ListSerialPortEntries();
    std::string chosen;
    if (hooks_.AnswerConnection) {
      chosen = hooks_.AnswerConnection(text, ports);
    } else if (hooks_.AnswerBox) {
      hooks_.AnswerBox(TBoxKind::Message, text);
    } else {
      // Owned by the window once it is on the screen; at start-up it is not yet.
      const HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
      if (ShowConnectionBox(text, owner)) {
        std::vector<std::wstring> lines;
        for (const serial::TPortEntry& port : ports) lines.push_back(WidenLatin1(serial::PortListLine(port)));
        const int index = ShowPortChoice(lines, owner);
        if (index >= 0) chosen = ports[static_cast<std::size_t>(index)].Name;
      }
    }
    if (chosen.empty()) return;  // the port stays closed, as the box alone leaves it
    link.SetDevicePath(serial::PortDevicePath(chosen));
    if (link.OpenPort()) {
      record_.SetPort(link.PortDeviceName());
      return;
    }
  }
}

void TOperatorWindow::MessageBox(const std::string& text) { ShowBox(TBoxKind::Message, text); }

void TOperatorWindow::CannotConnect(const std::string& text) {
  if (run_ && !run_->Link().IsPortOpen()) {
    ConnectionBox();
    return;
  }
  ShowBox(TBoxKind::Message, text);
}

upgrade::TConfirmAnswer TOperatorWindow::Confirm(const std::string& text) {
  // The question stays as the upgrade asks it; the addresses it is about
  // go on a line of their own under it.
  if (!addresses_.Mismatch) return ShowBox(TBoxKind::Confirm, text);
  return ShowBox(TBoxKind::Confirm, text + "\n" + layout::AddressesLine(addresses_.Include, addresses_.Box));
}

void TOperatorWindow::Information(const std::string& text) { ShowBox(TBoxKind::Information, text); }

void TOperatorWindow::ShowRunError(const app::THandlerError& error) {
  // The error's own text first, as the default error handler shows it; for
  // a file, which one and what to do on the line after.
  ShowBox(TBoxKind::Error, error.Detail.empty() ? error.Text : error.Text + "\n" + error.Detail);
}

void TOperatorWindow::StopTicks() { tickTimer_.Stop(); }

void TOperatorWindow::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The loop that runs the window ends on it, not this pass.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void TOperatorWindow::KeepAnswering() {
  // Any PeekMessage delivers what other threads and processes send to the
  // window (the system's own probes among them) and tells the system the
  // thread still reads its queue; of the queue itself only paints are taken.
  // Keys, mouse input, the timers and a close posted to the window stay
  // there for the end of the upgrade. Bounded, in case a paint comes back
  // at once.
  MSG message;
  for (int i = 0; i < kPaintsPerTurn; ++i) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) break;
    DispatchMessageW(&message);
  }
}

void TOperatorWindow::CloseWindow() {
  tickGuard_.UpgradeCloses();
  if (!hwnd_) return;
  // Off the screen at once; destroyed once control is back in the loop.
  ShowWindow(hwnd_, SW_HIDE);
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace stb::winui
