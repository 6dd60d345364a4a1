// The component on a real line, the test at its far end (FarEnd.h): a
// pseudo-terminal pair on POSIX, the null-modem COM pair on Windows. Every
// serial test that needs a line uses this, whichever backend it runs on.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "FarEnd.h"
#include "SerialLink.h"

namespace stb::serial {

struct TLineUnderTest {
  std::unique_ptr<testing::IFarEnd> far = testing::OpenFarEnd();
  TManualTicker* ticker;
  TSerialLink link;

  // `ticks`: the tick counter the component measures on (empty: the host's).
  explicit TLineUnderTest(TTickSource ticks = nullptr)
      : TLineUnderTest(std::move(ticks), std::make_unique<TManualTicker>()) {}

  // Opens the near end, with nothing left on the line from an earlier test.
  bool Open() {
    if (!link.OpenPort()) return false;
    far->Settle();
    link.PurgeBuffers(true, true);
    return true;
  }

  // Waits until the component's input queue holds at least `n` bytes.
  bool WaitForInput(std::int32_t n, int timeoutMs = 2000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (link.InputCount() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // The far end sends `bytes`; back once the component can read them all.
  void Arrive(const std::string& bytes) {
    const std::int32_t before = link.InputCount();
    far->Send(bytes);
    if (!WaitForInput(before + static_cast<std::int32_t>(bytes.size())))
      ADD_FAILURE() << "the bytes did not arrive";
  }

 private:
  TLineUnderTest(TTickSource ticks, std::unique_ptr<TManualTicker> t)
      : ticker(t.get()), link(TSerialLinkSeams{nullptr, std::move(t), std::move(ticks)}) {
    link.SetDevicePath(far->NearEnd());
  }
};

}  // namespace stb::serial
