// Files opened by the name an operator or an include file gives, as bytes.
// On Linux a name is its bytes. On Windows the ANSI functions would read it
// in the system's code page, so an image named in UTF-8 (`./образ.bin`)
// would not be found: a name that is valid UTF-8 is taken as UTF-8, any
// other byte string in the ANSI code page (include files written with a
// Western editor keep working), and the file is opened by its wide name.
#pragma once

#include <string>

namespace stb::upgrade {

// open(2) (_wopen on Windows) of `path` with `flags`; -1 and errno when it
// fails.
int OpenFileByName(const std::string& path, int flags);

// Whether `path` names a folder.
bool IsFolderByName(const std::string& path);

#ifdef _WIN32
// The name Windows' wide functions take for `path`.
std::wstring WideFileName(const std::string& path);
#endif

}  // namespace stb::upgrade
