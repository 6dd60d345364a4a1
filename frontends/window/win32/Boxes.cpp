#include "Boxes.h"

#include <commctrl.h>

#include "OperatorWindowLayout.h"
#include "WideText.h"

namespace stb::winui {

namespace {

using TTaskDialogIndirect = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Found at run time: the common controls of version 6 have it, the older
// ones a program without the manifest gets do not.
TTaskDialogIndirect FindTaskDialog() {
  HMODULE controls = GetModuleHandleW(L"comctl32.dll");
  if (!controls) controls = LoadLibraryW(L"comctl32.dll");
  if (!controls) return nullptr;
  return reinterpret_cast<TTaskDialogIndirect>(
      reinterpret_cast<void (*)()>(GetProcAddress(controls, "TaskDialogIndirect")));
}

upgrade::TConfirmAnswer Answer(int button) {
  switch (button) {
    case IDYES: return upgrade::TConfirmAnswer::Yes;
    case IDNO: return upgrade::TConfirmAnswer::No;
    default: return upgrade::TConfirmAnswer::Neither;
  }
}

// The system's message box: its buttons are in the system's language, and
// a Yes/No box cannot be closed. Only where the task dialog is missing.
upgrade::TConfirmAnswer ShowMessageBox(TBoxKind kind, const std::wstring& text, const std::wstring& caption,
                                       HWND owner) {
  UINT flags = MB_OK;
  switch (kind) {
    case TBoxKind::Message: break;
    case TBoxKind::Error: flags = MB_OK | MB_ICONERROR; break;
    case TBoxKind::Confirm: flags = MB_YESNOCANCEL | MB_ICONQUESTION; break;
    case TBoxKind::Information: flags = MB_OK | MB_ICONINFORMATION; break;
  }
  if (!owner) flags |= MB_TASKMODAL;
  return Answer(MessageBoxW(owner, text.c_str(), caption.c_str(), flags));
}

}  // namespace

upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner) {
  const std::wstring caption = WidenLatin1(layout::BoxCaption(kind));
  static const TTaskDialogIndirect taskDialog = FindTaskDialog();
  if (!taskDialog) return ShowMessageBox(kind, text, caption, owner);

  // Buttons of our own, so that they read the same on every Windows
  // language, as in the Qt window. Every box may be closed (Escape, its
  // close button): a confirmation closed so is answered neither way.
  static const TASKDIALOG_BUTTON kYesNo[] = {{IDYES, L"&Yes"}, {IDNO, L"&No"}};
  static const TASKDIALOG_BUTTON kOk[] = {{IDOK, L"OK"}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = caption.c_str();
  config.pszContent = text.c_str();
  const bool confirm = kind == TBoxKind::Confirm;
  config.pButtons = confirm ? kYesNo : kOk;
  config.cButtons = confirm ? 2 : 1;
  config.nDefaultButton = confirm ? IDYES : IDOK;
  switch (kind) {
    case TBoxKind::Message: break;
    case TBoxKind::Error: config.pszMainIcon = TD_ERROR_ICON; break;
    case TBoxKind::Confirm:
      config.dwFlags |= TDF_USE_HICON_MAIN;
      config.hMainIcon = LoadIconW(nullptr, IDI_QUESTION);
      break;
    case TBoxKind::Information: config.pszMainIcon = TD_INFORMATION_ICON; break;
  }
  int button = 0;
  if (FAILED(taskDialog(&config, &button, nullptr, nullptr)))
    return ShowMessageBox(kind, text, caption, owner);
  return Answer(button);
}

namespace {
// The connection box's button that leads to the list; the list's first choice.
constexpr int kChooseButton = 100;
constexpr int kFirstPort = 1000;
}  // namespace

bool ShowConnectionBox(const std::wstring& text, HWND owner) {
  static const TTaskDialogIndirect taskDialog = FindTaskDialog();
  const std::wstring caption = WidenLatin1(layout::BoxCaption(TBoxKind::Message));
  if (!taskDialog) {
    ShowMessageBox(TBoxKind::Message, text, caption, owner);
    return false;
  }
  const std::wstring choose = WidenLatin1(layout::kChoosePortButton);
  const TASKDIALOG_BUTTON buttons[] = {{IDOK, L"OK"}, {kChooseButton, choose.c_str()}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = caption.c_str();
  config.pszContent = text.c_str();
  config.pButtons = buttons;
  config.cButtons = 2;
  config.nDefaultButton = IDOK;
  int button = 0;
  if (FAILED(taskDialog(&config, &button, nullptr, nullptr))) {
    ShowMessageBox(TBoxKind::Message, text, caption, owner);
    return false;
  }
  return button == kChooseButton;
}

// The choice as it stands, told by the dialog as each is clicked: not every
// task dialog gives it back at the end.
HRESULT CALLBACK FollowChoice(HWND, UINT notification, WPARAM wParam, LPARAM, LONG_PTR chosen) {
  if (notification == TDN_RADIO_BUTTON_CLICKED) *reinterpret_cast<int*>(chosen) = static_cast<int>(wParam);
  return S_OK;
}

int ShowPortChoice(const std::vector<std::wstring>& lines, HWND owner) {
  static const TTaskDialogIndirect taskDialog = FindTaskDialog();
  if (!taskDialog) return -1;
  const std::wstring caption = WidenLatin1(layout::kChoosePortCaption);
  const std::wstring prompt = WidenLatin1(lines.empty() ? layout::kNoPortsListed : layout::kChoosePortPrompt);
  std::vector<TASKDIALOG_BUTTON> ports;
  for (std::size_t i = 0; i < lines.size(); ++i)
    ports.push_back({kFirstPort + static_cast<int>(i), lines[i].c_str()});
  const TASKDIALOG_BUTTON buttons[] = {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = caption.c_str();
  config.pszContent = prompt.c_str();
  config.pButtons = buttons;
  config.cButtons = lines.empty() ? 0 : 2;
  if (lines.empty()) config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  config.nDefaultButton = IDOK;
  config.pRadioButtons = ports.data();
  config.cRadioButtons = static_cast<UINT>(ports.size());
  config.nDefaultRadioButton = kFirstPort;
  int followed = kFirstPort;
  config.pfCallback = FollowChoice;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(&followed);
  int button = 0;
  int radio = 0;
  if (FAILED(taskDialog(&config, &button, &radio, nullptr))) return -1;
  if (radio < kFirstPort) radio = followed;
  if (button != IDOK || radio < kFirstPort || radio >= kFirstPort + static_cast<int>(lines.size())) return -1;
  return radio - kFirstPort;
}

}  // namespace stb::winui
