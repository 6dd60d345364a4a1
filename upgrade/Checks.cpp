// Whether the image may go into this box: maker, model and versions against
// the include file, the download address, the boot loader's protection, and
// the go message that tells the box where the image goes.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "ImageFile.h"
#include "ModeTable.h"
#include "PrintableLine.h"
#include "RunError.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;
using namespace protocol::identity;

namespace {

bool Equal(TVersionPair inc, std::uint8_t major, std::uint8_t minor) {
  return inc.Major == major && inc.Minor == minor;
}
bool SameMajorMinorNotLower(TVersionPair inc, std::uint8_t major, std::uint8_t minor) {
  return inc.Major == major && inc.Minor >= minor;
}
bool NotLower(TVersionPair inc, std::uint8_t major, std::uint8_t minor) {
  return inc.Major > major || (inc.Major == major && inc.Minor >= minor);
}

std::string Format(const char* format, int a, int b, int c = 0, int d = 0) {
  char line[128];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

// Most significant bytes 0xA0 to 0xFF name the same memory as 0x80 to 0xDF:
// the address in the lower of the two.
TAddressBytes Unmirrored(TAddressBytes a) {
  if (a[3] >= kMirroredFrom) a[3] = static_cast<std::uint8_t>(a[3] - kMirrorOffset);
  return a;
}

bool InBootLoaderArea(const TAddressBytes& address) {
  const std::uint8_t top = address[3];
  const std::uint8_t below = address[2];
  return std::find(kBootLoaderAreaTop.begin(), kBootLoaderAreaTop.end(), top) != kBootLoaderAreaTop.end() &&
         below < kBootLoaderAreaEnd;
}

std::uint32_t Word(const TAddressBytes& a) {
  return static_cast<std::uint32_t>(a[3]) << 24 | static_cast<std::uint32_t>(a[2]) << 16 |
         static_cast<std::uint32_t>(a[1]) << 8 | a[0];
}

// The image must still be the one measured when the mode was chosen: the
// box is about to be told its size, and then takes it whole. Raises a file
// error (nothing has been sent for the image yet) when it is not. Says how
// it failed: the image unreadable, or changed. The image stays open from
// here to the end of the transfer, so that the file the box was told of is
// the file it gets, whatever happens to its name in between.
std::unique_ptr<TImageStream> OpenUnchangedImage(const TUpgradeRecord& record, TFailure& failure) {
  failure = TFailure::ImageUnreadable;
  auto image = std::make_unique<TImageStream>(record.ImageFileName);
  const TImageMeasure now = MeasureImage(*image, record.ImageFileName);
  if (now.Bytes != record.ImageBytes || now.Digest != record.ImageDigest) {
    failure = TFailure::ImageChanged;
    throw ERunError("Image file " + record.ImageFileName + " has changed since the include file was read");
  }
  return image;
}

}  // namespace

bool TUpgrade::CheckIdentity() {
  const auto& box = record_.TargetInfo;
  const TModeEntry& mode = ModeEntry(record_.DownloadMode);
  auto pairDetails = [](TVersionPair inc, std::uint8_t major, std::uint8_t minor) {
    return std::vector<std::string>{Detail(inc.Major, major), Detail(inc.Minor, minor)};
  };
  auto refusePair = [&](TCheck check, TVersionPair inc, std::size_t at, const std::string& line,
                        const std::string& text) {
    auto lines = pairDetails(inc, box[at], box[at + 1]);
    lines.push_back(line);
    Refuse(lines, text, check);
    return false;
  };

  if (!Checked(TCheck::Oui, box[kOui] == record_.IncOui[1] && box[kOui + 1] == record_.IncOui[2])) {
    Refuse({Detail(record_.IncOui[1], box[kOui]), Detail(record_.IncOui[2], box[kOui + 1]),
            "  - Invalid OUI !!"},
           "Invalid OUI", TCheck::Oui);
    return false;
  }
  window_.LogLine("  -. Pass OUI - Orvanta. Co.");

  if (!Checked(TCheck::Model, Equal(record_.IncModel, box[kModel], box[kModel + 1]))) {
    return refusePair(TCheck::Model, record_.IncModel, kModel, "  - Invalid Model Code !!",
                      "Invalid Model Code !!");
  }
  window_.LogLine(Format("  -. Model Code is same: %d.%d", box[kModel], box[kModel + 1]));

  if (!Checked(TCheck::Hardware,
               SameMajorMinorNotLower(record_.IncHwVersion, box[kHardware], box[kHardware + 1]))) {
    return refusePair(TCheck::Hardware, record_.IncHwVersion, kHardware,
                      "  -Hardware version is invalid or lower!!", "Hardware version is invalid or lower!!");
  }
  window_.LogLine(Format("  -. Hardware Version is same: %d.%d<-->%d.%d", box[kHardware], box[kHardware + 1],
                         record_.IncHwVersion.Major, record_.IncHwVersion.Minor));

  if (!Checked(TCheck::BootLoader,
               SameMajorMinorNotLower(record_.IncBootVersion, box[kBootLoader], box[kBootLoader + 1]))) {
    return refusePair(TCheck::BootLoader, record_.IncBootVersion, kBootLoader,
                      "  -Bootloader version is invalid or lower!!",
                      "Bootloader version is invalid or lower!!");
  }
  window_.LogLine(Format("  -. Bootloader Version: %d.%d-->%d.%d", box[kBootLoader], box[kBootLoader + 1],
                         record_.IncBootVersion.Major, record_.IncBootVersion.Minor));

  if (mode.Applies(kCheckNative)) {
    if (!Checked(TCheck::Native, NotLower(record_.IncNativeVersion, box[kNative], box[kNative + 1]))) {
      return refusePair(TCheck::Native, record_.IncNativeVersion, kNative,
                        "  -Native Software version is invalid or lower!!",
                        "Native Software version is invalid or lower!!");
    }
    window_.LogLine(Format("  -. Native Software Version: %d.%d-->%d.%d", box[kNative], box[kNative + 1],
                           record_.IncNativeVersion.Major, record_.IncNativeVersion.Minor));
  }

  // Applications 1 and 2: built on the box's native software major, and not
  // older than the box's own. The major is the same for both, so it is
  // checked once, ahead of them.
  const bool anyApplication = mode.Applies(kCheckApplication1) || mode.Applies(kCheckApplication2);
  if (anyApplication && !Checked(TCheck::NativeMajor, box[kNative] == record_.IncNativeVersion.Major)) {
    Refuse({Detail(record_.IncNativeVersion.Major, box[kNative]),
            "  -Native Software Major version is nor same!!"},
           "Native Software Major version is nor same!!", TCheck::NativeMajor);
    return false;
  }
  auto application = [&](int n, TCheck check, TVersionPair inc, std::size_t at) {
    const std::string name = "Application " + std::to_string(n);
    if (!Checked(check, NotLower(inc, box[at], box[at + 1]))) {
      return refusePair(check, inc, at, "  -" + name + " version is invalid or lower!!",
                        name + " version is invalid or lower!!");
    }
    window_.LogLine(Format(("  -. " + name + " Version: %d.%d-->%d.%d").c_str(), box[at], box[at + 1],
                           inc.Major, inc.Minor));
    return true;
  };
  if (mode.Applies(kCheckApplication1) &&
      !application(1, TCheck::Application1, record_.IncApp1Version, kApplication1))
    return false;
  if (mode.Applies(kCheckApplication2) &&
      !application(2, TCheck::Application2, record_.IncApp2Version, kApplication2))
    return false;

  // The date goes to the box as the include file gives it; the log shows
  // its bytes as printable characters.
  window_.LogLine("  -. Start DATE : " + EscapedLine(record_.IncStartDate) + " .");
  return true;
}

bool TUpgrade::CheckAddresses() {
  const TAddressBytes& inc = record_.IncAddress;
  const TAddressBytes& box = record_.TargetAddress;
  events_->AddressesReceived(Word(box), Word(inc));
  if (inc != box && Unmirrored(inc) != Unmirrored(box)) {
    constexpr char kMismatchLine[] = "  Warning !!!. Download Address MisMatch... !!!";
    window_.LogLine(kMismatchLine);
    window_.MessageBox("Warning !!!. Download Address MisMatch... !!!");
    const bool exit =
        window_.Confirm("Warning!!!. Download Address MisMatch!!!  Exit now?") == TConfirmAnswer::Yes;
    // Any other answer goes on with the include file's address.
    if (!Checked(TCheck::Address, !exit)) {
      TUpgradeEnd end;
      end.Outcome = TOutcome::Refused;
      end.Check = TCheck::Address;
      end.Line = kMismatchLine;
      End(std::move(end));
      window_.Information("Download Address MisMatch!!!. Check Your installation file(./inc/xxxx.inc).");
      window_.CloseWindow();
      return false;
    }
  } else {
    Checked(TCheck::Address, true);
  }

  const TModeEntry& mode = ModeEntry(record_.DownloadMode);
  if (mode.Applies(kCheckBootLoaderAddress)) {
    const bool atBootLoader = Word(inc) == kBootLoaderAddress || Word(Unmirrored(inc)) == kBootLoaderAddress;
    if (!Checked(TCheck::BootLoaderAddress, atBootLoader)) {
      Refuse({"  -ERROR:Cannot Change Bootloader Address!!"}, "ERROR:Cannot Change Bootloader Address!!",
             TCheck::BootLoaderAddress);
      return false;
    }
  }
  if (mode.Applies(kCheckBootLoaderArea) && !Checked(TCheck::BootLoaderArea, !InBootLoaderArea(inc))) {
    Refuse({"  -ERROR:Cannot Write Bootloader Area!!"}, "ERROR:Cannot Write Bootloader Area!!",
           TCheck::BootLoaderArea);
    return false;
  }
  if (mode.Applies(kCheckBootLoaderSize)) {
    if (!Checked(TCheck::BootLoaderSize, record_.SizeHigh * 256 + record_.SizeLow <= kMaxBootLoaderBlocks)) {
      Refuse({"  -Bootloader is too large!!"}, "Bootloader is too large!!", TCheck::BootLoaderSize);
      return false;
    }
    window_.LogLine("  -. Bootloader size check OK !!!");
  }
  return true;
}

void TUpgrade::SendGoMessage() {
  StopPoint();
  TFailure failure = TFailure::None;
  try {
    image_ = OpenUnchangedImage(record_, failure);
  } catch (const ERunError& error) {
    TUpgradeEnd end;
    end.Failure = failure;
    end.Line = error.Text();
    End(std::move(end));
    throw;
  }
  link_.WriteString(std::string(kGo));
  for (std::uint8_t b : record_.IncAddress) link_.WriteByte(b);  // least significant first
  link_.WriteByte(record_.SizeLow);
  link_.WriteByte(record_.SizeHigh);
  goSent_ = true;
  events_->GoMessageSent(Word(record_.IncAddress), record_.BlockCount);
  window_.LogLine(Format("  -. The Download Size is %d *256 + %d KBytes", record_.SizeHigh, record_.SizeLow));
}

}  // namespace stb::upgrade
