// What an operator needs beside a terse file error ("Invalid filename.",
// "'0x' is not a valid integer value."): which file, where it was looked
// for, why it failed, and what to do. The error's own text stays as it is;
// this is the line shown after it.
#pragma once

#include <string>

#include "RunError.h"

namespace stb::app {

// One line of advice for `problem`; empty when the error is not about a file.
// Relative names are shown with the current folder they were taken from.
std::string FileAdvice(const upgrade::TFileProblem& problem);

// The current folder, as a name an operator can read (UTF-8 on Windows).
std::string CurrentFolder();

}  // namespace stb::app
