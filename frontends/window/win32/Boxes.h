// The modal boxes of the window, as the system draws them.
#pragma once

#include "Win32.h"

#include <string>

#include "OperatorWindowLayout.h"
#include "WindowOperations.h"

namespace stb::winui {

using layout::TBoxKind;

// Shows the box of `kind` with `text`, owned by `owner` (nullptr: none), and
// returns when it is dismissed: Yes or No for a confirmation, Neither else.
upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner);

}  // namespace stb::winui
