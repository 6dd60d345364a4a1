// --verbose: every event of the upgrade as a line on stderr, "[event] ...",
// as the core tells it and before the log's words for it: what the box said
// and what the tool made of it, for finding out why a line or a box behaves
// as it does. The accepted blocks and the flash steps are left to the
// progress, which already shows them (one line a block would be 65535 lines
// for a large image).
#pragma once

#include <functional>
#include <string>

#include "UpgradeEvents.h"

namespace stb::app {

class TEventLines : public upgrade::IUpgradeEvents {
 public:
  // Each line goes to `out` as it is made, without its line end.
  using TOutput = std::function<void(const std::string& line)>;
  // `includeFolder`: where the include files are read from.
  TEventLines(TOutput out, std::string includeFolder)
      : out_(std::move(out)), includeFolder_(std::move(includeFolder)) {}

  void StartedUp(bool portOpen) override;
  void ModeChosen(int mode) override;
  void IncludeFileRead(const upgrade::TUpgradeRecord& record, const std::string& addressText) override;
  void ImageMeasured(const std::string& path, const upgrade::TImageMeasure& image) override;
  void BoxAcknowledged() override;
  void BoxArrived(int mode) override;
  void IdentityReceived(const upgrade::TBoxIdentity& identity) override;
  void CheckDone(upgrade::TCheck check, bool passed) override;
  void IdentityAccepted() override;
  void AddressesReceived(std::uint32_t box, std::uint32_t include) override;
  void AddressMismatch() override;
  void GoMessageSent(std::uint32_t address, long blocks) override;
  void StepReached(upgrade::TStep step) override;
  void TransferStarted(long blocks, long total) override;
  void BlockRefused(long index, int resend) override;
  void AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) override;
  void ImageSent(const upgrade::TSha256& digest) override;
  void VersionTableWritten() override;
  void PortLost(const std::string& device) override;
  void Ended(const upgrade::TUpgradeEnd& end) override;

 private:
  void Line(const std::string& text) { out_("[event] " + text); }
  TOutput out_;
  std::string includeFolder_;
};

}  // namespace stb::app
