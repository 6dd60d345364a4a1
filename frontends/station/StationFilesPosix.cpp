#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "StationFiles.h"

namespace stb::app {

bool StillNamed(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return fd >= 0 && ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_ino == named.st_ino && open.st_dev == named.st_dev;
}

bool FolderTakesFiles(const std::string& folder, std::string& why) {
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return true;
  why = std::strerror(errno);
  return false;
}

}  // namespace stb::app
