#include "Arguments.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs
#endif

namespace stb::app {

std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr && count == argc) {
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string text(n > 0 ? static_cast<std::size_t>(n) : 1u, '\0');
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), n, nullptr, nullptr);
      text.resize(text.size() - 1);  // the NUL
      arguments.push_back(std::move(text));
    }
    LocalFree(wide);
    return arguments;
  }
  if (wide != nullptr) LocalFree(wide);
#endif
  return {argv + 1, argv + argc};
}

}  // namespace stb::app
