#include "EventLines.h"

#include <cstdio>

#include "ImageFile.h"
#include "ModeTable.h"
#include "PrintableLine.h"
#include "Sha256.h"

namespace stb::app {

namespace {

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string Bytes(const std::uint8_t* bytes, std::size_t n) {
  std::string hex;
  char pair[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    hex += pair;
  }
  return hex;
}

}  // namespace

void TEventLines::StartedUp(bool portOpen) {
  Line(std::string("started up, port ") + (portOpen ? "open" : "not open"));
}

void TEventLines::ModeChosen(int mode) {
  Line("mode " + std::to_string(mode) + " chosen; its include file is " +
       upgrade::IncludeFilePath(mode, includeFolder_));
}

void TEventLines::IncludeFileRead(const upgrade::TUpgradeRecord&, const std::string& addressText) {
  Line("include file read; download address \"" + upgrade::EscapedLine(addressText) + "\"");
}

void TEventLines::ImageMeasured(const std::string& path, const upgrade::TImageMeasure& image) {
  Line("image " + upgrade::EscapedLine(path) + ": " + std::to_string(image.Bytes) + " bytes, " +
       std::to_string(image.BlockCount) + " blocks, sha256 " + upgrade::Sha256Hex(image.Digest));
}

void TEventLines::BoxAcknowledged() { Line("the box acknowledged the announce word"); }

void TEventLines::BoxArrived(int mode) { Line("the box echoed mode " + std::to_string(mode)); }

void TEventLines::IdentityReceived(const upgrade::TBoxIdentity& identity) {
  Line("identity record " + Bytes(identity.Record.data(), identity.Record.size()));
}

void TEventLines::CheckDone(upgrade::TCheck check, bool passed) {
  Line(std::string("check ") + upgrade::CheckName(check) + (passed ? " passed" : " refused the box"));
}

void TEventLines::IdentityAccepted() { Line("identity accepted"); }

void TEventLines::AddressesReceived(std::uint32_t box, std::uint32_t include) {
  Line("download address: box " + Hex32(box) + ", include file " + Hex32(include));
}

void TEventLines::AddressMismatch() { Line("the download addresses differ"); }

void TEventLines::GoMessageSent(std::uint32_t address, long blocks) {
  Line("go message sent: " + std::to_string(blocks) + " blocks to " + Hex32(address));
}

void TEventLines::StepReached(upgrade::TStep step) { Line(std::string("step ") + upgrade::StepTitle(step)); }

void TEventLines::TransferStarted(long blocks, long total) {
  Line("transfer started: " + std::to_string(blocks) + " blocks, " + std::to_string(total) + " bytes");
}

void TEventLines::BlockRefused(long index, int resend) {
  Line("block " + std::to_string(index) + " refused; resend " + std::to_string(resend));
}

void TEventLines::AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) {
  Line(std::string(syncDigit ? "sync digit after block " : "answer to block ") + std::to_string(index) +
       " came late, after about " + std::to_string(waitedMs) + " ms; taken as the block's");
}

void TEventLines::ImageSent(const upgrade::TSha256& digest) {
  Line("every block sent; sha256 of what was sent " + upgrade::Sha256Hex(digest));
}

void TEventLines::VersionTableWritten() { Line("the box wrote its version table"); }

void TEventLines::PortLost(const std::string& device) { Line("the port " + device + " went away"); }

void TEventLines::Ended(const upgrade::TUpgradeEnd& end) {
  std::string text = std::string("ended: ") + upgrade::OutcomeName(end.Outcome);
  if (end.Outcome == upgrade::TOutcome::Refused)
    text += std::string(" (") + upgrade::CheckName(end.Check) + ")";
  if (end.Outcome == upgrade::TOutcome::Failed)
    text += std::string(" (") + upgrade::FailureName(end.Failure) + ")";
  text += ", step " + std::to_string(end.Step) + ", " + std::to_string(end.Sent) + " of " +
          std::to_string(end.Total) + " bytes acknowledged";
  Line(text);
}

}  // namespace stb::app
