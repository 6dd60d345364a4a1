// The log as the operator reads it, rendered from the upgrade's events: the
// directions at start-up, the mode line, where the include file puts the
// image, the numbered steps, each check that passed or refused the box, the
// go message, every resend, and the lines that end the upgrade. These are
// the lines the tool has always written, byte for byte and in the same
// order; nothing else in the program writes a log line of the upgrade.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "UpgradeEvents.h"
#include "UpgradeRecord.h"

namespace stb::app {

class TLogRenderer : public upgrade::IUpgradeEvents {
 public:
  // Each line goes to `out` as it is made, without its line end.
  using TOutput = std::function<void(const std::string& line)>;
  explicit TLogRenderer(TOutput out) : out_(std::move(out)) {}

  void StartedUp(bool portOpen) override;
  void ModeChosen(int mode) override;
  void IncludeFileRead(const upgrade::TUpgradeRecord& record, const std::string& addressText) override;
  void IdentityReceived(const upgrade::TBoxIdentity& identity) override { box_ = identity; }
  void CheckDone(upgrade::TCheck check, bool passed) override;
  void IdentityAccepted() override;
  void AddressMismatch() override;
  void GoMessageSent(std::uint32_t address, long blocks) override;
  void StepReached(upgrade::TStep step) override;
  void BlockRefused(long index, int resend) override;
  void AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) override;
  void VersionTableWritten() override;
  void PortLost(const std::string& device) override;
  void Ended(const upgrade::TUpgradeEnd& end) override;

 private:
  void Line(const std::string& line) { out_(line); }
  // The include file's pair for `check` and the box's, for the lines of a
  // version check; false for a check that compares no pair.
  bool Pairs(upgrade::TCheck check, upgrade::TVersionPair& include, upgrade::TVersionPair& box) const;

  TOutput out_;
  // What the lines of the checks quote: the include file's values and the
  // box's identity.
  upgrade::TUpgradeRecord include_;
  upgrade::TBoxIdentity box_;
};

}  // namespace stb::app
