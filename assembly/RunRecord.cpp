#include "RunRecord.h"

#include "Assembly.h"

namespace stb::app {

void TRunRecord::Listen(TAssembly& run) {
  recorder_ = std::make_unique<TBoxRecorder>(
      run.Link().PortDeviceName(), [this](const TBoxRecord& record) { report_.Append(RecordLine(record)); });
  run.AddListener(recorder_.get());
}

}  // namespace stb::app
