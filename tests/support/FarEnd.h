// The far end of a real line to the serial component: what the serial tests
// talk to, whichever backend they run on. On POSIX it is the master side of
// a pseudo-terminal pair (PtyPair.h); under Wine it is COM2 of a null-modem
// pair of pseudo-terminals whose COM1 the component opens
// (tests/win32/ComFarEnd.cpp, tools/wine-tests.sh).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace stb::testing {

// What a line cannot show, each as the reason a test that needs it is
// skipped for; nullptr where it can.
struct TLineGaps {
  const char* HangUp = nullptr;          // the far end going away under a transfer
  const char* SecondOpener = nullptr;    // a second opener of the near end refused
  const char* ParityAndFlow = nullptr;   // parity and flow control read back from the driver
  const char* ArbitraryRates = nullptr;  // bit rates without a classic rate code
};

class IFarEnd {
 public:
  virtual ~IFarEnd() = default;

  // The device the component opens.
  virtual std::string NearEnd() const = 0;
  virtual TLineGaps Gaps() const = 0;
  // Sends these bytes towards the component.
  virtual void Send(const std::string& bytes) = 0;
  // What the component sent: up to `n` bytes, waiting at most `timeoutMs`.
  virtual std::string Receive(std::size_t n, int timeoutMs = 2000) = 0;
  // Goes away: the near end sees a hang-up. Only where Gaps().HangUp is null.
  virtual void HangUp() = 0;
  // Called once the component has opened the near end: lets go of whatever
  // an earlier test left on a line that outlives it.
  virtual void Settle() {}
};

// A fresh line for one test, the far end of it returned.
std::unique_ptr<IFarEnd> OpenFarEnd();

}  // namespace stb::testing
