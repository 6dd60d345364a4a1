// What happens in a run, in types: start-up, the mode chosen and its include
// file, the box arriving, its identity and the checks' results, the numbered
// steps, every block, the flash write, and one outcome at the end. This is
// all the core says: the log, the bars and the counter, the record of the
// box and where an interrupt finds the upgrade are each made from these
// events by a listener of their own; none reads another's output.
//
// Every call comes on the thread that runs the upgrade, in the order things
// happen on the line, to every listener in the order they were added. A
// listener must return quickly and never wait for a person or a disk: the
// box is waiting on the other end. One that writes somewhere slow hands the
// text to a writer of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ImageFile.h"
#include "UpgradeRecord.h"

namespace stb::upgrade {

// The numbered steps of the log, "1. Check Machine" to "7. Update Version
// Table OK"; each value is the number the log gives it.
enum class TStep : int {
  CheckMachine = 1,    // the box echoed the chosen mode; its identity follows
  StartUpgrade = 2,    // the box answered the go message
  StartDownload = 3,   // the first block goes out
  DownloadOk = 4,      // the box's checksum of the download is right
  RamImageOk = 5,      // its RAM image is right; flash programming begins
  FlashImageOk = 6,    // the flash image is right; the version table follows
  VersionTableOk = 7,  // the version table is written
};

// The step's line in the log ("3. Start DownLoad"): one table for the log,
// the stop lines and the station's tiles.
const char* StepTitle(TStep step);
// The same by the step's number; nullptr outside 1 to 7.
const char* StepTitle(int step);

// The checks made before anything is sent for the image.
enum class TCheck {
  ModeEcho,  // the box answered for the chosen mode
  Oui,       // maker
  Model,
  Hardware,
  BootLoader,
  Native,
  NativeMajor,  // an application built on the box's native software major
  Application1,
  Application2,
  Address,            // the box's download address against the include file's
  BootLoaderAddress,  // a boot loader goes where the boot loader is
  BootLoaderArea,     // any other image stays out of the boot loader's area
  BootLoaderSize,     // a boot loader fits its area
};

// The box's identity record as received, with its fields decoded where the
// protocol places them.
struct TBoxIdentity {
  std::array<std::uint8_t, 32> Record{};
  std::array<std::uint8_t, 2> Oui{};  // the OUI's second and third bytes
  TVersionPair Model;
  TVersionPair Hardware;
  TVersionPair BootLoader;
  TVersionPair Native;
  TVersionPair Application1;
  TVersionPair Application2;
  std::string Date;  // the record's five-character date stamp, as sent
};

enum class TOutcome {
  Upgraded,    // the version table was written: the box has its new software
  Refused,     // a check ended it before the go message; nothing was written
  NoResponse,  // the box fell silent for the response time-out
  Failed,      // the image could not go, or went and the box's answers failed: see TFailure
  Stopped,     // the front end ended it (RequestStop)
};

enum class TFailure {
  None,
  FirstBlockRefused,   // the box refused the first block
  BlockRefused,        // a block was still refused after its resends
  SyncDigit,           // the sync digit after a group of blocks was missing or wrong
  PortLost,            // the port went away under the upgrade
  ImageChanged,        // the image file changed since it was measured, or while it was sent
  ImageUnreadable,     // the image could not be opened (before or after the go message)
  DownloadChecksum,    // "  DownLoad BAD CRC !!"
  RamImageChecksum,    // "  Ram Image BAD CRC !!"
  FlashWrite,          // "  Flash Write Error !!"
  FlashImageChecksum,  // "  Flash Image BAD CRC !!"
  UpdateRequest,       // "  ERROR: Update software version!!!"
  VersionTable,        // "  CRC ERROR: Update software version!!!"
};

// What the upgrade saw last when it ended without a refusal, and its log
// says. For most ends it is the reason itself; a failed upgrade whose port
// went away fails for that (TFailure::PortLost) while its log still says
// what the upgrade saw: no answer, or a block or report that did not come.
enum class TSeen {
  Nothing,             // upgraded, refused, stopped, or an error was raised
  NoResponse,          // the box fell silent for the response time-out
  BlockNotAccepted,    // a block was not accepted, or its sync digit was wrong
  ImageChanged,        // the blocks sent were not the image measured
  DownloadChecksum,    // the box's download report was not the one expected
  RamImageChecksum,    // ... its RAM image report
  FlashWrite,          // a flash step came other than as it should
  FlashImageChecksum,  // ... its flash image report
  UpdateRequest,       // ... its request to update the version table
  VersionTable,        // ... its version table report
};

// How one upgrade ended.
struct TUpgradeEnd {
  TOutcome Outcome = TOutcome::Failed;
  TCheck Check = TCheck::ModeEcho;    // Refused: the check that refused the box
  TFailure Failure = TFailure::None;  // Failed: how
  TSeen Seen = TSeen::Nothing;
  // The last numbered step reached; 0 before "1. Check Machine".
  int Step = 0;
  // The text of an error raised on its way to the default error handler
  // (an image that cannot be opened, or changed before the go message);
  // empty for every other end.
  std::string Error;
  int SystemError = 0;  // the system's error number behind Error, if any (ERunError)
  // Image bytes the box acknowledged, of the image's size in whole blocks.
  long Sent = 0;
  long Total = 0;
};

class IUpgradeEvents {
 public:
  virtual ~IUpgradeEvents() = default;

  // --- Before any box ---
  // Start-up is done; `portOpen`: the port opened.
  virtual void StartedUp(bool /*portOpen*/) {}
  // A typed code chose mode `mode` (1 to 8); its include file is read next.
  virtual void ModeChosen(int /*mode*/) {}
  // The include file's twelve lines are in `record`; `addressText` is its
  // download address as the file writes it (up to ten bytes, any of them).
  virtual void IncludeFileRead(const TUpgradeRecord& /*record*/, const std::string& /*addressText*/) {}
  // The image the include file names was measured: the box will be told
  // `image.BlockCount` blocks, and must get exactly these bytes.
  virtual void ImageMeasured(const std::string& /*path*/, const TImageMeasure& /*image*/) {}

  // --- One box ---
  // The box acknowledged the announce word; its mode echo follows.
  virtual void BoxAcknowledged() {}
  // The box echoed a mode (`mode`); the upgrade goes on when it is the
  // chosen one (else it ends Refused, TCheck::ModeEcho).
  virtual void BoxArrived(int /*mode*/) {}
  // The whole identity record came.
  virtual void IdentityReceived(const TBoxIdentity& /*identity*/) {}
  // One check's result: `passed` false ends the upgrade Refused (an
  // address mismatch the operator chose to go on with passes).
  virtual void CheckDone(TCheck /*check*/, bool /*passed*/) {}
  // Every check of the identity passed; the address words come next.
  virtual void IdentityAccepted() {}
  // The box's download address (its first address word) and the include
  // file's, both as 32-bit values.
  virtual void AddressesReceived(std::uint32_t /*box*/, std::uint32_t /*include*/) {}
  // The two addresses differ: the operator is warned and asked whether to
  // exit (CheckDone for TCheck::Address follows the answer).
  virtual void AddressMismatch() {}
  // The go message went out: the box now takes `blocks` blocks at `address`.
  virtual void GoMessageSent(std::uint32_t /*address*/, long /*blocks*/) {}
  virtual void StepReached(TStep /*step*/) {}
  // The blocks begin to go out: `blocks` of them, `total` bytes.
  virtual void TransferStarted(long /*blocks*/, long /*total*/) {}
  // Block `index` (from 0) was accepted; `sent` of `total` bytes are through.
  virtual void BlockAccepted(long /*index*/, long /*sent*/, long /*total*/) {}
  // The box refused block `index`; it goes out again (resend `resend`, from 1),
  // or the transfer fails when it may not.
  virtual void BlockRefused(long /*index*/, int /*resend*/) {}
  // The answer to block `index` (or the sync digit after it, when
  // `syncDigit`) came later than its time-out, within the grace given to a
  // late answer; `waitedMs` from the end of the frame, about. It is taken as
  // the answer to that block.
  virtual void AnswerLate(long /*index*/, bool /*syncDigit*/, std::uint32_t /*waitedMs*/) {}
  // Every block went: `digest` is of the image's bytes exactly as they were
  // read and sent (the fill of the last block aside).
  virtual void ImageSent(const TSha256& /*digest*/) {}
  // Flash programming reported step `step` (from 1) of `steps`.
  virtual void FlashStep(long /*step*/, long /*steps*/) {}
  // The box said its version table was written.
  virtual void VersionTableWritten() {}
  // The port (`device`) went away under the upgrade; said once, before the
  // end it brings.
  virtual void PortLost(const std::string& /*device*/) {}
  // Once, at the end of every upgrade that began: each BoxAcknowledged is
  // followed by exactly one Ended, in the same tick (a box that falls silent
  // before its mode echo ends NoResponse without BoxArrived). It is the last
  // event of the upgrade and comes before the closing message box; for an
  // error that goes to the default error handler, before it is raised.
  virtual void Ended(const TUpgradeEnd& /*end*/) {}
};

// Every listener of one upgrade, each told in the order they were added.
class TUpgradeListeners final : public IUpgradeEvents {
 public:
  // `listener` must outlive the upgrade, or be removed first.
  void Add(IUpgradeEvents* listener);
  void Remove(IUpgradeEvents* listener);

  void StartedUp(bool portOpen) override;
  void ModeChosen(int mode) override;
  void IncludeFileRead(const TUpgradeRecord& record, const std::string& addressText) override;
  void ImageMeasured(const std::string& path, const TImageMeasure& image) override;
  void BoxAcknowledged() override;
  void BoxArrived(int mode) override;
  void IdentityReceived(const TBoxIdentity& identity) override;
  void CheckDone(TCheck check, bool passed) override;
  void IdentityAccepted() override;
  void AddressesReceived(std::uint32_t box, std::uint32_t include) override;
  void AddressMismatch() override;
  void GoMessageSent(std::uint32_t address, long blocks) override;
  void StepReached(TStep step) override;
  void TransferStarted(long blocks, long total) override;
  void BlockAccepted(long index, long sent, long total) override;
  void BlockRefused(long index, int resend) override;
  void AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) override;
  void ImageSent(const TSha256& digest) override;
  void FlashStep(long step, long steps) override;
  void VersionTableWritten() override;
  void PortLost(const std::string& device) override;
  void Ended(const TUpgradeEnd& end) override;

 private:
  template <class TCall>
  void Each(TCall&& call) {
    for (IUpgradeEvents* listener : listeners_) call(*listener);
  }
  std::vector<IUpgradeEvents*> listeners_;
};

// The names the report and the display use.
const char* OutcomeName(TOutcome outcome);  // "upgraded", "refused", "no response", "failed", "stopped"
const char* CheckName(TCheck check);        // "mode echo", "OUI", "model", ...
const char* FailureName(TFailure failure);  // "block refused", "port lost", ...

}  // namespace stb::upgrade
