#include "ScratchDir.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace stb::testing {

TScratchDir::TScratchDir() : previous_(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "stb-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = pattern;
  std::filesystem::current_path(path_);
}

TScratchDir::~TScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void TScratchDir::Write(const std::string& relative, const std::string& bytes) const {
  const auto file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string IncludeText(const std::string (&lines)[12]) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace stb::testing
