#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "StationFiles.h"

namespace stb::app {

bool FolderTakesFiles(const std::string& folder, std::string& why) {
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return true;
  why = std::strerror(errno);
  return false;
}

}  // namespace stb::app
