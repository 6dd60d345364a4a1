// The station's own use of files, where POSIX systems and Windows differ:
// a log file that may have left its folder, a log folder that may take no
// file (the report's appending is AppendFile.h's). Names
// are bytes as the operator gave them; on Windows they are read as UTF-8
// (else in the ANSI code page) and opened by their wide names, as the image
// and the log files are.
#pragma once

#include <string>

#include "AppendFile.h"

namespace stb::app {

// Whether the open file `fd` is still the one named `path` (not removed,
// nor renamed or replaced since it was opened).
bool StillNamed(int fd, const std::string& path);
// Whether `folder` takes new files; false with the system's reason.
bool FolderTakesFiles(const std::string& folder, std::string& why);

}  // namespace stb::app
