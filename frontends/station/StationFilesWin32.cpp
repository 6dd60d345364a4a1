#include <windows.h>

#include <string>

#include "Console.h"
#include "FileByName.h"
#include "StationFiles.h"

namespace stb::app {

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
