#include "UpgradeEvents.h"

#include <algorithm>
#include <iterator>

namespace stb::upgrade {

namespace {
constexpr const char* kStepTitles[] = {
    "1. Check Machine",    "2. Start Software Upgrade", "3. Start DownLoad",          "4. DownLoad OK",
    "5. Ram Image CRC OK", "6. Flash Image CRC OK",     "7. Update Version Table OK",
};
}  // namespace

const char* StepTitle(int step) {
  if (step < 1 || step > static_cast<int>(std::size(kStepTitles))) return nullptr;
  return kStepTitles[step - 1];
}

const char* StepTitle(TStep step) { return StepTitle(static_cast<int>(step)); }

void TUpgradeListeners::Add(IUpgradeEvents* listener) {
  if (listener) listeners_.push_back(listener);
}

void TUpgradeListeners::Remove(IUpgradeEvents* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TUpgradeListeners::StartedUp(bool portOpen) {
  Each([&](IUpgradeEvents& l) { l.StartedUp(portOpen); });
}
void TUpgradeListeners::ModeChosen(int mode) {
  Each([&](IUpgradeEvents& l) { l.ModeChosen(mode); });
}
void TUpgradeListeners::IncludeFileRead(const TUpgradeRecord& record, const std::string& addressText) {
  Each([&](IUpgradeEvents& l) { l.IncludeFileRead(record, addressText); });
}
void TUpgradeListeners::ImageMeasured(const std::string& path, const TImageMeasure& image) {
  Each([&](IUpgradeEvents& l) { l.ImageMeasured(path, image); });
}
void TUpgradeListeners::BoxAcknowledged() {
  Each([&](IUpgradeEvents& l) { l.BoxAcknowledged(); });
}
void TUpgradeListeners::BoxArrived(int mode) {
  Each([&](IUpgradeEvents& l) { l.BoxArrived(mode); });
}
void TUpgradeListeners::IdentityReceived(const TBoxIdentity& identity) {
  Each([&](IUpgradeEvents& l) { l.IdentityReceived(identity); });
}
void TUpgradeListeners::CheckDone(TCheck check, bool passed) {
  Each([&](IUpgradeEvents& l) { l.CheckDone(check, passed); });
}
void TUpgradeListeners::IdentityAccepted() {
  Each([&](IUpgradeEvents& l) { l.IdentityAccepted(); });
}
void TUpgradeListeners::AddressesReceived(std::uint32_t box, std::uint32_t include) {
  Each([&](IUpgradeEvents& l) { l.AddressesReceived(box, include); });
}
void TUpgradeListeners::AddressMismatch() {
  Each([&](IUpgradeEvents& l) { l.AddressMismatch(); });
}
void TUpgradeListeners::GoMessageSent(std::uint32_t address, long blocks) {
  Each([&](IUpgradeEvents& l) { l.GoMessageSent(address, blocks); });
}
void TUpgradeListeners::StepReached(TStep step) {
  Each([&](IUpgradeEvents& l) { l.StepReached(step); });
}
void TUpgradeListeners::TransferStarted(long blocks, long total) {
  Each([&](IUpgradeEvents& l) { l.TransferStarted(blocks, total); });
}
void TUpgradeListeners::BlockAccepted(long index, long sent, long total) {
  Each([&](IUpgradeEvents& l) { l.BlockAccepted(index, sent, total); });
}
void TUpgradeListeners::BlockRefused(long index, int resend) {
  Each([&](IUpgradeEvents& l) { l.BlockRefused(index, resend); });
}

void TUpgradeListeners::AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) {
  Each([&](IUpgradeEvents& l) { l.AnswerLate(index, syncDigit, waitedMs); });
}
void TUpgradeListeners::ImageSent(const TSha256& digest) {
  Each([&](IUpgradeEvents& l) { l.ImageSent(digest); });
}
void TUpgradeListeners::FlashStep(long step, long steps) {
  Each([&](IUpgradeEvents& l) { l.FlashStep(step, steps); });
}
void TUpgradeListeners::VersionTableWritten() {
  Each([&](IUpgradeEvents& l) { l.VersionTableWritten(); });
}
void TUpgradeListeners::PortLost(const std::string& device) {
  Each([&](IUpgradeEvents& l) { l.PortLost(device); });
}
void TUpgradeListeners::Ended(const TUpgradeEnd& end) {
  Each([&](IUpgradeEvents& l) { l.Ended(end); });
}

const char* OutcomeName(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Upgraded: return "upgraded";
    case TOutcome::Refused: return "refused";
    case TOutcome::NoResponse: return "no response";
    case TOutcome::Failed: return "failed";
    case TOutcome::Stopped: return "stopped";
  }
  return "?";
}

const char* CheckName(TCheck check) {
  switch (check) {
    case TCheck::ModeEcho: return "mode echo";
    case TCheck::Oui: return "OUI";
    case TCheck::Model: return "model";
    case TCheck::Hardware: return "hardware";
    case TCheck::BootLoader: return "boot loader";
    case TCheck::Native: return "native software";
    case TCheck::NativeMajor: return "native software major";
    case TCheck::Application1: return "application 1";
    case TCheck::Application2: return "application 2";
    case TCheck::Address: return "download address";
    case TCheck::BootLoaderAddress: return "boot loader address";
    case TCheck::BootLoaderArea: return "boot loader area";
    case TCheck::BootLoaderSize: return "boot loader size";
  }
  return "?";
}

const char* FailureName(TFailure failure) {
  switch (failure) {
    case TFailure::None: return "";
    case TFailure::FirstBlockRefused: return "first block refused";
    case TFailure::BlockRefused: return "block refused";
    case TFailure::SyncDigit: return "sync digit";
    case TFailure::PortLost: return "port lost";
    case TFailure::ImageChanged: return "image changed";
    case TFailure::ImageUnreadable: return "image unreadable";
    case TFailure::DownloadChecksum: return "download checksum";
    case TFailure::RamImageChecksum: return "RAM image checksum";
    case TFailure::FlashWrite: return "flash write";
    case TFailure::FlashImageChecksum: return "flash image checksum";
    case TFailure::UpdateRequest: return "update request";
    case TFailure::VersionTable: return "version table";
  }
  return "?";
}

}  // namespace stb::upgrade
