#include "RunRecord.h"

#include "Assembly.h"

namespace stb::app {

void TRunRecord::Listen(TAssembly& run) {
  recorder_ = std::make_unique<TBoxRecorder>(
      run.Link().PortDeviceName(), [this](const TBoxRecord& record) { report_.Append(RecordLine(record)); });
  recorder_->SetIncludeFolder(run.Upgrade().IncludeFolder());
  run.AddListener(recorder_.get());
}

bool TRunRecord::Start(TAssembly& run, const std::string& path, std::string& refusal) {
  std::string why;
  if (!Open(path, why)) {
    refusal = "cannot write the report " + path + ": " + why;
    return false;
  }
  Listen(run);
  return true;
}

std::string TRunRecord::LostText() const {
  return "stb-downloader: the box's record was not written to the report " + Path() + " (" + LostWhy() + ")";
}

}  // namespace stb::app
