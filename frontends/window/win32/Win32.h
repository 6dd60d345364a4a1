// <windows.h> for the window's sources. Its MessageBox macro would rename the
// window operation of that name in every class that sees it; the system's
// box is called by its wide name, MessageBoxW.
#pragma once

#include <windows.h>
#undef MessageBox
