// The program's arguments as typed. On Windows they are taken in UTF-8, as
// every file name is read (FileByName.h): the ANSI code page the C library
// hands them over in turns a folder named in another script ("--log-dir
// журнал") into question marks.
#pragma once

#include <string>
#include <vector>

namespace stb::app {

// The arguments after the program's name.
std::vector<std::string> Arguments(int argc, char** argv);

}  // namespace stb::app
