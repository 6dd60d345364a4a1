// Files that only ever grow by whole lines (a report), where POSIX systems
// and Windows differ. Names are bytes as the operator gave them; on Windows
// they are read as UTF-8 (else in the ANSI code page) and opened by their
// wide names, as the image and the log files are.
#pragma once

#include <cstdint>
#include <string>

namespace stb::app {

// Opens `path` for appending, without waiting for anyone (a FIFO nobody
// reads is not waited for), only when it is a regular file. Returns the
// descriptor, or -1 with `why` for the operator.
int OpenReportFile(const std::string& path, std::string& why);
// One write of `size` bytes at the end of the file; what it wrote, or -1
// with errno set.
long WriteOnce(int fd, const char* data, std::size_t size);
// The size of the open file; -1 when it cannot be told.
std::int64_t FileSize(int fd);
// Cuts the open file back to `size` bytes.
bool CutFile(int fd, std::int64_t size);
void CloseFile(int fd);

// Whether the open file `fd` is still the one named `path`: not removed,
// nor renamed or replaced since it was opened. When it is not, `how` (if
// given) says what became of it, in words for the operator ("removed").
bool StillNamed(int fd, const std::string& path, std::string* how = nullptr);

#ifdef _WIN32
// Opens `path` (made when missing) for appending, as a descriptor of the C
// runtime that no child inherits. Shared for reading and writing, never for
// deleting: a report or a log in use can be neither removed nor renamed
// under the program, while an operator can still read it. -1, with errno
// set, when it cannot be opened.
int OpenForAppending(const std::string& path);
#endif

}  // namespace stb::app
