// A text from a file or a box as one line of printable characters: an error
// about a file name with a line feed in it must not start a line of its own
// in a log, where each line is one event with its time, and a byte from an
// include file must not move the operator's cursor or retitle the terminal.
#pragma once

#include <string>

namespace stb::upgrade {

// Line feed, carriage return and tab as \n, \r and \t; any other control
// byte as \xHH. Everything else, bytes above 0x7F included, as it is.
std::string EscapedLine(const std::string& text);

}  // namespace stb::upgrade
