// How Windows names a COM port, as plain string work: compiled everywhere,
// so that it is tested on every build, and used by the Win32 backend.
#pragma once

#include <string>

namespace stb::serial {

// The one name of a COM port however the operator wrote it: "COM1", "com1",
// "COM1:", "\\.\COM1" and "\\?\COM1" all open the same line, so they are
// all "COM1" (and "\\.\com12", "com12:" are "COM12"). Two spellings of one
// port must compare equal before anything is opened: a port opened twice
// sends the box two streams of announce words and writes one log twice.
// Any other name (a device or file named some other way) is returned as it
// is.
std::string ComPortName(const std::string& given);

// Whether `name` is a COM port's name as ComPortName gives it ("COM12").
bool IsComPortName(const std::string& name);

// Why `given` can never name a COM port, or empty. "COM 1" is COM1 written
// with a blank: no serial driver makes a COM name with a blank in it, so
// waiting for one would wait for ever.
std::string ComNameMistake(const std::string& given);

}  // namespace stb::serial
