#include "LogText.h"

#include <cstring>

#include "PrintableLine.h"

namespace stb::app {

namespace {
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

std::string Detail(long a, long b) { return "( " + std::to_string(a) + " / " + std::to_string(b) + " )"; }

const char* RefusalLine(upgrade::TCheck check) {
  using upgrade::TCheck;
  switch (check) {
    case TCheck::ModeEcho: return "  ERROR:MisMatch Software Number !!";
    case TCheck::Oui: return "  - Invalid OUI !!";
    case TCheck::Model: return "  - Invalid Model Code !!";
    case TCheck::Hardware: return "  -Hardware version is invalid or lower!!";
    case TCheck::BootLoader: return "  -Bootloader version is invalid or lower!!";
    case TCheck::Native: return "  -Native Software version is invalid or lower!!";
    case TCheck::NativeMajor: return "  -Native Software Major version is nor same!!";
    case TCheck::Application1: return "  -Application 1 version is invalid or lower!!";
    case TCheck::Application2: return "  -Application 2 version is invalid or lower!!";
    case TCheck::Address: return "  Warning !!!. Download Address MisMatch... !!!";
    case TCheck::BootLoaderAddress: return "  -ERROR:Cannot Change Bootloader Address!!";
    case TCheck::BootLoaderArea: return "  -ERROR:Cannot Write Bootloader Area!!";
    case TCheck::BootLoaderSize: return "  -Bootloader is too large!!";
  }
  return "";
}

const char* SeenLine(upgrade::TSeen seen) {
  using upgrade::TSeen;
  switch (seen) {
    case TSeen::Nothing: return "";
    case TSeen::NoResponse: return "  ERROR: No Response from the Set-Top Box !!";
    case TSeen::BlockNotAccepted: return "  DownLoad Fail !!";
    case TSeen::ImageChanged: return "  ERROR: Image file changed during the DownLoad !!";
    case TSeen::DownloadChecksum: return "  DownLoad BAD CRC !!";
    case TSeen::RamImageChecksum: return "  Ram Image BAD CRC !!";
    case TSeen::FlashWrite: return "  Flash Write Error !!";
    case TSeen::FlashImageChecksum: return "  Flash Image BAD CRC !!";
    case TSeen::UpdateRequest: return "  ERROR: Update software version!!!";
    case TSeen::VersionTable: return "  CRC ERROR: Update software version!!!";
  }
  return "";
}

std::string DecidingLine(const upgrade::TUpgradeEnd& end) {
  switch (end.Outcome) {
    case upgrade::TOutcome::Upgraded: return kSuccessLine;
    case upgrade::TOutcome::Refused: return RefusalLine(end.Check);
    case upgrade::TOutcome::Stopped: return "";
    case upgrade::TOutcome::NoResponse:
    case upgrade::TOutcome::Failed: break;
  }
  if (end.Seen != upgrade::TSeen::Nothing) return SeenLine(end.Seen);
  return end.Error;
}

std::string PortLostLine(const std::string& device) {
  return "  ERROR: The COM port " + device + " went away !!";
}

std::string ErrorLine(const std::string& text, int systemError) {
  std::string line = upgrade::EscapedLine(text);
  if (systemError != 0) line += " (" + std::string(std::strerror(systemError)) + ")";
  return line;
}

}  // namespace stb::app
