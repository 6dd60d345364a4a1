// The modal boxes of the window: the system's task dialog, with buttons of
// the program's own.
#pragma once

#include "Win32.h"

#include <string>

#include "OperatorWindowLayout.h"
#include "Interaction.h"

namespace stb::winui {

using layout::TBoxKind;

// Shows the box of `kind` with `text`, owned by `owner` (nullptr: none), and
// returns when it is dismissed: Yes or No for a confirmation answered so,
// Neither for one closed without an answer and for every other box.
upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner);

}  // namespace stb::winui
