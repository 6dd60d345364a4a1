#include "UpgradeEvents.h"

namespace stb::upgrade {

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
