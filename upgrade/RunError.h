// Errors that leave a handler for the application's default error handler:
// an include file that cannot be read, a number that fails to convert, an
// image file that cannot be opened. The window stays open after them.
#pragma once

#include <stdexcept>
#include <string>

namespace stb::upgrade {

class ERunError : public std::runtime_error {
 public:
  explicit ERunError(const std::string& text, int systemError = 0)
      : std::runtime_error(text), text_(text), systemError_(systemError) {}
  // The whole text; what() stops at a NUL that an include file may carry.
  // It may hold any byte of the file, line breaks included.
  const std::string& Text() const { return text_; }
  // The system's error number behind an "I/O error" text, whose text gives
  // only the number; 0 for every other error.
  int SystemError() const { return systemError_; }

 private:
  std::string text_;
  int systemError_;
};

// The text the default error handler shows: the error's own text, with a
// full stop added when it does not end in one.
inline std::string DefaultErrorText(const std::string& what) {
  if (!what.empty() && what.back() == '.') return what;
  return what + ".";
}

}  // namespace stb::upgrade
