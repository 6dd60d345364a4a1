#include "OperatorWindow.h"

#include <commctrl.h>

#include "Upgrade.h"
#include "WideText.h"

namespace stb::winui {

namespace {

constexpr wchar_t kFormClass[] = L"StbForm1";
constexpr wchar_t kPanelClass[] = L"StbPanel";
// Characters the log itself still takes when typed: copy and select all.
// Everything else typed stops at the key handler, since the log is read-only
// and would only beep.
constexpr wchar_t kCopy = 0x03;
constexpr wchar_t kSelectAll = 0x01;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

COLORREF Rgb(const layout::TRgb& c) { return RGB(c.R, c.G, c.B); }

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

void RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = DefWindowProcW;  // replaced by TForm1::WndProc per window
    form.hInstance = Instance();
    form.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    WNDCLASSEXW panel = form;
    panel.lpfnWndProc = PanelProc;
    panel.hIcon = nullptr;
    panel.lpszClassName = kPanelClass;
    return RegisterClassExW(&form) != 0 && RegisterClassExW(&panel) != 0;
  }();
  (void)registered;
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

}  // namespace

TForm1::TForm1(const app::TOptions& options, TForm1Hooks hooks)
    : Shape1(layout::kShape1, layout::kShapePen), Image1(layout::kImage1), hooks_(std::move(hooks)) {
  BuildComponents();
  Timer1.SetCallback([this] { Timer1Timer(); });
  run_ = app::TAssembly::Build(
      options, *this, std::make_unique<TWin32PeriodicTimer>(),
      [this](const app::THandlerError& error) { ShowRunError(error); }, refusal_);
  if (run_) FormCreate();
}

TForm1::~TForm1() {
  Timer1.Stop();
  // The port closes with the serial component.
  run_.reset();
  Animate1.reset();
  if (hwnd_) {
    // Taken down by its owner, not closed: no quit for whatever loop runs next.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  DeleteObject(faceFont_);
  DeleteObject(fixedFont_);
  DeleteObject(staticTextBrush_);
}

void TForm1::BuildComponents() {
  RegisterClasses();
  // The outer size is the window's, title bar and frame included, centred
  // on the desktop's working area.
  RECT desk{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &desk, 0);
  const int left = desk.left + (desk.right - desk.left - layout::kOuterWidth) / 2;
  const int top = desk.top + (desk.bottom - desk.top - layout::kOuterHeight) / 2;
  // System menu and close only: no minimise, maximise or sizing.
  hwnd_ = CreateWindowExW(0, kFormClass, WidenLatin1(layout::kCaption).c_str(),
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, left, top,
                          layout::kOuterWidth, layout::kOuterHeight, nullptr, nullptr, Instance(), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WndProc));

  const HDC screen = GetDC(nullptr);
  const int pointHeight = -MulDiv(layout::kFacePoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  faceFont_ =
      CreateFontW(pointHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"MS Shell Dlg 2");
  fixedFont_ = CreateFontW(-layout::kStaticTextPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           FIXED_PITCH | FF_MODERN, L"Courier New");
  staticTextBrush_ = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHTTEXT));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);

  StaticText1 = MakeStaticText(layout::kStaticText1);
  StaticText2 = MakeStaticText(layout::kStaticText2);
  StaticText3 = MakeStaticText(layout::kStaticText3);

  Panel1 = MakeChild(kPanelClass, WS_CLIPCHILDREN, layout::kPanel1, hwnd_);
  Label1 = MakeLabel(Panel1, layout::kLabel1);
  ProgressBar1 = MakeProgressBar(Panel1, layout::kProgressBar1);
  SendMessageW(ProgressBar1, PBM_SETSTEP, layout::kProgressBar1Step, 0);
  Label4 = MakeLabel(Panel1, layout::kLabel4);
  Label2 = MakeLabel(Panel1, layout::kLabel2);
  ProgressBar2 = MakeProgressBar(Panel1, layout::kProgressBar2);
  Animate1 = std::make_unique<TCopyAnimation>(Panel1, layout::kAnimate1);

  // Read-only, a vertical scroll bar and no word wrap (lines scroll
  // sideways instead); as long as the run logs.
  RxMemo = MakeChild(
      L"EDIT",
      WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL,
      layout::kRxMemo, hwnd_, L"", WS_EX_CLIENTEDGE);
  SendMessageW(RxMemo, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);
  SendMessageW(RxMemo, EM_SETLIMITTEXT, 0, 0);
}

HWND TForm1::MakeLabel(HWND parent, const layout::TLabelPlace& place) {
  const HWND label = MakeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, {place.Left, place.Top, 1, 1}, parent,
                               WidenLatin1(place.Text).c_str());
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(faceFont_), FALSE);
  FitLabel(label);
  return label;
}

HWND TForm1::MakeStaticText(const layout::TStaticText& text) {
  const HWND s =
      MakeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, text.Bounds, hwnd_, WidenLatin1(text.Text).c_str());
  SendMessageW(s, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), FALSE);
  return s;
}

// A label is as large as its text.
void TForm1::FitLabel(HWND label) {
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

void TForm1::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetFocus(RxMemo);
}

int TForm1::Run() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    Dispatch(message);
  }
}

void TForm1::Dispatch(const MSG& message) {
  if (TakeTypedCharacter(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

// Every character typed anywhere in the window reaches the key handler once:
// taken from the queue before any control sees it, so the window does not
// depend on which of its controls has the focus.
bool TForm1::TakeTypedCharacter(const MSG& message) {
  if (message.message != WM_CHAR || !hwnd_) return false;
  if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
  const auto typed = static_cast<wchar_t>(message.wParam);
  const int repeats = LOWORD(message.lParam) > 0 ? LOWORD(message.lParam) : 1;
  for (int i = 0; i < repeats; ++i) DeliverKey(typed);
  return !(message.hwnd == RxMemo && (typed == kCopy || typed == kSelectAll));
}

void TForm1::DeliverKey(wchar_t typed) {
  if (!run_) return;  // refused: nothing runs behind the window
  // The handler takes 8-bit characters. Any other character (a Cyrillic
  // letter, say) cannot be part of a code: it still breaks one being typed.
  if (!IsEightBit(typed)) {
    run_->ForeignKeyPress();
    return;
  }
  char key = static_cast<char>(typed);
  RxMemoKeyPress(key);
}

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd_, &ps);
      Shape1.Paint(dc);
      Image1.Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const auto dc = reinterpret_cast<HDC>(wParam);
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control == RxMemo) {
        // A read-only edit would take the face colour: the log stays a text page.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      const layout::TStaticText* text = control == StaticText1   ? &layout::kStaticText1
                                        : control == StaticText2 ? &layout::kStaticText2
                                        : control == StaticText3 ? &layout::kStaticText3
                                                                 : nullptr;
      if (!text) break;
      SetTextColor(dc, Rgb(text->Color));
      SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      return reinterpret_cast<LRESULT>(staticTextBrush_);
    }
    case WM_SETFOCUS:
      // The log holds the keyboard focus whenever the window has it.
      SetFocus(RxMemo);
      return 0;
    case WM_CLOSE:
      // Closing the window while an upgrade runs would only take it off the
      // screen: the upgrade goes on inside the tick all the same. The close
      // waits for its end.
      if (inTick_ && !closeByUpgrade_) {
        closeDeferred_ = true;
        return 0;
      }
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      Timer1.Stop();
      // What the window still receives on its way out is the system's.
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// --- Handlers ---

void TForm1::FormCreate() {
  run_->StartUp();
  Timer1.Start(layout::kTickMs);
}

void TForm1::RxMemoKeyPress(char& Key) { run_->KeyPress(Key); }

void TForm1::Timer1Timer() {
  const bool outer = !inTick_;  // ticks also come while a box of a tick is open
  inTick_ = true;
  run_->Tick();
  if (!outer) return;
  inTick_ = false;
  if (closeDeferred_ && hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

bool TForm1::UploadFile() { return run_->Upgrade().UploadFile(); }

// --- Window operations ---

void TForm1::LogLine(const std::string& line) {
  // Appended at the end without reading the text back, so that a long log
  // costs no more per line than a short one.
  const std::wstring text = (logHasLines_ ? L"\r\n" : L"") + WidenLatin1(line);
  logHasLines_ = true;
  const auto end = static_cast<WPARAM>(GetWindowTextLengthW(RxMemo));
  SendMessageW(RxMemo, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageW(RxMemo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TForm1::SetDownloadProgress(int position) { SendMessageW(ProgressBar1, PBM_SETPOS, position, 0); }

void TForm1::SetFlashProgress(int position) { SendMessageW(ProgressBar2, PBM_SETPOS, position, 0); }

void TForm1::SetCounter(long sent, long total) {
  SetWindowTextW(Label4, WidenLatin1(upgrade::Detail(sent, total)).c_str());
  FitLabel(Label4);
}

void TForm1::SetAnimation(bool running) { Animate1->SetActive(running); }

upgrade::TConfirmAnswer TForm1::ShowBox(TBoxKind kind, const std::string& text) {
  const std::wstring wide = WidenLatin1(text);
  if (hooks_.AnswerBox) return hooks_.AnswerBox(kind, wide);
  // Owned by the window once it is on the screen; at start-up it is not yet.
  const HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
  return winui::ShowBox(kind, wide, owner);
}

void TForm1::MessageBox(const std::string& text) { ShowBox(TBoxKind::Message, text); }

upgrade::TConfirmAnswer TForm1::Confirm(const std::string& text) { return ShowBox(TBoxKind::Confirm, text); }

void TForm1::Information(const std::string& text) { ShowBox(TBoxKind::Information, text); }

void TForm1::ShowRunError(const app::THandlerError& error) { ShowBox(TBoxKind::Error, error.Text); }

void TForm1::StopTicks() { Timer1.Stop(); }

void TForm1::PumpMessages() {
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

void TForm1::CloseWindow() {
  closeByUpgrade_ = true;
  if (!hwnd_) return;
  // Off the screen at once; destroyed once control is back in the loop.
  ShowWindow(hwnd_, SW_HIDE);
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace stb::winui
