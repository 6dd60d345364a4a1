// Fuzzes the upgrade with whatever a box might send: the input is the box's
// byte stream, played through an in-memory line with virtual time. Every run
// must end within its bounds, and success may be reported only when every
// report text came exactly and every block was acknowledged.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "MemorySerialPlatform.h"
#include "RecordingWindow.h"
#include "RunError.h"
#include "SerialLink.h"
#include "Upgrade.h"

namespace {

constexpr int kBlocks = 2;

void EnterScratchFolder() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string dir = (std::filesystem::temp_directory_path() / "stb-fuzz-XXXXXX").string();
  if (!mkdtemp(dir.data())) std::abort();
  std::filesystem::current_path(dir);
  std::filesystem::create_directory("inc");
  std::ofstream("inc/app1.inc") << "110022\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n"
                                   "D2412\r\nfuzz\r\n./image.bin\r\n3\r\n0x9FC10000\r\n";
  std::ofstream("image.bin") << std::string(kBlocks * 1024 - 10, 'i');
}

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
  EnterScratchFolder();
  using namespace stb;
  const std::string box(reinterpret_cast<const char*>(data), size);
  auto line = std::make_shared<testing::TMemorySerialPlatform>(box);
  serial::TSerialLink link(serial::TSerialLinkSeams{line, nullptr, line->Clock()});
  testing::TRecordingWindow window;
  window.Answer = upgrade::TConfirmAnswer::No;  // go on, to reach further
  upgrade::TUpgrade upgrade(link, window, line->Clock());
  upgrade.SetResponseTimeoutMs(2000);
  upgrade.StartUp();
  for (char c : std::string("APP103")) upgrade.RxMemoKeyPress(c);
  for (int tick = 0; tick < 3 && !window.TicksStopped && !window.Closed; ++tick) upgrade.Timer1Timer();

  // Bounded: a silent box costs a bounded number of waits, however it stops.
  if (line->ElapsedMs() > 30u * 60u * 1000u) std::abort();
  // Every started upgrade ended with the window closed.
  if (window.TicksStopped && !window.Closed) std::abort();

  bool congratulated = false;
  for (const auto& l : window.Log) congratulated |= l == "Congraturation! Software Upgrade OK !!!";
  if (congratulated != upgrade.Succeeded()) std::abort();
  if (congratulated) {
    if (!InOrder(box, {"CRC OK. : DownLoad", "CRC OK. : Ram Image", "CRC OK. : Flash image !!",
                       "Update software version!!!", "CRC OK. : Version Table !!"})) {
      std::abort();
    }
    std::size_t accepted = 0;
    for (auto at = box.find("ok."); at != std::string::npos; at = box.find("ok.", at + 3)) ++accepted;
    if (accepted < kBlocks || window.Boxes.back() != "message: Congraturation! Software Upgrade OK !!!!") {
      std::abort();
    }
  }
  return 0;
}
