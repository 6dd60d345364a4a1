// The station's own use of files, where POSIX systems and Windows differ:
// a log folder that may take no file (whether a log or the report is still
// where it was opened, and the report's appending, are AppendFile.h's). Names
// are bytes as the operator gave them; on Windows they are read as UTF-8
// (else in the ANSI code page) and opened by their wide names, as the image
// and the log files are.
#pragma once

#include <string>

#include "AppendFile.h"

namespace stb::app {

// Whether `folder` takes new files; false with the system's reason.
bool FolderTakesFiles(const std::string& folder, std::string& why);

}  // namespace stb::app
