#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <utility>

#include "FileByName.h"

namespace stb::upgrade {

std::wstring WideFileName(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  // UTF-8 only when every byte fits it: a Western name such as "bild-\xE4.bin"
  // is no valid UTF-8 and is read in the ANSI code page, as it always was.
  for (const auto& [codePage, flags] : {std::pair<UINT, DWORD>{CP_UTF8, MB_ERR_INVALID_CHARS}, {CP_ACP, 0}}) {
    const int n = MultiByteToWideChar(codePage, flags, path.data(), size, nullptr, 0);
    if (n <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, path.data(), size, wide.data(), n);
    return wide;
  }
  return {};
}

int OpenFileByName(const std::string& path, int flags) {
  const std::wstring wide = WideFileName(path);
  if (wide.empty()) return ::open(path.c_str(), flags);
  return ::_wopen(wide.c_str(), flags);
}

bool IsFolderByName(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFileName(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace stb::upgrade
