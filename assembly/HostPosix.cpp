#include <unistd.h>

#include "BoxRecord.h"

namespace stb::app {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace stb::app
