#include "Upgrade.h"

#include <algorithm>
#include <cmath>

#include "ModeTable.h"

namespace stb::upgrade {

namespace {
constexpr char kRule[] = "-------------------------------------------------------------------------";
static_assert(sizeof kRule - 1 == 73);
constexpr char kNoResponseLine[] = "  ERROR: No Response from the Set-Top Box !!";
constexpr char kNoResponseBox[] = "No Response from the Set-Top Box !!";
}  // namespace

const char kCannotConnect[] = "Error: could not connect.  Check COM port settings";

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

std::string Detail(long a, long b) { return "( " + std::to_string(a) + " / " + std::to_string(b) + " )"; }

int ProgressPosition(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  // nearbyint rounds halves to even under the default rounding mode.
  return static_cast<int>(std::nearbyint(static_cast<double>(done) / static_cast<double>(total) * 100.0));
}

TUpgrade::TUpgrade(serial::TSerialLink& link, IWindowOperations& window, serial::TTickSource clock)
    : link_(link), window_(window), clock_(std::move(clock)) {}

bool TUpgrade::StartUp() {
  record_.DownloadMode = 0;
  for (std::size_t m = 0; m < kModeTable.size(); ++m) {
    record_.ModeMatch[m].MatchPos = 1;
    const auto code = kModeTable[m].Code;
    std::copy(code.begin(), code.end(), record_.ModeMatch[m].Code.begin());
  }
  const bool opened = link_.OpenPort();
  portWasOpen_ = opened;
  if (!opened) window_.MessageBox(kCannotConnect);
  for (const char* line : kDirections) window_.LogLine(line);
  window_.SetCounter(0, 0);
  return opened;
}

std::uint8_t TUpgrade::WaitByte() {
  // Each read gives up after the input time-out; the box is given up on once
  // nothing has come for the whole bound. A closed port can never answer.
  const std::uint32_t start = clock_();
  std::uint8_t value = 0;
  for (;;) {
    if (!link_.IsPortOpen()) throw ENoResponse{};
    if (link_.ReadByte(value)) return value;
    if (clock_() - start > responseTimeoutMs_) throw ENoResponse{};
  }
}

void TUpgrade::Refuse(const std::vector<std::string>& lines, const std::string& box) {
  for (const auto& line : lines) window_.LogLine(line);
  window_.MessageBox(box);
  window_.CloseWindow();
}

bool TUpgrade::Fail(const std::string& line) {
  window_.LogLine(line);
  return false;
}

void TUpgrade::NoResponseBeforeTransfer() { Refuse({kNoResponseLine}, kNoResponseBox); }

bool TUpgrade::NoResponseInTransfer() { return Fail(kNoResponseLine); }

}  // namespace stb::upgrade
