// The console lent to the assembly (ConsoleSeam.h there), which has none of
// its own: what the log file and an interrupt have to say goes to standard
// error through the process's writer (ConsoleOutput), made for it if need
// be, and an interrupt puts back the terminal a TUnechoedInput set up.
//
// Lent when the process's writer is made and when the terminal is set up;
// a front end that does neither but has the assembly speak (the operator
// window) lends it at its start.
#pragma once

namespace stb::app {

// Once is enough; again does no harm.
void LendConsoleToAssembly();

}  // namespace stb::app
