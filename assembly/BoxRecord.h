// The record of one box: when and where it was upgraded, what it was, what
// it was sent, and how it came out. It is made from the upgrade's events
// alone (TBoxRecorder), the same way for every front end: the station keeps
// one for each of its boxes, the headless run and the windows one for their
// box, and each goes to the report as one JSON line (RecordLine).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "UpgradeEvents.h"
#include "ModeTable.h"

namespace stb::app {

enum class TBoxResult { Upgraded, Refused, Failed, NoResponse };

// "upgraded", "refused", "failed", "no response".
const char* ResultName(TBoxResult result);

struct TBoxRecord {
  std::string Id;  // unique to this record
  std::string Host;
  std::string Port;   // as the operator named it
  std::string Start;  // local time with the zone's offset, ISO 8601: when the box answered
  std::string End;
  double DurationSeconds = 0;
  std::string ToolVersion;

  int Mode = 0;          // the mode chosen by the code; the one the box echoed when none was
  std::string ModeName;  // "Application Software 1. Mode"
  std::string IncludeFile;

  // The image the include file names, as measured; its digest is of the
  // bytes as they went to the box once every block went.
  struct TImage {
    std::string Path;
    std::int64_t Bytes = 0;
    long Blocks = 0;
    std::string Sha256;  // 64 hexadecimal digits
  };
  std::optional<TImage> Image;

  // The box's identity record as it came, once it came whole; its download
  // address once the address words came.
  std::optional<upgrade::TBoxIdentity> Identity;
  std::optional<std::uint32_t> BoxAddress;
  // What the box was sent, once the go message went out: the include
  // file's versions, where they go in the version table, the image's size
  // and address.
  struct TWritten {
    upgrade::TVersionPair Model, Hardware, BootLoader, Native, Application1, Application2;
    int VersionSlot = 0;
    std::string Date;
    long Blocks = 0;
    std::uint32_t Address = 0;
  };
  std::optional<TWritten> Written;

  TBoxResult Result = TBoxResult::Failed;
  // The check that refused the box or how it failed, as the core names it
  // ("stopped" for an upgrade stopped at once); none for an upgraded box or
  // one that fell silent.
  std::optional<std::string> Reason;
  int Step = 0;           // the last numbered step reached
  std::string DecidedBy;  // the log line (or error) that decided the result
  long Sent = 0;          // image bytes the box acknowledged
  long Total = 0;         // of the image's size in whole blocks
  long Resends = 0;
  long LateAnswers = 0;  // answers and sync digits that came within the grace only
};

// The record as one JSON object on a line of its own, ended by a line feed.
// Texts are escaped so that any byte a box or a file gave stays valid JSON
// and UTF-8.
std::string RecordLine(const TBoxRecord& record);

// Builds the record of each box an upgrade meets from its events. `port`:
// the port as the operator named it.
class TBoxRecorder : public upgrade::IUpgradeEvents {
 public:
  using TOnEnded = std::function<void(const TBoxRecord& record)>;
  // `onEnded`: given each record as its upgrade ends, on the upgrade's
  // thread (it must not wait for a disk: hand the line to a writer).
  explicit TBoxRecorder(std::string port, TOnEnded onEnded = nullptr);
  // The folder the run reads its include files from, for the record's
  // include_file (the default folder unless set).
  void SetIncludeFolder(std::string folder) { includeFolder_ = std::move(folder); }

  // The port the next box answers on, when the operator chose another one
  // after start-up (the window's connection box).
  void SetPort(std::string port) { port_ = std::move(port); }

  // A box answered, and its record is under way or done.
  bool Arrived() const { return arrived_; }
  bool HasEnded() const { return ended_; }
  const TBoxRecord& Record() const { return record_; }
  // How the box's upgrade ended, once it has.
  const std::optional<upgrade::TUpgradeEnd>& End() const { return end_; }

  void ModeChosen(int mode) override;
  void IncludeFileRead(const upgrade::TUpgradeRecord& record, const std::string& addressText) override;
  void ImageMeasured(const std::string& path, const upgrade::TImageMeasure& image) override;
  void BoxAcknowledged() override;
  void BoxArrived(int mode) override;
  void IdentityReceived(const upgrade::TBoxIdentity& identity) override { record_.Identity = identity; }
  void AddressesReceived(std::uint32_t box, std::uint32_t) override { record_.BoxAddress = box; }
  void GoMessageSent(std::uint32_t address, long blocks) override;
  void StepReached(upgrade::TStep step) override { record_.Step = static_cast<int>(step); }
  void BlockAccepted(long, long sent, long total) override;
  void BlockRefused(long, int) override { ++record_.Resends; }
  void AnswerLate(long, bool, std::uint32_t) override { ++record_.LateAnswers; }
  void PortLost(const std::string& device) override;
  void ImageSent(const upgrade::TSha256& digest) override;
  void Ended(const upgrade::TUpgradeEnd& end) override;

 private:
  std::string port_;
  const std::string host_;
  std::string includeFolder_{upgrade::kDefaultIncludeFolder};
  TOnEnded onEnded_;
  // What the chosen mode and its include file give every box.
  int chosenMode_ = 0;
  std::string modeName_;
  std::string includeFile_;
  std::optional<TBoxRecord::TImage> image_;
  std::optional<TBoxRecord::TWritten> toWrite_;

  TBoxRecord record_;
  std::optional<upgrade::TUpgradeEnd> end_;
  bool arrived_ = false;
  bool ended_ = false;
  std::string portLostLine_;  // of this box, when its port went away under it
  std::int64_t startMs_ = 0;
  std::int64_t startSteadyMs_ = 0;
};

// This machine's name, as the network knows it.
std::string HostName();
// A new identifier for a record: a random UUID (version 4), in its usual
// text form.
std::string NewRecordId();

}  // namespace stb::app
