#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "RecordsTarget.h"

namespace stb::app {

std::string DefaultRecordsPath() {
  // A relative XDG_STATE_HOME is to be ignored: it would put the records
  // wherever the tool happened to be started.
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home != nullptr ? home : "";
    if (h.empty()) {
      // A service started without HOME still has an account with a home.
      if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) h = pw->pw_dir;
    }
    if (h.empty()) return "";
    base = h + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/stb-downloader/records.sqlite3";
}

}  // namespace stb::app
