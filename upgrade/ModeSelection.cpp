// Choosing the download mode by typing its six-character code.
#include <algorithm>

#include "IncludeFile.h"
#include "ModeTable.h"
#include "Upgrade.h"

namespace stb::upgrade {

TModeMatchers FreshMatchers() {
  TModeMatchers matchers{};
  for (std::size_t m = 0; m < kModeTable.size(); ++m) {
    const auto code = kModeTable[m].Code;
    std::copy(code.begin(), code.end(), matchers[m].Code.begin());
  }
  return matchers;
}

int FollowKey(TModeMatchers& matchers, char key) {
  // Every matcher follows the character before any is tested. A wrong
  // character sets a matcher back to the start without being taken as a new
  // first character: the whole code must then be typed again.
  for (auto& m : matchers) {
    if (key == m.Code[static_cast<std::size_t>(m.MatchPos - 1)]) {
      ++m.MatchPos;
    } else {
      m.MatchPos = 1;
    }
  }
  for (std::size_t i = 0; i < matchers.size(); ++i) {
    if (matchers[i].MatchPos > 6) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::string IncludeFilePath(int mode, std::string_view folder) {
  const std::string_view path = ModeEntry(mode).IncludeFile;
  if (folder == kDefaultIncludeFolder) return std::string(path);
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  std::string inFolder(folder);
  // A folder given with its separator (inc/, C:\inc\) takes none more.
  if (!inFolder.empty() && inFolder.back() != '/' && inFolder.back() != '\\') inFolder += '/';
  return inFolder + std::string(name);
}

int ModeForCode(std::string_view typed) {
  TModeMatchers matchers = FreshMatchers();
  for (char c : typed) {
    if (const int mode = FollowKey(matchers, c)) return mode;
  }
  return 0;
}

void TUpgrade::KeyPress(char& Key) {
  if (record_.DownloadMode != 0) return;
  if (const int mode = FollowKey(record_.ModeMatch, Key)) SelectMode(mode);
}

void TUpgrade::ForeignKeyPress() {
  if (record_.DownloadMode != 0) return;
  for (auto& m : record_.ModeMatch) m.MatchPos = 1;
}

void TUpgrade::SelectMode(int mode) {
  events_->ModeChosen(mode);
  record_.DownloadMode = static_cast<std::uint8_t>(mode);
  ReadIncludeFile(IncludeFilePath(mode, includeFolder_), record_, *events_);
}

}  // namespace stb::upgrade
