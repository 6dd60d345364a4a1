// Errors that leave a handler for the application's default error handler:
// an include file that cannot be read, a number that fails to convert, an
// image file that cannot be opened. The window stays open after them.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace stb::upgrade {

// What was wrong with a file the run needed, as far as the reader could
// tell: enough for a front end to say which file, where it was looked for,
// why, and what to do, beside the error's own (terse) text.
enum class TFileRole { None, IncludeFile, ImageFile };
enum class TFileCause {
  None,
  FolderMissing,  // the folder the file was looked for in does not exist
  Missing,        // the folder is there, the file is not
  Denied,         // there, but this user may not read it
  IsFolder,       // the name is a folder's
  NotPlain,       // a device, a pipe or a socket
  Locked,         // another program holds it
  LineFeedsOnly,  // an include file with LF line ends: read as one long line
  BadNumber,      // a number on one of its lines did not convert
  Unreadable,     // any other failure to open or read it
};

struct TFileProblem {
  TFileRole Role = TFileRole::None;
  TFileCause Cause = TFileCause::None;
  std::string Path;         // as given (relative names against the current folder)
  int Line = 0;             // the include file's line, for a bad number
  std::string IncludeFile;  // an image: the include file that named it
  int SystemError = 0;      // the system's error number, when there is one
};

class ERunError : public std::runtime_error {
 public:
  explicit ERunError(const std::string& text, int systemError = 0)
      : std::runtime_error(text), text_(text), systemError_(systemError) {}
  ERunError(const std::string& text, int systemError, TFileProblem problem)
      : std::runtime_error(text), text_(text), systemError_(systemError), problem_(std::move(problem)) {}
  // The whole text; what() stops at a NUL that an include file may carry.
  // It may hold any byte of the file, line breaks included.
  const std::string& Text() const { return text_; }
  // The system's error number behind an "I/O error" text, whose text gives
  // only the number; 0 for every other error.
  int SystemError() const { return systemError_; }
  // Which file and why, when the error is about a file (Role None otherwise).
  const TFileProblem& Problem() const { return problem_; }

 private:
  std::string text_;
  int systemError_;
  TFileProblem problem_;
};

// The text the default error handler shows: the error's own text, with a
// full stop added when it does not end in one.
inline std::string DefaultErrorText(const std::string& what) {
  if (!what.empty() && what.back() == '.') return what;
  return what + ".";
}

}  // namespace stb::upgrade
