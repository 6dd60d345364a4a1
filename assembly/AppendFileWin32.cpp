#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "FileByName.h"
#include "AppendFile.h"

namespace stb::app {

int OpenReportFile(const std::string& path, std::string& why) {
  // Binary: each line goes out as it is, "\n" and all; not inherited by
  // anything the station might start.
  constexpr int kFlags = _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT;
  const std::wstring wide = upgrade::WideFileName(path);
  const int fd = wide.empty() ? ::_open(path.c_str(), kFlags, _S_IREAD | _S_IWRITE)
                              : ::_wopen(wide.c_str(), kFlags, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  // A pipe, the console or a device such as NUL or a COM port is no file
  // on a disk.
  if (GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    why = "not a regular file (a pipe, a terminal or a device can hold the boxes up or lose their records)";
    ::_close(fd);
    return -1;
  }
  return fd;
}

long WriteOnce(int fd, const char* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(size));
}

std::int64_t FileSize(int fd) { return ::_filelengthi64(fd); }

bool CutFile(int fd, std::int64_t size) { return ::_chsize_s(fd, size) == 0; }

void CloseFile(int fd) { ::_close(fd); }

}  // namespace stb::app
