// A scratch folder that is the current directory for the life of a test, so
// the program's relative ./inc/ paths land in it.
#pragma once

#include <filesystem>
#include <string>

namespace stb::testing {

class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes `bytes` to `relative` (folders made as needed).
  void Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// An include file from its twelve lines, each ended with CR LF.
std::string IncludeText(const std::string (&lines)[12]);

}  // namespace stb::testing
