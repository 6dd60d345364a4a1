// The front ends show a file's or a box's text as the core logs it: one line
// of printable characters.
#pragma once

#include "PrintableLine.h"

namespace stb::app {

using upgrade::EscapedLine;

}  // namespace stb::app
