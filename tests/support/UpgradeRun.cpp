#include "UpgradeRun.h"

#include <algorithm>

#include "ForwardingPlatform.h"
#include "ModeTable.h"
#include "RunError.h"

namespace stb::testing {

namespace {
// The host's serial line, counting what the tool writes.
class TCountingPlatform : public serial::TForwardingPlatform {
 public:
  explicit TCountingPlatform(std::atomic<std::uint64_t>& written)
      : TForwardingPlatform(serial::HostSerialPlatform()), written_(written) {}
  serial::TIoResult WriteFile(serial::THandle h, const std::uint8_t* data, std::uint32_t count) override {
    const auto r = TForwardingPlatform::WriteFile(h, data, count);
    written_ += r.Count;
    return r;
  }

 private:
  std::atomic<std::uint64_t>& written_;
};
}  // namespace

TUpgradeRun::TUpgradeRun()
    : link_(serial::TSerialLinkSeams{std::make_shared<TCountingPlatform>(written_), nullptr, nullptr}) {
  Box.KeepImage = true;
  Window.OnLog = [this] { writtenAtLastLog_ = written_; };
}

TUpgradeRun::~TUpgradeRun() {
  if (sim_) sim_->Stop();
}

void TUpgradeRun::Start(std::size_t imageBytes) {
  const TIncludeLines& i = Include;
  const std::string lines[12] = {i.Oui,  i.Model, i.Hardware, i.Boot,  i.Native, i.App1,
                                 i.App2, i.Date,  i.Label,    i.Image, i.Slot,   i.Address};
  for (const auto& mode : upgrade::kModeTable) dir_.Write(std::string(mode.IncludeFile), IncludeText(lines));
  Image.resize(imageBytes);
  std::uint32_t x = 12345;
  for (auto& c : Image) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  dir_.Write("image.bin", Image);

  sim_ = std::make_unique<sim::TBoxSim>(Box);
  sim_->Start();
  link_.SetDevicePath(sim_->DevicePath());
  upgrade_ = std::make_unique<upgrade::TUpgrade>(link_, Window);
  Window.Listen(*upgrade_);
  upgrade_->SetResponseTimeoutMs(700);
  upgrade_->StartUp();
}

std::string TUpgradeRun::Upgrade(int mode, int ticks) {
  std::string error;
  try {
    for (char c : upgrade::ModeEntry(mode).Code) upgrade_->KeyPress(c);
    for (int t = 0; t < ticks && !Window.TicksStopped && !Window.Closed; ++t) upgrade_->Tick();
  } catch (const upgrade::ERunError& e) {
    error = e.Text();
  }
  // After a success the box still has the last go-on byte to read.
  if (Logged("Please Turn Off and On the STB set !!!")) sim_->WaitFinished(2000);
  sim_->Stop();
  return error;
}

std::string TUpgradeRun::PaddedImage() const {
  std::string padded = Image;
  padded.resize((Image.size() + 1023) / 1024 * 1024, '\0');
  return padded;
}

bool TUpgradeRun::Logged(const std::string& line) const {
  return std::find(Window.Log.begin(), Window.Log.end(), line) != Window.Log.end();
}

}  // namespace stb::testing
