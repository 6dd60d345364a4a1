#include "StationWindow.h"

#include "Boxes.h"
#include "ControlText.h"
#include "LayoutGdi.h"
#include "StationWindowLayout.h"
#include "WideText.h"
#include "WindowClass.h"

namespace stb::winui {

namespace {

namespace s = layout::station;

constexpr wchar_t kWindowClass[] = L"StbStationWindow";
constexpr int kCodeId = 100;
constexpr int kStartId = 101;
constexpr int kStopId = 102;
constexpr UINT_PTR kTurnTimer = 1;
// A mode code is a few letters and digits; the field takes no more.
constexpr int kCodeMost = 32;
// What Windows shows beside the window when a log-off or shut-down waits
// for it.
constexpr wchar_t kEndSessionReason[] =
    L"Boxes are being upgraded. A box cut off while it takes its image can be left unusable.";

}  // namespace

TStationWindow::TStationWindow(const app::TOptions& options, app::TStationRun::TLister adapters,
                               app::TStationInterrupts* interrupts, TStationWindowHooks hooks)
    : model_(options, std::move(adapters), interrupts), hooks_(std::move(hooks)) {
  BuildComponents();
  // A --code given is tried at once; a wrong one is said as a typed one is.
  SetText(message_, model_.Begin());
  ShowBar();
  Turn();
  SetTimer(hwnd_, kTurnTimer, s::kTurnMs, nullptr);
}

TStationWindow::~TStationWindow() {
  // Taken down while the station still runs (its loop ended some other
  // way): as on a close, no new box, and the upgrades under way end first.
  if (!model_.Closes()) {
    model_.CloseConfirmed();
    while (!model_.Closes()) {
      Sleep(s::kTurnMs);
      model_.Turn();
    }
  }
  logs_.clear();
  tiles_.reset();
  if (hwnd_) {
    // Taken down by its owner, not closed: no quit for whatever loop runs next.
    KillTimer(hwnd_, kTurnTimer);
    SetOwner(hwnd_, nullptr);
    DestroyWindow(hwnd_);
  }
  DeleteObject(face_);
  DeleteObject(bold_);
  DeleteObject(messageBrush_);
}

void TStationWindow::BuildComponents() {
  static const bool registered = RegisterWindowClass(
      {.Name = kWindowClass,
       .Proc = ToCreator<TStationWindow, &TStationWindow::hwnd_, &TStationWindow::OnMessage>,
       .Icon = true});
  (void)registered;
  face_ = FaceFont(s::kFacePoints, FW_NORMAL);
  bold_ = FaceFont(s::kFacePoints, FW_BOLD);
  messageBrush_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));

  // Sizable: more tiles across in a wider window, the rest scrolled.
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_CONTROLPARENT;
  // Every port's tile where the screen's work area has room for them all
  // (64 on a 1920x1080 screen), beside the tiles' scroll bar, which always
  // shows.
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const auto size = s::OpenSize(
      static_cast<int>(model_.Ports().size()), (work.right - work.left) - (frame.right - frame.left),
      (work.bottom - work.top) - (frame.bottom - frame.top), GetSystemMetrics(SM_CXVSCROLL));
  RECT outer{0, 0, size.Width, size.Height};
  AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  hwnd_ = CreateWindowExW(exStyle, kWindowClass, WidenLatin1(s::kCaption).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                          Instance(), this);

  MakeControl(L"STATIC", SS_LEFT | SS_NOPREFIX, {s::kCodeLabel.Left, s::kCodeLabel.Top, 66, 16},
              WidenLatin1(s::kCodeLabel.Text));
  // Masked: the code is never shown, not even to whoever stands behind.
  code_ = MakeControl(L"EDIT", ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, s::kCodeField, L"", kCodeId,
                      WS_EX_CLIENTEDGE);
  SendMessageW(code_, EM_SETLIMITTEXT, kCodeMost, 0);
  start_ = MakeControl(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, s::kStartButton, WidenLatin1(s::kStartText),
                       kStartId);
  stop_ =
      MakeControl(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, s::kStopButton, WidenLatin1(s::kStopText), kStopId);
  status_ = MakeControl(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, s::kStatusText, L"");
  counters_ = MakeControl(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, s::kCountersText, L"");
  message_ = MakeControl(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, s::kCodeMessage, L"");
  tiles_ = std::make_unique<TStationTiles>(hwnd_, face_, bold_, [this](std::size_t i) { OpenLog(i); });
  tiles_->SetHint(WidenLatin1(s::kTypeCode));
  RECT client;
  GetClientRect(hwnd_, &client);
  tiles_->Place(0, s::kTilesTop, client.right, client.bottom - s::kTilesTop);
}

HWND TStationWindow::MakeControl(const wchar_t* kind, DWORD style, const layout::TBounds& b,
                                 const std::wstring& text, int id, DWORD exStyle) {
  const HWND control = CreateWindowExW(
      exStyle, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, b.Left, b.Top, b.Width, b.Height, hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(face_), FALSE);
  return control;
}

void TStationWindow::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  if (model_.WaitsForCode()) {
    SetFocus(code_);
  } else if (tiles_->Count() > 0) {
    SetFocus(tiles_->Tile(0));
  } else {
    SetFocus(stop_);
  }
}

int TStationWindow::Run() {
  MSG message;
  while (hwnd_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Dispatch(message);
  }
  return model_.ExitStatus();
}

void TStationWindow::Dispatch(const MSG& message) {
  // Tab between the controls, Enter for Start, the arrows among the tiles.
  if (hwnd_ && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)) &&
      IsDialogMessageW(hwnd_, const_cast<MSG*>(&message)))
    return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

// --- Handlers ---

void TStationWindow::Turn() {
  if (!hwnd_) return;
  model_.Turn();
  if (model_.Closes()) {
    DestroyWindow(hwnd_);
    return;
  }
  ports_ = model_.Ports();
  tiles_->Show(ports_);
  ShowBar();
  if (blockingEnd_ && model_.Counters().Running == 0) {
    ShutdownBlockReasonDestroy(hwnd_);
    blockingEnd_ = false;
  }
}

void TStationWindow::Start() {
  if (!model_.WaitsForCode()) return;
  std::string code;
  for (const wchar_t c : TextOf(code_)) code += c < 0x100 ? static_cast<char>(c) : '?';
  const std::string why = model_.EnterCode(code);
  SetText(message_, why);
  if (model_.WaitsForCode()) {
    // Another try: the field keeps what was typed, selected, to be typed over.
    SetFocus(code_);
    SendMessageW(code_, EM_SETSEL, 0, -1);
    return;
  }
  SetWindowTextW(code_, L"");
  tiles_->SetHint(L"");
  Turn();
  if (tiles_->Count() > 0) SetFocus(tiles_->Tile(0));
}

void TStationWindow::StopTakingBoxes() {
  // One button stops taking boxes and takes them again.
  if (model_.Paused()) {
    model_.TakeBoxesAgain();
  } else {
    model_.StopTakingBoxes();
  }
  ShowBar();
}

void TStationWindow::OpenLog(std::size_t index) {
  if (index >= ports_.size() || model_.WaitsForCode()) return;  // no log before the port starts
  const app::TPortView& port = ports_[index];
  auto& log = logs_[port.Port];
  if (log && !log->Closed()) {
    log->Raise();
    return;
  }
  log = std::make_unique<TPortLogWindow>(hwnd_, port.Port, port.LogFile, face_);
}

const TPortLogWindow* TStationWindow::LogWindow(const std::string& port) const {
  const auto found = logs_.find(port);
  return found == logs_.end() ? nullptr : found->second.get();
}

void TStationWindow::SetText(HWND control, const std::string& text) {
  const std::wstring wide = WidenLatin1(text);
  if (TextOf(control) != wide) SetWindowTextW(control, wide.c_str());
}

void TStationWindow::ShowBar() {
  const bool waits = model_.WaitsForCode();
  EnableWindow(code_, waits);
  EnableWindow(start_, waits);
  // A close or an interrupt is not undone: the button greys then.
  const bool stops = !waits && (model_.StopLevel() == app::kRunning || model_.Paused());
  // A button greyed with the keyboard on it would leave the keyboard nowhere.
  if (!waits && GetFocus() == stop_ && !stops) SetFocus(tiles_->Count() > 0 ? tiles_->Tile(0) : hwnd_);
  EnableWindow(stop_, stops);
  SetText(stop_, model_.Paused() ? s::kTakeAgainText : s::kStopText);
  SetText(status_, model_.StatusLine());
  SetText(counters_, waits ? "" : app::TStationWindowModel::CountersLine(model_.Counters()));
}

void TStationWindow::OnClose() {
  if (asking_) return;  // the question is on the screen already
  switch (model_.CloseRequested()) {
    case app::TStationWindowModel::TClose::Now: break;
    case app::TStationWindowModel::TClose::Waiting: break;
    case app::TStationWindowModel::TClose::Ask: {
      asking_ = true;
      const std::wstring question = WidenLatin1(s::kCloseQuestion);
      const auto answer =
          hooks_.AnswerClose ? hooks_.AnswerClose(question) : ShowBox(TBoxKind::Confirm, question, hwnd_);
      asking_ = false;
      if (answer == upgrade::TConfirmAnswer::Yes) model_.CloseConfirmed();
      break;
    }
  }
  // Closes now when nothing is under way; else at the turn after the last
  // upgrade's end.
  if (hwnd_ && model_.Closes()) {
    DestroyWindow(hwnd_);
  } else if (hwnd_) {
    ShowBar();
  }
}

LRESULT TStationWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kTurnTimer) Turn();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case IDOK:  // Enter where no button is the default
        case kStartId: Start(); return 0;
        case kStopId: StopTakingBoxes(); return 0;
      }
      break;
    case DM_GETDEFID:
      // Enter starts while a code is wanted; later it opens the focused tile.
      return model_.WaitsForCode() ? MAKELRESULT(kStartId, DC_HASDEFID) : 0;
    case WM_SIZE:
      if (tiles_) tiles_->Place(0, s::kTilesTop, LOWORD(lParam), std::max(0, HIWORD(lParam) - s::kTilesTop));
      return 0;
    case WM_PAINT: {
      // A thin rule between the bar and the tiles.
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd_, &ps);
      RECT client;
      GetClientRect(hwnd_, &client);
      RECT rule{0, s::kTilesTop - 2, client.right, s::kTilesTop};
      DrawEdge(dc, &rule, EDGE_ETCHED, BF_TOP);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == message_) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, Rgb(s::kCodeMessageColor));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(messageBrush_);
      }
      break;
    case WM_CLOSE: OnClose(); return 0;
    case WM_QUERYENDSESSION:
      // A log-off or shut-down waits while boxes are being upgraded, saying
      // why; the operator may still force it. Nothing under way: it goes on.
      if (model_.WaitsForCode() || model_.Counters().Running == 0) return TRUE;
      blockingEnd_ = ShutdownBlockReasonCreate(hwnd_, kEndSessionReason) != FALSE;
      return FALSE;
    case WM_ENDSESSION:
      // The operator forced the log-off through: Windows ends the program
      // once this returns. The upgrades under way end now and say where
      // each stood, as after a second Ctrl+C, rather than being cut off
      // unrecorded.
      if (wParam != FALSE && !model_.Ended()) model_.EndNow("the session's end");
      return 0;
    case WM_DESTROY: {
      const HWND hwnd = hwnd_;
      KillTimer(hwnd, kTurnTimer);
      // What the window still receives on its way out is the system's.
      SetOwner(hwnd, nullptr);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace stb::winui
