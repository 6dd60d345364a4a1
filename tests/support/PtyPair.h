// A pseudo-terminal pair for tests that need a real line: the component opens
// the device side by its path, the test plays the far end on the master side.
// The serial tests' far end on POSIX; nothing stops it from hanging up.
#pragma once

#include <cstdint>
#include <string>

#include "FarEnd.h"

namespace stb::testing {

class TPtyPair : public IFarEnd {
 public:
  TPtyPair();  // aborts the test program if no pseudo-terminal can be had
  ~TPtyPair() override;
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& DevicePath() const { return path_; }
  int Master() const { return master_; }
  int Device() const { return device_; }

  std::string NearEnd() const override { return path_; }
  TLineGaps Gaps() const override { return {}; }
  // Far end sends these bytes towards the component.
  void Send(const std::string& bytes) override;
  // Far end reads what the component sent: up to `n` bytes, waiting at most
  // `timeoutMs` for them.
  std::string Receive(std::size_t n, int timeoutMs = 2000) override;
  // Waits until the device side's input queue holds at least `n` bytes.
  bool WaitQueued(std::size_t n, int timeoutMs = 2000);
  // Bytes waiting on the device side's input queue.
  int Queued() const;
  // Far end goes away: the device side sees a hang-up.
  void HangUp() override;

 private:
  int master_ = -1;
  int device_ = -1;  // held open so the master survives the component closing
  std::string path_;
};

}  // namespace stb::testing
