#include <windows.h>

#include <string>

#include "RecordsTarget.h"

namespace stb::app {

std::string DefaultRecordsPath() {
  // Read wide and handed on in UTF-8, as every other file name of the
  // program is: a user name outside the code page must not lose the file.
  wchar_t wide[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", wide, static_cast<DWORD>(std::size(wide)));
  if (n == 0 || n >= std::size(wide)) return "";
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string base(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), base.data(), size, nullptr, nullptr);
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  return base + "\\stb-downloader\\records.sqlite3";
}

}  // namespace stb::app
