#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "AppendFile.h"
#include "FileByName.h"

namespace stb::app {

namespace {

// The C runtime's word for a system error, for strerror().
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME: return EINVAL;
    default: return EIO;
  }
}

// The system's own identity of an open file: its volume and its index there.
bool Identity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  return h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info) != 0;
}

}  // namespace

int OpenForAppending(const std::string& path) {
  // No FILE_SHARE_DELETE: while the program writes, the file stays where
  // the operator was told it is. Binary, each line as it is, "\n" and all;
  // appended at the end whoever else wrote there.
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const std::wstring wide = upgrade::WideFileName(path);
  HANDLE h = wide.empty() ? CreateFileA(path.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : CreateFileW(wide.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

int OpenReportFile(const std::string& path, std::string& why) {
  const int fd = OpenForAppending(path);
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

bool StillNamed(int fd, const std::string& path, std::string* how) {
  BY_HANDLE_FILE_INFORMATION open{};
  if (fd < 0 || !Identity(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), open)) {
    if (how) *how = "closed";
    return false;
  }
  // Opened for no access at all: only to ask which file the name is now.
  HANDLE named = CreateFileW(upgrade::WideFileName(path).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION now{};
  const bool known = Identity(named, now);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  if (!known) {
    if (how) *how = open.nNumberOfLinks == 0 ? "removed" : "renamed or moved away";
    return false;
  }
  if (open.dwVolumeSerialNumber == now.dwVolumeSerialNumber && open.nFileIndexHigh == now.nFileIndexHigh &&
      open.nFileIndexLow == now.nFileIndexLow)
    return true;
  if (how) *how = "replaced by another file";
  return false;
}

}  // namespace stb::app
