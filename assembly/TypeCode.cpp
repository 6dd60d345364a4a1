#include "TypeCode.h"

namespace stb::app {

bool TypeCode(TAssembly& run, std::string_view keys) {
  for (char key : keys) {
    if (run.HandlerFailed()) break;
    run.KeyPress(key);
  }
  return !run.HandlerFailed();
}

}  // namespace stb::app
