// Typing into an assembly as the operator types at a window: one key after
// another, each through the guarded key handler. Shared by every front end
// that is given its code rather than a keyboard.
#pragma once

#include <string_view>

#include "Assembly.h"

namespace stb::app {

// Types `keys`, stopping at the first handler error (an include file that
// does not read): what the operator would see is the error, not more keys.
// False when a handler has failed, now or before.
bool TypeCode(TAssembly& run, std::string_view keys);

}  // namespace stb::app
