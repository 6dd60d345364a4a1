// The tick and the start of the upgrade: wake-up byte, announce word, the
// box's acknowledgement and mode echo, its identity record and address words.
#include "LinkHolds.h"
#include "ModeTable.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;

void TUpgrade::Timer1Timer() {
  if (!link_.IsPortOpen() && portWasOpen_ && !LinkBack()) return;
  link_.WriteByte(kWakeUp);
  // No announce word for a mode whose include file was not read through:
  // the box would be met with a half-filled record.
  if (record_.DownloadMode == 0 || !record_.IncludeFileRead) return;
  link_.PurgeBuffers(true, false);
  link_.WriteString(std::string(ModeEntry(record_.DownloadMode).AnnounceWord));
  if (!ReadAcknowledge()) return;  // the next tick tries again

  // From here on the upgrade runs to its end inside this tick, and pumps the
  // window's messages on the way; until the tick returns, whatever the box
  // sends waits for the protocol's reads.
  const TPollingHold pollingHold(link_);
  std::uint8_t echo = 0;
  try {
    echo = WaitByte();
  } catch (const ENoResponse&) {
    window_.StopTicks();
    return NoResponseBeforeTransfer();
  }
  // Ticks stop before any box is shown, so none announces again under it.
  window_.StopTicks();
  if (echo != record_.DownloadMode) {
    return Refuse({"  ERROR:MisMatch Software Number !!"}, "  ERROR:MisMatch Software Number !!");
  }
  window_.LogLine("1. Check Machine");
  RunUpgrade();
}

bool TUpgrade::LinkBack() {
  // The port went away while waiting (an adapter pulled, the far end hung
  // up): said once, then tried on every tick until it opens again.
  if (!portLossReported_) {
    portLossReported_ = true;
    window_.MessageBox(kCannotConnect);
  }
  if (!link_.OpenPort()) return false;
  portLossReported_ = false;
  return true;
}

bool TUpgrade::ReadAcknowledge() {
  // Five characters: the first not 0x00, one more of any value, then "ACK".
  // A read that times out leaves the shared character as it was.
  char ch = kNoAcknowledge;
  link_.ReadChar(ch);
  if (ch == kNoAcknowledge) return false;
  link_.ReadChar(ch);
  std::string text;
  for (std::size_t i = 0; i < kAcknowledge.size(); ++i) {
    link_.ReadChar(ch);
    text.push_back(ch);
  }
  return text == kAcknowledge;
}

void TUpgrade::RunUpgrade() {
  // However the upgrade ends, the box is no longer taking the image then.
  struct TTakingImageEnd {
    IWindowOperations& window;
    ~TTakingImageEnd() { window.BoxTakingImage(false); }
  } takingImageEnd{window_};
  try {
    for (std::size_t i = 0; i < kIdentityBytes; ++i) record_.TargetInfo[i] = WaitByte();
    if (!CheckIdentity()) return;
    ReceiveAddressWords();
    if (!CheckAddresses()) return;
    SendGoMessage();
    window_.BoxTakingImage(true);
    for (std::size_t i = 0; i < kGoReplyChars; ++i) WaitChar();  // neither compared nor shown
  } catch (const ENoResponse&) {
    return NoResponseBeforeTransfer();
  }
  window_.LogLine("2. Start Software Upgrade");
  window_.LogLine("3. Start DownLoad");
  if (!UploadFile()) {
    window_.MessageBox("Software Upgrade Fail !!!");
    window_.CloseWindow();
  }
}

void TUpgrade::ReceiveAddressWords() {
  // Each word comes most significant byte first and is held least
  // significant first. The first is waited for; the other three are read
  // once each, and a byte that does not come keeps its previous value.
  for (int i = 3; i >= 0; --i) record_.TargetAddress[static_cast<std::size_t>(i)] = WaitByte();
  for (auto& word : record_.TargetExtraWords) {
    for (int i = 3; i >= 0; --i) link_.ReadByte(word[static_cast<std::size_t>(i)]);
  }
}

}  // namespace stb::upgrade
