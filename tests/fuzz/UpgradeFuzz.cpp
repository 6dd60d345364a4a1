// Fuzzes the upgrade with whatever a box might send: the input is the box's
// byte stream, played through an in-memory line with virtual time. Every run
// must end within its bounds, and success may be reported only when every
// report text came exactly and every block was acknowledged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BoxScript.h"

namespace {

// Whether `texts` appear in `stream` in this order.
bool InOrder(const std::string& stream, std::initializer_list<std::string_view> texts) {
  std::size_t at = 0;
  for (auto t : texts) {
    at = stream.find(t, at);
    if (at == std::string::npos) return false;
    at += t.size();
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  stb::testing::EnterScriptFolder();
  const std::string box(reinterpret_cast<const char*>(data), size);
  // The listener hears one end for every box that answered, and an upgrade
  // only when the run succeeded.
  struct TEndCount : stb::upgrade::IUpgradeEvents {
    int Acknowledged = 0;
    int Ends = 0;
    bool Upgraded = false;
    void BoxAcknowledged() override { ++Acknowledged; }
    void Ended(const stb::upgrade::TUpgradeEnd& end) override {
      ++Ends;
      Upgraded = end.Outcome == stb::upgrade::TOutcome::Upgraded;
    }
  } ends;
  const stb::testing::TScriptRun run = stb::testing::RunBoxScript(box, &ends);
  if (ends.Ends != ends.Acknowledged || ends.Upgraded != run.Succeeded) std::abort();
  const auto& window = run.Window;

  // Bounded: however the box stops, a bounded number of bounded waits.
  if (run.ElapsedMs > 30u * 60u * 1000u) std::abort();
  // Every upgrade that started ended with the window closed.
  if (window.TicksStopped && !window.Closed) std::abort();

  bool congratulated = false;
  for (const auto& l : window.Log) congratulated |= l == "Congraturation! Software Upgrade OK !!!";
  if (congratulated != run.Succeeded) std::abort();
  if (congratulated) {
    if (!InOrder(box, {"CRC OK. : DownLoad", "CRC OK. : Ram Image", "CRC OK. : Flash image !!",
                       "Update software version!!!", "CRC OK. : Version Table !!"})) {
      std::abort();
    }
    int accepted = 0;
    for (auto at = box.find("ok."); at != std::string::npos; at = box.find("ok.", at + 3)) ++accepted;
    if (accepted < stb::testing::kScriptBlocks ||
        window.Boxes.back() != "message: Congraturation! Software Upgrade OK !!!!") {
      std::abort();
    }
  }
  return 0;
}
