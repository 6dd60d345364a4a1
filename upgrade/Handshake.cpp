// The tick and the start of the upgrade: wake-up byte, announce word, the
// box's acknowledgement and mode echo, its identity record and address words.
#include <exception>

#include "Announce.h"
#include "ImageFile.h"
#include "LinkHolds.h"
#include "ModeTable.h"
#include "RunError.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;

void TUpgrade::Tick() {
  if (stopRequested_.load()) return;
  // The window's ticks go on while a tick shows a box (the box's own loop
  // delivers them) and while the upgrade lets the window answer: one that
  // ran then could open the port again, meet the box and run an upgrade of
  // its own inside this one, and this one would then announce again.
  if (inTick_) return;
  inTick_ = true;
  struct TTickEnd {
    bool& inTick;
    ~TTickEnd() { inTick = false; }
  } tickEnd{inTick_};
  if (!link_.IsPortOpen() && portWasOpen_ && !LinkBack()) return;
  // No announce word for a mode whose include file was not read through:
  // the box would be met with a half-filled record.
  if (record_.DownloadMode == 0 || !record_.IncludeFileRead) {
    link_.WriteByte(kWakeUp);
    return;
  }
  Announce(link_, record_.DownloadMode);
  bool acknowledged = false;
  {
    const TInputTimeoutHold answerWait(link_, kAcknowledgeWaitMs);
    acknowledged = ReadAcknowledge();
  }
  if (acknowledged) MeetBox();  // else the next tick tries again
}

bool TUpgrade::LinkBack() {
  // The port went away while waiting (an adapter pulled, the far end hung
  // up): said once, then tried on every tick until it opens again.
  if (!portLossReported_) {
    portLossReported_ = true;
    window_.CannotConnect(kCannotConnect);
  }
  if (!link_.OpenPort()) return false;
  portLossReported_ = false;
  return true;
}

bool TUpgrade::ReadAcknowledge() {
  // Five characters: the first not 0x00, one more of any value, then "ACK".
  // A read that times out leaves the shared character as it was.
  char ch = kNoAcknowledge;
  ReadAnswering(ch);
  if (ch == kNoAcknowledge) return false;
  ReadAnswering(ch);
  std::string text;
  for (std::size_t i = 0; i < kAcknowledge.size(); ++i) {
    ReadAnswering(ch);
    text.push_back(ch);
  }
  return text == kAcknowledge;
}

void TUpgrade::MeetBox() {
  // An upgrade begins: from here its listener hears exactly one Ended.
  ended_ = false;
  goSent_ = false;
  portLossSaid_ = false;
  step_ = 0;
  acknowledged_ = 0;
  events_->BoxAcknowledged();

  // From here on the upgrade runs to its end inside this tick, and pumps the
  // window's messages on the way; until the tick returns, whatever the box
  // sends waits for the protocol's reads.
  const TPollingHold pollingHold(link_);
  bool ticksStopped = false;
  try {
    std::uint8_t echo = 0;
    try {
      echo = WaitByte();
    } catch (const ENoResponse&) {
      window_.StopTicks();
      return NoResponseBeforeTransfer();
    }
    events_->BoxArrived(echo);
    // Ticks stop before any box is shown, so none announces again under it.
    window_.StopTicks();
    ticksStopped = true;
    if (!Checked(TCheck::ModeEcho, echo == record_.DownloadMode)) {
      return Refuse(TCheck::ModeEcho, "  ERROR:MisMatch Software Number !!");
    }
    Step(TStep::CheckMachine);
    RunUpgrade();
  } catch (const EStopped&) {
    // Whoever asked for the stop has its own way of saying so.
    if (!ticksStopped) window_.StopTicks();
    TUpgradeEnd end;
    end.Outcome = TOutcome::Stopped;
    EndAndClose(std::move(end), "");
  } catch (const std::exception& error) {
    // Errors raised where they happen have told the listener already; this
    // is for any other that ends the upgrade on its way to the handler.
    TUpgradeEnd end;
    const auto* runError = dynamic_cast<const ERunError*>(&error);
    end.Error = runError ? runError->Text() : error.what();
    end.SystemError = runError ? runError->SystemError() : 0;
    End(std::move(end));
    throw;
  }
}

void TUpgrade::RunUpgrade() {
  // However the upgrade ends, the image is let go.
  struct TImageRelease {
    std::unique_ptr<TImageStream>& image;
    ~TImageRelease() { image.reset(); }
  } imageRelease{image_};
  try {
    for (std::size_t i = 0; i < kIdentityBytes; ++i) record_.TargetInfo[i] = WaitByte();
    events_->IdentityReceived(DecodeIdentity());
    if (!CheckIdentity()) return;
    ReceiveAddressWords();
    if (!CheckAddresses()) return;
    SendGoMessage();
    for (std::size_t i = 0; i < kGoReplyChars; ++i) WaitChar();  // neither compared nor shown
  } catch (const ENoResponse&) {
    return NoResponseBeforeTransfer();
  }
  Step(TStep::StartUpgrade);
  Step(TStep::StartDownload);
  if (!SendImage()) {
    window_.MessageBox("Software Upgrade Fail !!!");
    window_.CloseWindow();
  }
}

TBoxIdentity TUpgrade::DecodeIdentity() const {
  using namespace protocol::identity;
  const auto& r = record_.TargetInfo;
  auto pair = [&](std::size_t at) { return TVersionPair{r[at], r[at + 1]}; };
  TBoxIdentity id;
  id.Record = r;
  id.Oui = {r[kOui], r[kOui + 1]};
  id.Model = pair(kModel);
  id.Hardware = pair(kHardware);
  id.BootLoader = pair(kBootLoader);
  id.Native = pair(kNative);
  id.Application1 = pair(kApplication1);
  id.Application2 = pair(kApplication2);
  id.Date.assign(r.begin() + kDate, r.begin() + kDate + kDateLength);
  return id;
}

void TUpgrade::ReceiveAddressWords() {
  // Each word comes most significant byte first and is held least
  // significant first. The first is waited for; the other three are read
  // once each, and a byte that does not come keeps its previous value.
  for (int i = 3; i >= 0; --i) record_.TargetAddress[static_cast<std::size_t>(i)] = WaitByte();
  for (auto& word : record_.TargetExtraWords) {
    for (int i = 3; i >= 0; --i) ReadAnswering(word[static_cast<std::size_t>(i)]);
  }
}

}  // namespace stb::upgrade
