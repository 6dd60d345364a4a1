// One upgrade from start to end: the tool's upgrade core, with a recording
// window, against the simulated box on a pseudo-terminal, in a scratch folder
// with an include file for every mode.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "BoxSim.h"
#include "RecordingWindow.h"
#include "ScratchDir.h"
#include "SerialLink.h"
#include "Upgrade.h"

namespace stb::testing {

// The include file's twelve lines; the defaults match the simulated box's
// default identity and address.
struct TIncludeLines {
  std::string Oui = "110022";
  std::string Model = "01.00";
  std::string Hardware = "01.00";
  std::string Boot = "01.00";
  std::string Native = "01.00";
  std::string App1 = "01.00";
  std::string App2 = "01.00";
  std::string Date = "D2412";
  std::string Label = "test image";
  std::string Image = "./image.bin";
  std::string Slot = "3";
  std::string Address = "0x9FC10000";
};

class TUpgradeRun {
 public:
  TUpgradeRun();
  ~TUpgradeRun();

  sim::TBoxConfig Box;  // change before Start
  TIncludeLines Include;
  TRecordingWindow Window;
  std::string Image;  // the image file's content

  // Writes the include files and an image of `bytes` bytes, starts the box.
  void Start(std::size_t imageBytes);
  // Types the mode's code and ticks until the upgrade has ended (or `ticks`
  // ticks have passed), then stops the box. Returns the error text that
  // left a handler, if any.
  std::string Upgrade(int mode, int ticks = 5);

  const sim::TBoxSummary& Summary() const { return sim_->Summary(); }
  upgrade::TUpgrade& Core() { return *upgrade_; }
  serial::TSerialLink& Link() { return link_; }
  TScratchDir& Dir() { return dir_; }
  // The image as the box must have received it: padded to whole blocks.
  std::string PaddedImage() const;
  // Whether `line` was logged.
  bool Logged(const std::string& line) const;
  // Bytes the tool sent to the box after its last log line (a failure line
  // ends a failed run: nothing may follow it on the line).
  std::uint64_t SentAfterLastLogLine() const { return written_ - writtenAtLastLog_; }
  // Bytes the tool has sent to the box so far; may be read from any thread.
  std::uint64_t Written() const { return written_; }

 private:
  TScratchDir dir_;
  std::atomic<std::uint64_t> written_{0};
  std::uint64_t writtenAtLastLog_ = 0;
  serial::TSerialLink link_;
  std::unique_ptr<sim::TBoxSim> sim_;
  std::unique_ptr<upgrade::TUpgrade> upgrade_;
};

}  // namespace stb::testing
