#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "Console.h"
#include "FileByName.h"
#include "StationFiles.h"

namespace stb::app {

namespace {

// The system's own identity of an open file: its volume and its index there.
bool Identity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  return h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info) != 0;
}

}  // namespace

bool StillNamed(int fd, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION open{};
  if (fd < 0 || !Identity(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), open)) return false;
  // Opened for no access at all: only to ask which file the name is now.
  HANDLE named = CreateFileW(upgrade::WideFileName(path).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION now{};
  const bool known = Identity(named, now);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  return known && open.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
         open.nFileIndexHigh == now.nFileIndexHigh && open.nFileIndexLow == now.nFileIndexLow;
}

bool FolderTakesFiles(const std::string& folder, std::string& why) {
  // Windows has no word for "may make files here" short of making one: a
  // hidden file of this process's own, gone again as it is closed.
  const std::wstring probe = upgrade::WideFileName(folder) + L"\\.stb-downloader-" +
                             std::to_wstring(GetCurrentProcessId()) + L".probe";
  HANDLE h =
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    why = SystemErrorText(static_cast<int>(GetLastError()));
    return false;
  }
  CloseHandle(h);
  return true;
}

}  // namespace stb::app
