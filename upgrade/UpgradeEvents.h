// What happens in an upgrade, in types: the box arriving, its identity and
// the checks' results, the numbered steps, every block, the flash write, and
// one outcome at the end. Any front end may listen; none needs to read the
// log's text to know where a box stands or how it fared. The log lines are
// one rendering of these events for a person.
//
// Every call comes on the thread that runs the upgrade, in the order things
// happen on the line. A listener must return quickly and never wait for a
// person: the box is waiting on the other end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

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

// How one upgrade ended.
struct TUpgradeEnd {
  TOutcome Outcome = TOutcome::Failed;
  TCheck Check = TCheck::ModeEcho;    // Refused: the check that refused the box
  TFailure Failure = TFailure::None;  // Failed: how
  // The last numbered step reached; 0 before "1. Check Machine".
  int Step = 0;
  // The log line that decided it ("Congraturation! Software Upgrade OK !!!",
  // "  - Invalid OUI !!", ...), or the error's text; empty for Stopped.
  std::string Line;
  // Image bytes the box acknowledged, of the image's size in whole blocks.
  long Sent = 0;
  long Total = 0;
};

class IUpgradeEvents {
 public:
  virtual ~IUpgradeEvents() = default;

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
  // The box's download address (its first address word) and the include
  // file's, both as 32-bit values.
  virtual void AddressesReceived(std::uint32_t /*box*/, std::uint32_t /*include*/) {}
  // The go message went out: the box now takes `blocks` blocks at `address`.
  virtual void GoMessageSent(std::uint32_t /*address*/, long /*blocks*/) {}
  virtual void StepReached(TStep /*step*/) {}
  // Block `index` (from 0) was accepted; `sent` of `total` bytes are through.
  virtual void BlockAccepted(long /*index*/, long /*sent*/, long /*total*/) {}
  // The box refused block `index`; it goes out again (resend `resend`, from 1),
  // or the transfer fails when it may not.
  virtual void BlockRefused(long /*index*/, int /*resend*/) {}
  // Flash programming reported step `step` (from 1) of `steps`.
  virtual void FlashStep(long /*step*/, long /*steps*/) {}
  // Once, at the end of every upgrade that began: each BoxAcknowledged is
  // followed by exactly one Ended, in the same tick (a box that falls silent
  // before its mode echo ends NoResponse without BoxArrived). It comes after
  // the deciding log line(s) and before the closing message box; for an
  // error that goes to the default error handler, before it is raised.
  virtual void Ended(const TUpgradeEnd& /*end*/) {}
};

// The names the report and the display use.
const char* OutcomeName(TOutcome outcome);  // "upgraded", "refused", "no response", "failed", "stopped"
const char* CheckName(TCheck check);        // "mode echo", "OUI", "model", ...
const char* FailureName(TFailure failure);  // "block refused", "port lost", ...

}  // namespace stb::upgrade
