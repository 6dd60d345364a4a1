#include "Boxes.h"

#include "OperatorWindowLayout.h"
#include "WideText.h"

namespace stb::winui {

upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner) {
  const std::wstring caption = WidenLatin1(layout::BoxCaption(kind));
  UINT flags = MB_OK;
  switch (kind) {
    case TBoxKind::Message: break;
    case TBoxKind::Error: flags = MB_OK | MB_ICONERROR; break;
    // The system's own "&Yes" and "&No"; the box has no close button, so it
    // is always answered.
    case TBoxKind::Confirm: flags = MB_YESNO | MB_ICONQUESTION; break;
    case TBoxKind::Information: flags = MB_OK | MB_ICONINFORMATION; break;
  }
  // Without an owner the box still holds off every window of the program.
  if (!owner) flags |= MB_TASKMODAL;
  switch (MessageBoxW(owner, text.c_str(), caption.c_str(), flags)) {
    case IDYES: return upgrade::TConfirmAnswer::Yes;
    case IDNO: return upgrade::TConfirmAnswer::No;
    default: return upgrade::TConfirmAnswer::Neither;
  }
}

}  // namespace stb::winui
