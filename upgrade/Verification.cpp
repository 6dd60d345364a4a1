// After the last block: the total checksum, the box's reports on the
// download, the RAM image, the flash write and the flash image, and the
// update of the box's version table.
#include <algorithm>

#include "LinkHolds.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;

bool TUpgrade::ReadReport(std::string_view expected, bool firstWait) {
  // Characters of any value come first and are dropped; the first of them
  // may be waited for.
  std::size_t lead = kReportLeadChars;
  if (firstWait) {
    WaitChar();
    --lead;
  }
  char ch = 0;
  while (lead-- > 0) {
    StopPoint();
    ReadAnswering(ch);
  }
  // A character that does not come in time fails the text.
  std::string text;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    StopPoint();
    if (!ReadAnswering(ch)) return false;
    text.push_back(ch);
  }
  return text == expected;
}

void TUpgrade::WaitForMarker(std::uint8_t marker) {
  // Everything before the marker is ignored; the marker itself must come
  // within the bound. The window has its turn whenever a slice brings nothing.
  const TInputTimeoutHold slice(link_, std::min(link_.InputTimeout(), kAnsweringSliceMs));
  const std::uint32_t start = clock_();
  std::uint8_t value = 0;
  while (value != marker) {
    StopPoint();
    if (!link_.IsPortOpen() || clock_() - start > responseTimeoutMs_) throw ENoResponse{};
    if (!link_.ReadByte(value)) KeepAnswering();
  }
}

void TUpgrade::SendVersionPair() {
  const TVersionPair* pair = nullptr;
  switch (record_.VersionSlot) {
    case 1: pair = &record_.IncBootVersion; break;
    case 2: pair = &record_.IncNativeVersion; break;
    case 3: pair = &record_.IncApp1Version; break;
    case 4: pair = &record_.IncApp2Version; break;
    default: return;  // no version pair goes into the table
  }
  link_.WriteByte(pair->Major);
  link_.WriteByte(pair->Minor);
}

bool TUpgrade::Verify(std::uint8_t total) {
  StopPoint();
  link_.PurgeBuffers(true, false);
  link_.WriteByte(total);
  if (!ReadReport(kDownloadReport, true)) return Fail(TSeen::DownloadChecksum, TFailure::DownloadChecksum);
  Step(TStep::DownloadOk);

  // The box's checksums: the total it received, the one it computed and the
  // one of its RAM check. Taken, not judged.
  std::uint8_t report = WaitByte();
  ReadAnswering(report);
  ReadAnswering(report);

  WaitForMarker(kWakeUp);
  if (!ReadReport(kRamImageReport, false)) return Fail(TSeen::RamImageChecksum, TFailure::RamImageChecksum);
  Step(TStep::RamImageOk);
  StopPoint();
  link_.PurgeBuffers(true, false);
  link_.WriteByte(kWakeUp);

  const std::int32_t steps = (record_.BlockCount + kBlocksPerFlashStep - 1) / kBlocksPerFlashStep;
  for (std::int32_t step = 0; step < steps; ++step) {
    // The last step takes whatever character comes.
    if (WaitChar() != kFlashStep && step != steps - 1) return Fail(TSeen::FlashWrite, TFailure::FlashWrite);
    events_->FlashStep(step + 1, steps);
  }
  if (!ReadReport(kFlashImageReport, true)) {
    return Fail(TSeen::FlashImageChecksum, TFailure::FlashImageChecksum);
  }
  Step(TStep::FlashImageOk);
  StopPoint();
  link_.PurgeBuffers(true, false);
  link_.WriteByte(kWakeUp);

  if (!ReadReport(kUpdateRequest, true)) {
    return Fail(TSeen::UpdateRequest, TFailure::UpdateRequest);
  }
  StopPoint();
  link_.WriteByte(kWakeUp);
  WaitForMarker(kVersionTableMarker);
  StopPoint();
  SendVersionPair();
  link_.PurgeBuffers(true, false);
  link_.WriteString(record_.IncStartDate);
  if (WaitChar() == kTableWritten) events_->VersionTableWritten();
  if (!ReadReport(kVersionTableReport, true)) {
    return Fail(TSeen::VersionTable, TFailure::VersionTable);
  }
  StopPoint();
  link_.WriteByte(kWakeUp);

  Step(TStep::VersionTableOk);
  succeeded_ = true;
  TUpgradeEnd end;
  end.Outcome = TOutcome::Upgraded;
  EndAndClose(std::move(end), "Congraturation! Software Upgrade OK !!!!");
  return true;
}

}  // namespace stb::upgrade
