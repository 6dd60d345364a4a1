#include <windows.h>

#include "BoxRecord.h"

namespace stb::app {

std::string HostName() {
  // The DNS name, in UTF-8 whatever the code page: the name a line's
  // records are sorted by.
  wchar_t wide[256] = {};
  DWORD size = static_cast<DWORD>(std::size(wide));
  if (!GetComputerNameExW(ComputerNameDnsHostname, wide, &size)) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string name(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), name.data(), n, nullptr, nullptr);
  return name;
}

}  // namespace stb::app
