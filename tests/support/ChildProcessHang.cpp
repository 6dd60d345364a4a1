// The tests' side of a child that outlived its time, apart from the rest so
// that a benchmark links the helper without the test framework.
#include <gtest/gtest.h>

#include "ChildProcess.h"

namespace stb::testing {

void TChildProcess::FailTheTest(const std::string& program, int timeoutMs) {
  ADD_FAILURE() << program << " did not end within " << timeoutMs << " ms; killed";
}

}  // namespace stb::testing
