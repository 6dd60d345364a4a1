// Whether the image may go into this box: maker, model and versions against
// the include file, the download address, the boot loader's protection, and
// the go message that tells the box where the image goes.
#include <algorithm>
#include <memory>

#include "ImageFile.h"
#include "ModeTable.h"
#include "RunError.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;
using namespace protocol::identity;

namespace {

// The include file's pair against the box's, three ways.
bool Equal(TVersionPair inc, TVersionPair box) { return inc.Major == box.Major && inc.Minor == box.Minor; }
bool SameMajorMinorNotLower(TVersionPair inc, TVersionPair box) {
  return inc.Major == box.Major && inc.Minor >= box.Minor;
}
bool NotLower(TVersionPair inc, TVersionPair box) {
  return inc.Major > box.Major || (inc.Major == box.Major && inc.Minor >= box.Minor);
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
  // Each check in turn; the first that fails refuses the box with its box.
  auto check = [&](TCheck which, bool passed, const std::string& refusal) {
    if (Checked(which, passed)) return true;
    Refuse(which, refusal);
    return false;
  };
  auto boxPair = [&](std::size_t at) { return TVersionPair{box[at], box[at + 1]}; };

  if (!check(TCheck::Oui, box[kOui] == record_.IncOui[1] && box[kOui + 1] == record_.IncOui[2],
             "Invalid OUI"))
    return false;
  if (!check(TCheck::Model, Equal(record_.IncModel, boxPair(kModel)), "Invalid Model Code !!")) return false;
  if (!check(TCheck::Hardware, SameMajorMinorNotLower(record_.IncHwVersion, boxPair(kHardware)),
             "Hardware version is invalid or lower!!"))
    return false;
  if (!check(TCheck::BootLoader, SameMajorMinorNotLower(record_.IncBootVersion, boxPair(kBootLoader)),
             "Bootloader version is invalid or lower!!"))
    return false;
  if (mode.Applies(kCheckNative) &&
      !check(TCheck::Native, NotLower(record_.IncNativeVersion, boxPair(kNative)),
             "Native Software version is invalid or lower!!"))
    return false;

  // Applications 1 and 2: built on the box's native software major, and not
  // older than the box's own. The major is the same for both, so it is
  // checked once, ahead of them.
  const bool anyApplication = mode.Applies(kCheckApplication1) || mode.Applies(kCheckApplication2);
  if (anyApplication && !check(TCheck::NativeMajor, box[kNative] == record_.IncNativeVersion.Major,
                               "Native Software Major version is nor same!!"))
    return false;
  if (mode.Applies(kCheckApplication1) &&
      !check(TCheck::Application1, NotLower(record_.IncApp1Version, boxPair(kApplication1)),
             "Application 1 version is invalid or lower!!"))
    return false;
  if (mode.Applies(kCheckApplication2) &&
      !check(TCheck::Application2, NotLower(record_.IncApp2Version, boxPair(kApplication2)),
             "Application 2 version is invalid or lower!!"))
    return false;

  events_->IdentityAccepted();
  return true;
}

bool TUpgrade::CheckAddresses() {
  const TAddressBytes& inc = record_.IncAddress;
  const TAddressBytes& box = record_.TargetAddress;
  events_->AddressesReceived(Word(box), Word(inc));
  if (inc != box && Unmirrored(inc) != Unmirrored(box)) {
    events_->AddressMismatch();
    window_.MessageBox("Warning !!!. Download Address MisMatch... !!!");
    const bool exit =
        window_.Confirm("Warning!!!. Download Address MisMatch!!!  Exit now?") == TConfirmAnswer::Yes;
    // Any other answer goes on with the include file's address.
    if (!Checked(TCheck::Address, !exit)) {
      TUpgradeEnd end;
      end.Outcome = TOutcome::Refused;
      end.Check = TCheck::Address;
      EndAndClose(std::move(end),
                  "Download Address MisMatch!!!. Check Your installation file(./inc/xxxx.inc).", true);
      return false;
    }
  } else {
    Checked(TCheck::Address, true);
  }

  const TModeEntry& mode = ModeEntry(record_.DownloadMode);
  if (mode.Applies(kCheckBootLoaderAddress)) {
    const bool atBootLoader = Word(inc) == kBootLoaderAddress || Word(Unmirrored(inc)) == kBootLoaderAddress;
    if (!Checked(TCheck::BootLoaderAddress, atBootLoader)) {
      Refuse(TCheck::BootLoaderAddress, "ERROR:Cannot Change Bootloader Address!!");
      return false;
    }
  }
  if (mode.Applies(kCheckBootLoaderArea) && !Checked(TCheck::BootLoaderArea, !InBootLoaderArea(inc))) {
    Refuse(TCheck::BootLoaderArea, "ERROR:Cannot Write Bootloader Area!!");
    return false;
  }
  if (mode.Applies(kCheckBootLoaderSize) &&
      !Checked(TCheck::BootLoaderSize, record_.SizeHigh * 256 + record_.SizeLow <= kMaxBootLoaderBlocks)) {
    Refuse(TCheck::BootLoaderSize, "Bootloader is too large!!");
    return false;
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
    end.Error = error.Text();
    end.SystemError = error.SystemError();
    End(std::move(end));
    throw;
  }
  link_.WriteString(std::string(kGo));
  for (std::uint8_t b : record_.IncAddress) link_.WriteByte(b);  // least significant first
  link_.WriteByte(record_.SizeLow);
  link_.WriteByte(record_.SizeHigh);
  goSent_ = true;
  events_->GoMessageSent(Word(record_.IncAddress), record_.BlockCount);
}

}  // namespace stb::upgrade
