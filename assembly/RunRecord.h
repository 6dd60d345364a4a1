// The record of a run's one box (--report FILE for the headless run and the
// windows): the recorder that builds it from the events, and the report its
// line is appended to, handed to the report's own writer so that the box
// never waits for the disk.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "BoxRecord.h"
#include "ReportFile.h"

namespace stb::app {

class TAssembly;

class TRunRecord {
 public:
  // `tell`: how a line that could not be written is said, once.
  explicit TRunRecord(TReportFile::TTell tell = nullptr) : report_(std::move(tell)) {}

  // Opens the report when `path` is not empty; false with `why` for the
  // operator when it cannot be written. Before anything else is opened: a
  // record asked for is never silently missing.
  bool Open(const std::string& path, std::string& why) { return report_.Open(path, why); }
  // Records the boxes of `run` (on the port it uses), before its start-up.
  void Listen(TAssembly& run);
  // Open, then Listen: false, with `refusal` for the operator ("cannot write
  // the report ..."), when the report cannot be written.
  bool Start(TAssembly& run, const std::string& path, std::string& refusal);
  // No line is taken after this; waits at most `bound` for the one on its
  // way. The lines that were not written, and why.
  long Seal(std::chrono::milliseconds bound) { return report_.Seal(bound); }
  std::string LostWhy() const { return report_.LostWhy(); }
  // What a run says when the box's line was not written.
  std::string LostText() const;
  const std::string& Path() const { return report_.Path(); }

  const TBoxRecorder* Recorder() const { return recorder_.get(); }
  // The run's port changed (the operator chose another): the box's record
  // names the one it answered on.
  void SetPort(const std::string& port) {
    if (recorder_) recorder_->SetPort(port);
  }

 private:
  TReportFile report_;
  std::unique_ptr<TBoxRecorder> recorder_;
};

}  // namespace stb::app
