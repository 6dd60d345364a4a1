#include <fcntl.h>
#include <sys/stat.h>

#include "FileByName.h"

namespace stb::upgrade {

int OpenFileByName(const std::string& path, int flags) { return ::open(path.c_str(), flags); }

bool IsFolderByName(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace stb::upgrade
