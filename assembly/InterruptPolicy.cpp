#include "InterruptPolicy.h"

#include "Interrupts.h"

namespace stb::app {

namespace {

class TProcessInterruptPolicy : public IInterruptPolicy {
 public:
  void Install() override { InstallInterruptHandler(); }
  void SetPortToRelease(serial::THandle port) override { stb::app::SetPortToRelease(port); }
  void SetStopRecord(int fd) override { stb::app::SetStopRecord(fd); }
  void NoteStep(const std::string& title) override { stb::app::NoteStep(title); }
  void NoteCounter(long sent, long total) override { stb::app::NoteCounter(sent, total); }
  void SetBoxTakingImage(bool taking) override { stb::app::SetBoxTakingImage(taking); }
};

}  // namespace

IInterruptPolicy& ProcessInterruptPolicy() {
  static TProcessInterruptPolicy policy;
  return policy;
}

}  // namespace stb::app
