#include "Boxes.h"

#include "OperatorWindowLayout.h"
#include "WideText.h"

namespace stb::winui {

upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner) {
  static const std::wstring title = WidenLatin1(layout::kApplicationTitle);
  const wchar_t* caption = title.c_str();
  UINT flags = MB_OK;
  switch (kind) {
    case TBoxKind::Message: break;
    case TBoxKind::Error: flags = MB_OK | MB_ICONERROR; break;
    case TBoxKind::Confirm:
      // The system's own "&Yes" and "&No"; the box has no close button, so
      // it is always answered.
      caption = L"Confirm";
      flags = MB_YESNO | MB_ICONQUESTION;
      break;
    case TBoxKind::Information:
      caption = L"Information";
      flags = MB_OK | MB_ICONINFORMATION;
      break;
  }
  // Without an owner the box still holds off every window of the program.
  if (!owner) flags |= MB_TASKMODAL;
  switch (MessageBoxW(owner, text.c_str(), caption, flags)) {
    case IDYES: return upgrade::TConfirmAnswer::Yes;
    case IDNO: return upgrade::TConfirmAnswer::No;
    default: return upgrade::TConfirmAnswer::Neither;
  }
}

}  // namespace stb::winui
