#include "Upgrade.h"

#include "ModeTable.h"

namespace stb::upgrade {

namespace {
constexpr std::uint8_t kWakeUp = 0x1F;
constexpr char kRule[] = "-------------------------------------------------------------------------";
static_assert(sizeof kRule - 1 == 73);
}  // namespace

const char* const kDirections[13] = {
    "WARNING !!! --- Check DOWNLOAD ADDRESS",
    "WARNING !!! --- If This is incorrect,Exit the download program NOW!!!",
    "WARNING !!! --- And modify the download address of the  include file(./inc/XXXX.inc).",
    "  ",
    "WARNING !!! --- DONOT TURN OFF THE Set-Top Box(KVR) until it is finished!!!!",
    kRule,
    " <<< DIRECTIONS >>> ",
    " 0. First, check Your serial cable and COM1 port.",
    " 1. Now, type the download mode in this box.",
    "    It is not displayed.",
    " 2. Lastly, turn on the Set-Top Box(KVR).",
    " 3. Wait for complete.",
    kRule,
};

TUpgrade::TUpgrade(serial::TSerialLink& link, IWindowOperations& window)
    : link_(link), window_(window) {}

bool TUpgrade::StartUp() {
  record_.DownloadMode = 0;
  for (std::size_t m = 0; m < kModeTable.size(); ++m) {
    record_.ModeMatch[m].MatchPos = 1;
    const auto code = kModeTable[m].Code;
    std::copy(code.begin(), code.end(), record_.ModeMatch[m].Code.begin());
  }
  const bool opened = link_.OpenPort();
  if (!opened) window_.MessageBox("Error: could not connect.  Check COM port settings");
  for (const char* line : kDirections) window_.LogLine(line);
  window_.SetCounter("( 0 / 0 )");
  return opened;
}

void TUpgrade::Timer1Timer() {
  link_.WriteByte(kWakeUp);
  // No announce word for a mode whose include file was not read through:
  // the box would be met with a half-filled record.
  if (record_.DownloadMode == 0 || !record_.IncludeFileRead) return;
  link_.PurgeBuffers(true, false);
  link_.WriteString(std::string(ModeEntry(record_.DownloadMode).AnnounceWord));
}

}  // namespace stb::upgrade
