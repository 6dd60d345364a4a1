// The modal boxes of the window: the system's task dialog, with buttons of
// the program's own.
#pragma once

#include "Win32.h"

#include <string>
#include <vector>

#include "OperatorWindowLayout.h"
#include "Interaction.h"

namespace stb::winui {

using layout::TBoxKind;

// Shows the box of `kind` with `text`, owned by `owner` (nullptr: none), and
// returns when it is dismissed: Yes or No for a confirmation answered so,
// Neither for one closed without an answer and for every other box.
upgrade::TConfirmAnswer ShowBox(TBoxKind kind, const std::wstring& text, HWND owner);

// The connection box: `text` with OK and "Choose another port..."; true
// when the operator asked for the list. Where the system has no task dialog
// it is the plain box, with OK alone.
bool ShowConnectionBox(const std::wstring& text, HWND owner);

// The list of ports the connection box leads to, one choice a line
// (`lines`, as --list-ports shows them), the first chosen to begin with:
// the index of the one chosen with OK, -1 on Cancel or a close.
int ShowPortChoice(const std::vector<std::wstring>& lines, HWND owner);

}  // namespace stb::winui
