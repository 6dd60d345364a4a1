// Choosing the download mode by typing its six-character code.
#include "IncludeFile.h"
#include "ModeTable.h"
#include "Upgrade.h"

namespace stb::upgrade {

void TUpgrade::RxMemoKeyPress(char& Key) {
  if (record_.DownloadMode != 0) return;
  // Every matcher follows the character before any is tested. A wrong
  // character sets a matcher back to the start without being taken as a new
  // first character: the whole code must then be typed again.
  for (auto& m : record_.ModeMatch) {
    if (Key == m.Code[static_cast<std::size_t>(m.MatchPos - 1)]) {
      ++m.MatchPos;
    } else {
      m.MatchPos = 1;
    }
  }
  for (std::size_t i = 0; i < record_.ModeMatch.size(); ++i) {
    if (record_.ModeMatch[i].MatchPos > 6) {
      SelectMode(static_cast<int>(i) + 1);
      return;
    }
  }
}

void TUpgrade::ForeignKeyPress() {
  if (record_.DownloadMode != 0) return;
  for (auto& m : record_.ModeMatch) m.MatchPos = 1;
}

void TUpgrade::SelectMode(int mode) {
  const TModeEntry& entry = ModeEntry(mode);
  window_.LogLine(std::string(entry.Line));
  record_.DownloadMode = static_cast<std::uint8_t>(mode);
  ReadIncludeFile(std::string(entry.IncludeFile), record_, window_);
}

}  // namespace stb::upgrade
