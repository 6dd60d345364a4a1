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

}  // namespace stb::winui
